#pragma once

#include "access/session_lock_listener.h"

#include <QList>
#include <QKeySequence>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QDBusConnection;
class QMenuBar;
class QToolButton;
class QUrl;

namespace tessaro {

class CustomWindow;
class GuideViewController;
class MainViewController;
class TSTextView;
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
    // A top-level menu by its tag (10 application ... 80 help), or null.
    QMenu* menuWithTag(int tag) const;
    // The item of tag `itemTag` in the top-level menu `menuTag` (or in that menu's submenu
    // opened by `submenuTag`), or null.
    QAction* menuItem(int menuTag, int itemTag, std::optional<int> submenuTag = std::nullopt) const;

    // ---- Language ----
    // The switch: 1 Chinese, 2 English (other values by a hand-edited setting). Stores the
    // choice, remembers it for the next launch, and relabels the menus and every open
    // window at once.
    void setLange(int tag);
    // Relabels the whole menu bar and the language button in the current language.
    void refresMenuItems();
    // The title bar's language button (at the menu bar's corner), shown outside the guide.
    QToolButton* languageButton() const { return languageButton_; }

    // ---- Help ----
    // Opens the local help page of the current language in the default browser; tells the
    // user when there is none or no browser took it.
    void helpAction();
    // The installed help page for a language directory ("en", "zh-Hans"), falling back to
    // English; empty when none is installed.
    static QString helpPagePath(const QString& languageDirectory);
    // What opens a URL in the desktop's browser (tests record it instead).
    void setUrlOpener(std::function<bool(const QUrl&)> opener);

    // ---- Commands that other windows carry out ----
    // Each opens the real window or runs the main window's command; tests put their own
    // in place to see the menu reach it.
    void setPreferencesHook(std::function<void(QWidget*)> hook);
    void setChangePasswordHook(std::function<void(QWidget*, std::optional<QString>)> hook);
    // Delete: removes the selected item from the list (asking first for a hidden one).
    void setRemoveFromListHook(std::function<void(MainViewController&)> hook);
    // F2: renames the selected group in place.
    void setRenameGroupHook(std::function<void(MainViewController&)> hook);
    void preferencesAction();
    void enterChangePassword();

    // The window states.
    void showGuide();
    void showLogin();
    // Login or guide succeeded: a new main window controller with the carried-over table.
    void showMainView();

signals:
    // After a language switch has relabelled the menus and the shown controller: any other
    // open window connects its own relabelling here.
    void languageChanged();

private:
    void buildMenus();
    void buildLanguageButton();
    void showMenusForGuide(bool guide);
    // File, Edit, Format and Password, shown while the vault is open.
    void showVaultMenus(bool open);
    void refreshItemCommands();
    void refreshEditCommands();
    bool noteBeingEdited() const;
    bool mainViewIsShown() const;
    QAction* addMenuItem(QMenu* menu, int tag, const QKeySequence& shortcut = {});
    void forwardToEditor(void (TSTextView::*command)());

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

    std::function<bool(const QUrl&)> urlOpener_;
    std::function<void(QWidget*)> preferencesHook_;
    std::function<void(QWidget*, std::optional<QString>)> changePasswordHook_;
    std::function<void(MainViewController&)> removeFromListHook_;
    std::function<void(MainViewController&)> renameGroupHook_;

    QMenuBar* mainMenu_ = nullptr;
    QList<QAction*> mainHeadMenus_;
    QToolButton* languageButton_ = nullptr;
    QMenu* languageButtonMenu_ = nullptr;
    QList<QAction*> languageChoices_;
    QList<QAction*> editCommands_;
    QList<QAction*> formatCommands_;
    QAction* preferences_ = nullptr;
    QList<QAction*> changePassword_;
    QAction* removeFromList_ = nullptr;
    QAction* renameGroup_ = nullptr;
    QAction* find_ = nullptr;
    QAction* lockTessaro_ = nullptr;
    QAction* addFiles_ = nullptr;
    QAction* addNote_ = nullptr;
    QAction* HideItem_ = nullptr;
    QAction* UnHideItem_ = nullptr;
};

}  // namespace tessaro
