// Whole items: round trips over odd names and shapes, progress, cancel, and what a hide or
// unhide may and may not remove.
#include "core/log.h"
#include "core/settings_store.h"
#include "crypto/help_class.h"
#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/stat.h>

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
}

struct TreeCase {
    const char* itemName;
};

class TreeRoundTrip : public ::testing::TestWithParam<TreeCase> {};

TEST_P(TreeRoundTrip, HideThenUnhideGivesBackEveryByteAndFolder) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromUtf8(GetParam().itemName);
    makeTree(plain);
    const auto before = testing::snapshot(plain);
    auto model = testing::newRecord(plain);
    const auto paths = testing::pathsFor(plain, env.vaultRoot() + QStringLiteral("/g/7"));
    const ItemResult hidden = hideItem(model, paths);
    ASSERT_TRUE(hidden.complete) << qPrintable(hidden.problems.join(QLatin1Char('\n')));
    EXPECT_TRUE(hidden.sourceRemoved);
    EXPECT_FALSE(QFileInfo::exists(plain));
    // Every stored file is named by swapping, folders included.
    EXPECT_TRUE(QFileInfo(paths.storedTop + QLatin1Char('/') + swappedName(QStringLiteral("a/b/c"))).isDir());
    EXPECT_TRUE(QFileInfo(paths.storedTop + QLatin1Char('/') + swappedName(QStringLiteral("empty folder"))).isDir());
    const qint64 size = model->fileSize;
    EXPECT_GT(size, 1500000);

    auto back = testing::newRecord(plain);
    back->fileSize = size;
    const ItemResult shown = unhideItem(back, paths);
    ASSERT_TRUE(shown.complete) << qPrintable(shown.problems.join(QLatin1Char('\n')));
    EXPECT_EQ(back->currentEncryptSize.load(), size);
    EXPECT_EQ(testing::snapshot(plain), before);
    EXPECT_TRUE(shown.sourceRemoved);
    EXPECT_FALSE(QFileInfo::exists(paths.storedTop));
}

INSTANTIATE_TEST_SUITE_P(Classes, TreeRoundTrip,
                         ::testing::Values(TreeCase{"Folder"}, TreeCase{"Folder.txt"}, TreeCase{"文件夹 \xF0\x9F\x8E\x89"},
                                           TreeCase{"project.git"}),
                         [](const auto& info) {
                             return std::to_string(info.index) + "_" +
                                    testing::readableName(QString::fromUtf8(info.param.itemName));
                         });

TEST(TreeWalk, FolderNameDecidesTheClassOfEveryFile) {
    TestEnvironment env;
    for (const char* item : {"plain folder", "texts.txt"}) {
        const QString plain = env.base() + QLatin1Char('/') + QString::fromLatin1(item);
        TestEnvironment::writeFile(plain + QStringLiteral("/inner.txt"), "0123456789");
        auto model = testing::newRecord(plain);
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
        ASSERT_TRUE(hideItem(model, paths).complete);
        const QByteArray stored = TestEnvironment::readFile(paths.storedTop + QStringLiteral("/") + swappedName(QStringLiteral("inner.txt")));
        const bool text = QByteArray(item).endsWith(".txt");
        EXPECT_EQ(stored.size(), text ? 144 : 138) << item;
        EXPECT_EQ(stored.contains("0123456789"), !text) << item;
    }
}

TEST(TreeWalk, SizePassAddsFileSizesAndReportsIndexes) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/two");
    TestEnvironment::writeFile(plain + QStringLiteral("/a"), QByteArray(10, 'a'));
    TestEnvironment::writeFile(plain + QStringLiteral("/b"), QByteArray(20, 'b'));
    auto model = testing::newRecord(plain);
    std::vector<qint64> indexes;
    const qint64 total = HelpClass::FileSizeAtFilemodel(model, QString(), 0, 0, [&](qint64 i, float) { indexes.push_back(i); });
    EXPECT_EQ(total, 30);
    EXPECT_EQ(model->fileSize.load(), 30);
    EXPECT_EQ(indexes, (std::vector<qint64>{1, 2}));
    auto missing = testing::newRecord(env.base() + QStringLiteral("/none"));
    EXPECT_EQ(HelpClass::FileSizeAtFilemodel(missing, QString(), 5, 0, {}), 5);
}

// A hide that cannot finish, cancelled between files from inside the walk as the cancel
// button does, or stopped by a special file that must not hang it, takes back what it wrote
// and leaves every plain file as it was.
TEST(TreeWalk, AnIncompleteHideTakesBackWhatItWroteAndKeepsThePlainItem) {
    TestEnvironment env;
    for (const bool cancel : {true, false}) {
        const QString plain = env.base() + (cancel ? QStringLiteral("/three") : QStringLiteral("/with fifo"));
        for (const char* n : {"/1", "/2", "/3"}) {
            TestEnvironment::writeFile(plain + QString::fromLatin1(n), QByteArray(100, n[1]));
        }
        if (!cancel) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(plain + QStringLiteral("/pipe")).constData(), 0600), 0);
        }
        auto model = testing::newRecord(plain);
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
        std::vector<qint64> seen;
        const ItemResult r = hideItem(model, paths, [&](qint64 index, float) {
            seen.push_back(index);
            if (cancel && index == 2) {
                model->isCancel = true;
            }
        });
        EXPECT_FALSE(r.complete) << cancel;
        EXPECT_EQ(r.cancelled, cancel);
        if (cancel) {
            EXPECT_EQ(seen, (std::vector<qint64>{1, 2}));
            EXPECT_EQ(HelpClass::fileModel(), model);  // the walk published its record
        } else {
            EXPECT_EQ(r.problems.size(), 1);
        }
        for (const char* n : {"/1", "/2", "/3"}) {
            EXPECT_EQ(TestEnvironment::readFile(plain + QString::fromLatin1(n)), QByteArray(100, n[1])) << cancel;
        }
        EXPECT_FALSE(QFileInfo::exists(paths.storedTop)) << cancel;
    }
}

