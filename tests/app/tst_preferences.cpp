// The preferences and change-password windows driven as a user would: every control writes
// its setting at once and shows it again after a reopen; moving the vault from the Advanced
// pane; each password refusal shakes its field and leaves the settings alone, as do the
// warning's second button and a failed write; a weak new password is followed by its alert;
// after a change only the new password logs in; a drive vault's digest changes on disk and in
// the rows the window holds.
#include "access/password_change.h"
#include "app/app_delegate.h"
#include "app/change_password_window.h"
#include "app/preferences_panes.h"
#include "app/preferences_window.h"
#include "controls/modal_seam.h"
#include "controls/shake.h"
#include "controls/ts_view.h"
#include "core/catalogue.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "vault/vault_controller.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/vault_move_steps.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <cstdio>
#include <optional>

using namespace tessaro;
using controls::ModalSeam;
using tessaro::testing::logIn;
using tessaro::testing::TestEnvironment;
using tessaro::testing::waitUntil;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }
const QString kOld = QString::fromLatin1(TestEnvironment::kPassword);
const QString kStrong = QStringLiteral("Tr0ub4dor&3 horses");
QByteArray settingsBytes() { return TestEnvironment::readFile(SettingsStore::filePath()); }
QByteArray upperMd5(const QString& text) {
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
}

