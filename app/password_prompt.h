#pragma once

#include <QSize>
#include <QWidget>

class QLabel;
class QVBoxLayout;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tessaro {

// A plain password screen. In login mode it unlocks the vault with the stored password;
// in create mode it sets up a new vault (location, password, optional hint) on the first
// run. It stands in for the full login screen and first-run guide.
class PasswordPrompt : public QWidget {
    Q_OBJECT
public:
    enum class Mode { Login, CreateVault };
    static constexpr QSize kGuideSize{440, 430};

    explicit PasswordPrompt(Mode mode, QWidget* parent = nullptr);

    Mode mode() const { return mode_; }
    QLineEdit* passwordField() const { return password_; }
    QLineEdit* confirmField() const { return confirm_; }
    QLineEdit* hintField() const { return hint_; }
    QLineEdit* locationField() const { return location_; }
    QToolButton* enterButton() const { return enter_; }
    QPushButton* createButton() const { return create_; }
    QLabel* messageLabel() const { return message_; }
    qint64 errorCount() const { return errorCount_; }

    void focusPassword();
    // Login: checks the typed password; create: validates and creates the vault.
    void enterAction();
    void langeuageAction();

signals:
    void unlocked();
    void vaultCreated();

private:
    void buildLogin();
    void buildCreate();
    void addHeading(QVBoxLayout* layout, Qt::Alignment alignment);
    void shake(QWidget* target);
    void createVault();
    void showMessage(const QString& text, bool isError);

    Mode mode_;
    qint64 errorCount_ = 0;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QLabel* message_ = nullptr;
    QWidget* passwordBackGroundView_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* confirm_ = nullptr;
    QLineEdit* hint_ = nullptr;
    QLineEdit* location_ = nullptr;
    QLabel* locationLabel_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLabel* confirmLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QPushButton* choose_ = nullptr;
    QToolButton* enter_ = nullptr;
    QPushButton* create_ = nullptr;
};

}  // namespace tessaro
