// Whole items: round trips over odd names and shapes (our own temporaries' among them), the
// size pass, and what a hide or unhide may and may not remove or replace.
#include "crypto/help_class.h"
#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace tessaro {
namespace {

using testing::TestEnvironment;

QString oddName(int i) {
    static const QStringList names = {
        QStringLiteral("with space"), QStringLiteral("'single' \"double\""), QStringLiteral("new\nline"),
        QStringLiteral("中文文件名.dat"), QString::fromUtf8("emoji \xF0\x9F\x98\x80 x"), QStringLiteral("abc"),
        QStringLiteral("z"), QStringLiteral(".hidden"), QStringLiteral("ends.git"), QStringLiteral("notes.txt"),
    };
    return names.at(i % names.size());
}

// A folder with odd names, empty files and folders, nesting, hidden files and boundary sizes.
void makeTree(const QString& root) {
    QDir().mkpath(root + QStringLiteral("/empty folder"));
    QDir().mkpath(root + QStringLiteral("/a/b/c/deep empty"));
    const qint64 sizes[] = {0, 1, 15, 16, 17, 511999, 512000, 512001, 3000};
    for (int i = 0; i < 10; ++i) {
        const QString dir = i % 3 == 0 ? root : root + QStringLiteral("/a/b");
        TestEnvironment::writeFile(dir + QLatin1Char('/') + oddName(i), testing::patternBytes(sizes[i % 9], i));
    }
    TestEnvironment::writeFile(root + QStringLiteral("/a/b/c/") + oddName(4), "deep");
    // Names like this program's temporaries, plain or after the swap, are ordinary names.
    for (const QString& name : {QStringLiteral(".tessaro-partial-x-ABCDEF"), QStringLiteral(".tessaro-work-abc123"),
                                QStringLiteral(".tessaro-restore-Xy12Zz"), QStringLiteral(".tessaro-partial-")}) {
        TestEnvironment::writeFile(root + QLatin1Char('/') + name, name.toUtf8());
        TestEnvironment::writeFile(root + QLatin1Char('/') + swappedName(name), "swapped " + name.toUtf8());
        TestEnvironment::writeFile(root + QStringLiteral("/a/") + swappedName(name), "deep " + name.toUtf8());
    }
}

class TreeRoundTrip : public ::testing::TestWithParam<const char*> {};

// Twice over: a later store of the same item never takes what the first left for its own.
TEST_P(TreeRoundTrip, HideThenUnhideGivesBackEveryByteAndFolderTwice) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromUtf8(GetParam());
    makeTree(plain);
    const auto before = testing::snapshot(plain);
    const auto paths = testing::pathsFor(plain, env.vaultRoot() + QStringLiteral("/g/7"));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto model = testing::newRecord(plain);
        const ItemResult hidden = hideItem(model, paths);
        ASSERT_TRUE(hidden.complete) << testing::problemsOf(hidden);
        EXPECT_TRUE(hidden.sourceRemoved);
        EXPECT_FALSE(QFileInfo::exists(plain));
        // Every stored name is swapped; the item's name, not the file's, decides the class of every
        // file in it (the empty "notes.txt": one padded block and the stamps, or the stamps alone).
        const QString storedNotes = paths.storedTop + QLatin1Char('/') + swappedName(oddName(9));
        EXPECT_EQ(QFileInfo(storedNotes).size(), paths.itemClass == storedfile::ItemClass::Text ? 144 : 128);
        const qint64 size = model->fileSize;
        EXPECT_GT(size, 1500000);

        auto back = testing::newRecord(plain);
        const ItemResult shown = unhideItem(back, paths);
        ASSERT_TRUE(shown.complete) << testing::problemsOf(shown);
        EXPECT_EQ(back->currentEncryptSize.load(), size);
        EXPECT_EQ(testing::snapshot(plain), before);
        EXPECT_TRUE(shown.sourceRemoved);
        EXPECT_FALSE(QFileInfo::exists(paths.storedTop));
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, TreeRoundTrip,
                         ::testing::Values("Folder", "Folder.txt", "文件夹 \xF0\x9F\x8E\x89", "project.git"),
                         [](const auto& info) { return testing::readableName(QString::fromUtf8(info.param)); });

