// Drive vaults on real file systems: an exFAT image through FUSE (case folding, no modes, a
// drive pulled by killing its file system), a read-only mount and a full tmpfs. Skipped, with
// the reason, where this machine cannot mount them.
#include "core/catalogue.h"
#include "support/test_environment.h"
#include "vault/drive_vaults.h"
#include "vault/item_operations.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <memory>

namespace tessaro {
namespace {

using testing::readTree;
using testing::TestEnvironment;
using testing::Tree;

bool run(const QString& program, const QStringList& arguments, QString* out = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return false;
    }
    if (out) {
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    return true;
}

bool mountedAt(const QString& point) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + QFile::encodeName(point) + " ");
}

// A drive of the test's volumes root: an exFAT image on a loop device served by a FUSE
// process this test started (so that it can pull the drive by killing exactly that process),
// or a tmpfs of a given size.
class RealDrive {
public:
    enum class Kind { Exfat, ExfatReadOnly, Tmpfs };
    RealDrive(const TestEnvironment& env, const QString& name, Kind kind, qint64 bytes = 16 << 20)
        : point_(env.volumesRoot() + QLatin1Char('/') + name), kind_(kind) {
        QDir().mkpath(point_);
        if (kind == Kind::Tmpfs) {
            if (!run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                               QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), point_})) {
                skip_ = QStringLiteral("a tmpfs cannot be mounted here (needs root in a mount namespace)");
            }
            return;
        }
        for (const char* tool : {"mkfs.exfat", "mount.exfat-fuse", "losetup"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
                !QFileInfo::exists(QStringLiteral("/usr/sbin/") + QString::fromLatin1(tool)) &&
                !QFileInfo::exists(QStringLiteral("/sbin/") + QString::fromLatin1(tool))) {
                skip_ = QStringLiteral("%1 is not installed (exfatprogs, exfat-fuse)").arg(QString::fromLatin1(tool));
                return;
            }
        }
        const QString image = env.base() + QLatin1Char('/') + name + QStringLiteral(".img");
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes) ||
            !run(QStringLiteral("mkfs.exfat"), {QStringLiteral("-L"), name, image})) {
            skip_ = QStringLiteral("no exFAT image could be made");
            return;
        }
        if (!run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &loop_)) {
            skip_ = QStringLiteral("no loop device can be attached here");
            return;
        }
        plugIn();
    }
    ~RealDrive() {
        unplug();
        if (!loop_.isEmpty()) {
            run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop_});
        }
    }
    const QString& skipReason() const { return skip_; }
    const QString& point() const { return point_; }

    // The exFAT drive served again (after a pull): its contents as the image has them.
    void plugIn() {
        fuse_ = std::make_unique<QProcess>();
        fuse_->setStandardOutputFile(QProcess::nullDevice());
        fuse_->setStandardErrorFile(QProcess::nullDevice());
        QStringList arguments{QStringLiteral("-d")};
        if (kind_ == Kind::ExfatReadOnly) {
            arguments << QStringLiteral("-o") << QStringLiteral("ro");
        }
        fuse_->start(QStringLiteral("mount.exfat-fuse"), arguments << loop_ << point_);
        QElapsedTimer waited;
        waited.start();
        while (!mountedAt(point_) && waited.elapsed() < 10000 && fuse_->state() != QProcess::NotRunning) {
            QThread::msleep(20);
        }
        if (!mountedAt(point_)) {
            skip_ = QStringLiteral("the exFAT image cannot be mounted through FUSE here");
        }
    }
    // The drive goes at once: its file system process dies, every access fails from then on.
    void pull() {
        if (fuse_ && fuse_->state() != QProcess::NotRunning) {
            fuse_->kill();
            fuse_->waitForFinished(5000);
        }
        unplug();
    }

private:
    void unplug() {
        if (mountedAt(point_)) {
            run(QStringLiteral("umount"), {QStringLiteral("-l"), point_});
        }
        if (fuse_ && fuse_->state() != QProcess::NotRunning) {
            fuse_->waitForFinished(5000);
        }
    }

    QString point_;
    Kind kind_;
    QString loop_;
    QString skip_;
    std::unique_ptr<QProcess> fuse_;
};

#define SKIP_UNLESS_MOUNTED(drive)                                            \
    if (!(drive).skipReason().isEmpty()) {                                    \
        GTEST_SKIP() << (drive).skipReason().toStdString();                   \
    }

struct DriveVault {
    Catalogue catalogue;
    QString key;
    explicit DriveVault(const QString& volume) : key(volume + QStringLiteral("/Box.flp")) {
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        const vault::DriveCreation made = vault::createDriveVault(catalogue, volume, QStringLiteral("Box"));
        EXPECT_TRUE(made.created) << made.reason.toStdString();
        catalogue.selectGroupName = key;
    }
    // Records the items (as hidden, as an add does) and saves, without walking yet.
    FileModelList add(const QStringList& paths) {
        const vault::AddTarget target = vault::driveAddTarget(catalogue, key, 1);
        const vault::PreparedAdd prepared = vault::prepareAdd(paths, vault::recordedPaths(catalogue), target, 0, {});
        EXPECT_TRUE(prepared.refused.isEmpty()) << prepared.refused.join(QLatin1Char('\n')).toStdString();
        vault::commitAdd(target, prepared.records);
        EXPECT_TRUE(vault::saveDriveVault(catalogue, key));
        return prepared.records;
    }
    ItemResult walk(const FileModelPtr& item, bool hide, const walk::WalkProgress& progress = {}) {
        const ItemResult result = hide ? vault::hideRecordJournaled(item, progress) : vault::unhideRecordJournaled(item, progress);
        const vault::DiskState after = vault::diskStateOf(*item);
        hide ? vault::applyHideOutcome(*item, result, after) : vault::applyUnhideOutcome(*item, result, after);
        return result;
    }
};

