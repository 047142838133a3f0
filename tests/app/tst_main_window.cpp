// The application shell driven through its real widgets, offscreen. The first-run guide and
// the welcome tutorial: a new user pages through, is refused on bad passwords, chooses a
// location (the panel answered by the test) and lands in the main window with the vault on
// disk. The login screen: wrong entries shake, the hint comes at the fourth and the fixed
// message at the sixth, the right password opens the vault; the window stays whole on its
// screen through locks; a second launch hands over to the running application. The main
// window: the sidebar and item list, sorting, search, the idle timer, and what a new user ran
// into on a real desktop.
// The item commands and the right-click menus have their own test (tst_item_commands).
#include "access/single_instance.h"
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/file_manager.h"
#include "app/guide_view_controller.h"
#include "app/item_list_model.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/sidebar_model.h"
#include "app/ts_popover_view_controller.h"
#include "app/ts_text_view.h"
#include "app/welcome_window_controller.h"
#include "controls/modal_seam.h"
#include "controls/ns_page_view.h"
#include "controls/shake.h"
#include "controls/ts_image_view.h"
#include "controls/ts_popover.h"
#include "controls/ts_view.h"
#include "core/catalogue.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "crypto/help_class.h"
#include "notes/note_package.h"
#include "notes/open_note.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace tessaro;
using controls::ModalSeam;
using tessaro::testing::LoggedInApp;
using tessaro::testing::logIn;
using tessaro::testing::sidebarRowOf;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }
const QString kHint = QStringLiteral("our first cat");

// A press and a release inside one dot of the pager, or across two.
void pressDots(controls::NSPageView* pager, int pressed, int released) {
    QTest::mousePress(pager, Qt::LeftButton, {}, pager->dotRect(pressed).center());
    QTest::mouseRelease(pager, Qt::LeftButton, {}, pager->dotRect(released).center());
}

void clickForward(GuideViewController* guide) {
    QTest::mouseClick(guide->enterBtn(), Qt::LeftButton);
    QApplication::processEvents();
}

// Pages forward with the button to the password page.
void toPasswordPage(GuideViewController* guide) {
    while (guide->pageIndex() < guide->pageCount() - 1) {
        clickForward(guide);
    }
    QTRY_COMPARE(guide->enterBtn()->text(), QStringLiteral("Create Vault"));
}

// Adds a user group with these items to the local list, just before the add row.
void addGroup(MainViewController& main, const QString& name, const QStringList& items) {
    RowList& rows = main.catalogue.groupDirList;
    GroupModelPtr group = makeGroupRow(name, key(kLocalListKey), false, 1700000000);
    qint64 date = 1700000000;
    for (const QString& item : items) {
        group->fileModels->append(testing::makeItem(item, true, date++));
    }
    rows.insert(rows.size() - 1, group);
    renumberRowList(rows);
}

// Clicks the sidebar row of the list's row `index`.
void clickSidebarRow(MainViewController& main, qint64 index, const QString& listKey = key(kLocalListKey)) {
    QListView* view = main.sidebarView();
    const int row = static_cast<int>(sidebarRowOf(main, listKey, index));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(main.sidebarModel()->index(row)).center());
}

// The shown items' names, then the tags of the checked sort items.
QString shownAndSort(MainViewController& main) {
    QStringList shown;
    for (const FileModelPtr& item : main.itemModel()->items()) {
        shown << item->name;
    }
    for (QAction* action : main.applicationDockMenu()->actions()) {
        if (action->isChecked()) {
            shown << QStringLiteral("sort %1").arg(action->data().toInt());
        }
    }
    return shown.join(QStringLiteral(", "));
}

QAction* sortAction(MainViewController& main, int tag) {
    for (QAction* action : main.applicationDockMenu()->actions()) {
        if (!action->isSeparator() && action->data().toInt() == tag) {
            return action;
        }
    }
    return nullptr;
}

