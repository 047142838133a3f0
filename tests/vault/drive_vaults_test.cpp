// Vaults on removable drives: a folder of the test's volumes root stands in for each drive.
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/item_place.h"
#include "crypto/md5.h"
#include "support/library_vault.h"
#include "support/qt_printing.h"
#include "support/real_drive.h"
#include "vault/vault_controller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>


namespace tessaro {
namespace {

using testing::readTree;
using testing::RealDrive;
using testing::TestEnvironment;
using testing::Tree;
using Status = vault::DriveOpening::Status;

const QString kPassword = QString::fromLatin1(TestEnvironment::kPassword);

struct DriveFixture : testing::LibraryVault {
    QString usb = env.mountVolume(QStringLiteral("USB"));  // the mount point of the drive "USB"
    QString file(const QString& relative, const QByteArray& bytes) {
        const QString path = usb + QLatin1Char('/') + relative;
        TestEnvironment::writeFile(path, bytes);
        return path;
    }
    // A vault made here, under the current password, holding the given items hidden.
    FileModelList makeVault(const QString& name, const QStringList& items) {
        const QString key = makeDriveVault(QStringLiteral("USB"), name);
        const FileModelList records = addToDrive(key, items);
        for (const FileModelPtr& r : records) {
            const ItemResult result = walk(r, true);
            EXPECT_TRUE(result.complete) << result.problems.join(QLatin1Char('\n')).toStdString();
        }
        EXPECT_TRUE(vault::saveDriveVault(catalogue, key));
        return records;
    }
};

// Items added through the controller while the user clicks another row are recorded in the
// drive vault, whose journal is the one cleared. Opened again under another mount name, as the
// same drive gets elsewhere, every path moves and the bytes come home.
TEST(DriveVaults, AnAddIsSavedInTheDriveVaultThatOpensAgainWithoutPromptUnderAnyMountName) {
    DriveFixture f;
    f.makeVault(QStringLiteral("Box"), {});
    const QStringList plain{f.file(QStringLiteral("photos/a.txt"), "drive bytes"), f.file(QStringLiteral("b.bin"), "b")};
    vault::VaultController controller(f.catalogue, {});
    controller.addPaths(plain, QStringLiteral("USB/Box.flp"), 1);
    f.catalogue.selectGroupName = QString::fromLatin1(kLocalListKey);
    controller.waitUntilIdle();
    EXPECT_FALSE(QFileInfo::exists(plain[0]) || QFileInfo::exists(plain[1]));
    EXPECT_TRUE(vault::readJournal(f.usb + QStringLiteral("/Box.flp")).entries.isEmpty());
    EXPECT_TRUE(SettingsStore::stringList(QString::fromLatin1(keys::KUPNAMES)).contains(QStringLiteral("USB/Box.flp")));
    // The header carries what the ownership check compares.
    const GroupModel& header = *f.catalogue.UPLibrary.value(QStringLiteral("USB/Box.flp")).first();
    EXPECT_EQ(header.password, MD5_32BitUpper(kPassword));
    EXPECT_EQ(header.macAddress, QString::fromLatin1(TestEnvironment::kMacAddress));

    const QString stick = f.env.volumesRoot() + QStringLiteral("/Stick");
    ASSERT_TRUE(QDir().rename(f.usb, stick));
    const vault::DriveOpening opened = vault::openDriveVault(stick + QStringLiteral("/Box.flp"), kPassword);
    ASSERT_EQ(opened.status, Status::Opened) << opened.reason.toStdString();
    EXPECT_FALSE(opened.foreign);
    EXPECT_EQ(opened.vault.key(), QStringLiteral("Stick/Box.flp"));
    QStringList records;
    for (const FileModelPtr& item : *opened.rows[1]->fileModels) {
        records.append(QStringLiteral("%1 in %2%3").arg(item->path, item->groupName, item->isEncrtypt ? QStringLiteral("*") : QString()));
    }
    ASSERT_EQ(records, (QStringList{stick + "/photos/a.txt in Stick/Box.flp*", stick + "/b.bin in Stick/Box.flp*"}));
    EXPECT_TRUE(vault::unhideRecordJournaled(opened.rows[1]->fileModels->first()).complete);
    EXPECT_EQ(TestEnvironment::readFile(stick + QStringLiteral("/photos/a.txt")), QByteArray("drive bytes"));
}

// Who may open a vault: its header against this machine and the password, then the typed one.
TEST(DriveVaults, OwnershipCheckAsksAndRefusesAsTheHeaderSays) {
    struct Case {
        const char* name;
        QString mac;
        QString digest;
        std::optional<QString> typed;
        Status expected;
    };
    const QString here = QString::fromLatin1(TestEnvironment::kMacAddress);
    const QString elsewhere = QStringLiteral("0a:0b:0c:0d:0e:0f");
    const QString ours = MD5_32BitUpper(kPassword);
    const QString theirs = MD5_32BitUpper(QStringLiteral("other password"));
    const Case cases[] = {
        {"this machine, this password", here, ours, std::nullopt, Status::Opened},
        {"another machine asks even for the right password", elsewhere, ours, std::nullopt, Status::NeedsPassword},
        {"another machine, right password typed", elsewhere, ours, kPassword, Status::Opened},
        {"another machine, wrong password typed", elsewhere, ours, QStringLiteral("guess"), Status::WrongPassword},
        {"another password here asks", here, theirs, std::nullopt, Status::NeedsPassword},
        {"its own password typed", here, theirs, QStringLiteral("other password"), Status::Opened},
        {"no digest accepts nothing", elsewhere, QString(), QString(), Status::WrongPassword},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriveFixture f;
        f.makeVault(QStringLiteral("Box"), {});
        f.catalogue.UPLibrary[QStringLiteral("USB/Box.flp")].first()->macAddress = c.mac;
        f.catalogue.UPLibrary[QStringLiteral("USB/Box.flp")].first()->password = c.digest;
        ASSERT_TRUE(f.catalogue.saveUpListForName(QStringLiteral("USB/Box.flp"), std::nullopt));
        const QString catalogueFile = f.usb + QStringLiteral("/Box.flp/GroupMoveUPlist.plist");
        const QByteArray before = TestEnvironment::readFile(catalogueFile);
        const vault::DriveOpening opened = vault::openDriveVault(f.usb + QStringLiteral("/Box.flp"), kPassword, c.typed);
        EXPECT_EQ(opened.status, c.expected);
        EXPECT_EQ(opened.foreign, c.mac != here || c.digest != ours);
        // Asking and refusing write nothing to the drive.
        EXPECT_EQ(TestEnvironment::readFile(catalogueFile), before);
    }
}

// A vault folder whose catalogue cannot be trusted is refused and left exactly as found.
TEST(DriveVaults, UnusableCatalogueIsRefusedAndNeverReplaced) {
    struct Case {
        const char* name;
        std::optional<QByteArray> catalogue;  // absent: no file at all
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"empty file", QByteArray()},
        {"empty list", QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array/></plist>\n")},
        {"cut short", QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array><dict><key>na")},
        {"header only",
         QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array><dict>"
                    "<key>isHeader</key><true/><key>password</key><string>X</string></dict></array></plist>\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriveFixture f;
        const QString dir = f.usb + QStringLiteral("/Old.flp");
        QDir().mkpath(dir);
        if (c.catalogue) {
            TestEnvironment::writeFile(dir + QStringLiteral("/GroupMoveUPlist.plist"), *c.catalogue);
        }
        const testing::Tree before = readTree(dir);
        const vault::DriveOpening opened = vault::openDriveVault(dir, kPassword, kPassword);
        EXPECT_EQ(opened.status, Status::Refused);
        EXPECT_FALSE(opened.reason.isEmpty());
        EXPECT_EQ(readTree(dir), before);
        EXPECT_FALSE(QFileInfo::exists(dir + QStringLiteral("/Thumb")));
    }
}

// Paths that name no vault of a mounted drive are not opened, and no vault is made in a folder
// that exists or on a drive that is not mounted.
TEST(DriveVaults, PlacesThatNameNoVaultAreNeitherOpenedNorMade) {
    DriveFixture f;
    f.makeVault(QStringLiteral("Box"), {});
    QDir().mkpath(f.usb + QStringLiteral("/deep/Inner.flp"));
    QDir().mkpath(f.usb + QStringLiteral("/Theirs.flp"));
    EXPECT_EQ(vault::openDriveVault(f.env.volumesRoot() + QStringLiteral("/Gone/Box.flp"), kPassword).status,
              Status::NotMounted);
    for (const QString& path : {f.usb + QStringLiteral("/deep/Inner.flp"), f.usb + QStringLiteral("/Box.flp/../Box"),
                                f.env.vaultRoot(), QStringLiteral("USB/../Box.flp")}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(vault::openDriveVault(path, kPassword).status, Status::Refused);
    }
    EXPECT_FALSE(vault::createDriveVault(f.catalogue, QStringLiteral("USB"), QStringLiteral("Theirs")).created);
    EXPECT_FALSE(QFileInfo::exists(f.usb + QStringLiteral("/Theirs.flp/GroupMoveUPlist.plist")));
    EXPECT_FALSE(vault::createDriveVault(f.catalogue, QStringLiteral("Gone"), QStringLiteral("Box")).created);
    EXPECT_FALSE(QFileInfo::exists(f.env.volumesRoot() + QStringLiteral("/Gone")));
    EXPECT_EQ(f.catalogue.UPLibrary.keys(), QStringList{QStringLiteral("USB/Box.flp")});
}

TEST(DriveVaults, AddingKeepsEachItemOnItsOwnDisk) {
    DriveFixture f;
    f.makeVault(QStringLiteral("Box"), {});
    const QString other = f.env.mountVolume(QStringLiteral("Other")) + QStringLiteral("/x.txt");
    TestEnvironment::writeFile(other, "x");
    const QString local = f.env.base() + QStringLiteral("/home/y.txt");
    TestEnvironment::writeFile(local, "y");
    const QString onUsb = f.file(QStringLiteral("z.txt"), "z");

    EXPECT_TRUE(vault::driveAddRefusal({onUsb}, QStringLiteral("USB/Box.flp")).isEmpty());
    EXPECT_FALSE(vault::driveAddRefusal({onUsb, other}, QStringLiteral("USB/Box.flp")).isEmpty());

    const vault::AddTarget drive = vault::driveAddTarget(f.catalogue, QStringLiteral("USB/Box.flp"), 1);
    const vault::PreparedAdd toDrive = vault::prepareAdd({other, local, onUsb, f.usb}, {}, drive, 0, {});
    ASSERT_EQ(toDrive.records.size(), 1);
    EXPECT_EQ(toDrive.records.first()->path, onUsb);
    EXPECT_EQ(toDrive.refused.size(), 3);  // another drive, the computer, the drive holding the vault
}

TEST(DriveVaults, MountOffersUnopenedVaultsInNameOrderAndUnmountClosesOnlyTheGone) {
    DriveFixture f;
    QDir().mkpath(f.usb + QStringLiteral("/B.flp"));
    QDir().mkpath(f.usb + QStringLiteral("/A.flp"));
    QDir().mkpath(f.usb + QStringLiteral("/plain folder"));
    TestEnvironment::writeFile(f.usb + QStringLiteral("/file.flp"), "not a folder");
    QFile::link(f.env.vaultRoot(), f.usb + QStringLiteral("/Link.flp"));
    EXPECT_EQ(vault::vaultsToOffer(f.usb, QStringLiteral("USB"), {}),
              (QStringList{f.usb + QStringLiteral("/A.flp"), f.usb + QStringLiteral("/B.flp")}));
    EXPECT_EQ(vault::vaultsToOffer(f.usb, QStringLiteral("USB"), {QStringLiteral("USB/A.flp")}),
              QStringList{f.usb + QStringLiteral("/B.flp")});

    f.catalogue.UPLibrary.insert(QStringLiteral("USB/A.flp"), {});
    f.catalogue.UPLibrary.insert(QStringLiteral("Gone/A.flp"), {});
    EXPECT_EQ(vault::closeUnmountedVaults(f.catalogue, vault::driveVaultMounted), QStringList{QStringLiteral("Gone/A.flp")});
    EXPECT_EQ(f.catalogue.UPLibrary.keys(), QStringList{QStringLiteral("USB/A.flp")});
}

// A drive's journal is written by whoever had the drive: whatever it names, the repair acts
// inside that drive vault only.
TEST(DriveVaults, RepairOfADriveJournalNeverReachesOutsideTheDriveVault) {
    DriveFixture f;
    const FileModelList items = f.makeVault(QStringLiteral("Box"), {f.file(QStringLiteral("a.txt"), "a")});
    ASSERT_EQ(items.size(), 1);
    const QString vaultDir = f.usb + QStringLiteral("/Box.flp");
    const QString home = f.home;
    TestEnvironment::writeFile(home + QStringLiteral("/mine.txt"), "the user's own file");
    TestEnvironment::writeFile(f.env.vaultRoot() + QStringLiteral("/Notes/n.rtfd/TXT.rtf"), "note");
    const testing::Tree homeBefore = readTree(home);
    const testing::Tree local = readTree(f.env.vaultRoot());
    // %1 the user's file, %2 the item's stored top, %3 the item, %4 the local vault, %5 the home.
    const char* lines[] = {
        // A stored hide whose plain item is on the computer.
        R"({"operation":"hide","phase":"stored","plainPath":"%1","storedTop":"%2","token":"abcdefABCDEF"})",
        // A hide whose stored copy is the local vault.
        R"({"operation":"hide","phase":"walking","plainPath":"%3","storedTop":"%4/Notes","token":"abcdefABCDEF"})",
        // An unhide whose temporary is the user's file.
        R"({"operation":"unhide","phase":"walking","plainPath":"%5/x","storedTop":"%2","temporary":"mine.txt","token":"abcdefABCDEF"})",
        // A placed unhide onto the user's file.
        R"({"operation":"unhide","phase":"placed","plainPath":"%1","storedTop":"%2","restoredPath":"%1","token":"abcdefABCDEF"})",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        const QString filled = QString::fromLatin1(line).arg(home + QStringLiteral("/mine.txt"),
                                                             walk::placeOf(*items.first()).place->storedTop(),
                                                             items.first()->path, f.env.vaultRoot(), home);
        ASSERT_TRUE(TestEnvironment::writeFile(vault::journalPath(vaultDir), filled.toUtf8() + '\n'));
        vault::checkVault(f.catalogue, true);
        EXPECT_EQ(readTree(home), homeBefore);
        EXPECT_EQ(readTree(f.env.vaultRoot()), local);
        vault::clearJournal(vaultDir);
    }
}

// Drive vaults on real file systems: an exFAT image through FUSE (case folding, no modes, a
// drive pulled by killing its file system), a read-only mount and a full tmpfs. Skipped, with
// the reason, where this machine cannot mount them.
Tree sampleItem() {
    return Tree{{QStringLiteral("/notes.txt"), QByteArray("secret words\n").repeated(300)},
                {QStringLiteral("/photo.bin"), testing::patternBytes(300000)},
                {QStringLiteral("/sub/Deep.md"), QByteArray("# deep")}};
}

TEST(DriveSafety, ExfatGivesEveryByteBackAndNeverWritesOverANameTakenInOtherCase) {
    testing::LibraryVault v;
    RealDrive drive(v.env, QStringLiteral("EXF"), RealDrive::Kind::Exfat);
    SKIP_UNLESS_MOUNTED(drive);
    const QString key = v.makeDriveVault(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Box");
    testing::writeTree(item, sampleItem());
    const FileModelPtr record = v.addToDrive(key, {item}).value(0);
    ASSERT_TRUE(record);
    ASSERT_TRUE(v.walk(record, true).complete);
    EXPECT_FALSE(QFileInfo::exists(item));
    const ItemResult back = v.walk(record, false);
    ASSERT_TRUE(back.complete) << back.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readTree(item), sampleItem());

    // Hidden again, another folder takes the name in other case: the same name on exFAT.
    ASSERT_TRUE(v.walk(record, true).complete);
    const Tree theirs{{QStringLiteral("/notes.txt"), QByteArray("theirs")}};
    testing::writeTree(drive.point() + QStringLiteral("/BOX"), theirs);
    const ItemResult again = v.walk(record, false);
    EXPECT_EQ(readTree(drive.point() + QStringLiteral("/BOX")), theirs);
    if (again.complete) {
        EXPECT_EQ(readTree(record->path), sampleItem()) << "restored at " << record->path.toStdString();
    } else {
        // Refused: the hidden copy is still whole and still listed as hidden.
        EXPECT_TRUE(record->isEncrtypt);
        EXPECT_FALSE(again.problems.isEmpty());
    }
}

TEST(DriveSafety, DrivePulledMidHideKeepsThePlainItemAndTheCatalogue) {
    testing::LibraryVault v;
    RealDrive drive(v.env, QStringLiteral("EXF"), RealDrive::Kind::Exfat, 32 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    const QString key = v.makeDriveVault(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Big");
    Tree big;
    for (int i = 0; i < 8; ++i) {
        big.insert(QStringLiteral("/part%1.bin").arg(i), testing::patternBytes(1 << 20, i + 1));
    }
    testing::writeTree(item, big);
    const FileModelPtr record = v.addToDrive(key, {item}).value(0);
    const QString catalogueFile = drive.point() + QStringLiteral("/Box.flp/GroupMoveUPlist.plist");
    const QByteArray catalogueBefore = TestEnvironment::readFile(catalogueFile);
    const Tree computerBefore = readTree(v.env.vaultRoot());

    bool pulled = false;
    int reports = 0;
    const ItemResult result = v.walk(record, true, [&](qint64, float) {
        if (!pulled && ++reports == 3) {
            pulled = true;
            drive.pull();
        }
    });
    ASSERT_TRUE(pulled);
    EXPECT_FALSE(result.complete);
    EXPECT_FALSE(result.problems.isEmpty());
    // The catalogue cannot be written to a drive that is gone, and is not written elsewhere.
    EXPECT_FALSE(vault::saveDriveVault(v.catalogue, key));
    EXPECT_FALSE(QFileInfo::exists(drive.point() + QStringLiteral("/Box.flp")));
    EXPECT_EQ(readTree(v.env.vaultRoot()), computerBefore);

    // Plugged in again: the plain item whole, the catalogue as it was before the walk.
    drive.plugIn();
    ASSERT_TRUE(drive.skipReason().isEmpty());
    EXPECT_EQ(readTree(item), big);
    EXPECT_EQ(TestEnvironment::readFile(catalogueFile), catalogueBefore);
}

TEST(DriveSafety, ReadOnlyDriveRefusesAVaultAndLeavesItemsAlone) {
    testing::LibraryVault v;
    Catalogue& catalogue = v.catalogue;
    RealDrive drive(v.env, QStringLiteral("RO"), RealDrive::Kind::ExfatReadOnly);
    SKIP_UNLESS_MOUNTED(drive);
    const vault::DriveCreation made = vault::createDriveVault(catalogue, QStringLiteral("RO"), QStringLiteral("Box"));
    EXPECT_FALSE(made.created);
    EXPECT_TRUE(made.reason.contains(QStringLiteral("read-only"))) << made.reason.toStdString();
    EXPECT_TRUE(QDir(drive.point()).isEmpty());
    EXPECT_FALSE(catalogue.UPLibrary.contains(QStringLiteral("RO/Box.flp")));
}

TEST(DriveSafety, FullDriveEndsTheHideIncompleteWithNothingHalfWritten) {
    testing::LibraryVault v;
    RealDrive drive(v.env, QStringLiteral("TINY"), RealDrive::Kind::Tmpfs, 1 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    const QString key = v.makeDriveVault(QStringLiteral("TINY"));
    const QString item = drive.point() + QStringLiteral("/movie.bin");
    const QByteArray bytes = testing::patternBytes(600 << 10);
    ASSERT_TRUE(TestEnvironment::writeFile(item, bytes));
    const FileModelPtr record = v.addToDrive(key, {item}).value(0);
    // The journal says what the walk set out to do until the catalogue records its outcome.
    auto withoutJournal = [&] {
        Tree tree = readTree(drive.point() + QStringLiteral("/Box.flp"));
        tree.removeIf([](const auto& entry) { return entry.key().startsWith(QStringLiteral("/.tessaro-journal")); });
        return tree;
    };
    const Tree vaultBefore = withoutJournal();
    const ItemResult result = v.walk(record, true);
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.outOfSpace) << result.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(TestEnvironment::readFile(item), bytes);
    EXPECT_FALSE(record->isEncrtypt);
    // The half copy is gone again; the catalogue and the rest of the vault are as they were.
    EXPECT_EQ(withoutJournal(), vaultBefore);
}

}  // namespace
}  // namespace tessaro
