#include "app/change_password_window.h"

#include "access/password_change.h"
#include "access/password_strength.h"
#include "app/main_view_controller.h"
#include "app/modal_window.h"
#include "app/shell_style.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "controls/shake.h"
#include "controls/ts_view.h"
#include "core/catalogue.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int kFieldHeight = 26;
constexpr qreal kHighlightWidth = 2;
constexpr qreal kNormalWidth = 1;

}  // namespace

ChangePasswordWController::ChangePasswordWController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ChangePasswordWController"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kSize);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::windowBackground());
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    // The window's title again, inside: which vault's password this is, even where the
    // window manager draws no title bar.
    headingLabel_ = new QLabel(this);
    headingLabel_->setObjectName(QStringLiteral("changePasswordHeading"));
    QFont headingFont = headingLabel_->font();
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    headingFont.setBold(true);
    headingLabel_->setFont(headingFont);
    headingLabel_->setStyleSheet(QStringLiteral("color: #1e1e22;"));
    layout->addWidget(headingLabel_);
    layout->addSpacing(14);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    const auto row = [&](int at, QLabel*& label, QLineEdit*& field, const char* name, bool secure) {
        label = new QLabel(this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        field = addField(name, secure);
        label->setBuddy(field);
        grid->addWidget(label, at, 0);
        grid->addWidget(frameOf(field), at, 1);
    };
    row(0, oldPasswordLabel_, oldPasswordField_, "oldPasswordField", true);
    row(1, nowPasswordLabel_, nowPasswordField_, "nowPasswordField", true);
    // The strength word sits at the end of the new password's own field.
    passwordLealLabel_ = new QLabel(frameOf(nowPasswordField_));
    passwordLealLabel_->setObjectName(QStringLiteral("passwordLealLabel"));
    frameOf(nowPasswordField_)->layout()->addWidget(passwordLealLabel_);
    row(2, verifyLabel_, verifyField_, "verifyField", true);
    row(3, passwordHitLabel_, passwordHitField_, "passwordHitField", false);
    layout->addLayout(grid);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cancelBtn_ = new QPushButton(this);
    cancelBtn_->setObjectName(QStringLiteral("cancelBtn"));
    cancelBtn_->setAutoDefault(false);
    changePasswordBtn_ = new QPushButton(this);
    changePasswordBtn_->setObjectName(QStringLiteral("changePasswordBtn"));
    changePasswordBtn_->setDefault(true);
    buttons->addWidget(cancelBtn_);
    buttons->addWidget(changePasswordBtn_);
    layout->addLayout(buttons);

    setTabOrder(oldPasswordField_, nowPasswordField_);
    setTabOrder(nowPasswordField_, verifyField_);
    setTabOrder(verifyField_, passwordHitField_);
    setTabOrder(passwordHitField_, cancelBtn_);
    setTabOrder(cancelBtn_, changePasswordBtn_);

    connect(nowPasswordField_, &QLineEdit::textChanged, this, &ChangePasswordWController::controlTextDidChange);
    connect(cancelBtn_, &QPushButton::clicked, this, &ChangePasswordWController::cancelAction);
    connect(changePasswordBtn_, &QPushButton::clicked, this, &ChangePasswordWController::changePasswordAction);
    relabelOnLanguageChange(this, [this] { langeuageAction(); });
    windowDidLoad();
}

QLineEdit* ChangePasswordWController::addField(const char* objectName, bool secure) {
    auto* frame = new controls::TSView(this);
    frame->setObjectName(QString::fromLatin1(objectName) + QStringLiteral("Background"));
    frame->setFixedHeight(kFieldHeight + 4);
    frame->setBorderColour(normalBorder());
    frame->setBorderWidth(kNormalWidth);
    auto* inner = new QHBoxLayout(frame);
    inner->setContentsMargins(6, 2, 6, 2);
    auto* field = new QLineEdit(frame);
    field->setObjectName(QString::fromLatin1(objectName));
    field->setFrame(false);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    if (secure) {
        field->setEchoMode(QLineEdit::Password);
    }
    field->installEventFilter(this);
    inner->addWidget(field);
    return field;
}

controls::TSView* ChangePasswordWController::frameOf(const QLineEdit* field) const {
    return field ? qobject_cast<controls::TSView*>(field->parentWidget()) : nullptr;
}