Tree sampleItem() {
    return Tree{{QStringLiteral("/notes.txt"), QByteArray("secret words\n").repeated(300)},
                {QStringLiteral("/photo.bin"), testing::patternBytes(300000)},
                {QStringLiteral("/sub/Deep.md"), QByteArray("# deep")}};
}

TEST(DriveSafety, ExfatHideAndUnhideGiveEveryByteBack) {
    TestEnvironment env;
    RealDrive drive(env, QStringLiteral("EXF"), RealDrive::Kind::Exfat);
    SKIP_UNLESS_MOUNTED(drive);
    DriveVault v(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Docs");
    testing::writeTree(item, sampleItem());
    const FileModelPtr record = v.add({item}).value(0);
    ASSERT_TRUE(record);
    ASSERT_TRUE(v.walk(record, true).complete);
    EXPECT_FALSE(QFileInfo::exists(item));
    const ItemResult back = v.walk(record, false);
    ASSERT_TRUE(back.complete) << back.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readTree(item), sampleItem());
}

TEST(DriveSafety, ExfatNameTakenInOtherCaseIsNeverWrittenOver) {
    TestEnvironment env;
    RealDrive drive(env, QStringLiteral("EXF"), RealDrive::Kind::Exfat);
    SKIP_UNLESS_MOUNTED(drive);
    DriveVault v(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Box");
    testing::writeTree(item, sampleItem());
    const FileModelPtr record = v.add({item}).value(0);
    ASSERT_TRUE(v.walk(record, true).complete);
    // While hidden, another folder takes the name, in other case: the same name on exFAT.
    const Tree theirs{{QStringLiteral("/notes.txt"), QByteArray("theirs")}};
    testing::writeTree(drive.point() + QStringLiteral("/BOX"), theirs);
    const ItemResult back = v.walk(record, false);
    EXPECT_EQ(readTree(drive.point() + QStringLiteral("/BOX")), theirs);
    if (back.complete) {
        EXPECT_EQ(readTree(record->path), sampleItem()) << "restored at " << record->path.toStdString();
    } else {
        // Refused: the hidden copy is still whole and still listed as hidden.
        EXPECT_TRUE(record->isEncrtypt);
        EXPECT_FALSE(back.problems.isEmpty());
    }
}

TEST(DriveSafety, DrivePulledMidHideKeepsThePlainItemAndTheCatalogue) {
    TestEnvironment env;
    RealDrive drive(env, QStringLiteral("EXF"), RealDrive::Kind::Exfat, 32 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    DriveVault v(QStringLiteral("EXF"));
    const QString item = drive.point() + QStringLiteral("/Big");
    Tree big;
    for (int i = 0; i < 8; ++i) {
        big.insert(QStringLiteral("/part%1.bin").arg(i), testing::patternBytes(1 << 20, i + 1));
    }
    testing::writeTree(item, big);
    const FileModelPtr record = v.add({item}).value(0);
    const QString catalogueFile = drive.point() + QStringLiteral("/Box.flp/GroupMoveUPlist.plist");
    const QByteArray catalogueBefore = TestEnvironment::readFile(catalogueFile);
    const Tree computerBefore = readTree(env.vaultRoot());

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
    EXPECT_EQ(readTree(env.vaultRoot()), computerBefore);

    // Plugged in again: the plain item whole, the catalogue as it was before the walk.
    drive.plugIn();
    ASSERT_TRUE(drive.skipReason().isEmpty());
    EXPECT_EQ(readTree(item), big);
    EXPECT_EQ(TestEnvironment::readFile(catalogueFile), catalogueBefore);
}

TEST(DriveSafety, ReadOnlyDriveRefusesAVaultAndLeavesItemsAlone) {
    TestEnvironment env;
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    RealDrive drive(env, QStringLiteral("RO"), RealDrive::Kind::ExfatReadOnly);
    SKIP_UNLESS_MOUNTED(drive);
    const vault::DriveCreation made = vault::createDriveVault(catalogue, QStringLiteral("RO"), QStringLiteral("Box"));
    EXPECT_FALSE(made.created);
    EXPECT_TRUE(made.reason.contains(QStringLiteral("read-only"))) << made.reason.toStdString();
    EXPECT_TRUE(QDir(drive.point()).isEmpty());
    EXPECT_FALSE(catalogue.UPLibrary.contains(QStringLiteral("RO/Box.flp")));
}

TEST(DriveSafety, FullDriveEndsTheHideIncompleteWithNothingHalfWritten) {
    TestEnvironment env;
    RealDrive drive(env, QStringLiteral("TINY"), RealDrive::Kind::Tmpfs, 1 << 20);
    SKIP_UNLESS_MOUNTED(drive);
    DriveVault v(QStringLiteral("TINY"));
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
