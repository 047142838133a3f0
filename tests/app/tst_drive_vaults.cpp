// Vaults on removable drives through the real window: a folder of the test's volumes root
// stands in for the drive, a fake monitor reports it coming and going, and the prompts are
// answered through their seams.
#include "app/main_view_controller.h"
#include "controls/modal_seam.h"
#include "controls/text_prompt.h"
#include "core/localized_text.h"
#include "core/volume_monitor.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"
#include "vault/drive_vaults.h"
#include "vault/vault_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace tessaro;
using tessaro::controls::ModalSeam;
using tessaro::controls::TextPrompt;
using tessaro::testing::TestEnvironment;

namespace {

const QString kLocal = QString::fromLatin1(kLocalListKey);

// A window on a fresh vault, listening to a fake monitor, with the drive "USB" plugged in.
struct DriveWindow {
    FakeVolumeMonitor monitor;
    std::unique_ptr<testing::WindowOn<>> w;
    QString usb;
    DriveWindow() {
        ModalSeam::reset();
        TextPrompt::reset();
        MainViewController::setVolumeMonitor(&monitor);
        w = std::make_unique<testing::WindowOn<>>();
        usb = plug(QStringLiteral("USB"));
    }
    MainViewController& main() { return *w->main; }
    TestEnvironment& env() { return w->env; }
    QString plug(const QString& name) {
        const QString point = env().mountVolume(name);
        monitor.mount(name, point);
        return point;
    }
    // The drive goes: its folder vanishes first, as a real mount point empties.
    void pull(const QString& name, const QString& keepAs) {
        QVERIFY(QDir().rename(env().volumesRoot() + QLatin1Char('/') + name, keepAs));
        monitor.unmount(name);
    }
    // Pulled, then back in the same place before the monitor reports it again.
    void pullAndPutBack() {
        const QString away = env().base() + QStringLiteral("/away");
        pull(QStringLiteral("USB"), away);
        QTRY_VERIFY(main().catalogue.UPLibrary.isEmpty());
        QVERIFY(QDir().rename(away, usb));
    }
    bool sidebarShows(const QString& vaultKey) { return testing::sidebarRowOf(main(), vaultKey, 1) >= 0; }
    // Adds a file on the drive into a new vault named `name`, answering both prompts.
    FileModelPtr addIntoNewVault(const QString& name, const QByteArray& bytes) {
        const QString path = usb + QStringLiteral("/doc.txt");
        TestEnvironment::writeFile(path, bytes);
        ModalSeam::nextAnswer(QMessageBox::Yes);
        TextPrompt::nextAnswer(name);
        main().AddFileActionForPaths({path});
        const QString key = QStringLiteral("USB/") + name + QStringLiteral(".flp");
        if (!QTest::qWaitFor([&] { return main().catalogue.UPLibrary.contains(key); })) {
            return nullptr;
        }
        main().vaultController()->waitUntilIdle();
        const RowList& rows = main().catalogue.UPLibrary[key];
        return rows.size() > 1 && !rows[1]->fileModels->isEmpty() ? rows[1]->fileModels->first() : nullptr;
    }
    void setHeaderAddress(const QString& key, const QString& mac) {
        main().catalogue.UPLibrary[key].first()->macAddress = mac;
        QVERIFY(main().catalogue.saveUpListForName(key, std::nullopt));
    }
};

}  // namespace

class DriveVaultsTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { MainViewController::setVolumeMonitor(nullptr); }

    void createdWhileAddingThenRefusesAnotherDrivesItemThenPulledAndPluggedBack() {
        DriveWindow d;
        const FileModelPtr item = d.addIntoNewVault(QStringLiteral("Box"), "on the drive");
        QVERIFY(item);
        QVERIFY(item->isEncrtypt);
        QCOMPARE(ModalSeam::lastQuestion().message, ui_text("addMessage.string").arg(QStringLiteral("USB")));
        QCOMPARE(d.main().selectGroupName(), QStringLiteral("USB/Box.flp"));
        QVERIFY(d.sidebarShows(QStringLiteral("USB/Box.flp")));

        // An item of another drive is refused for it, and stays where it is.
        const QString other = d.plug(QStringLiteral("Other")) + QStringLiteral("/y.txt");
        TestEnvironment::writeFile(other, "y");
        d.main().AddFileActionForPaths({other});
        QTRY_VERIFY(d.main().currentAlert());
        QCOMPARE(d.main().currentAlert()->text(), ui_text("driveVault.otherVolume.title"));
        QVERIFY(QFileInfo::exists(other));
        QCOMPARE(d.main().catalogue.UPLibrary.size(), 1);
        d.main().currentAlert()->close();

        // Pulled while one of its groups is selected: it leaves, the local all-items group is selected.
        const QString away = d.env().base() + QStringLiteral("/away");
        d.pull(QStringLiteral("USB"), away);
        QTRY_VERIFY(!d.sidebarShows(QStringLiteral("USB/Box.flp")));
        QCOMPARE(d.main().selectGroupName(), kLocal);
        QCOMPARE(d.main().selectGroupIndex, 1);

        // Back, under the same name and then under another: it opens without a prompt (its
        // paths follow the mount, as the library's own tests check).
        for (const QString& name : {QStringLiteral("USB"), QStringLiteral("Stick")}) {
            const QString point = d.env().volumesRoot() + QLatin1Char('/') + name;
            QVERIFY(QDir().rename(away, point));
            d.monitor.mount(name, point);
            const QString key = name + QStringLiteral("/Box.flp");
            QTRY_VERIFY(d.sidebarShows(key));
            QCOMPARE(TextPrompt::promptCount(), 1);  // only the name prompt of the add
            d.pull(name, away);
            QTRY_VERIFY(!d.sidebarShows(key));
        }
    }

    void anotherMachinesVaultAsksForItsPassword_data() {
        QTest::addColumn<QString>("typed");  // a null text declines the prompt
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("saysWrong");
        QTest::newRow("right password") << QString::fromLatin1(TestEnvironment::kPassword) << true << false;
        QTest::newRow("wrong password") << QStringLiteral("guess") << false << true;
        QTest::newRow("prompt declined") << QString() << false << false;
    }
    void anotherMachinesVaultAsksForItsPassword() {
        QFETCH(QString, typed);
        QFETCH(bool, opens);
        QFETCH(bool, saysWrong);
        DriveWindow d;
        QVERIFY(d.addIntoNewVault(QStringLiteral("Box"), "x"));
        d.setHeaderAddress(QStringLiteral("USB/Box.flp"), QStringLiteral("0a:0b:0c:0d:0e:0f"));
        d.pullAndPutBack();
        const int prompts = TextPrompt::promptCount();
        const int alerts = ModalSeam::alertCount();
        TextPrompt::nextAnswer(typed.isNull() ? std::nullopt : std::optional<QString>(typed));
        d.monitor.mount(QStringLiteral("USB"), d.usb);
        QTRY_COMPARE(TextPrompt::promptCount(), prompts + 1);
        QCOMPARE(TextPrompt::lastRequest().message, ui_text("passordMessage"));
        QVERIFY(TextPrompt::lastRequest().secret);
        QTest::qWait(50);
        QCOMPARE(d.sidebarShows(QStringLiteral("USB/Box.flp")), opens);
        QCOMPARE(ModalSeam::alertCount() > alerts, saysWrong);
        if (saysWrong) {
            QCOMPARE(ModalSeam::lastAlert().message, ui_text("passworderror"));
        }
    }

    // A vault picked in the open panel opens, asking for its password only when it is another
    // machine's: picked beside an add on its drive (the item then goes into it), or from the
    // Drive Vault button at the next login ("KUPNAMES" names a vault only by its key).
    void aPickedVaultOpensAskingOnlyForAnotherMachinesPassword_data() {
        QTest::addColumn<bool>("foreign");
        QTest::newRow("this machine's, picked when adding beside it") << false;
        QTest::newRow("another machine's, from the button at the next login") << true;
    }
    void aPickedVaultOpensAskingOnlyForAnotherMachinesPassword() {
        QFETCH(bool, foreign);
        DriveWindow d;
        // The name the add proposes, so that the add finds it there.
        QVERIFY(vault::createDriveVault(d.main().catalogue, QStringLiteral("USB"), QStringLiteral("Vault")).created);
        const QString key = QStringLiteral("USB/Vault.flp");
        const int prompts = TextPrompt::promptCount();
        ModalSeam::nextFileNames({d.usb + QStringLiteral("/Vault.flp")});
        if (foreign) {
            TextPrompt::nextAnswer(QString::fromLatin1(TestEnvironment::kPassword));
            d.setHeaderAddress(key, QStringLiteral("0a:0b:0c:0d:0e:0f"));
            d.w->main = new MainViewController(d.w->window, std::nullopt);
            d.w->window.setContentController(d.w->main);
            QVERIFY(!d.sidebarShows(key));
            d.main().addGroupBtnAction();
            QTRY_VERIFY(d.sidebarShows(key));
        } else {
            d.main().catalogue.UPLibrary.clear();
            const QString file = d.usb + QStringLiteral("/later.txt");
            TestEnvironment::writeFile(file, "later");
            ModalSeam::nextAnswer(QMessageBox::No);  // open the existing vault
            d.main().AddFileActionForPaths({file});
            QTRY_VERIFY(!QFileInfo::exists(file));
            QCOMPARE(ModalSeam::lastQuestion().message, ui_text("addMessage1.string").arg(QStringLiteral("USB")));
            d.main().vaultController()->waitUntilIdle();
            const FileModelList& items = *d.main().catalogue.UPLibrary[key][1]->fileModels;
            QCOMPARE(items.size(), 1);
            QVERIFY(items.first()->isEncrtypt);
        }
        QCOMPARE(TextPrompt::promptCount(), prompts + (foreign ? 1 : 0));
    }

    void mountOpensTheFirstOfTwoVaultsAndNeverAnOpenOneAgain() {
        DriveWindow d;
        QVERIFY(d.addIntoNewVault(QStringLiteral("B"), "b"));
        // A second vault beside it, then the drive replugged.
        QVERIFY(vault::createDriveVault(d.main().catalogue, QStringLiteral("USB"), QStringLiteral("A")).created);
        d.pullAndPutBack();
        d.monitor.mount(QStringLiteral("USB"), d.usb);
        QTRY_VERIFY(d.sidebarShows(QStringLiteral("USB/A.flp")));
        QTest::qWait(50);
        QVERIFY(!d.main().catalogue.UPLibrary.contains(QStringLiteral("USB/B.flp")));
        // Mounted once more while open: nothing is asked, nothing changes, the next vault is offered.
        const int prompts = TextPrompt::promptCount();
        d.monitor.unmount(QStringLiteral("USB"));
        d.monitor.mount(QStringLiteral("USB"), d.usb);
        QTRY_VERIFY(d.main().catalogue.UPLibrary.contains(QStringLiteral("USB/B.flp")));
        QCOMPARE(TextPrompt::promptCount(), prompts);
    }

private:
    static QString ui_text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<DriveVaultsTest>(argc, argv); }

#include "tst_drive_vaults.moc"