// The sidebar, one row a line: list, index in its list, title, what kind of row it is and
// whether it is the selected one.
QStringList sidebarRows(MainViewController& main) {
    QStringList rows;
    SidebarModel* sidebar = main.sidebarModel();
    for (qsizetype i = 0; i < sidebar->count(); ++i) {
        const SidebarEntry& e = sidebar->entry(i);
        rows << QStringLiteral("%1 %2 %3%4%5%6")
                    .arg(e.groupName == key(kLocalListKey) ? QStringLiteral("local") : QStringLiteral("notes"),
                         QString::number(e.groupRow), sidebar->index(static_cast<int>(i)).data().toString(),
                         e.isHeader ? (e.canSelected ? " header" : " fixed header") : "", e.isAddItem ? " add" : "",
                         sidebar->cell(i).selected && sidebar->selectedRow() == i ? " selected" : "");
    }
    return rows;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QString videos_;

    // A first launch whose folder panel starts in the environment's own videos folder.
    GuideViewController* launchFirstRun(AppDelegate& delegate, const TestEnvironment& env) {
        videos_ = env.base() + QStringLiteral("/Videos");
        QDir().mkpath(videos_);
        delegate.applicationDidFinishLaunching();
        return delegate.guideView();
    }

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() {
        ModalSeam::reset();
        // The folder panel starts in a videos folder of the test's own.
        GuideViewController::setVideosFolderProvider([this] { return videos_; });
    }

    // A new user pages through, is refused (each refusal told or shaken, touching nothing and
    // leaving the guide usable), cancels the panel once, lands in the main window and later
    // opens the tutorial.
    void newUserCreatesAVaultAndLandsInTheMainWindow() {
        TestEnvironment env(false);
        AppDelegate delegate;
        GuideViewController* guide = launchFirstRun(delegate, env);
        QVERIFY(guide);
        QVERIFY(QTest::qWaitForWindowExposed(delegate.mainWindow()));
        QVERIFY(delegate.mainWindow()->customButtonsHidden());
        QCOMPARE(delegate.mainWindow()->contentSize(), QSize(800, 420));
        QCOMPARE(delegate.mainWindow()->minimumSize(), delegate.mainWindow()->maximumSize());
        // A first run creates nothing before the user has chosen where.
        QVERIFY(!SettingsStore::contains(key(keys::kRootDirKey)));
        QVERIFY(TestEnvironment::writeFile(videos_ + QStringLiteral("/Taken.flp"), "someone's file"));

        // Five dots, the sixth hidden; the forward button and the pager both page.
        controls::NSPageView* pager = guide->pageView();
        QCOMPARE(pager->count(), 5);
        clickForward(guide);
        QCOMPARE(pager->pageIndex(), 1);
        pressDots(pager, 2, 2);
        QCOMPARE(guide->pageIndex(), 2);
        QTRY_COMPARE(guide->scrollTarget(), -2 * guide->width());
        QCOMPARE((QList<QColor>{pager->dotColour(0), pager->dotColour(2)}), (QList<QColor>{QColor(26, 25, 25), Qt::white}));
        // Pressed in one dot, released in another: nothing new is selected.
        pressDots(pager, 0, 3);
        QCOMPARE(guide->pageIndex(), 2);
        // Where a sixth dot would be there is none to press.
        QTest::mouseClick(pager, Qt::LeftButton, {}, pager->dotRect(5).center());
        QCOMPARE(guide->pageIndex(), 2);
        toPasswordPage(guide);

        // The fields follow the focus; Return hands over to the confirmation.
        guide->passwordTextField()->setFocus();
        QTRY_COMPARE(guide->passwordFrame()->borderWidth(), 2.0);
        QCOMPARE(guide->confirmationFrame()->borderWidth(), 0.5);
        QTest::keyClick(guide->passwordTextField(), Qt::Key_Return);
        QTRY_VERIFY(guide->sourePasswordTextField()->hasFocus());
        QCOMPARE(guide->passwordFrame()->borderWidth(), 0.5);
        QCOMPARE(guide->confirmationFrame()->borderWidth(), 2.0);

        // Refused without a word: an empty password.
        clickForward(guide);
        QVERIFY(controls::isShaking(guide->passwordFrame()));

        // Each change turns the lock, a quarter of a circle at most; the hint field does not.
        guide->sourePasswordTextField()->setText(QStringLiteral("a"));
        const qreal turned = guide->lockView()->targetAngle();
        QVERIFY2(turned > 0 && turned <= M_PI_2 + 1e-6, qPrintable(QString::number(turned)));
        guide->passwordHitTextField()->setText(QStringLiteral("our cat"));
        QCOMPARE(guide->lockView()->targetAngle(), turned);

        // Refused without a word: a differing confirmation, which is cleared.
        guide->sourePasswordTextField()->clear();
        QTest::keyClicks(guide->passwordTextField(), QStringLiteral("s3cret"));
        QTest::keyClicks(guide->sourePasswordTextField(), QStringLiteral("s3creT"));
        clickForward(guide);
        QVERIFY(guide->sourePasswordTextField()->text().isEmpty());
        QCOMPARE(guide->passwordTextField()->text(), QStringLiteral("s3cret"));
        QVERIFY(controls::isShaking(guide->confirmationFrame()));
        QVERIFY(ModalSeam::lastSavePanel().title.isEmpty());
        QCOMPARE(ModalSeam::alertCount(), 0);
        QVERIFY(!SettingsStore::contains(key(keys::kSOUREPASSWORD)));

        // A pasted password with a line break is told and refused before any location is asked.
        guide->passwordTextField()->clear();
        guide->passwordTextField()->insert(QStringLiteral("pass\nword"));
        guide->sourePasswordTextField()->insert(QStringLiteral("pass\nword"));
        ModalSeam::nextAnswer(QMessageBox::Ok);
        clickForward(guide);
        QTRY_COMPARE(ModalSeam::alertCount(), 1);
        QVERIFY(ModalSeam::lastAlert().informativeText.contains(QStringLiteral("line break")));
        QVERIFY(ModalSeam::lastSavePanel().title.isEmpty());

        // A cancelled panel, then a file where the vault would go: nothing is made or changed.
        guide->passwordTextField()->setText(QStringLiteral("s3cret"));
        guide->sourePasswordTextField()->setText(QStringLiteral("s3cret"));
        guide->remmenberBtn()->setChecked(true);
        ModalSeam::nextFileNames({});
        clickForward(guide);
        QTRY_VERIFY(!guide->isChoosingLocation());
        QCOMPARE(ModalSeam::lastSavePanel().title, QStringLiteral("My Vault"));
        QCOMPARE(QDir(videos_).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Taken.flp"});
        ModalSeam::nextFileNames({videos_ + QStringLiteral("/Taken")});
        ModalSeam::nextAnswer(QMessageBox::Ok);
        clickForward(guide);
        QTRY_COMPARE(ModalSeam::alertCount(), 2);
        QTRY_VERIFY(!guide->isChoosingLocation());
        QVERIFY(ModalSeam::lastAlert().informativeText.contains(QStringLiteral("is not a folder")));
        QCOMPARE(TestEnvironment::readFile(videos_ + QStringLiteral("/Taken.flp")), QByteArray("someone's file"));
        QVERIFY(!SettingsStore::contains(key(keys::FirstRun)));

        // Agreed: the panel, answered with a folder in the videos folder.
        ModalSeam::nextFileNames({videos_ + QStringLiteral("/My Vault")});
        clickForward(guide);
        QTRY_VERIFY(delegate.mainView());
        const ModalSeam::SavePanelRequest& panel = ModalSeam::lastSavePanel();
        QCOMPARE((QStringList{panel.title, panel.suggestedName, panel.directory}), (QStringList{"My Vault", "My Vault", videos_}));

        // The vault where it was chosen (its layout and modes are the creation's own tests),
        // and the settings, as a later launch reads them.
        const QString root = videos_ + QStringLiteral("/My Vault.flp");
        QVERIFY(QFileInfo(root + QStringLiteral("/GroupDirlist.plist")).isFile());
        const QByteArray expected = "[General]\nAppLanguage=2\nFirstRun=true\nkPASSWORDHINTCONTENT=our cat\n"
                                    "kRootDirKey=" + QFile::encodeName(root) + "\nkSOUREPASSWORD=s3cret\n"
                                    "mainWindowSize.height=500\nmainWindowSize.width=800\nremmenberBtn.state=1\n";
        QCOMPARE(TestEnvironment::readFile(env.settingsFile()), expected);

        // The main window, grown to the stored size.
        QVERIFY(!delegate.mainWindow()->customButtonsHidden());
        QTRY_COMPARE(delegate.mainWindow()->contentSize(), QSize(800, 500));

        // The tutorial: four dots, and nothing stored.
        const QByteArray settingsBefore = TestEnvironment::readFile(env.settingsFile());
        delegate.showWelcomeTutorialAction();
        QPointer<WelcomeWindowController> welcome = delegate.welcomeWindow();
        QVERIFY(welcome && welcome->isVisible());
        QCOMPARE(welcome->windowModality(), Qt::ApplicationModal);
        GuideViewController* tutorial = welcome->guide();
        QCOMPARE(tutorial->pageView()->count(), 4);
        // The password page cannot be reached, not even through the pager; the last page closes.
        tutorial->pageView()->PageActionBlock(4);
        QCOMPARE(tutorial->pageIndex(), 3);
        QTRY_COMPARE(tutorial->enterBtn()->text(), QStringLiteral("Close"));
        clickForward(tutorial);
        QTRY_VERIFY(welcome.isNull());
        QCOMPARE(TestEnvironment::readFile(env.settingsFile()), settingsBefore);
        QVERIFY(delegate.mainView());

        // The next launch asks for the password.
        AppDelegate next;
        next.applicationDidFinishLaunching();
        QVERIFY(next.loginView());
        QVERIFY(!next.guideView());
    }

    // The empty field's button shows the hint without counting; wrong entries shake, the hint
    // comes at the fourth and the fixed message at the sixth, in the chosen language.
    void wrongPasswordsShakeThenHintThenFixedMessageInTheChosenLanguage() {
        TestEnvironment env;
        QVERIFY(SettingsStore::setValue(key(keys::kPASSWORDHINTCONTENT), kHint));
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        loginViewcontroller* login = delegate.loginView();
        QVERIFY(login);
        QCOMPARE(delegate.mainWindow()->minimumSize(), delegate.mainWindow()->maximumSize());
        QVERIFY(!delegate.mainWindow()->zoomEnabled());

        // The empty field's button shows the hint without counting.
        QCOMPARE(login->enterPictureName(), QStringLiteral("About/PasswordHintIconMenu@2x.png"));
        QTest::mouseClick(login->enterBtn(), Qt::LeftButton);
        QTRY_VERIFY(login->popoverShown());
        QCOMPARE(login->errorCount(), 0);
        QCOMPARE(login->mypopoverView()->passwordhintLabel()->text(), kHint);
        QVERIFY(!controls::isShaking(login->passwordBackGroundView()));
        // Return in the empty field is no attempt either.
        QTest::keyClick(login->passwordTextField(), Qt::Key_Return);
        QCOMPARE(login->errorCount(), 0);

        // Typing turns the button into the forward button, and the lock by a third, a half
        // or a whole turn, never the same twice in a row.
        for (const char* text : {"c", "co", "cor", "corr"}) {
            const qint64 last = login->flagValue;
            login->passwordTextField()->setText(QString::fromLatin1(text));
            QVERIFY(login->flagValue >= 1 && login->flagValue <= 3 && login->flagValue != last);
        }
        QCOMPARE(login->enterPictureName(), QStringLiteral("About/loginOk.png"));
        // With text the button is an attempt: it counts and closes the popover first.
        QTest::mouseClick(login->enterBtn(), Qt::LeftButton);
        QTRY_COMPARE(login->errorCount(), 1);
        QVERIFY(!login->popoverShown());

        // Without a saved hint the popover shows empty text.
        QVERIFY(SettingsStore::remove(key(keys::kPASSWORDHINTCONTENT)));
        login->passwordTextField()->clear();
        QTest::mouseClick(login->enterBtn(), Qt::LeftButton);
        QTRY_VERIFY(login->popoverShown());
        QCOMPARE(login->mypopoverView()->passwordhintLabel()->text(), QString());
        QVERIFY(SettingsStore::setValue(key(keys::kPASSWORDHINTCONTENT), kHint));

        const QString fixedMessage = LanguageBundle::localizedStringForKey(QStringLiteral("passwordkeyphale"));
        for (qint64 attempt = 2; attempt <= 7; ++attempt) {
            logIn(delegate, QStringLiteral("wrong guess"));
            QCOMPARE(login->errorCount(), attempt);
            QVERIFY(controls::isShaking(login->passwordBackGroundView()));
            // The typed text stays.
            QCOMPARE(login->passwordTextField()->text(), QStringLiteral("wrong guess"));
            if (attempt < 4) {
                QVERIFY(!login->popoverShown());
                continue;
            }
            QTRY_VERIFY(login->popoverShown());
            TSPopoverViewController* content = login->mypopoverView();
            const QStringList shown{content->titleLabel()->text(), content->passwordhintLabel()->text(),
                                    QStringLiteral("%1 x %2").arg(login->popover()->width()).arg(login->popover()->height())};
            const QStringList expected = attempt < 6 ? QStringList{"Password hint", kHint, "300 x 79"}
                                                     : QStringList{"Still locked out?", fixedMessage, "300 x 118"};
            QCOMPARE(shown, expected);
            // The popover hangs below the field, over the screen.
            QCOMPARE(login->popover()->y(), login->passwordBackGroundView()->geometry().bottom() + 1);
        }
        // The shake ends where the field rests.
        const QPoint rest = controls::restingPosition(login->passwordBackGroundView());
        QTRY_VERIFY(!controls::isShaking(login->passwordBackGroundView()));
        QCOMPARE(login->passwordBackGroundView()->pos(), rest);
        // A language switch rereads the open popover.
        QVERIFY(SettingsStore::setValue(key(keys::AppLanguage), 1));
        LanguageBundle::setLanguage();
        login->langeuageAction();
        QCOMPARE(login->mypopoverView()->titleLabel()->text(), QStringLiteral("仍然无法解锁？"));
        QCOMPARE(login->popover()->size(), QSize(300, 118));
        // A click anywhere on the screen closes the popover.
        QTest::mouseClick(login, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!login->popoverShown());
        // Letter case counts.
        logIn(delegate, QStringLiteral("Correct Horse"));
        QVERIFY(!delegate.mainView());
    }

    // The right password opens the vault and resets the count; the window stays whole on its
    // screen and where the user put it across locks. Its size is stored while the main window
    // shows, never the login screen's; a lock discards the controller and keeps only the drive
    // vaults still mounted for the next login.
    void rightPasswordOpensTheVaultWhereTheWindowWas() {
        TestEnvironment env;
        // Larger than the screen: the main window must shrink to it, not run off it.
        QVERIFY(SettingsStore::setValue(key(keys::mainWindowSizeWidth), 2400.0));
        QVERIFY(SettingsStore::setValue(key(keys::mainWindowSizeHeight), 1800.0));
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        CustomWindow* window = delegate.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect screen = window->screen()->availableGeometry();
        // The login window starts in the middle of the screen.
        QVERIFY((window->geometry().center() - screen.center()).manhattanLength() <= 2);

        loginViewcontroller* login = delegate.loginView();
        logIn(delegate, QStringLiteral("nope"));
        logIn(delegate, QStringLiteral("nope"));
        // A lock at the login screen (the idle timer, the screen lock) has nothing to lock.
        delegate.lockTessaroAction();
        QCOMPARE(delegate.loginView(), login);
        QCOMPARE(login->errorCount(), 2);
        logIn(delegate);
        QTRY_VERIFY(delegate.mainView() && delegate.mainView()->iswriteFrameSize);
        QCOMPARE(login->errorCount(), 0);
        QApplication::processEvents();
        QCOMPARE(screen.united(window->frameGeometry()), screen);
        QCOMPARE(window->minimumWidth(), 800);

        // While writing is off (the window changing hands between screens) a new size is not stored.
        const double stored = SettingsStore::doubleValue(key(keys::mainWindowSizeHeight));
        delegate.mainView()->iswriteFrameSize = false;
        window->setContentSize(QSize(800, 490));
        QTest::qWait(50);
        QCOMPARE(SettingsStore::doubleValue(key(keys::mainWindowSizeHeight)), stored);
        delegate.mainView()->iswriteFrameSize = true;

        // A window of its own size, somewhere the user put it: it comes back there.
        window->setGeometry(QRect(screen.topLeft() + QPoint(30, 40), QSize(800, 470)));
        QApplication::processEvents();
        const QRect placed = window->geometry();
        const double height = window->contentSize().height();
        QTRY_COMPARE(SettingsStore::doubleValue(key(keys::mainWindowSizeHeight)), height);
        const QString vaultKey = QStringLiteral("USB/Travel.flp");
        env.mountVolume(vaultKey);
        const RowList mounted = Catalogue::defaultRemovableList(QStringLiteral("USB"), vaultKey, 1700000000);
        delegate.mainView()->catalogue.UPLibrary.insert(vaultKey, mounted);
        delegate.mainView()->catalogue.UPLibrary.insert(QStringLiteral("Pulled/Old.flp"), RowList{});
        for (int cycle = 0; cycle < 5; ++cycle) {
            QPointer<MainViewController> main = delegate.mainView();
            delegate.lockTessaroAction();
            QTRY_VERIFY(delegate.loginView() && main.isNull());
            QCOMPARE(window->contentSize(), loginViewcontroller::kSize);
            QTest::qWait(50);
            QCOMPARE(SettingsStore::doubleValue(key(keys::mainWindowSizeHeight)), height);
            // The login window is centred where the main window was, whole on the screen.
            QVERIFY(qAbs(window->geometry().center().x() - placed.center().x()) <= 1);
            QCOMPARE(screen.united(window->frameGeometry()), screen);
            logIn(delegate);
            QTRY_VERIFY(delegate.mainView() && delegate.mainView()->iswriteFrameSize);
            QApplication::processEvents();
            QCOMPARE(window->geometry(), placed);
            QCOMPARE(delegate.mainView()->catalogue.UPLibrary.keys(), QStringList{vaultKey});
            QCOMPARE(delegate.mainView()->catalogue.UPLibrary.value(vaultKey).first(), mounted.first());
        }
    }

    // A second launch of the application by the same user hands over to the running one.
    void aSecondLaunchBringsTheFirstToTheFront() {
        TestEnvironment env;
        QTemporaryDir runtime;
        access::SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), access::SingleInstance::Claim::First);
        AppDelegate delegate;
        QObject::connect(&first, &access::SingleInstance::activationRequested, &delegate,
                         &AppDelegate::applicationShouldHandleReopen);
        delegate.applicationDidFinishLaunching();
        delegate.mainWindow()->showMinimized();
        QSignalSpy activations(&first, &access::SingleInstance::activationRequested);

        // The real application, launched again by the same user.
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("HOME"), env.base());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), env.base() + QStringLiteral("/second-config"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(TESSARO_BUILT_BIN_DIR "/tessaro"), {});
        QVERIFY2(second.waitForStarted(), qPrintable(second.errorString()));
        QVERIFY(testing::waitUntil([&] { return second.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(activations.size(), 1);
        QVERIFY(!delegate.mainWindow()->isMinimized());
        QVERIFY(delegate.mainWindow()->isVisible());
        // It opened nothing of its own: no settings of its own were written.
        QVERIFY(!QFileInfo::exists(env.base() + QStringLiteral("/second-config")));
    }

    void freshVaultShowsEveryGroupAndSelectionSurvivesRebuild() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        QVERIFY(QFileInfo(vaultpaths::AppRootNoteDirPath()).isDir());
        QVERIFY(delegate.mainWindow()->zoomEnabled());
        QCOMPARE(sidebarRows(*main), (QStringList{"local 0 Local Vault fixed header", "local 1 All Items selected",
                                                  "local 2 New Group add", "notes 0 Secure Notes fixed header",
                                                  "notes 1 All Notes", "notes 2 New Group add"}));
        addGroup(*main, QStringLiteral("Work"), {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
        addGroup(*main, QStringLiteral("Home"), {QStringLiteral("c.txt"), QStringLiteral("d.txt"), QStringLiteral("e.txt")});
        main->setLeftScrollView();
        QCOMPARE(main->itemCountText(), QStringLiteral("5 items"));

        clickSidebarRow(*main, 3);
        // A rebuild keeps the selection on the same group.
        main->setLeftScrollView();
        QCOMPARE(main->sidebarModel()->selectedRow(), sidebarRowOf(*main, key(kLocalListKey), 3));
        QCOMPARE(main->itemModel()->rowCount(), 3);
        // Every shown item's row points back at it, and a rebuild lets go of the old rows.
        const FileModelPtr first = main->itemModel()->items().first();
        QCOMPARE(first->cell, static_cast<ItemCell*>(&main->itemModel()->cell(0)));
        clickSidebarRow(*main, 2);
        QCOMPARE(main->itemModel()->rowCount(), 2);
        QCOMPARE(first->cell, nullptr);
    }

    // Names sort by plain code units and descending reverses; each keystroke gives a fresh
    // search result, case not counting.
    void sortAndSearchFollowTheShownGroup() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        addGroup(*main, QStringLiteral("Trip"),
                 {QStringLiteral("photo.jpg"), QStringLiteral("Philosophy.txt"), QStringLiteral("report.pdf"),
                  QStringLiteral("_notes.txt")});
        main->setLeftScrollView();
        clickSidebarRow(*main, 2);
        // By date added, ascending, until another order is chosen.
        QCOMPARE(shownAndSort(*main), QStringLiteral("photo.jpg, Philosophy.txt, report.pdf, _notes.txt, sort 1, sort 7"));
        sortAction(*main, 2)->trigger();
        // Upper case, then '_' (0x5F), then lower case.
        QCOMPARE(shownAndSort(*main), QStringLiteral("Philosophy.txt, _notes.txt, photo.jpg, report.pdf, sort 2, sort 7"));
        sortAction(*main, 8)->trigger();
        QCOMPARE(shownAndSort(*main), QStringLiteral("report.pdf, photo.jpg, _notes.txt, Philosophy.txt, sort 2, sort 8"));
        QCOMPARE(main->sortButton()->text(), QStringLiteral("Sort: Descending"));
        // The group's own stored order follows the shown order.
        QCOMPARE(main->catalogue.groupDirList[2]->fileModels->first()->name, QStringLiteral("report.pdf"));

        // Each key, then how many items match: a backspace widens again.
        QList<qsizetype> matches;
        for (const Qt::Key k : {Qt::Key_P, Qt::Key_H, Qt::Key_O, Qt::Key_Backspace, Qt::Key_X}) {
            QTest::keyClick(main->searchField(), k, k == Qt::Key_Backspace ? Qt::NoModifier : Qt::ShiftModifier);
            matches << main->itemModel()->rowCount();
        }
        QCOMPARE(matches, (QList<qsizetype>{3, 2, 1, 2, 0}));
        // Another row clears the search and shows all its items (what matches is the search's own test).
        clickSidebarRow(*main, 1);
        QVERIFY(main->searchField()->text().isEmpty());
        QCOMPARE(main->itemModel()->rowCount(), 4);

        // Sorting by item 5 is offered for the local vault and refused for a removable drive's vault.
        QVERIFY(sortAction(*main, 5)->isEnabled());
        const QString vaultKey = QStringLiteral("USB/Travel.flp");
        env.mountVolume(vaultKey);
        main->catalogue.UPLibrary.insert(vaultKey, Catalogue::defaultRemovableList(QStringLiteral("USB"), vaultKey, 1700000000));
        main->setLeftScrollView();
        clickSidebarRow(*main, 1, vaultKey);
        QVERIFY(!sortAction(*main, 5)->isEnabled());
    }

    // The idle timer locks after its delay and actions restart it; the screen lock locks only
    // while the session-lock switch is on (the switch writing it is the preferences' test).
    void idleTimerAndScreenLockLockAsTheSettingsSay() {
        const std::pair<qint64, int> delays[] = {{0, -1}, {1, 30000}, {2, 60000}, {3, 300000}, {4, 15000}, {-1, 15000}};
        for (const auto& [value, delay] : delays) {
            QCOMPARE(AppDelegate::idleDelayMsForSetting(value), delay);
        }
        testing::PrivateBus bus;
        QVERIFY2(bus.isReady(), qPrintable(bus.error()));
        TestEnvironment env;
        AppDelegate delegate;
        delegate.setIdleDelayProvider([](qint64 value) { return value == 0 ? -1 : value == 1 ? 10000 : 150; });
        delegate.watchSessionLock(bus.client(), QDBusConnection(QStringLiteral("no system bus")));
        const auto screenLocks = [&bus] {
            return bus.emitSignal(QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
                                  QStringLiteral("ActiveChanged"), {true});
        };
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 1);
        delegate.applicationDidFinishLaunching();
        QVERIFY(!delegate.idleTimer().isActive());  // nothing to lock at the login screen
        MainViewController* main = logIn(delegate);
        QVERIFY(main);
        QTRY_VERIFY(delegate.idleTimer().isActive() && delegate.idleTimer().remainingTime() < 9600);
        const int before = delegate.idleTimer().remainingTime();
        QTest::keyClicks(main->searchField(), QStringLiteral("x"));
        QVERIFY(delegate.idleTimer().remainingTime() > before);

        // Setting 0: no idle lock at all; the switch off: the screen lock leaves the vault open.
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 0);
        QTest::keyClicks(main->searchField(), QStringLiteral("y"));
        QVERIFY(!delegate.idleTimer().isActive());
        QVERIFY(SettingsStore::setFlag(keys::kLOCKWITHSESSION, false));
        QVERIFY(screenLocks());
        QTest::qWait(200);
        QVERIFY(delegate.mainView());

        // A short delay: the login screen comes back by itself.
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 2);
        QTest::keyClicks(main->searchField(), QStringLiteral("z"));
        QTRY_VERIFY(delegate.mainView() == nullptr);
        QVERIFY(delegate.loginView());

        // No idle lock, the switch on: the screen lock locks.
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 0);
        QVERIFY(logIn(delegate));
        QVERIFY(SettingsStore::setFlag(keys::kLOCKWITHSESSION, true));
        QVERIFY(screenLocks());
        QTRY_VERIFY(!delegate.mainView());
    }

    void addVaultCommandRunsOnceAfterTheDebounceAndAFailedSaveIsTold() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        QVERIFY(main->addGroupButton()->isEnabled());
        // The panel it opens is cancelled.
        controls::ModalSeam::reset();
        controls::ModalSeam::nextFileNames({});
        const auto panelAsked = [] { return !controls::ModalSeam::lastOpenPanel().title.isEmpty(); };
        main->addGroupBtnAction();
        main->addGroupBtnAction();
        QVERIFY(!panelAsked());
        QTRY_VERIFY(panelAsked());
        // Forget that panel: the two presses must not ask a second one.
        controls::ModalSeam::reset();
        QTest::qWait(MainViewController::kAddDebounceMs + 100);
        QVERIFY(!panelAsked());

        // A save that fails shows an alert. The vault root turns into a plain file: nothing can
        // be written below it.
        const QString root = env.vaultRoot();
        QVERIFY(QDir().rename(root, root + QStringLiteral(".moved")));
        QVERIFY(TestEnvironment::writeFile(root, "not a directory"));

        // The add row creates a group and stores the local list.
        clickSidebarRow(*main, 2);
        QTRY_VERIFY(main->currentAlert() && main->currentAlert()->isVisible());
        QVERIFY(main->currentAlert()->informativeText().contains(QStringLiteral("could not be saved")));
        // The new group stays in the window, where the next successful save will store it.
        QCOMPARE(main->catalogue.groupDirList.size(), 4);
        QVERIFY(QFile::remove(root));
        QVERIFY(QDir().rename(root + QStringLiteral(".moved"), root));
        QTest::mouseClick(main->currentAlert()->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!main->currentAlert());
        QVERIFY(main->SaveGroupList(0));
        QVERIFY(TestEnvironment::readFile(vaultpaths::AppGroupDirListPath()).contains("New Group"));
    }

    // A catalogue file that cannot be read whole (the reading is the catalogue's own test):
    // the window opens with what could be read and an alert names where the file was moved and
    // what was lost.
    void aDamagedCatalogueOpensWithWhatCouldBeRead() {
        LoggedInApp app([&](TestEnvironment&) {
            QVERIFY(TestEnvironment::writeFile(
                vaultpaths::AppGroupDirListPath(),
                "<plist version=\"1.0\"><array><dict><key>isHeader</key><true/></dict>"
                "<dict><key>name</key><string>All Items</string><key>FileModel</key><array>"
                "<dict><key>path</key><string>/nowhere/a.txt</string><key>name</key><string>a.txt</string></dict>"
                "<dict><key>path</key><string>/nowhere/b.txt</string><key>name</key><string>b.txt</string>"
                "<key>fileSize</key><string>big</string></dict>"
                "</array></dict><dict><key>isAddItem</key><true/></dict></array></plist>"));
        });
        QVERIFY(app.shown());
        QCOMPARE(app.main->itemModel()->rowCount(), 2);
        QCOMPARE(app.main->catalogue.damagedFiles.size(), 1);
        QTRY_VERIFY(app.main->currentAlert());
        const QString text = app.main->currentAlert()->informativeText();
        for (const QString& part : {app.main->catalogue.damagedFiles.first(), QStringLiteral("Groups kept: 1, items kept: 2."),
                                    QStringLiteral("item 1 (\"b.txt\"): \"fileSize\" could not be read")}) {
            QVERIFY2(text.contains(part), qPrintable(text));
        }
    }

    // What a new user ran into on a real desktop: typing after Return in a note's title, and a
    // "Show in File Manager" on a machine without one (a prompt's title bar is the menus test's).
    void returnInNoteTitleGoesOnInTheTextAndTheLabelFollowsTheSave() {
        testing::WindowOn<> window;
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        clickSidebarRow(*window.main, 1, key(kNotesListKey));
        NotesPane& pane = *window.main->notesPane();
        QTest::mouseClick(pane.addNoteButton(), Qt::LeftButton);
        QVERIFY(pane.titleField()->hasFocus());
        QTest::keyClicks(pane.titleField(), QStringLiteral("Groceries"));
        QTest::keyClick(pane.titleField(), Qt::Key_Return);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("milk"));
        QCOMPARE(pane.titleField()->text(), QStringLiteral("Groceries"));
        QCOMPARE(pane.titleField()->cursorPosition(), 0);
        const FileModelPtr old = pane.openNote().note();
        QCOMPARE(old->name, QStringLiteral("Groceries"));
        QCOMPARE(pane.editor()->toPlainText(), QStringLiteral("milk"));

        QTest::mouseClick(pane.addNoteButton(), Qt::LeftButton);
        // The first note made and last written years ago.
        const QDateTime then(QDate(2001, 3, 4), QTime(5, 6, 7));
        old->createDate = then.toSecsSinceEpoch();
        const auto package = notes::NotePackage::of(*old, HelpClass::AppRootNoteDirPath());
        QVERIFY(package);
        QFile text(package->path() + QStringLiteral("/TXT.rtf"));
        QVERIFY(text.open(QIODevice::ReadWrite) && text.setFileTime(then, QFileDevice::FileModificationTime));
        text.close();
        pane.openRow(pane.shownNotes().indexOf(old));
        QVERIFY2(pane.editedLabel()->text().contains(QStringLiteral("2001")), qPrintable(pane.editedLabel()->text()));
        QTest::keyClicks(pane.editor(), QStringLiteral("today"));
        QVERIFY(pane.flush());
        const QString year = QString::number(QDate::currentDate().year());
        QVERIFY2(pane.editedLabel()->text().contains(year), qPrintable(pane.editedLabel()->text()));
    }

    // Without the file manager service the desktop's opener decides, and its answer is told.
    void folderOpenerFailureIsReported() {
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([path] {
            qputenv("PATH", path);
            FileManager::setBusForTests({});
        });
        // A bus nobody connected: the file manager service cannot answer, the opener must.
        FileManager::setBusForTests(QStringLiteral("no bus here"));
        QStringList answers;
        // The opener finds a file manager, finds nothing to open folders, is not installed.
        for (const QByteArray& opener : {QByteArray("exit 0"), QByteArray("exit 3"), QByteArray()}) {
            QTemporaryDir bin;
            const QString script = bin.filePath(QStringLiteral("xdg-open"));
            if (!opener.isEmpty()) {
                QVERIFY(TestEnvironment::writeFile(script, "#!/bin/sh\n" + opener + "\n"));
                QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            }
            qputenv("PATH", QFile::encodeName(bin.path()));
            QObject context;
            std::optional<bool> answer;
            FileManager::showItem(bin.filePath(QStringLiteral("item.txt")), &context, [&answer](bool ok) { answer = ok; });
            QTest::qWaitFor([&answer] { return answer.has_value(); }, FileManager::kOpenerGraceMs / 2);
            answers << (!answer ? QStringLiteral("no answer") : *answer ? QStringLiteral("shown") : QStringLiteral("not shown"));
        }
        QCOMPARE(answers, (QStringList{"shown", "not shown", "not shown"}));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<MainWindowTest>(argc, argv, true); }

#include "tst_main_window.moc"
