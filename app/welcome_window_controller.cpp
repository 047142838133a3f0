#include "app/welcome_window_controller.h"

#include "app/guide_view_controller.h"
#include "app/modal_window.h"
#include "app/ui_resources.h"
#include "controls/ts_palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tessaro {

namespace {
constexpr qreal kCornerRadius = 9;
constexpr int kContentInset = 8;
}  // namespace

WelcomeWindowController::WelcomeWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("WelcomeWindowController"));
    setWindowTitle(ui::text("AppName.text"));
    setWindowFlag(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kContentInset, kContentInset, kContentInset, kContentInset);
    guide_ = new GuideViewController(true, this);
    guide_->BlackBlock = [this] { black(); };
    layout->addWidget(guide_);
    setFixedSize(GuideViewController::kSize + QSize(2 * kContentInset, 2 * kContentInset));
}

void WelcomeWindowController::showModal() { showCentredModal(this, parentWidget()); }

void WelcomeWindowController::black() {
    close();
    // Back to the window the tutorial was opened over, so that its shortcuts work at once.
    if (QWidget* owner = parentWidget()) {
        owner->window()->activateWindow();
    }
}

void WelcomeWindowController::paintEvent(QPaintEvent*) {
    // The window at 0.9 of the ink colour, its content at 0.8 over it. The outer edge is
    // square: without a compositor, rounded-off corners would show as black.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), controls::inkColor(0.9));
    QPainterPath inner;
    inner.addRoundedRect(rect().adjusted(kContentInset, kContentInset, -kContentInset, -kContentInset),
                         kCornerRadius, kCornerRadius);
    painter.fillPath(inner, controls::inkColor(0.8));
}

}  // namespace tessaro
