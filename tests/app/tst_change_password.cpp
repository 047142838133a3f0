// The change-password window driven through its real widgets: each refusal shakes its field
// and leaves the settings alone, as do the warning's second button and a failed write; a weak
// new password is followed by its alert; after a change the login takes only the new
// password; a drive vault's digest changes on disk and in the rows the window holds.
#include "app/change_password_window.h"

#include "app/preferences_panes.h"
#include "app/preferences_window.h"
#include "access/password_change.h"
#include "controls/modal_seam.h"
#include "controls/shake.h"
#include "controls/ts_view.h"
#include "core/catalogue.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

using namespace tessaro;
using tessaro::testing::TestEnvironment;
using controls::ModalSeam;

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

// A window in vault mode over nothing, shown as the menu shows it.
ChangePasswordWController* openVaultWindow() {
    ChangePasswordWController* w = showChangePassword(nullptr, std::nullopt);
    return w && QTest::qWaitForWindowExposed(w) ? w : nullptr;
}

}  // namespace

class ChangePasswordTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() { ModalSeam::reset(); }

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
        ChangePasswordWController* w = openVaultWindow();
        QVERIFY(w);
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
        ChangePasswordWController* w = showChangePassword(app.delegate.mainWindow(), std::nullopt);
        QVERIFY(w);
        QPointer<ChangePasswordWController> alive(w);
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
        QTRY_VERIFY(!alive);
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
        showPreferences(nullptr);
        PreferencesWindowController* preferences = PreferencesWindowController::shown();
        preferences->setcontentIdenter(QStringLiteral("Password"));
        QTRY_VERIFY(qobject_cast<PasswordViewController*>(preferences->currentPane()));
        QTest::mouseClick(qobject_cast<PasswordViewController*>(preferences->currentPane())->changeButton(), Qt::LeftButton);
        QTRY_VERIFY(qobject_cast<ChangePasswordWController*>(QApplication::activeModalWidget()));
        auto* w = qobject_cast<ChangePasswordWController*>(QApplication::activeModalWidget());
        QCOMPARE(w->parentWidget(), preferences);
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
        preferences->close();
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
        ChangePasswordWController* w = showChangePassword(app.delegate.mainWindow(), vaultKey);
        QVERIFY(w);
        QPointer<ChangePasswordWController> alive(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Change the Password of “Travel.flp”"));
        fill(w, kOld, fresh, fresh, QStringLiteral("h"));
        QTest::mouseClick(w->changePasswordBtn(), Qt::LeftButton);
        QTRY_VERIFY(!alive);
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

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<ChangePasswordTest>(argc, argv); }

#include "tst_change_password.moc"
