// The preferences window driven as a user would: every control writes its setting at once
// and shows it again after the window (or the application) is reopened; the session-lock
// switch; moving the vault from the Advanced pane (the password button is the change
// window's test).
#include "app/app_delegate.h"
#include "app/preferences_panes.h"
#include "app/preferences_window.h"
#include "controls/modal_seam.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "vault/vault_controller.h"
#include "vault/vault_move.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <csignal>
#include <cstdio>

using namespace tessaro;
using controls::ModalSeam;
using tessaro::testing::logIn;
using tessaro::testing::PrivateBus;
using tessaro::testing::TestEnvironment;
using tessaro::testing::waitUntil;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

// The window as the menu opens it, on the pane of toolbar button `index`.
PreferencePane* openPane(int index) {
    showPreferences(nullptr);
    PreferencesWindowController* window = PreferencesWindowController::shown();
    if (!window) {
        return nullptr;
    }
    const QString identifier = window->toolbarButton(index)->objectName();
    QTest::mouseClick(window->toolbarButton(index), Qt::LeftButton);
    waitUntil([&] { return window->currentIdentifier() == identifier; });
    return window->currentPane();
}

void closePreferences() {
    if (PreferencesWindowController* window = PreferencesWindowController::shown()) {
        window->close();
        waitUntil([] { return PreferencesWindowController::shown() == nullptr; });
    }
}

// The pane's stored controls (its check boxes and menus), in the order they were made.
QList<QWidget*> controlsOf(PreferencePane* pane) {
    QList<QWidget*> found = pane->findChildren<QWidget*>();
    found.removeIf([](QWidget* w) { return !qobject_cast<QCheckBox*>(w) && !qobject_cast<QComboBox*>(w); });
    return found;
}

// What a control shows: a check box 0 or 1, a menu its index.
int shown(QWidget* control) {
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        return box->isChecked() ? 1 : 0;
    }
    return qobject_cast<QComboBox*>(control)->currentIndex();
}

}  // namespace

class PreferencesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }
    void cleanup() {
        closePreferences();
        ModalSeam::reset();
    }

    // Each control shows its own key as stored (absent, out of range or written as another
    // type); a live one writes at once, a later version's is shown but takes no change; a
    // new window, as after a restart, shows what was left.
    void everyControlShowsItsSettingAndWritesAtOnce_data() {
        QTest::addColumn<int>("pane");  // its toolbar button
        QTest::addColumn<int>("control");  // its place among the pane's controls
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QVariant>("stored");  // invalid: never written
        QTest::addColumn<int>("shownFirst");
        QTest::addColumn<int>("key");  // pressed on a live control (0: a click)
        QTest::addColumn<int>("after");
        const QVariant absent;
        QTest::newRow("idle lock absent, End") << 0 << 0 << key(keys::kTESSAROWHENIDLE) << absent << 0 << int(Qt::Key_End) << 4;
        QTest::newRow("idle lock out of range, Home") << 0 << 0 << key(keys::kTESSAROWHENIDLE) << QVariant(9) << 4
                                                      << int(Qt::Key_Home) << 0;
        QTest::newRow("idle lock negative, Home") << 0 << 0 << key(keys::kTESSAROWHENIDLE) << QVariant(-1) << 4
                                                  << int(Qt::Key_Home) << 0;
        QTest::newRow("session lock absent is on") << 0 << 5 << key(keys::kLOCKWITHSESSION) << absent << 1 << 0 << 0;
        QTest::newRow("when quitting out of range") << 0 << 1 << key(keys::kWhenquittingTessaro) << QVariant(7) << 0 << 0 << 0;
        QTest::newRow("general box 1") << 0 << 2 << key(keys::USEMENUBARASSISTANT) << QVariant(1) << 1 << 0 << 1;
        QTest::newRow("general box 2 written as true") << 0 << 3 << key(keys::kLAUNCHASSISTANTONLOGIN) << QVariant(true)
                                                       << 1 << 0 << 1;
        QTest::newRow("general box 3") << 0 << 4 << key(keys::kSENDANONYMOUSUSAGEDATATOKALDERA) << QVariant(1) << 1 << 0 << 1;
        QTest::newRow("password box") << 1 << 0 << key(keys::kBackUptessaro) << QVariant(1) << 1 << 0 << 1;
        QTest::newRow("advanced box 1") << 3 << 0 << key(keys::kEraseremainingfiledatasecurelyafterhiding) << QVariant(1)
                                        << 1 << 0 << 1;
        QTest::newRow("advanced box 2") << 3 << 2 << key(keys::Whenunhidingviamenubarassistant) << QVariant(1) << 1 << 0 << 1;
        QTest::newRow("advanced box 3") << 3 << 3 << key(keys::WhenunhidingfromTessaroMainWindow) << QVariant(1) << 1 << 0
                                        << 1;
        QTest::newRow("erase method, last") << 3 << 1 << key(keys::Secureerasemethod) << QVariant(2) << 2 << 0 << 2;
    }

    void everyControlShowsItsSettingAndWritesAtOnce() {
        QFETCH(int, pane);
        QFETCH(int, control);
        QFETCH(QString, setting);
        QFETCH(QVariant, stored);
        QFETCH(int, shownFirst);
        QFETCH(int, key);
        QFETCH(int, after);
        TestEnvironment env;
        if (stored.isValid()) {
            QVERIFY(SettingsStore::setValue(setting, stored));
        }
        QWidget* widget = controlsOf(openPane(pane)).value(control);
        QVERIFY(widget);
        QCOMPARE(shown(widget), shownFirst);
        QCOMPARE(SettingsStore::contains(setting), stored.isValid());  // showing writes nothing
        QCOMPARE(widget->isEnabled(), !SettingsStore::entryFor(setting)->storedOnly);
        if (widget->isEnabled()) {
            if (key == 0) {
                QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
            } else {
                widget->setFocus();
                QTest::keyClick(widget, static_cast<Qt::Key>(key));
            }
            QCOMPARE(SettingsStore::value(setting).toString(), QString::number(after));
        }
        closePreferences();
        QCOMPARE(shown(controlsOf(openPane(pane)).value(control)), after);
    }

    void anUnwritableSettingsFileIsToldAndTheBoxGoesBack() {
        TestEnvironment env;
        auto* general = qobject_cast<GeneralViewController*>(openPane(0));
        QVERIFY(general);
        // The settings file's folder turned into a file: no write can succeed.
        SettingsStore::useFile(env.base() + QStringLiteral("/blocked/Tessaro.conf"));
        QVERIFY(TestEnvironment::writeFile(env.base() + QStringLiteral("/blocked"), "not a folder"));
        const int alerts = ModalSeam::alertCount();
        ModalSeam::nextAnswer(QMessageBox::Ok);
        QCheckBox* box = general->sessionLockBox();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QVERIFY(waitUntil([&] { return ModalSeam::alertCount() == alerts + 1; }));
        QVERIFY(box->isChecked());
        SettingsStore::useFile(env.settingsFile());
    }

    void theSessionLockSettingDecidesWhetherTheScreenLockLocksTheVault() {
        PrivateBus bus;
        QVERIFY2(bus.isReady(), qPrintable(bus.error()));
        TestEnvironment env;
        AppDelegate delegate;
        delegate.watchSessionLock(bus.client(), QDBusConnection(QStringLiteral("no system bus")));
        delegate.applicationDidFinishLaunching();
        QVERIFY(logIn(delegate));
        // The switch writes the setting (see the table above); the setting decides.
        QVERIFY(SettingsStore::setFlag(keys::kLOCKWITHSESSION, false));
        const auto screenLocks = [&bus] {
            return bus.emitSignal(QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
                                  QStringLiteral("ActiveChanged"), {true});
        };
        QVERIFY(screenLocks());
        QTest::qWait(200);
        QVERIFY(delegate.mainView());

        QVERIFY(SettingsStore::setFlag(keys::kLOCKWITHSESSION, true));
        QVERIFY(screenLocks());
        QTRY_VERIFY(!delegate.mainView());
    }

    // What is moved, and every refusal, are the move's own; here, the pane's flow to the next login.
    void movingTheVaultFromTheAdvancedPaneReopensItThere() {
        testing::LoggedInApp app;
        QVERIFY(app.main);
        const QString root = app.env.vaultRoot();
        auto* advanced = qobject_cast<AdvancedViewController*>(openPane(3));
        QCOMPARE(advanced->pathLabel()->text(), root);
        const QString destination = app.env.base() + QStringLiteral("/Elsewhere/Vault");
        ModalSeam::nextFileNames({destination});
        ModalSeam::nextAnswer(QMessageBox::Ok);
        // A move waits for the vault to be idle; just after the login it may still be saving.
        const vault::VaultController* vault = app.main->vaultController();
        QVERIFY(waitUntil([&] { return !vault->busy() && !vault->savesPending(); }));
        QTest::mouseClick(advanced->changePathButton(), Qt::LeftButton);
        QVERIFY2(waitUntil([&] { return app.delegate.loginView() != nullptr && !app.delegate.mainView(); }, 30000),
                 qPrintable(ModalSeam::lastAlert().message));
        QCOMPARE(ModalSeam::lastAlert().title, QStringLiteral("The vault has moved"));
        QVERIFY(PreferencesWindowController::shown() == nullptr);
        // The next login opens the vault at its new place, and the old one is not made again.
        QVERIFY(logIn(app.delegate));
        QCOMPARE(vaultpaths::AppRootDirKey(), destination);
        QVERIFY(!QFileInfo::exists(root));
    }

    // Which way a cut-short move is settled is the move's own; here, that the next launch tells it.
    void aMoveCutShortIsSettledAndToldAtTheNextLaunch() {
        TestEnvironment env;
        const QString destination = env.base() + QStringLiteral("/Elsewhere");
        vault::MoveOptions options;
        options.rename = [](const QByteArray& from, const QByteArray& to) {
            ::rename(from.constData(), to.constData());
            return ::raise(SIGKILL);
        };
        QCOMPARE(testing::runChild([&] { return static_cast<int>(vault::moveVault(destination, options).moved); }), -1);

        const int alerts = ModalSeam::alertCount();
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QVERIFY(waitUntil([&] { return ModalSeam::alertCount() == alerts + 1; }));
        QCOMPARE(ModalSeam::lastAlert().title, QStringLiteral("Moving the vault was interrupted"));
        QCOMPARE(vaultpaths::AppRootDirKey(), destination);
        QVERIFY(ModalSeam::lastAlert().message.contains(vaultpaths::AppRootDirKey()));
        QVERIFY(!SettingsStore::contains(key(keys::kVAULTMOVEINPROGRESS)));
        QVERIFY(delegate.loginView());
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<PreferencesTest>(argc, argv); }

#include "tst_preferences.moc"
