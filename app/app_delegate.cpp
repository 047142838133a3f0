#include "app/app_delegate.h"

#include "access/session_lock_listener.h"
#include "app/custom_window.h"
#include "app/guide_view_controller.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/preferences_window.h"
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
    buildMenus();
    connect(mainWindow_.get(), &CustomWindow::customButtonsHiddenChanged, this, &AppDelegate::showMenusForGuide);
}

AppDelegate::~AppDelegate() {
    mainWindow_->closeGuard = nullptr;
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

void AppDelegate::buildMenus() {
    mainMenu_ = new QMenuBar(mainWindow_.get());
    mainWindow_->setMenuBar(mainMenu_);

    tessaroMenu_ = mainMenu_->addMenu(QGuiApplication::applicationDisplayName());
    tessaroMenu_->menuAction()->setData(10);
    QAction* tutorial = tessaroMenu_->addAction(QString());
    tutorial->setData(1);
    connect(tutorial, &QAction::triggered, this, &AppDelegate::showWelcomeTutorialAction);
    tessaroMenu_->addSeparator();
    QAction* quit = tessaroMenu_->addAction(QString());
    quit->setData(9);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &AppDelegate::terminateAction);

    fileMenu_ = mainMenu_->addMenu(QString());
    fileMenu_->menuAction()->setData(30);
    fileMenu_->menuAction()->setObjectName(QStringLiteral("File"));
    addFiles_ = fileMenu_->addAction(QString());
    addFiles_->setData(1);
    addFiles_->setShortcut(QKeySequence::Open);
    connect(addFiles_, &QAction::triggered, this, [this] {
        if (mainView_) {
            mainView_->addFileAction();
        }
    });
    addNote_ = fileMenu_->addAction(QString());
    addNote_->setData(2);
    addNote_->setShortcut(QKeySequence::New);
    connect(addNote_, &QAction::triggered, this, [this] {
        if (mainView_) {
            mainView_->addNoteFileAction();
        }
    });
    fileMenu_->addSeparator();
    HideItem_ = fileMenu_->addAction(QString());
    HideItem_->setData(3);
    connect(HideItem_, &QAction::triggered, this, [this] {
        if (mainView_) {
            mainView_->hideItemAction();
        }
    });
    UnHideItem_ = fileMenu_->addAction(QString());
    UnHideItem_->setData(4);
    connect(UnHideItem_, &QAction::triggered, this, [this] {
        if (mainView_) {
            mainView_->unHideItemAction();
        }
    });
    // Also just before the menu opens, so it never offers what no longer applies.
    connect(fileMenu_, &QMenu::aboutToShow, this, &AppDelegate::refreshItemCommands);

    passwordMenu_ = mainMenu_->addMenu(QString());
    passwordMenu_->menuAction()->setData(60);
    passwordMenu_->menuAction()->setObjectName(QStringLiteral("Password"));
    lockTessaro_ = passwordMenu_->addAction(QString());
    lockTessaro_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lockTessaro_, &QAction::triggered, this, &AppDelegate::lockTessaroAction);

    helpMenu_ = mainMenu_->addMenu(QString());
    helpMenu_->menuAction()->setData(80);
    QAction* help = helpMenu_->addAction(QString());
    help->setData(1);
    connect(help, &QAction::triggered, this, &AppDelegate::showWelcomeTutorialAction);

    mainHeadMenus_ = mainMenu_->actions();

    // Titles, as the first call of the shared delegate does.
    tessaroMenu_->setTitle(QGuiApplication::applicationDisplayName());
    tutorial->setText(ui::text("ProMenuItem1.title"));
    quit->setText(ui::text("ProMenuItem9.title"));
    fileMenu_->setTitle(ui::text("FilemenuItem.title"));
    addFiles_->setText(ui::text("FilemenuItem1.title"));
    addNote_->setText(ui::text("FilemenuItem2.title"));
    HideItem_->setText(ui::text("FilemenuItem3.title"));
    UnHideItem_->setText(ui::text("FilemenuItem4.title"));
    passwordMenu_->setTitle(ui::text("PassWord"));
    lockTessaro_->setText(ui::text("Lock.title"));
    helpMenu_->setTitle(ui::text("HelpMenuItem.title"));
    help->setText(ui::text("HelpMenuItem1.title"));
}

void AppDelegate::showMenusForGuide(bool guide) {
    for (QAction* top : std::as_const(mainHeadMenus_)) {
        const QString id = top->objectName();
        if (id == QLatin1String("File") || id == QLatin1String("Password")) {
            top->setVisible(!guide);
        }
    }
}

void AppDelegate::refreshItemCommands() {
    // A controller that a lock has replaced lingers until the next turn of the event loop.
    const bool shown = mainView_ && mainWindow_->contentController() == mainView_;
    HideItem_->setEnabled(shown && mainView_->canHideSelectedItem());
    UnHideItem_->setEnabled(shown && mainView_->canUnhideSelectedItem());
}

void AppDelegate::applicationDidFinishLaunching() {
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
    refreshItemCommands();
    login->focusPassword();
    emit loginShown();
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
    mainWindow_->setContentController(controller);
    lockTessaro_->setEnabled(true);
    addFiles_->setEnabled(true);
    addNote_->setEnabled(true);
    refreshItemCommands();
    emit mainViewShown(controller);
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