TEST(TreeWalk, SizePassAddsFileSizesAndReportsIndexes) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/two");
    testing::writeTree(plain, {{"/a", QByteArray(10, 'a')}, {"/b", QByteArray(20, 'b')}});
    auto model = testing::newRecord(plain);
    std::vector<qint64> indexes;
    const qint64 total = HelpClass::FileSizeAtFilemodel(model, QString(), 0, 0, [&](qint64 i, float) { indexes.push_back(i); });
    EXPECT_EQ(total, 30);
    EXPECT_EQ(model->fileSize.load(), 30);
    EXPECT_EQ(indexes, (std::vector<qint64>{1, 2}));
    const auto missing = testing::newRecord(env.base() + QStringLiteral("/none"));
    EXPECT_EQ(HelpClass::FileSizeAtFilemodel(missing, QString(), 5, 0, {}), 5);
}

TEST(TreeWalk, UnhideNeverReplacesWhatIsThereAndRestoresBeside) {
    TestEnvironment env;
    for (const bool folder : {false, true}) {
        const QString plain = env.base() + (folder ? QStringLiteral("/item") : QStringLiteral("/item.bin"));
        const QString file = folder ? plain + QStringLiteral("/f") : plain;
        TestEnvironment::writeFile(file, "original");
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
        ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);
        TestEnvironment::writeFile(file, "the user's new file");
        const auto newThing = testing::snapshot(plain);
        const ItemResult r = unhideItem(testing::newRecord(plain), paths);
        ASSERT_TRUE(r.complete);
        EXPECT_TRUE(r.restoredBeside);
        EXPECT_EQ(testing::snapshot(plain), newThing);
        const QString beside = env.base() + QStringLiteral("/item (restored)") + (folder ? "" : ".bin");
        EXPECT_EQ(r.restoredPath, beside);
        EXPECT_EQ(TestEnvironment::readFile(folder ? beside + QStringLiteral("/f") : beside), QByteArray("original"));
    }
}

TEST(TreeWalk, HideKeepsFilesChangedOrAddedDuringTheWalk) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/busy");
    testing::writeTree(plain, {{"/first", "1"}, {"/second", "2"}});
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    bool once = false;
    const ItemResult r = hideItem(testing::newRecord(plain), paths, [&](qint64, float) {
        if (!once) {
            once = true;
            TestEnvironment::writeFile(plain + QStringLiteral("/added meanwhile"), "new");
        }
    });
    // Hidden, but not out of sight: a failure that names what stayed.
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.sourceRemoved);
    EXPECT_EQ(r.leftBehind, QStringList{plain + QStringLiteral("/added meanwhile")});
    EXPECT_TRUE(r.problems.join(QLatin1Char(' ')).contains(QStringLiteral("plain files are still there")));
    EXPECT_EQ(TestEnvironment::readFile(plain + QStringLiteral("/added meanwhile")), QByteArray("new"));
}

TEST(TreeWalk, RecordPathsFollowTheVaultBase) {
    TestEnvironment env;
    FileModel local;
    local.path = QStringLiteral("/home/u/photo.jpg");
    local.name = QStringLiteral("photo.jpg");
    local.encryptedPath = QStringLiteral("123-456/789");
    const auto l = walk::pathsForRecord(local);
    EXPECT_EQ(l.storedTop, env.vaultRoot() + QStringLiteral("/123-456/789/hpto.opjg"));
    FileModel removable;
    removable.path = env.volumesRoot() + QStringLiteral("/USB/docs/one.txt");
    removable.name = QStringLiteral("one.txt");
    removable.groupName = QStringLiteral("USB/Box.flp");
    removable.encryptedPath = QStringLiteral("1-2/3");
    const auto r = walk::pathsForRecord(removable);
    EXPECT_EQ(r.storedTop, env.volumesRoot() + QStringLiteral("/USB/Box.flp/1-2/3/no.extt"));
    EXPECT_EQ(r.itemClass, storedfile::ItemClass::Text);
}

// An empty folder is an item of its own, whatever its name says about the class of its files.
TEST(TreeWalk, AnEmptyFolderComesBackAsAFolder) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/Empty Folder.txt");
    ASSERT_TRUE(QDir().mkpath(plain));
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).hiddenAndGone());
    ASSERT_TRUE(unhideItem(testing::newRecord(plain), paths).complete);
    EXPECT_TRUE(QFileInfo(plain).isDir());
    EXPECT_FALSE(QFileInfo::exists(paths.storedTop));
}

}  // namespace
}  // namespace tessaro
