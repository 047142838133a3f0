#include "app/password_prompt.h"

#include "app/shell_style.h"
#include "app/ui_resources.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaro {

namespace {

QString setting(const char* key) { return QString::fromLatin1(key); }

constexpr char kFieldStyle[] =
    "QLineEdit { border: 2px solid #d5d7de; border-radius: 6px; padding: 6px 8px; background: #ffffff; color: #1e1e22; }"
    "QLineEdit:focus { border-color: #0E7C74; }";

}  // namespace

PasswordPrompt::PasswordPrompt(Mode mode, QWidget* parent) : QWidget(parent), mode_(mode) {
    setObjectName(mode == Mode::Login ? QStringLiteral("loginPrompt") : QStringLiteral("createVaultPrompt"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::windowBackground());
    setPalette(pal);
    if (mode == Mode::Login) {
        buildLogin();
    } else {
        buildCreate();
    }
    langeuageAction();
}

void PasswordPrompt::buildLogin() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 30, 28, 24);
    layout->setSpacing(0);

    auto* lock = new QLabel(this);
    lock->setObjectName(QStringLiteral("loginLock"));
    lock->setAlignment(Qt::AlignCenter);
    lock->setPixmap(ui::picturePixmap(QStringLiteral("About/loginLock.png"), QSize(96, 96), devicePixelRatioF()));
    lock->setFixedHeight(104);
    layout->addWidget(lock);
    layout->addSpacing(10);

    addHeading(layout, Qt::AlignCenter);
    layout->addSpacing(20);

    passwordBackGroundView_ = new QWidget(this);
    auto* row = new QHBoxLayout(passwordBackGroundView_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    password_ = new QLineEdit(passwordBackGroundView_);
    password_->setObjectName(QStringLiteral("passwordTextField"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setStyleSheet(QString::fromLatin1(kFieldStyle));
    password_->setMinimumHeight(36);
    row->addWidget(password_, 1);
    enter_ = new QToolButton(passwordBackGroundView_);
    enter_->setObjectName(QStringLiteral("enterBtn"));
    enter_->setFixedSize(36, 36);
    enter_->setIconSize(QSize(20, 20));
    enter_->setStyleSheet(QStringLiteral(
        "QToolButton { border: 2px solid #d5d7de; border-radius: 5px; background: #ffffff; }"
        "QToolButton:hover { background: #E3F4F1; border-color: #0E7C74; }"));
    enter_->setIcon(ui::picture(QStringLiteral("About/loginOk.png")));
    row->addWidget(enter_);
    layout->addWidget(passwordBackGroundView_);
    layout->addSpacing(10);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("loginMessage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setMinimumHeight(36);
    layout->addWidget(message_);
    layout->addStretch(1);

    connect(password_, &QLineEdit::returnPressed, this, &PasswordPrompt::enterAction);
    connect(enter_, &QToolButton::clicked, this, &PasswordPrompt::enterAction);
}

// The title and the line under it, the same on both forms.
void PasswordPrompt::addHeading(QVBoxLayout* layout, Qt::Alignment alignment) {
    title_ = new QLabel(this);
    title_->setAlignment(alignment);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.45);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    title_->setStyleSheet(QStringLiteral("color: #1e1e22;"));
    layout->addWidget(title_);
    layout->addSpacing(4);
    subtitle_ = new QLabel(this);
    subtitle_->setAlignment(alignment);
    subtitle_->setWordWrap(true);
    subtitle_->setStyleSheet(QStringLiteral("color: #787a82;"));
    layout->addWidget(subtitle_);
}

void PasswordPrompt::buildCreate() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(34, 28, 34, 24);
    layout->setSpacing(0);

    addHeading(layout, Qt::AlignLeft);
    layout->addSpacing(18);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    locationLabel_ = new QLabel(this);
    location_ = new QLineEdit(this);
    location_->setObjectName(QStringLiteral("vaultLocation"));
    location_->setStyleSheet(QString::fromLatin1(kFieldStyle));
    location_->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::HomeLocation)).filePath(QStringLiteral("Tessaro.flp")));
    choose_ = new QPushButton(this);
    connect(choose_, &QPushButton::clicked, this, [this] {
        const QString dir = QFileDialog::getExistingDirectory(this, locationLabel_->text());
        if (!dir.isEmpty()) {
            location_->setText(QDir(dir).filePath(QStringLiteral("Tessaro.flp")));
        }
    });
    passwordLabel_ = new QLabel(this);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("newPassword"));
    password_->setEchoMode(QLineEdit::Password);
    password_->setStyleSheet(QString::fromLatin1(kFieldStyle));
    confirmLabel_ = new QLabel(this);
    confirm_ = new QLineEdit(this);
    confirm_->setObjectName(QStringLiteral("confirmPassword"));
    confirm_->setEchoMode(QLineEdit::Password);
    confirm_->setStyleSheet(QString::fromLatin1(kFieldStyle));
    hintLabel_ = new QLabel(this);
    hint_ = new QLineEdit(this);
    hint_->setObjectName(QStringLiteral("passwordHint"));
    hint_->setStyleSheet(QString::fromLatin1(kFieldStyle));
    int r = 0;
    grid->addWidget(locationLabel_, r++, 0, 1, 2);
    grid->addWidget(location_, r, 0);
    grid->addWidget(choose_, r++, 1);
    grid->addWidget(passwordLabel_, r++, 0, 1, 2);
    grid->addWidget(password_, r++, 0, 1, 2);
    grid->addWidget(confirmLabel_, r++, 0, 1, 2);
    grid->addWidget(confirm_, r++, 0, 1, 2);
    grid->addWidget(hintLabel_, r++, 0, 1, 2);
    grid->addWidget(hint_, r++, 0, 1, 2);
    layout->addLayout(grid);
    layout->addSpacing(8);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setMinimumHeight(20);
    layout->addWidget(message_);
    layout->addStretch(1);
    create_ = new QPushButton(this);
    create_->setObjectName(QStringLiteral("createVaultBtn"));
    create_->setMinimumHeight(36);
    create_->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; border-radius: 7px; background: #0E7C74; color: white; padding: 6px 18px; font-weight: 600; }"
        "QPushButton:hover { background: #1AA39A; }"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(create_);
    layout->addLayout(buttons);
    connect(create_, &QPushButton::clicked, this, &PasswordPrompt::enterAction);
    connect(confirm_, &QLineEdit::returnPressed, this, &PasswordPrompt::enterAction);
    passwordBackGroundView_ = password_;
}

