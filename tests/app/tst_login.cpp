// The first-run guide and the welcome tutorial driven through their real widgets: a new user
// pages through, is refused on bad passwords, chooses a location (the panel answered by the
// test) and lands in the main window with the vault on disk.
// The login screen driven through its real widgets: wrong entries shake, the hint comes at
// the fourth and the fixed message at the sixth, the empty field's button shows the hint,
// the right password opens the vault; the window stays whole on its screen through unlocks
// and locks; and a second launch hands over to the running application.
#include "access/single_instance.h"
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/guide_view_controller.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/ts_popover_view_controller.h"
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
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>

using namespace tessaro;
using controls::ModalSeam;
using tessaro::testing::logIn;
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

}  // namespace

class LoginTest : public QObject {
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
        QCOMPARE(login->passwordTextField()->placeholderText(), QStringLiteral("密码"));
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
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<LoginTest>(argc, argv, true); }

#include "tst_login.moc"
