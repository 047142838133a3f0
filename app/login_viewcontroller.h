#pragma once

#include "access/login_attempts.h"
#include "app/ts_popover_view_controller.h"
#include "controls/ts_popover.h"

#include <QPointer>
#include <QSize>
#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace tessaro {

namespace controls {
class TSImageView;
class TSView;
}  // namespace controls

// The small screen that asks for the password on every launch after the vault exists and
// after every lock. Wrong entries shake the field; from the fourth one the hint popover
// comes up, from the sixth it shows a fixed message instead of the hint.
class loginViewcontroller : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{300, 354};

    explicit loginViewcontroller(QWidget* parent = nullptr);

    qint64 errorCount() const { return attempts_.errorCount(); }
    qint64 flagValue = 0;
    float animationFlagValue = 0;

    // Checks the typed password.
    void enterAction();
    // Shows or refreshes the hint popover below `anchor`.
    void poper(QWidget* anchor);
    void langeuageAction();
    void controlTextDidChange();
    // Return or Tab in the field: an attempt, unless the field is empty.
    void controlTextDidEndEditing();
    void focusPassword();

    QLineEdit* passwordTextField() const { return passwordTextField_; }
    controls::TSView* passwordBackGroundView() const { return passwordBackGroundView_; }
    QToolButton* enterBtn() const { return enterBtn_; }
    controls::TSImageView* loginView() const { return loginView_; }
    // The popover and its content, absent until first used.
    controls::TSPopover* popover() const { return popover_; }
    TSPopoverViewController* mypopoverView() const { return mypopoverView_; }
    bool popoverShown() const;
    // The picture the forward button shows now.
    QString enterPictureName() const { return enterPicture_; }

signals:
    // The right password was entered.
    void unlocked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void turnLock();

    access::LoginAttempts attempts_;
    controls::TSImageView* loginView_ = nullptr;
    QLabel* messageLabel_ = nullptr;
    controls::TSView* passwordBackGroundView_ = nullptr;
    QLineEdit* passwordTextField_ = nullptr;
    QToolButton* enterBtn_ = nullptr;
    QString enterPicture_;
    QPointer<controls::TSPopover> popover_;
    QPointer<TSPopoverViewController> mypopoverView_;
};

}  // namespace tessaro
