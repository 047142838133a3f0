// Drive vaults on real file systems: an exFAT image through FUSE (case folding, no modes, a
// drive pulled by killing its file system), a read-only mount and a full tmpfs. Skipped, with
// the reason, where this machine cannot mount them.
#include "support/library_vault.h"
#include "support/real_drive.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaro {
namespace {

using testing::readTree;
using testing::TestEnvironment;
using testing::Tree;
using testing::RealDrive;

// The local vault's environment with a vault made on the drive `volume`.
struct DriveVault : testing::LibraryVault {
    QString key;
    void make(const QString& volume) { key = makeDriveVault(volume); }
    FileModelList add(const QStringList& paths) { return addToDrive(key, paths); }
};

Tree sampleItem() {
    return Tree{{QStringLiteral("/notes.txt"), QByteArray("secret words\n").repeated(300)},
                {QStringLiteral("/photo.bin"), testing::patternBytes(300000)},
                {QStringLiteral("/sub/Deep.md"), QByteArray("# deep")}};
}

TEST(DriveSafety, ExfatGivesEveryByteBackAndNeverWritesOverANameTakenInOtherCase) {
    DriveVault v;
    RealDrive drive(v.env, QStringLiteral("EXF"), RealDrive::Kind::Exfat);
    SKIP_UNLESS_MOUNTED(drive);
    v.make(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Box");
    testing::writeTree(item, sampleItem());
    const FileModelPtr record = v.add({item}).value(0);
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
    DriveVault v;
    RealDrive drive(v.env, QStringLiteral("EXF"), RealDrive::Kind::Exfat, 32 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    v.make(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Big");
    Tree big;
    for (int i = 0; i < 8; ++i) {
        big.insert(QStringLiteral("/part%1.bin").arg(i), testing::patternBytes(1 << 20, i + 1));
    }
    testing::writeTree(item, big);
    const FileModelPtr record = v.add({item}).value(0);
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
    EXPECT_FALSE(vault::saveDriveVault(v.catalogue, v.key));
    EXPECT_FALSE(QFileInfo::exists(drive.point() + QStringLiteral("/Box.flp")));
    EXPECT_EQ(readTree(v.env.vaultRoot()), computerBefore);

    // Plugged in again: the plain item whole, the catalogue as it was before the walk.
    drive.plugIn();
    ASSERT_TRUE(drive.skipReason().isEmpty());
    EXPECT_EQ(readTree(item), big);
    EXPECT_EQ(TestEnvironment::readFile(catalogueFile), catalogueBefore);
}

TEST(DriveSafety, ReadOnlyDriveRefusesAVaultAndLeavesItemsAlone) {
    DriveVault v;
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
    DriveVault v;
    RealDrive drive(v.env, QStringLiteral("TINY"), RealDrive::Kind::Tmpfs, 1 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    v.make(QStringLiteral("TINY"));
    const QString item = drive.point() + QStringLiteral("/movie.bin");
    const QByteArray bytes = testing::patternBytes(600 << 10);
    ASSERT_TRUE(TestEnvironment::writeFile(item, bytes));
    const FileModelPtr record = v.add({item}).value(0);
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
