#include "app/login_viewcontroller.h"

#include "app/shell_style.h"
#include "app/ts_popover_view_controller.h"
#include "app/ui_resources.h"
#include "controls/shake.h"
#include "controls/ts_image_view.h"
#include "controls/ts_popover.h"
#include "controls/ts_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <numbers>

namespace tessaro {

namespace {

constexpr char kLockPicture[] = "About/loginLock.png";
constexpr char kEnterPicture[] = "About/loginOk.png";
constexpr char kHintPicture[] = "About/PasswordHintIconMenu@2x.png";
constexpr int kTurnMs = 100;

}  // namespace

loginViewcontroller::loginViewcontroller(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("loginViewcontroller"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::windowBackground());
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 34, 30, 0);
    layout->setSpacing(0);
    loginView_ = new controls::TSImageView(this);
    loginView_->setObjectName(QStringLiteral("loginView"));
    loginView_->setPicture(ui::picture(QString::fromLatin1(kLockPicture)), QSize(96, 96));
    layout->addWidget(loginView_, 0, Qt::AlignHCenter);
    layout->addSpacing(16);

    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("loginMessage"));
    messageLabel_->setAlignment(Qt::AlignCenter);
    messageLabel_->setWordWrap(true);
    messageLabel_->setStyleSheet(QStringLiteral("color: #6e7078;"));
    layout->addWidget(messageLabel_);
    layout->addSpacing(14);

    passwordBackGroundView_ = new controls::TSView(this);
    passwordBackGroundView_->setObjectName(QStringLiteral("passwordBackGroundView"));
    passwordBackGroundView_->setCornerRadius(3);
    passwordBackGroundView_->setBorderWidth(2);
    passwordBackGroundView_->setBorderColour(QColor(0xDC, 0xDC, 0xE0));
    passwordBackGroundView_->setFixedHeight(38);
    auto* row = new QHBoxLayout(passwordBackGroundView_);
    row->setContentsMargins(8, 3, 4, 3);
    row->setSpacing(4);
    passwordTextField_ = new QLineEdit(passwordBackGroundView_);
    passwordTextField_->setObjectName(QStringLiteral("passwordTextField"));
    passwordTextField_->setEchoMode(QLineEdit::Password);
    passwordTextField_->setFrame(false);
    QFont fieldFont(QStringLiteral("KannadaSangamMN"));
    fieldFont.setPointSizeF(13);
    passwordTextField_->setFont(fieldFont);
    passwordTextField_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: #1e1e22; }"));
    QPalette fieldPalette = passwordTextField_->palette();
    fieldPalette.setColor(QPalette::PlaceholderText, QColor(170, 170, 176));
    passwordTextField_->setPalette(fieldPalette);
    passwordTextField_->installEventFilter(this);
    row->addWidget(passwordTextField_, 1);
    enterBtn_ = new QToolButton(passwordBackGroundView_);
    enterBtn_->setObjectName(QStringLiteral("enterBtn"));
    // The field keeps the focus: a click on the button is not the end of editing.
    enterBtn_->setFocusPolicy(Qt::TabFocus);
    enterBtn_->setAutoRaise(true);
    enterBtn_->setFixedSize(30, 30);
    enterBtn_->setIconSize(QSize(24, 24));
    enterBtn_->setCursor(Qt::PointingHandCursor);
    enterBtn_->setStyleSheet(QStringLiteral("QToolButton { border: none; border-radius: 5px; background: transparent; }"
                                            "QToolButton:hover { background: #E3F4F1; }"));
    row->addWidget(enterBtn_);
    layout->addWidget(passwordBackGroundView_);
    layout->addStretch(1);

    connect(passwordTextField_, &QLineEdit::textChanged, this, &loginViewcontroller::controlTextDidChange);
    connect(passwordTextField_, &QLineEdit::returnPressed, this, &loginViewcontroller::controlTextDidEndEditing);
    // The button's work runs after the release has been handled, as a separate step.
    connect(enterBtn_, &QToolButton::clicked, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (passwordTextField_->text().isEmpty()) {
                poper(passwordBackGroundView_);
            } else {
                enterAction();
            }
        });
    });
    controlTextDidChange();
    animationFlagValue = 0;
    loginView_->setAngle(0);
    langeuageAction();
}

void loginViewcontroller::langeuageAction() {
    if (QWidget* top = window(); top && top != this) {
        top->setWindowTitle(ui::text("AppName.text"));
    }
    messageLabel_->setText(ui::text("login.message"));
    passwordTextField_->setPlaceholderText(ui::text("passwordTextField.placeholderString"));
    enterBtn_->setToolTip(passwordTextField_->text().isEmpty() ? ui::text("login.showHint") : ui::text("login.enter"));
    enterBtn_->setAccessibleName(enterBtn_->toolTip());
    passwordTextField_->setAccessibleName(passwordTextField_->placeholderText());
    if (mypopoverView_) {
        const QSize size = mypopoverView_->fill();
        if (popoverShown()) {
            popover_->showRelativeTo(passwordBackGroundView_, size);
        }
    }
}

void loginViewcontroller::focusPassword() {
    QTimer::singleShot(0, passwordTextField_, [field = passwordTextField_] { field->setFocus(Qt::OtherFocusReason); });
}

bool loginViewcontroller::popoverShown() const { return popover_ && popover_->isShown(); }

void loginViewcontroller::controlTextDidChange() {
    const bool empty = passwordTextField_->text().isEmpty();
    enterPicture_ = QString::fromLatin1(empty ? kHintPicture : kEnterPicture);
    enterBtn_->setIcon(ui::picture(enterPicture_));
    enterBtn_->setToolTip(empty ? ui::text("login.showHint") : ui::text("login.enter"));
    enterBtn_->setAccessibleName(enterBtn_->toolTip());
    turnLock();
}

void loginViewcontroller::turnLock() {
    // A turn by a third, a half or a whole circle, never the same as the last one.
    qint64 k = QRandomGenerator::global()->bounded(1, 4);
    while (k == flagValue) {
        k = QRandomGenerator::global()->bounded(2, 4);
    }
    flagValue = k;
    const float end = static_cast<float>(2 * std::numbers::pi / static_cast<double>(k));
    loginView_->setAngle(animationFlagValue);
    loginView_->turnTo(end, kTurnMs);
    animationFlagValue = end;
}

void loginViewcontroller::controlTextDidEndEditing() {
    // An empty field is no attempt: nothing typed can be the password.
    if (!passwordTextField_->text().isEmpty()) {
        enterAction();
    }
}

bool loginViewcontroller::eventFilter(QObject* watched, QEvent* event) {
    if (watched == passwordTextField_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            controlTextDidEndEditing();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void loginViewcontroller::enterAction() {
    const std::optional<QString> stored = access::storedPassword();
    if (popoverShown()) {
        popover_->hide();
    }
    const access::LoginAttempts::Result result = attempts_.enter(stored, passwordTextField_->text());
    if (result.matched) {
        emit unlocked();
        return;
    }
    // The typed text stays; no message: the shake, and from the fourth try the hint.
    controls::shake(passwordBackGroundView_);
    if (result.showHint) {
        poper(passwordBackGroundView_);
    }
}

void loginViewcontroller::poper(QWidget* anchor) {
    if (!popover_) {
        popover_ = new controls::TSPopover(this);
        mypopoverView_ = new TSPopoverViewController;
        popover_->setContentViewController(mypopoverView_);
    }
    mypopoverView_->errorCount = attempts_.errorCount();
    const QSize size = mypopoverView_->fill();
    popover_->showRelativeTo(anchor, size);
}

}  // namespace tessaro
