#pragma once

#include "access/session_lock_listener.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QDBusConnection;
class QMenuBar;

namespace tessaro {

class CustomWindow;
class GuideViewController;
class MainViewController;
class WelcomeWindowController;
class loginViewcontroller;

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
    // Forwards to the main window controller, which performs the lock. The one way in for
    // every lock: button, menu, idle timer and the session's own lock.
    void lockTessaroAction();
    // Locks the vault when the desktop session locks its screen or the machine goes to
    // sleep, as these buses announce it (a bus that is not connected is left alone).
    void watchSessionLock(const QDBusConnection& sessionBus, const QDBusConnection& systemBus);
    access::SessionLockListener* sessionLockListener() const { return sessionLock_; }
    void applicationShouldHandleReopen();
    // The quit command and the window's close button: a running walk is asked about and
    // ended safely first (MainViewController::applicationShouldTerminate).
    void terminateAction();
    // What ends the application once it may (tests record it instead).
    void setTerminateHandlerForTests(std::function<void()> handler);
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
    GuideViewController* guideView() const;
    loginViewcontroller* loginView() const;
    WelcomeWindowController* welcomeWindow() const;
    const QTimer& idleTimer() const { return idleTimer_; }
    QMenuBar* mainMenu() const { return mainMenu_; }
    QAction* lockTessaro() const { return lockTessaro_; }
    QAction* addFiles() const { return addFiles_; }
    QAction* addNote() const { return addNote_; }
    // File menu items 3 and 4: hide and unhide the selected item, enabled exactly while
    // the main window has a selected item they apply to.
    QAction* HideItem() const { return HideItem_; }
    QAction* UnHideItem() const { return UnHideItem_; }

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
    void refreshItemCommands();

    std::unique_ptr<CustomWindow> mainWindow_;
    QPointer<MainViewController> mainView_;
    QPointer<GuideViewController> guide_;
    QPointer<loginViewcontroller> login_;
    QPointer<WelcomeWindowController> welcome_;
    QPointer<access::SessionLockListener> sessionLock_;
    // Where the main window was when it was last locked, to put it back there.
    QRect mainGeometry_;
    QTimer idleTimer_;
    std::function<int(qint64)> idleDelayProvider_;
    std::function<void()> terminate_;

    QMenuBar* mainMenu_ = nullptr;
    QList<QAction*> mainHeadMenus_;
    QMenu* tessaroMenu_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* passwordMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QAction* lockTessaro_ = nullptr;
    QAction* addFiles_ = nullptr;
    QAction* addNote_ = nullptr;
    QAction* HideItem_ = nullptr;
    QAction* UnHideItem_ = nullptr;
};

}  // namespace tessaro
