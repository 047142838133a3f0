// Inputs of ordinary use that once cost files: names a drive cannot tell apart, an earlier
// copy in the way, a drive that keeps bits, times and links its own way. Each ends with
// nothing lost.
#include "core/file_system.h"
#include "crypto/item_hiding.h"
#include "crypto/stored_file.h"
#include "engine_test_support.h"
#include "support/real_drive.h"

#include <gtest/gtest.h>

#include <QDirIterator>

#include <cmath>
#include <filesystem>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::RealDrive;
using testing::TestEnvironment;
using testing::readTree;
using testing::Tree;
using testing::writeTree;

// Exclusive creation folds letter case for the life of the object, when asked to.
struct FoldingCase {
    explicit FoldingCase(bool on) { fs::foldCaseForTests(on); }
    ~FoldingCase() { fs::foldCaseForTests(false); }
};

// Names a drive cannot tell apart, on a drive that folds case for the test or on a real exFAT
// drive: the store or the restore that would put both there refuses, names both with the
// reason, writes nothing there and keeps the side it started from.
TEST(CaseFolding, NamesADriveCannotTellApartRefuseTheWalkAndKeepTheItem) {
    TestEnvironment env;
    const RealDrive exfat(env, QStringLiteral("EXF"), RealDrive::Kind::Exfat, 64 << 20);
    const struct {
        const char* item;
        Tree tree;
        const char* first;
        const char* second;
        bool store;
        bool realExfat = false;
    } cases[] = {
        {"Photos", {{"/Photo.jpg", "upper"}, {"/photo.jpg", "lower"}}, "Photo.jpg", "photo.jpg", true},
        {"Papers.txt", {{"/Docs/a", "1"}, {"/docs/b", "2"}, {"/other", "3"}}, "Docs", "docs", true},
        {"Deep", {{"/x/y/README", "r"}, {"/x/y/ReadMe", "m"}}, "README", "ReadMe", true},
        {"Restored", {{"/Photo.jpg", "upper"}, {"/photo.jpg", "lower"}}, "Photo.jpg", "photo.jpg", false},
        {"On exFAT", {{"/Photo.jpg", "upper"}, {"/photo.jpg", "lower"}, {"/other.png", "o"}}, "Photo.jpg",
         "photo.jpg", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        if (c.realExfat && !exfat.skipReason().isEmpty()) {
            std::printf("skipped \"%s\": %s\n", c.item, qPrintable(exfat.skipReason()));
            continue;
        }
        const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(c.item);
        writeTree(plain, c.tree);
        // A store writes its container onto the drive; a restore puts the item there.
        const QString drive = c.realExfat ? exfat.point() : env.base() + QStringLiteral("/drive");
        const QString onDrive = drive + QLatin1Char('/') + QString::fromLatin1(c.item);
        const auto paths = testing::pathsFor(plain, c.store ? onDrive : env.base() + QStringLiteral("/vault/c"));
        if (!c.store) {
            ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);
        }
        const QString source = c.store ? plain : paths.storedTop;
        const Tree before = testing::snapshot(source);
        const FoldingCase folding(!c.realExfat);
        const walk::ItemPaths restore{onDrive, paths.storedTop, paths.itemClass};
        const ItemResult r =
            c.store ? hideItem(testing::newRecord(plain), paths) : unhideItem(testing::newRecord(onDrive), restore);
        const QString said = r.problems.join(QLatin1Char('\n'));
        EXPECT_FALSE(r.complete);
        EXPECT_FALSE(r.sourceRemoved);
        // Either name may be listed first; both are named, with the reason.
        EXPECT_TRUE(said.contains(QString::fromLatin1(c.first)) && said.contains(QString::fromLatin1(c.second)) &&
                    said.contains(QStringLiteral("upper from lower case")))
            << said.toStdString();
        EXPECT_EQ(testing::snapshot(source), before);
        EXPECT_EQ(testing::entriesOf(c.store ? onDrive : drive), QStringList());
    }
}

// Storing over an earlier copy of the same name happens only when asked, and exchanges the
// copies whole: a second item never merges into the first, for folders and for files.
TEST(StoredCopyInTheWay, IsReplacedOnlyWhenAskedAndNeverMerged) {
    TestEnvironment env;
    for (const QString& name : {QStringLiteral("Box"), QStringLiteral("photo.jpg")}) {
        SCOPED_TRACE(name.toStdString());
        const QString plain = env.base() + QStringLiteral("/plain/") + name;
        const bool folder = name == QLatin1String("Box");
        folder ? writeTree(plain, {{"/old only", "o"}, {"/shared", "old"}}) : void(TestEnvironment::writeFile(plain, "old"));
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/vault/") + name);
        ASSERT_TRUE(hideItem(testing::newRecord(plain), paths, {}, {.removeSource = false}).complete);
        QDir(plain).removeRecursively();
        QFile::remove(plain);
        folder ? writeTree(plain, {{"/new only", "n"}, {"/shared", "new"}}) : void(TestEnvironment::writeFile(plain, "new"));
        const Tree newItem = testing::snapshot(plain);

        const ItemResult refused = hideItem(testing::newRecord(plain), paths);
        EXPECT_FALSE(refused.complete);
        EXPECT_TRUE(refused.problems.join(' ').contains(QStringLiteral("already holds a stored copy")))
            << testing::problemsOf(refused);
        EXPECT_EQ(testing::snapshot(plain), newItem);

        ASSERT_TRUE(hideItem(testing::newRecord(plain), paths, {}, {.replaceExisting = true}).complete);
        EXPECT_EQ(testing::entriesOf(env.base() + QStringLiteral("/vault/") + name), QStringList{swappedName(name)});
        ASSERT_TRUE(unhideItem(testing::newRecord(plain), paths).complete);
        EXPECT_EQ(testing::snapshot(plain), newItem);
    }
}

