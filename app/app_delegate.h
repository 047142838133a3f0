#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QMenuBar;

namespace tessaro {

class CustomWindow;
class MainViewController;
class PasswordPrompt;
class WelcomeWindowController;

// Owns the one main window and the menu bar, decides what the window shows (guide, login,
// main), runs the lock cycle and the idle timer.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate();
    ~AppDelegate() override;

    static AppDelegate* sharedAppDelegate();
    // True unless the setting "FirstRun" holds a true value.
    static bool isFirstRun();

    void applicationDidFinishLaunching();
    // (Re)arms the idle timer; called after every user action in the main window.
    void setAfterLock();
    // Forwards to the main window controller, which performs the lock.
    void lockTessaroAction();
    void applicationShouldHandleReopen();
    void showWelcomeTutorialAction();

    // The idle delay in milliseconds for a value of "kTESSAROWHENIDLE", or -1 for no idle
    // lock: 0 never, 1 30 s, 2 60 s, 3 300 s, anything else (the menu's fifth choice
    // stores 4) the shortest delay.
    static constexpr int kShortestIdleDelayMs = 15 * 1000;
    static int idleDelayMsForSetting(qint64 value);
    // Replaces the table above (tests use short delays).
    void setIdleDelayProvider(std::function<int(qint64)> provider);

    CustomWindow* mainWindow() const { return mainWindow_.get(); }
    MainViewController* mainView() const;
    PasswordPrompt* passwordPrompt() const;
    WelcomeWindowController* welcomeWindow() const;
    const QTimer& idleTimer() const { return idleTimer_; }
    QMenuBar* mainMenu() const { return mainMenu_; }
    QAction* lockTessaro() const { return lockTessaro_; }

    // The window states.
    void showGuide();
    void showLogin();
    // Login or guide succeeded: a new main window controller with the carried-over table.
    void showMainView();

signals:
    void mainViewShown(MainViewController* controller);
    void loginShown();

private:
    void buildMenus();
    void showMenusForGuide(bool guide);

    std::unique_ptr<CustomWindow> mainWindow_;
    QPointer<MainViewController> mainView_;
    QPointer<PasswordPrompt> prompt_;
    QPointer<WelcomeWindowController> welcome_;
    QTimer idleTimer_;
    std::function<int(qint64)> idleDelayProvider_;

    QMenuBar* mainMenu_ = nullptr;
    QList<QAction*> mainHeadMenus_;
    QMenu* tessaroMenu_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* passwordMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* lockTessaro_ = nullptr;
    QAction* addFiles_ = nullptr;
};

}  // namespace tessaro