void ChangePasswordWController::setDriveVault(Catalogue& catalogue, QObject* catalogueOwner, const QString& vaultKey) {
    isChangeUpFlpPassword = true;
    catalogue_ = &catalogue;
    catalogueOwner_ = catalogueOwner;
    vaultKey_ = vaultKey;
    flpName = vaultKey.section(QLatin1Char('/'), -1, -1);
    groupOldPassword = access::driveVaultDigest(catalogue, vaultKey).value_or(QString());
    if (catalogueOwner) {
        connect(catalogueOwner, &QObject::destroyed, this, [this] {
            catalogue_ = nullptr;
            close();
        });
    }
    windowDidLoad();
}

void ChangePasswordWController::windowDidLoad() {
    langeuageAction();
    passwordLealLabel_->clear();
    passwordHitField_->clear();
    oldPasswordField_->setFocus(Qt::OtherFocusReason);
}

void ChangePasswordWController::langeuageAction() {
    setWindowTitle(isChangeUpFlpPassword ? ui::text("changeFlpPassword").arg(flpName)
                                         : ui::text("changePasswordWindow.title"));
    headingLabel_->setText(windowTitle());
    const struct {
        QLabel* label;
        QLineEdit* field;
        const char* key;
    } rows[] = {{oldPasswordLabel_, oldPasswordField_, "oldPasswordLabel.stringValue"},
                {nowPasswordLabel_, nowPasswordField_, "nowPasswordLabel.stringValue"},
                {verifyLabel_, verifyField_, "verifyLabel.stringValue"},
                {passwordHitLabel_, passwordHitField_, "passwordHitLabel.stringValue"}};
    for (const auto& r : rows) {
        r.label->setText(ui::text(r.key));
        QString name = ui::text(r.key);
        // The label's colon belongs to the layout, not to what a screen reader says.
        while (name.endsWith(QLatin1Char(':')) || name.endsWith(QChar(0xFF1A))) {
            name.chop(1);
        }
        r.field->setAccessibleName(name);
    }
    passwordHitField_->setAccessibleDescription(ui::text("changePasswordWindow.hintDescription"));
    passwordLealLabel_->setAccessibleName(ui::text("changePasswordWindow.strength"));
    cancelBtn_->setText(ui::text("changePasswordWindow.cancel"));
    cancelBtn_->setAccessibleName(cancelBtn_->text());
    changePasswordBtn_->setText(ui::text("changePasswordWindow.change"));
    changePasswordBtn_->setAccessibleName(changePasswordBtn_->text());
}

void ChangePasswordWController::controlTextDidChange() {
    const QString typed = nowPasswordField_->text();
    if (typed.isEmpty()) {
        passwordLealLabel_->clear();
        return;
    }
    const access::PasswordLevelLook look = access::passwordLevelLook(access::passwordLevel(typed));
    passwordLealLabel_->setText(QString::fromLatin1(look.word));
    QPalette pal = passwordLealLabel_->palette();
    pal.setColor(QPalette::WindowText, look.colour);
    passwordLealLabel_->setPalette(pal);
}

void ChangePasswordWController::highlight(const QLineEdit* focused) {
    for (const QLineEdit* field : {oldPasswordField_, nowPasswordField_, verifyField_, passwordHitField_}) {
        controls::TSView* frame = frameOf(field);
        // The hint field is not a password field: it never shows the highlight.
        const bool lit = field == focused && field != passwordHitField_;
        frame->setBorderColour(lit ? highlightBorder() : normalBorder());
        frame->setBorderWidth(lit ? kHighlightWidth : kNormalWidth);
    }
}

bool ChangePasswordWController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        highlight(qobject_cast<QLineEdit*>(watched));
    } else if (event->type() == QEvent::FocusOut && watched != passwordHitField_) {
        highlight(nullptr);
    }
    return QDialog::eventFilter(watched, event);
}

