#include "app/app_delegate.h"

#include "access/session_lock_listener.h"
#include "app/change_password_window.h"
#include "app/custom_window.h"
#include "app/guide_view_controller.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/preferences_window.h"
#include "app/qt_dialog_language.h"
#include "app/ui_resources.h"
#include "app/welcome_window_controller.h"
#include "controls/modal_seam.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_lock.h"
#include "core/vault_paths.h"
#include "vault/vault_move.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

namespace tessaro {

namespace {

AppDelegate* sharedDelegate = nullptr;

constexpr QSize kMainMinimumSize(800, 420);

QSize mainScreenSize(const QWidget* window) {
    const QScreen* screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableSize() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

}  // namespace

AppDelegate::AppDelegate() : mainWindow_(std::make_unique<CustomWindow>()) {
    sharedDelegate = this;
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, &AppDelegate::lockTessaroAction);
    idleDelayProvider_ = &AppDelegate::idleDelayMsForSetting;
    terminate_ = [] { QApplication::quit(); };
    mainWindow_->closeGuard = [this] {
        if (!mainView_ || !mainView_->walkRunning()) {
            return true;
        }
        terminateAction();
        return false;
    };
    mainWindow_->setWindowIcon(ui::applicationIcon());
    urlOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    preferencesHook_ = [](QWidget* parent) { showPreferences(parent); };
    changePasswordHook_ = [](QWidget* parent, std::optional<QString> drive) { showChangePassword(parent, std::move(drive)); };
    removeFromListHook_ = [](MainViewController& main) {
        if (const FileModelPtr item = main.selectedItem()) {
            main.removeFromListAction(item);
        }
    };
    renameGroupHook_ = [](MainViewController& main) { main.renameSelectedGroup(); };
    buildMenus();
    connect(mainWindow_.get(), &CustomWindow::customButtonsHiddenChanged, this, &AppDelegate::showMenusForGuide);
}

AppDelegate::~AppDelegate() {
    mainWindow_->closeGuard = nullptr;
    // The menus go with the window; focus changes while it closes must not reach them.
    disconnect(qApp, nullptr, this, nullptr);
    // The window goes first, while the timer and the menus it reaches are still alive.
    idleTimer_.stop();
    if (mainView_) {
        disconnect(mainView_, nullptr, this, nullptr);
    }
    mainWindow_.reset();
    if (sharedDelegate == this) {
        sharedDelegate = nullptr;
    }
}

MainViewController* AppDelegate::mainView() const { return mainView_; }
GuideViewController* AppDelegate::guideView() const { return guide_; }
loginViewcontroller* AppDelegate::loginView() const { return login_; }
WelcomeWindowController* AppDelegate::welcomeWindow() const { return welcome_; }

AppDelegate* AppDelegate::sharedAppDelegate() { return sharedDelegate; }

bool AppDelegate::isFirstRun() { return !SettingsStore::boolValue(QString::fromLatin1(keys::FirstRun)); }

void AppDelegate::applicationDidFinishLaunching() {
    ui::followInterfaceLanguageInQtPanels();
    // A move of the vault cut short is settled before anything looks at (or creates) the root.
    const vault::MoveRecovery moveRecovery = vault::finishInterruptedMove();
    const QString root = vaultpaths::AppRootDirKey();
    logLine(QString::fromUtf8(loglines::kRootDirPath).arg(root));
    // Before the first vault exists there is no root to look after: the guide makes it.
    if (!root.isEmpty()) {
        vaultpaths::ensureDirectory(root, loglines::kRootCreated, loglines::kRootCreateFailed);
        vaultpaths::ensureDirectory(vaultpaths::AppRootNoteDirPath(), loglines::kRootCreated,
                                    loglines::kRootCreateFailed);
    }
    mainWindow_->isFullState = false;
    mainWindow_->setWindowOpacity(1.0);
    mainWindow_->setWindowTitle(ui::text("AppName.text"));
    if (isFirstRun()) {
        showGuide();
    } else {
        showLogin();
    }
    mainWindow_->centreOnScreen();
    mainWindow_->show();
    tellInterruptedMove(mainWindow_.get(), moveRecovery);
}

void AppDelegate::showGuide() {
    mainWindow_->hiddenCustomButton(true);
    auto* guide = new GuideViewController(false);
    guide_ = guide;
    connect(guide, &GuideViewController::vaultCreated, this, &AppDelegate::showMainView);
    mainWindow_->setFixedContentSize(GuideViewController::kSize);
    mainWindow_->setContentController(guide);
    lockTessaro_->setEnabled(false);
    addFiles_->setEnabled(false);
    addNote_->setEnabled(false);
    showVaultMenus(false);
    refreshItemCommands();
}

void AppDelegate::showLogin() {
    idleTimer_.stop();
    // Coming from the main window (a lock): remember where it was, to put it back there.
    if (qobject_cast<MainViewController*>(mainWindow_->contentController()) && mainWindow_->isVisible()) {
        if (mainWindow_->isMaximized() || mainWindow_->isFullScreen()) {
            mainGeometry_ = mainWindow_->normalGeometry();
            mainWindow_->showNormal();
        } else {
            mainGeometry_ = mainWindow_->geometry();
        }
    }
    mainWindow_->hiddenCustomButton(false);
    mainWindow_->setZoomEnabled(false);
    auto* login = new loginViewcontroller;
    login_ = login;
    connect(login, &loginViewcontroller::unlocked, this, &AppDelegate::showMainView);
    mainWindow_->setFixedContentSize(loginViewcontroller::kSize);
    mainWindow_->setContentController(login);
    mainWindow_->setWindowTitle(ui::text("AppName.text"));
    lockTessaro_->setEnabled(false);
    addFiles_->setEnabled(false);
    addNote_->setEnabled(false);
    showVaultMenus(false);
    refreshItemCommands();
    login->focusPassword();
}

void AppDelegate::showMainView() {
    // One writer per vault: while this window shows the vault, tessaro-vault waits for it,
    // and the other way round, so that neither overwrites the other's catalogue.
    QString refusal;
    auto writerLock = VaultLock::acquire(vaultpaths::AppRootDirKey(), QStringLiteral("the Tessaro window"), 0, &refusal);
    if (!writerLock) {
        controls::ModalSeam::AlertRequest request;
        request.title = ui::text("AppName.text");
        request.message = ui::text("vaultInUse.title");
        request.informativeText = refusal;
        controls::ModalSeam::alert(mainWindow_.get(), request);
        if (!login_) {
            showLogin();
        }
        return;
    }
    // The size and place first, then the limits: a limit set on the small window would
    // grow it from its corner.
    const QSize screenSize = mainScreenSize(mainWindow_.get());
    mainWindow_->setMinimumSize(0, 0);
    mainWindow_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    mainWindow_->hiddenCustomButton(false);
    mainWindow_->setZoomEnabled(true);
    if (mainGeometry_.isValid() && mainWindow_->isVisible()) {
        mainWindow_->placeOnScreen(mainGeometry_);
    } else {
        // Without a stored size the window keeps its own, grown to the main window's least.
        QSize size = mainWindow_->contentSize();
        if (SettingsStore::contains(QString::fromLatin1(keys::mainWindowSizeWidth))) {
            size = QSize(qRound(SettingsStore::doubleValue(QString::fromLatin1(keys::mainWindowSizeWidth))),
                         qRound(SettingsStore::doubleValue(QString::fromLatin1(keys::mainWindowSizeHeight))));
        }
        mainWindow_->setContentSize(size.expandedTo(kMainMinimumSize));
    }
    mainWindow_->setContentMaximumSize(screenSize);
    mainWindow_->setContentMinimumSize(kMainMinimumSize);
    auto* controller = new MainViewController(*mainWindow_, mainWindow_->UPLibrary);
    controller->holdVaultLock(std::move(writerLock));
    mainView_ = controller;
    connect(controller, &MainViewController::userActionPerformed, this, &AppDelegate::setAfterLock);
    connect(controller, &MainViewController::lockCompleted, this, &AppDelegate::showLogin);
    connect(controller, &MainViewController::itemCommandsChanged, this, &AppDelegate::refreshItemCommands);
    connect(controller, &MainViewController::changePasswordRequested, this, [this](const QString& vaultKey) {
        showChangePassword(mainWindow_.get(), vaultKey);
    });
    mainWindow_->setContentController(controller);
    lockTessaro_->setEnabled(true);
    addFiles_->setEnabled(true);
    addNote_->setEnabled(true);
    showVaultMenus(true);
    refreshItemCommands();
}

int AppDelegate::idleDelayMsForSetting(qint64 value) {
    switch (value) {
    case 0: return -1;
    case 1: return 30 * 1000;
    case 2: return 60 * 1000;
    case 3: return 300 * 1000;
    // "At once" taken literally would lock right after every login and every action, and
    // the vault could never be used again; the shortest choice locks after 15 seconds.
    default: return kShortestIdleDelayMs;
    }
}

void AppDelegate::setIdleDelayProvider(std::function<int(qint64)> provider) {
    idleDelayProvider_ = provider ? std::move(provider) : std::function<int(qint64)>(&AppDelegate::idleDelayMsForSetting);
}

void AppDelegate::setAfterLock() {
    idleTimer_.stop();
    const qint64 value = SettingsStore::intValue(QString::fromLatin1(keys::kTESSAROWHENIDLE));
    const int delay = idleDelayProvider_(value);
    if (delay < 0 || !mainView_) {
        return;
    }
    idleTimer_.start(delay);
}

void AppDelegate::lockTessaroAction() {
    if (mainView_) {
        mainView_->lockTessaroAction();
    }
}

void AppDelegate::terminateAction() {
    const QPointer<AppDelegate> self(this);
    auto terminate = [self] {
        if (self) {
            self->terminate_();
        }
    };
    if (mainView_ && mainWindow_->contentController() == mainView_) {
        mainView_->applicationShouldTerminate(terminate);
    } else {
        terminate();
    }
}

void AppDelegate::setTerminateHandlerForTests(std::function<void()> handler) {
    terminate_ = handler ? std::move(handler) : std::function<void()>([] { QApplication::quit(); });
}

void AppDelegate::watchSessionLock(const QDBusConnection& sessionBus, const QDBusConnection& systemBus) {
    delete sessionLock_;
    sessionLock_ = new access::SessionLockListener(sessionBus, systemBus, this);
    // The switch is read at each event, so that turning it off in the preferences takes
    // effect at once.
    connect(sessionLock_, &access::SessionLockListener::lockRequested, this, [this] {
        if (SettingsStore::flag(keys::kLOCKWITHSESSION)) {
            lockTessaroAction();
        }
    });
}

void AppDelegate::applicationShouldHandleReopen() {
    if (mainWindow_->isMinimized()) {
        mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    }
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void AppDelegate::showWelcomeTutorialAction() {
    if (welcome_) {
        welcome_->raise();
        return;
    }
    auto* welcome = new WelcomeWindowController(mainWindow_.get());
    welcome_ = welcome;
    welcome->showModal();
}

}  // namespace tessaro