TEST(TreeWalk, UnhideNeverReplacesWhatIsThereAndRestoresBeside) {
    TestEnvironment env;
    for (const bool folder : {false, true}) {
        const QString plain = env.base() + (folder ? QStringLiteral("/item") : QStringLiteral("/item.bin"));
        const QString file = folder ? plain + QStringLiteral("/f") : plain;
        TestEnvironment::writeFile(file, "original");
        auto model = testing::newRecord(plain);
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
        ASSERT_TRUE(hideItem(model, paths).complete);
        TestEnvironment::writeFile(file, "the user's new file");
        const auto newThing = testing::snapshot(plain);
        auto back = testing::newRecord(plain);
        back->fileSize = 8;
        const ItemResult r = unhideItem(back, paths);
        ASSERT_TRUE(r.complete);
        EXPECT_TRUE(r.restoredBeside);
        EXPECT_EQ(testing::snapshot(plain), newThing);
        const QString beside = folder ? env.base() + QStringLiteral("/item (restored)/f")
                                      : env.base() + QStringLiteral("/item (restored).bin");
        EXPECT_EQ(TestEnvironment::readFile(beside), QByteArray("original"));
        EXPECT_EQ(r.restoredPath, QFileInfo(beside).absolutePath() == env.base() ? beside : QFileInfo(beside).absolutePath());
    }
}

TEST(TreeWalk, HideKeepsFilesChangedOrAddedDuringTheWalk) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/busy");
    TestEnvironment::writeFile(plain + QStringLiteral("/first"), "1");
    TestEnvironment::writeFile(plain + QStringLiteral("/second"), "2");
    auto model = testing::newRecord(plain);
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    bool once = false;
    const ItemResult r = hideItem(model, paths, [&](qint64, float) {
        if (!once) {
            once = true;
            TestEnvironment::writeFile(plain + QStringLiteral("/added meanwhile"), "new");
        }
    });
    // Hidden, but not out of sight: a failure that names what stayed.
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.hiddenAndGone());
    EXPECT_FALSE(r.sourceRemoved);
    EXPECT_EQ(r.leftBehind, QStringList{plain + QStringLiteral("/added meanwhile")});
    EXPECT_TRUE(r.problems.join(QLatin1Char(' ')).contains(QStringLiteral("plain files are still there")));
    EXPECT_EQ(TestEnvironment::readFile(plain + QStringLiteral("/added meanwhile")), QByteArray("new"));
}

TEST(TreeWalk, CancelledRestoreLeavesNothingAndKeepsTheStoredCopy) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/big");
    TestEnvironment::writeFile(plain + QStringLiteral("/a.bin"), testing::patternBytes(3 * 512000));
    TestEnvironment::writeFile(plain + QStringLiteral("/b.bin"), "b");
    auto model = testing::newRecord(plain);
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    ASSERT_TRUE(hideItem(model, paths).complete);
    const auto stored = testing::snapshot(paths.storedTop);
    auto back = testing::newRecord(plain);
    back->fileSize = 3 * 512000 + 1;
    const ItemResult r = unhideItem(back, paths, [&](qint64, float) { back->isCancel = true; });
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.complete);
    EXPECT_FALSE(QFileInfo::exists(plain));
    EXPECT_EQ(QDir(env.base()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(QStringLiteral("partial")).size(), 0);
    EXPECT_EQ(testing::snapshot(paths.storedTop), stored);
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

// Items at the edges of the format: an empty folder, an empty text file (one block of
// padding) and a file named like a repository, which is an ordinary file item.
TEST(TreeWalk, EdgeItemsComeBackAsTheyWere) {
    TestEnvironment env;
    const struct {
        const char* name;
        bool folder;
        QByteArray bytes;
        qint64 storedSize;  // of a file item: header, body, footer
    } cases[] = {{"Empty Folder.txt", true, {}, 0}, {"empty.txt", false, {}, 144}, {"repo.git", false, "not a folder", 140}};
    for (const auto& c : cases) {
        const QString plain = env.base() + QLatin1Char('/') + QString::fromLatin1(c.name);
        if (c.folder) {
            QDir().mkpath(plain);
        } else {
            TestEnvironment::writeFile(plain, c.bytes);
        }
        const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
        const ItemResult hidden = hideItem(testing::newRecord(plain), paths);
        ASSERT_TRUE(hidden.hiddenAndGone()) << c.name;
        EXPECT_FALSE(QFileInfo::exists(plain)) << c.name;
        EXPECT_EQ(QFileInfo(paths.storedTop).isDir(), c.folder) << c.name;
        if (!c.folder) {
            EXPECT_EQ(QFileInfo(paths.storedTop).size(), c.storedSize) << c.name;
        }
        ASSERT_TRUE(unhideItem(testing::newRecord(plain), paths).complete) << c.name;
        EXPECT_EQ(QFileInfo(plain).isDir(), c.folder) << c.name;
        EXPECT_EQ(TestEnvironment::readFile(plain), c.folder ? QByteArray() : c.bytes) << c.name;
        EXPECT_FALSE(QFileInfo::exists(paths.storedTop)) << c.name;
    }
}

}  // namespace
}  // namespace tessaro
