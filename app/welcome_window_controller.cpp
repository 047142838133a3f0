#include "app/welcome_window_controller.h"

#include "app/ui_resources.h"
#include "controls/ts_palette.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaro {

WelcomeWindowController::WelcomeWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("WelcomeWindowController"));
    setWindowTitle(ui::text("welcome.windowTitle"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(520, 420);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 28, 36, 24);
    layout->setSpacing(10);
    picture_ = new QLabel(this);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setFixedHeight(190);
    layout->addWidget(picture_);
    title_ = new QLabel(this);
    title_->setAlignment(Qt::AlignCenter);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    title_->setStyleSheet(QStringLiteral("color: #ffffff;"));
    layout->addWidget(title_);
    body_ = new QLabel(this);
    body_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    body_->setWordWrap(true);
    body_->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.78);"));
    layout->addWidget(body_, 1);
    auto* bottom = new QHBoxLayout;
    dots_ = new QLabel(this);
    dots_->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.85); letter-spacing: 3px;"));
    bottom->addWidget(dots_);
    bottom->addStretch(1);
    next_ = new QPushButton(this);
    next_->setObjectName(QStringLiteral("welcomeNext"));
    next_->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; border-radius: 7px; background: #0E7C74; color: white; padding: 7px 20px; font-weight: 600; }"
        "QPushButton:hover { background: #1AA39A; }"));
    connect(next_, &QPushButton::clicked, this, &WelcomeWindowController::nextPage);
    bottom->addWidget(next_);
    layout->addLayout(bottom);
    showPage(0);
}

void WelcomeWindowController::showModal() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
}

void WelcomeWindowController::showPage(int page) {
    page_ = page;
    const int n = page + 1;
    title_->setText(LanguageBundle::localizedStringForKey(QStringLiteral("welcome.page%1.title").arg(n)));
    body_->setText(LanguageBundle::localizedStringForKey(QStringLiteral("welcome.page%1.text").arg(n)));
    const QPixmap pixmap = ui::picturePixmap(QStringLiteral("img/step_%1_x2.png").arg(n), QSize(252, 182), devicePixelRatioF());
    picture_->setPixmap(pixmap);
    QString dots;
    for (int i = 0; i < kPageCount; ++i) {
        dots += i == page ? QChar(0x25CF) : QChar(0x25CB);
    }
    dots_->setText(dots);
    next_->setText(ui::text(page + 1 < kPageCount ? "welcome.next" : "welcome.done"));
}

void WelcomeWindowController::nextPage() {
    if (page_ + 1 < kPageCount) {
        showPage(page_ + 1);
    } else {
        black();
    }
}

void WelcomeWindowController::black() { close(); }

void WelcomeWindowController::paintEvent(QPaintEvent*) {
    // The backdrop: the ink colour at 0.9, its inner panel at 0.8.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outer;
    outer.addRoundedRect(rect(), 12, 12);
    painter.fillPath(outer, controls::inkColor(0.9));
    QPainterPath inner;
    inner.addRoundedRect(rect().adjusted(8, 8, -8, -8), 9, 9);
    painter.fillPath(inner, controls::inkColor(0.8));
}

}  // namespace tessaro