// What an item keeps besides its bytes, wherever the vault lives (a drive without extended
// attributes and with coarse times keeps them in the item's attribute file): every file's and
// folder's bits and nanosecond time, and its links as links, never followed. An item on such a
// drive keeps its time too, to the drive's own step.
class Metadata : public ::testing::TestWithParam<bool> {};

TEST_P(Metadata, BitsTimesAndLinksOfFilesAndFoldersComeBack) {
    TestEnvironment env;
    std::optional<RealDrive> drive;
    QString vault = env.base() + QStringLiteral("/vault");
    if (GetParam()) {
        drive.emplace(env, QStringLiteral("EXF"), RealDrive::Kind::Exfat, 64 << 20);
        SKIP_UNLESS_MOUNTED(*drive);
        vault = drive->point() + QStringLiteral("/vault");
    }
    const QString plain = env.base() + QStringLiteral("/plain/Project");
    writeTree(plain, {{"/run.sh", "#!/bin/sh"}, {"/shared.txt", "s"}, {"/sub/private", "p"}, {"/open/x", "x"}});
    const std::pair<const char*, std::string> links[] = {
        {"/sub/link", "../shared.txt"}, {"/gone", "nowhere"}, {"/to sub", "sub"}, {"/etc", "/etc"}};
    for (const auto& [link, target] : links) {
        ASSERT_EQ(::symlink(target.c_str(), QFile::encodeName(plain + QString::fromLatin1(link)).constData()), 0);
    }
    // Files first, then folders inside out, as a folder's time moves with every entry made in it.
    const struct {
        const char* path;
        mode_t mode;
        time_t mtime;
    } entries[] = {{"/run.sh", 0755, 1000000000}, {"/shared.txt", 0644, 1200000000}, {"/sub/private", 0600, 1400000000},
                   {"/sub", 0700, 1500000000},   {"/open", 0711, 1600000000},      {"", 0750, 1700000000}};
    for (const auto& e : entries) {
        const QByteArray path = QFile::encodeName(plain + QString::fromLatin1(e.path));
        ASSERT_EQ(::chmod(path.constData(), e.mode), 0);
        const timespec times[2] = {{e.mtime, 0}, {e.mtime, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    }
    const auto paths = testing::pathsFor(plain, vault + QStringLiteral("/c"));
    const ItemResult hidden = hideItem(testing::newRecord(plain), paths);
    ASSERT_TRUE(hidden.hiddenAndGone()) << testing::problemsOf(hidden);
    QDirIterator it(vault, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext() && !GetParam()) {
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(it.next()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << it.filePath().toStdString();
        EXPECT_FALSE(S_ISLNK(st.st_mode)) << it.filePath().toStdString();
    }
    const ItemResult shown = unhideItem(testing::newRecord(plain), paths);
    ASSERT_TRUE(shown.complete) << testing::problemsOf(shown);
    EXPECT_EQ(testing::entriesOf(vault + QStringLiteral("/c")), QStringList());
    for (const auto& e : entries) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(plain + QString::fromLatin1(e.path)).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
        EXPECT_EQ(st.st_mtim.tv_sec, e.mtime) << e.path;
        EXPECT_EQ(st.st_mtim.tv_nsec, 123456789) << e.path;
    }
    for (const auto& [link, target] : links) {
        std::error_code notALink;
        EXPECT_EQ(std::filesystem::read_symlink((plain + QString::fromLatin1(link)).toStdString(), notALink), target);
    }
    if (!GetParam()) {
        return;
    }
    // exFAT through FUSE took an omitted access time for "now" and lost the modification time
    // with it, on the way into the vault and on the way back onto the drive.
    const QString onDrive = drive->point() + QStringLiteral("/Letters");
    writeTree(onDrive, {{"/sub/b", "b"}});
    const QByteArray file = QFile::encodeName(onDrive + QStringLiteral("/sub/b"));
    const timespec times[2] = {{1300000000, 0}, {1300000000, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.constData(), times, 0), 0);
    const auto back = testing::pathsFor(onDrive, env.base() + QStringLiteral("/vault/t"));
    ASSERT_TRUE(hideItem(testing::newRecord(onDrive), back).hiddenAndGone());
    ASSERT_TRUE(unhideItem(testing::newRecord(onDrive), back).complete);
    struct stat st {};
    ASSERT_EQ(::stat(file.constData(), &st), 0);
    // The drive's own step (whole seconds through this driver) decides what the time is.
    EXPECT_LT(std::abs(st.st_mtim.tv_sec - 1300000000), 2);
}

INSTANTIATE_TEST_SUITE_P(Vaults, Metadata, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OnAnExfatDrive" : "OnTheLocalDisk"; });

}  // namespace
}  // namespace tessaro