void ChangePasswordWController::changePasswordAction() {
    if (committing_) {
        return;
    }
    using access::PasswordChangeRefusal;
    const access::PasswordChangeInput input{oldPasswordField_->text(), nowPasswordField_->text(), verifyField_->text(),
                                            passwordHitField_->text()};
    const access::PasswordChangeCheck check = isChangeUpFlpPassword
                                                  ? access::checkDrivePasswordChange(groupOldPassword, input)
                                                  : access::checkVaultPasswordChange(input);
    const auto refuse = [this](QLineEdit* field) {
        controls::shake(frameOf(field));
        field->setFocus(Qt::OtherFocusReason);
    };
    switch (check.refusal) {
    case PasswordChangeRefusal::WrongOldPassword:
        refuse(oldPasswordField_);
        controls::ModalSeam::alert(this, {ui::text("wenxintishi"), ui::text("passwordFaileMessage.StringValue"),
                                          ui::text("passwordSucInfomation.StringValue"),
                                          ui::text("PasswordSucOk.StringValue")});
        return;
    case PasswordChangeRefusal::EmptyNewPassword:
        refuse(nowPasswordField_);
        return;
    case PasswordChangeRefusal::UnusableNewPassword:
        refuse(nowPasswordField_);
        controls::ModalSeam::alert(this, {ui::text("wenxintishi"), ui::text("password.refusedTitle"),
                                          access::describeRefusal(check.unusable)});
        return;
    case PasswordChangeRefusal::ConfirmationDiffers:
        refuse(verifyField_);
        return;
    case PasswordChangeRefusal::EmptyHint:
        // A button that does nothing at all looks broken: the empty field says why.
        refuse(passwordHitField_);
        return;
    case PasswordChangeRefusal::None:
        break;
    }
    if (isChangeUpFlpPassword) {
        commitDrivePassword();
        return;
    }
    committing_ = true;
    controls::ModalSeam::question(
        this,
        {ui::text("wenxintishi"), ui::text("passwordMessage.StringValue"), ui::text("passwordInfomation.StringValue"),
         ui::text("Cancel.StringValue"), ui::text("ProceedAnyway.StringValue")},
        [self = QPointer<ChangePasswordWController>(this)](QMessageBox::StandardButton answer) {
            if (!self) {
                return;
            }
            self->committing_ = false;
            if (answer == QMessageBox::Yes) {
                self->commitVaultPassword();
            }
        });
}

void ChangePasswordWController::commitVaultPassword() {
    // The fields as they are now: the user may have typed on while the question was open.
    const access::PasswordChangeResult result = access::changeVaultPassword(
        {oldPasswordField_->text(), nowPasswordField_->text(), verifyField_->text(), passwordHitField_->text()});
    if (!result.ok) {
        if (!result.check.passed()) {
            changePasswordAction();  // the same refusal, shown as such
        } else {
            showFailure(result.message);
        }
        return;
    }
    QPointer<QWidget> owner = parentWidget();
    close();
    if (result.weak) {
        controls::ModalSeam::alert(owner, {ui::text("wenxintishi"), ui::text("passwordSucMessage.StringValue"),
                                           ui::text("passwordSucInfomation.StringValue"),
                                           ui::text("PasswordSucOk.StringValue")});
    }
}

void ChangePasswordWController::commitDrivePassword() {
    if (!catalogue_) {
        showFailure(ui::text("passwordChange.driveMissing").arg(flpName));
        return;
    }
    const access::PasswordChangeResult result = access::changeDrivePassword(
        *catalogue_, vaultKey_,
        {oldPasswordField_->text(), nowPasswordField_->text(), verifyField_->text(), passwordHitField_->text()});
    if (!result.ok) {
        showFailure(result.message);
        return;
    }
    changedPassword = verifyField_->text();
    groupOldPassword = access::driveVaultDigest(*catalogue_, vaultKey_).value_or(QString());
    close();
}

void ChangePasswordWController::showFailure(const QString& message) {
    // The window stays open with what was typed, so that the user can try again.
    controls::ModalSeam::alert(this, {ui::text("wenxintishi"), ui::text("passwordChange.failedTitle"), message});
}

void ChangePasswordWController::cancelAction() { close(); }

void ChangePasswordWController::showModal() {
    showCentredModal(this, parentWidget());
    QTimer::singleShot(0, oldPasswordField_, [field = oldPasswordField_] { field->setFocus(Qt::OtherFocusReason); });
}

ChangePasswordWController* showChangePassword(QWidget* parentWindow, std::optional<QString> driveVaultKey) {
    QWidget* over = parentWindow ? parentWindow->window() : nullptr;
    auto* window = new ChangePasswordWController(over);
    if (driveVaultKey) {
        MainViewController* main = over ? over->findChild<MainViewController*>() : nullptr;
        if (!main || !main->catalogue.UPLibrary.contains(*driveVaultKey)) {
            delete window;
            controls::ModalSeam::alert(over, {ui::text("wenxintishi"), ui::text("passwordChange.failedTitle"),
                                              ui::text("passwordChange.driveMissing")
                                                  .arg(driveVaultKey->section(QLatin1Char('/'), -1, -1))});
            return nullptr;
        }
        window->setDriveVault(main->catalogue, main, *driveVaultKey);
    }
    window->showModal();
    return window;
}

}  // namespace tessaro
