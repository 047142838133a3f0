#pragma once

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tessaro {

namespace vault {
class SerialWorker;
struct MoveResult;
}  // namespace vault

// The four panes of the preferences window. Each fills its controls from the settings when
// it is made (the window makes a new one on every switch) and writes one setting per
// control action, at once: check boxes as 0 and 1, pop-up menus as the chosen index.
class PreferencePane : public QWidget {
    Q_OBJECT
public:
    explicit PreferencePane(QWidget* parent = nullptr);

protected:
    // A check box bound to a flag setting.
    QCheckBox* checkBox(const char* textKey, const char* settingKey);
    // A pop-up menu of the items "<itemKeyPrefix>0" ... bound to a choice setting.
    QComboBox* popUp(const char* itemKeyPrefix, int items, const char* settingKey, const char* nameKey);
    QLabel* label(const char* textKey, bool small = false);

private:
    // A setting that could not be written: the control goes back to what is stored, and
    // the user is told (a switch that silently does nothing is worse than none).
    void notWritten();
};

class GeneralViewController : public PreferencePane {
    Q_OBJECT
public:
    explicit GeneralViewController(QWidget* parent = nullptr);
    QComboBox* idleMenu() const { return idle_; }
    QComboBox* quitMenu() const { return quit_; }
    QCheckBox* checkBox1() const { return boxes_[0]; }
    QCheckBox* checkBox2() const { return boxes_[1]; }
    QCheckBox* checkBox3() const { return boxes_[2]; }
    QCheckBox* sessionLockBox() const { return boxes_[3]; }

private:
    QComboBox* idle_ = nullptr;
    QComboBox* quit_ = nullptr;
    QCheckBox* boxes_[4] = {};
};

class PasswordViewController : public PreferencePane {
    Q_OBJECT
public:
    // `changePassword` opens the change-password window; the button stays disabled
    // without it.
    explicit PasswordViewController(QWidget* parent = nullptr);
    QCheckBox* backUpBox() const { return backUp_; }
    QPushButton* changeButton() const { return change_; }

private:
    QCheckBox* backUp_ = nullptr;
    QPushButton* change_ = nullptr;
};

class ShortcutsViewController : public PreferencePane {
    Q_OBJECT
public:
    explicit ShortcutsViewController(QWidget* parent = nullptr);
};

// Besides its stored switches, shows where the vault is and moves it (on a worker, with
// progress and a cancel button).
class AdvancedViewController : public PreferencePane {
    Q_OBJECT
public:
    explicit AdvancedViewController(QWidget* parent = nullptr);
    ~AdvancedViewController() override;

    QCheckBox* checkBox1() const { return boxes_[0]; }
    QCheckBox* checkBox2() const { return boxes_[1]; }
    QCheckBox* checkBox3() const { return boxes_[2]; }
    QComboBox* eraseMenu() const { return erase_; }
    QLabel* pathLabel() const { return path_; }
    QPushButton* changePathButton() const { return changePath_; }
    QPushButton* cancelMoveButton() const { return cancelMove_; }
    QProgressBar* moveProgress() const { return progress_; }

    // changeVaultPathAction: the save panel, then the move to the chosen place.
    void changeVaultPathAction();
    void moveVaultTo(const QString& destination);
    bool isMoving() const { return worker_ != nullptr; }
    // Stops a running move; `done` runs once it has ended (at once when none runs).
    void cancelMove(std::function<void()> done);

signals:
    // The vault now lives at `root` (after the user read the message saying so).
    void vaultMoved(const QString& root);
    // A move began or ended: the window keeps the pane while it runs.
    void movingChanged(bool moving);

private:
    void moveEnded(const vault::MoveResult& result);
    void showMoving(bool moving);

    QCheckBox* boxes_[3] = {};
    QComboBox* erase_ = nullptr;
    QLabel* path_ = nullptr;
    QPushButton* changePath_ = nullptr;
    QPushButton* cancelMove_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::unique_ptr<vault::SerialWorker> worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::function<void()> afterMove_;
};

}  // namespace tessaro
