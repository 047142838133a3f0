// The login screen driven through its real widgets: wrong entries shake, the hint comes at
// the fourth and the fixed message at the sixth, the empty field's button shows the hint,
// the right password opens the vault; the window stays whole on its screen through unlocks
// and locks; and a second launch hands over to the running application.
#include "access/single_instance.h"
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/ts_popover_view_controller.h"
#include "controls/shake.h"
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

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>

using namespace tessaro;
using tessaro::testing::logIn;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }
const QString kHint = QStringLiteral("our first cat");

}  // namespace

class LoginTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }

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
