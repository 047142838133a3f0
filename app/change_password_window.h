#pragma once

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QSize>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaro {

class Catalogue;

namespace controls {
class TSView;
}

// The small application-modal window in which the user replaces a password: the vault's
// own, or one removable-drive vault's. It asks for the old password, the new one twice and
// a hint, rates the new one while it is typed, and commits through access/password_change.
class ChangePasswordWController : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize kSize{436, 270};

    explicit ChangePasswordWController(QWidget* parent = nullptr);

    // Removable-drive mode, before the window is shown: the vault `vaultKey` whose rows
    // `catalogue` holds. `catalogueOwner` owns the catalogue; the window closes when it goes
    // (a lock while the window is open), so that nothing is written through a dead catalogue.
    void setDriveVault(Catalogue& catalogue, QObject* catalogueOwner, const QString& vaultKey);

    bool isChangeUpFlpPassword = false;
    QString flpName;
    QString groupOldPassword;
    // Removable-drive mode: the accepted new password, once written.
    QString changedPassword;

    // Titles, labels and an empty start, the focus in the old password field.
    void windowDidLoad();
    void langeuageAction();
    // The strength of the new password, word and colour.
    void controlTextDidChange();
    // The change button: the checks in order, then the commit.
    void changePasswordAction();
    void cancelAction();
    // Application-modal, centred over the parent's window.
    void showModal();

    QLineEdit* oldPasswordField() const { return oldPasswordField_; }
    QLineEdit* nowPasswordField() const { return nowPasswordField_; }
    QLineEdit* verifyField() const { return verifyField_; }
    QLineEdit* passwordHitField() const { return passwordHitField_; }
    QLabel* passwordLealLabel() const { return passwordLealLabel_; }
    QPushButton* cancelBtn() const { return cancelBtn_; }
    QPushButton* changePasswordBtn() const { return changePasswordBtn_; }
    // The framed backgrounds of the old, new, confirmation and hint fields.
    controls::TSView* frameOf(const QLineEdit* field) const;

    static QColor highlightBorder() { return QColor(80, 162, 246); }
    static QColor normalBorder() { return QColor(224, 224, 226); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addField(const char* objectName, bool secure);
    void highlight(const QLineEdit* focused);
    void commitVaultPassword();
    void commitDrivePassword();
    void showFailure(const QString& message);

    QPointer<QObject> catalogueOwner_;
    Catalogue* catalogue_ = nullptr;
    QString vaultKey_;
    bool committing_ = false;

    QLabel* headingLabel_ = nullptr;
    QLabel* oldPasswordLabel_ = nullptr;
    QLabel* nowPasswordLabel_ = nullptr;
    QLabel* verifyLabel_ = nullptr;
    QLabel* passwordHitLabel_ = nullptr;
    QLineEdit* oldPasswordField_ = nullptr;
    QLineEdit* nowPasswordField_ = nullptr;
    QLineEdit* verifyField_ = nullptr;
    QLineEdit* passwordHitField_ = nullptr;
    QLabel* passwordLealLabel_ = nullptr;
    QPushButton* cancelBtn_ = nullptr;
    QPushButton* changePasswordBtn_ = nullptr;
};

// Opens the window over `parentWindow`'s window: the vault password without a key, a
// removable-drive vault's with its vault key ("volume/dir.flp"; the main window's catalogue
// holds its rows). Returns the window, or null when the drive vault is not open (the user
// is told).
ChangePasswordWController* showChangePassword(QWidget* parentWindow, std::optional<QString> driveVaultKey);

}  // namespace tessaro