void fill(ChangePasswordWController* w, const QString& old, const QString& now, const QString& verify,
          const QString& hint) {
    const std::pair<QLineEdit*, QString> fields[] = {
        {w->oldPasswordField(), old}, {w->nowPasswordField(), now}, {w->verifyField(), verify}, {w->passwordHitField(), hint}};
    for (const auto& [field, text] : fields) {
        field->clear();
        // Typed as a user types; a very long text is pasted.
        if (text.size() > 80) {
            field->insert(text);
        } else {
            QTest::keyClicks(field, text);
        }
    }
}

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
    void init() { ModalSeam::reset(); }
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
        QVERIFY(testing::moveKilledRightAfterRename(destination));

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
    // Everything short of a stored change: the refusals in the order they are checked, the
    // warning's second button, and a settings file that cannot be written.
    void leavesTheWindowOpenAndTheSettingsAlone_data() {
        QTest::addColumn<QStringList>("typed");  // old, new, confirmation, hint
        QTest::addColumn<int>("answer");         // to the warning, when it comes
        QTest::addColumn<bool>("unwritable");
        QTest::addColumn<QString>("shaken");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("lastMessage");
        const QString h = QStringLiteral("h");
        const QString tooLong(1001, QLatin1Char('w'));
        QTest::newRow("wrong old password") << QStringList{QStringLiteral("correct horsE"), kStrong, kStrong, h} << 0
                                            << false << "oldPasswordField" << 1 << "The current password is not correct.";
        QTest::newRow("empty new password") << QStringList{kOld, {}, {}, h} << 0 << false << "nowPasswordField" << 0 << "";
        QTest::newRow("new password too long") << QStringList{kOld, tooLong, tooLong, h} << 0 << false << "nowPasswordField"
                                               << 1 << "This password cannot be used";
        QTest::newRow("confirmation differs") << QStringList{kOld, kStrong, kStrong.toUpper(), h} << 0 << false
                                              << "verifyField" << 0 << "";
        QTest::newRow("empty hint") << QStringList{kOld, kStrong, kStrong, {}} << 0 << false << "passwordHitField" << 0 << "";
        QTest::newRow("warning answered cancel") << QStringList{kOld, kStrong, kStrong, h} << int(QMessageBox::No) << false
                                                 << "" << 1 << "Change the vault password?";
        QTest::newRow("settings cannot be written") << QStringList{kOld, kStrong, kStrong, h} << int(QMessageBox::Yes) << true
                                                    << "" << 2 << "The password was not changed";
    }
    void leavesTheWindowOpenAndTheSettingsAlone() {
        QFETCH(QStringList, typed);
        QFETCH(int, answer);
        QFETCH(bool, unwritable);
        QFETCH(QString, shaken);
        QFETCH(int, asked);
        QFETCH(QString, lastMessage);
        TestEnvironment env;
        const QByteArray before = settingsBytes();
        std::optional<testing::UnremovableEntries> locked;
        if (unwritable) {
            locked.emplace(QFileInfo(SettingsStore::filePath()).absolutePath());
            if (!locked->ok()) {
                QSKIP("this file system cannot make a folder immutable");
            }
        }
        ChangePasswordWController* w = showChangePassword(nullptr, std::nullopt);  // as the menu shows it
        QVERIFY(w && QTest::qWaitForWindowExposed(w));
        fill(w, typed[0], typed[1], typed[2], typed[3]);
        if (answer) {
            ModalSeam::nextAnswer(QMessageBox::StandardButton(answer));
        }
        QTest::keyClick(w->passwordHitField(), Qt::Key_Return);  // Return presses the change button
        QTRY_COMPARE(ModalSeam::alertCount(), asked);
        QApplication::processEvents();
        for (QLineEdit* field : {w->oldPasswordField(), w->nowPasswordField(), w->verifyField(), w->passwordHitField()}) {
            QCOMPARE(controls::isShaking(w->frameOf(field)), field->objectName() == shaken);
        }
        if (asked) {
            QVERIFY(ModalSeam::lastAlert().message == lastMessage || ModalSeam::lastQuestion().message == lastMessage);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(w->verifyField()->text(), typed[2]);
        QTest::mouseClick(w->cancelBtn(), Qt::LeftButton);
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(settingsBytes(), before);
    }

    // A stored change, from the main window: the strength shown while typing, the weak alert
    // after a level-0 password only, and the next login takes only the new password.
    void aChangeIsStoredAndOnlyTheNewPasswordLogsIn_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<bool>("weakAlert");
        QTest::newRow("weak") << QStringLiteral("qwertyui") << "Weak" << QColor(254, 123, 123) << true;
        QTest::newRow("moderate") << QStringLiteral("abcd1234x") << "Moderate" << QColor(255, 190, 50) << false;
    }
    void aChangeIsStoredAndOnlyTheNewPasswordLogsIn() {
        QFETCH(QString, password);
        QFETCH(QString, word);
        QFETCH(QColor, colour);
        QFETCH(bool, weakAlert);
        testing::LoggedInApp app;
        QVERIFY(app.shown());
        QPointer<ChangePasswordWController> w = showChangePassword(app.delegate.mainWindow(), std::nullopt);
        QVERIFY(w);
        QCOMPARE(w->size(), ChangePasswordWController::kSize);
        QCOMPARE(w->windowModality(), Qt::ApplicationModal);
        // Centred over the main window (a point of rounding either way).
        QVERIFY((w->geometry().center() - app.delegate.mainWindow()->geometry().center()).manhattanLength() <= 2);
        fill(w, kOld, password, password, QStringLiteral("new hint"));
        QCOMPARE(w->passwordLealLabel()->text(), word);
        QCOMPARE(w->passwordLealLabel()->palette().color(QPalette::WindowText), colour);
        ModalSeam::nextAnswer(QMessageBox::Yes);
        ModalSeam::nextAnswer(QMessageBox::Ok);
        QTest::mouseClick(w->changePasswordBtn(), Qt::LeftButton);
        QTRY_VERIFY(!w);
        QApplication::processEvents();
        QCOMPARE(SettingsStore::stringValue(key(keys::kPASSWORDHINTCONTENT)), QStringLiteral("new hint"));
        QCOMPARE(ModalSeam::alertCount(), weakAlert ? 2 : 1);
        if (weakAlert) {
            QCOMPARE(ModalSeam::lastAlert().message, QStringLiteral("Your password was changed, but it is weak."));
        }

        app.delegate.lockTessaroAction();
        QTRY_VERIFY(app.delegate.loginView());
        QVERIFY(!testing::logIn(app.delegate, kOld));
        QVERIFY(testing::logIn(app.delegate, password));
    }

    // The preferences' button opens the vault's own window over them, where focus lights only
    // the password field being typed.
    void fromThePreferencesFocusLightsOnlyThePasswordFieldBeingTyped() {
        TestEnvironment env;
        auto* pane = qobject_cast<PasswordViewController*>(openPane(1));
        QVERIFY(pane);
        QTest::mouseClick(pane->changeButton(), Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<ChangePasswordWController*>(QApplication::activeModalWidget()));
        auto* w = qobject_cast<ChangePasswordWController*>(QApplication::activeModalWidget());
        QCOMPARE(w->parentWidget(), PreferencesWindowController::shown());
        QVERIFY(!w->isChangeUpFlpPassword);
        QLineEdit* fields[] = {w->oldPasswordField(), w->nowPasswordField(), w->verifyField(), w->passwordHitField()};
        for (QLineEdit* focused : fields) {
            focused->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            for (QLineEdit* field : fields) {
                const bool lit = field == focused && field != w->passwordHitField();
                QCOMPARE(w->frameOf(field)->borderColour(),
                         lit ? ChangePasswordWController::highlightBorder() : ChangePasswordWController::normalBorder());
            }
        }
        w->close();
    }

    void driveVaultTakesTheNewDigestOnDiskAndInMemory() {
        const QString vaultKey = QStringLiteral("USB STICK/Travel.flp");
        testing::LoggedInApp app([&](TestEnvironment& env) {
            env.mountVolume(QStringLiteral("USB STICK"));
            Catalogue drive;
            drive.UPLibrary[vaultKey] = Catalogue::defaultRemovableList(QStringLiteral("USB STICK"), vaultKey,
                                                                        QDateTime::currentSecsSinceEpoch());
            QVERIFY(drive.saveUpListForName(vaultKey, std::nullopt));
            SettingsStore::setValue(key(keys::KUPNAMES), QStringList{vaultKey});
        });
        QVERIFY(app.shown());
        const QString list = Volumes::pathFor(vaultKey) + QStringLiteral("/GroupMoveUPlist.plist");

        QVERIFY(!showChangePassword(app.delegate.mainWindow(), QStringLiteral("USB STICK/Other.flp")));
        QTRY_COMPARE(ModalSeam::alertCount(), 1);

        const QString fresh = QStringLiteral("drive pass one");
        QPointer<ChangePasswordWController> w = showChangePassword(app.delegate.mainWindow(), vaultKey);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Change the Password of “Travel.flp”"));
        fill(w, kOld, fresh, fresh, QStringLiteral("h"));
        QTest::mouseClick(w->changePasswordBtn(), Qt::LeftButton);
        QTRY_VERIFY(!w);
        // The window's own rows changed with the file: the next opening asks for the new one.
        QCOMPARE(access::driveVaultDigest(app.main->catalogue, vaultKey)->toLatin1(), upperMd5(fresh));

        // A lock while the window is open closes it: nothing is written through a catalogue that is gone.
        QPointer<ChangePasswordWController> open = showChangePassword(app.delegate.mainWindow(), vaultKey);
        QVERIFY(open);
        app.delegate.lockTessaroAction();
        QTRY_VERIFY(!open);
        QCOMPARE(TestEnvironment::readFile(list).count(upperMd5(fresh)), 3);
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<PreferencesTest>(argc, argv); }

#include "tst_preferences.moc"