void PasswordPrompt::langeuageAction() {
    if (mode_ == Mode::Login) {
        title_->setText(ui::text("AppName.text"));
        subtitle_->setText(ui::text("login.message"));
        password_->setPlaceholderText(ui::text("passwordTextField.placeholderString"));
        enter_->setToolTip(ui::text("login.enter"));
        return;
    }
    title_->setText(ui::text("guide.title"));
    subtitle_->setText(ui::text("guide.message"));
    locationLabel_->setText(ui::text("guide.location"));
    choose_->setText(ui::text("guide.choose"));
    passwordLabel_->setText(ui::text("guide.password"));
    confirmLabel_->setText(ui::text("guide.confirm"));
    hintLabel_->setText(ui::text("guide.hint"));
    hint_->setPlaceholderText(ui::text("guide.hintPlaceholder"));
    create_->setText(ui::text("createVaultBtn.title"));
}

void PasswordPrompt::focusPassword() {
    QTimer::singleShot(0, password_, [field = password_] { field->setFocus(Qt::OtherFocusReason); });
}

void PasswordPrompt::showMessage(const QString& text, bool isError) {
    message_->setStyleSheet(isError ? QStringLiteral("color: #c0392b;") : QStringLiteral("color: #787a82;"));
    message_->setText(text);
}

void PasswordPrompt::shake(QWidget* target) {
    auto* animation = new QPropertyAnimation(target, "pos", target);
    const QPoint rest = target->pos();
    animation->setDuration(240);
    animation->setKeyValueAt(0.0, rest);
    animation->setKeyValueAt(0.125, rest + QPoint(10, 0));
    animation->setKeyValueAt(0.375, rest - QPoint(10, 0));
    animation->setKeyValueAt(0.625, rest + QPoint(10, 0));
    animation->setKeyValueAt(0.875, rest - QPoint(10, 0));
    animation->setKeyValueAt(1.0, rest);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void PasswordPrompt::enterAction() {
    if (mode_ == Mode::CreateVault) {
        createVault();
        return;
    }
    // Exact, case-sensitive equality; an absent stored password never matches.
    const QVariant stored = SettingsStore::value(setting(keys::kSOUREPASSWORD));
    if (stored.isValid() && !stored.toString().isEmpty() && stored.toString() == password_->text()) {
        errorCount_ = 0;
        emit unlocked();
        return;
    }
    ++errorCount_;
    shake(passwordBackGroundView_);
    if (errorCount_ >= 4) {
        const QString hint = SettingsStore::stringValue(setting(keys::kPASSWORDHINTCONTENT));
        showMessage(errorCount_ >= 6 || hint.isEmpty() ? ui::text("passwordkeyphale")
                                                      : ui::text("login.hintFormat").arg(hint),
                    true);
    } else {
        showMessage(ui::text("login.wrong"), true);
    }
}

void PasswordPrompt::createVault() {
    QString root = QDir::cleanPath(location_->text().trimmed());
    if (root.isEmpty() || !QDir::isAbsolutePath(root)) {
        showMessage(ui::text("guide.badLocation"), true);
        shake(location_);
        return;
    }
    if (!root.endsWith(QLatin1String(vaultpaths::kVaultSuffix))) {
        root += QLatin1String(vaultpaths::kVaultSuffix);
    }
    if (password_->text().isEmpty()) {
        showMessage(ui::text("guide.emptyPassword"), true);
        shake(password_);
        return;
    }
    if (password_->text() != confirm_->text()) {
        showMessage(ui::text("guide.mismatch"), true);
        shake(confirm_);
        return;
    }
    if (!vaultpaths::ensureDirectory(root, loglines::kRootCreated, loglines::kRootCreateFailed) ||
        !vaultpaths::ensureDirectory(joinPath(root, QString::fromLatin1(vaultpaths::kNotesDir)),
                                     loglines::kRootCreated, loglines::kRootCreateFailed)) {
        showMessage(ui::text("guide.createFailed"), true);
        return;
    }
    // The password last, after everything it protects is in place: a crash before this
    // point leaves the next launch in the guide again.
    bool stored = SettingsStore::setValue(setting(keys::kRootDirKey), root);
    stored = stored && SettingsStore::setValue(setting(keys::mainWindowSizeWidth), 800.0);
    stored = stored && SettingsStore::setValue(setting(keys::mainWindowSizeHeight), 500.0);
    if (stored && !hint_->text().isEmpty()) {
        stored = SettingsStore::setValue(setting(keys::kPASSWORDHINTCONTENT), hint_->text());
    }
    stored = stored && SettingsStore::setValue(setting(keys::kSOUREPASSWORD), password_->text());
    stored = stored && SettingsStore::setValue(setting(keys::FirstRun), true);
    if (!stored) {
        showMessage(ui::text("guide.createFailed"), true);
        return;
    }
    emit vaultCreated();
}

}  // namespace tessaro
