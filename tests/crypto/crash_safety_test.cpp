// A walk killed at any moment, or stopped by a full disk, loses no byte: the plain item is
// intact, or the stored copy verifies and restores byte for byte.
#include "crypto/item_hiding.h"
#include "crypto/stored_file.h"
#include "crypto/tree_walk.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>

#include <csignal>
#include <limits>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::runChild;
using testing::Tree;
using testing::writeTree;

Tree referenceTree() {
    Tree tree;
    tree.insert(QStringLiteral("/empty"), "<dir>");
    tree.insert(QStringLiteral("/sub"), "<dir>");
    for (int i = 0; i < 20; ++i) {
        const qint64 size = i % 5 == 0 ? 520000 : (i * 977) % 20000;
        tree.insert((i % 2 ? QStringLiteral("/sub/f%1") : QStringLiteral("/f%1")).arg(i), testing::patternBytes(size, i));
    }
    tree.insert(QStringLiteral("/big"), testing::patternBytes(1100000, 77));
    return tree;
}

int exitCodeOf(const ItemResult& r) { return (r.complete ? 1 : 0) | (r.sourceRemoved ? 2 : 0); }

// The stored copy, leftovers ignored, must restore to exactly `expected`.
void expectStoredCopyRestores(const TestEnvironment& env, const walk::ItemPaths& paths, const Tree& expected,
                              const std::string& context) {
    const QString elsewhere = env.base() + QStringLiteral("/check/item");
    QDir(env.base() + QStringLiteral("/check")).removeRecursively();
    auto model = testing::newRecord(elsewhere);
    HideOptions keep;
    keep.removeSource = false;
    const ItemResult r = unhideItem(model, {elsewhere, paths.storedTop, paths.itemClass}, {}, keep);
    ASSERT_TRUE(r.complete) << context << " " << r.problems.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(testing::snapshot(elsewhere), expected) << context;
}

// Every file under the stored top's name must be sound: the top appears only when whole.
void expectStoredTopSound(const QString& storedTop, storedfile::ItemClass itemClass, const std::string& context) {
    if (!QFileInfo(storedTop).isDir()) {
        if (QFileInfo::exists(storedTop)) {
            EXPECT_EQ(storedfile::verifyStoredFile(storedTop, itemClass, 64), QString()) << context;
        }
        return;
    }
    QDirIterator it(storedTop, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        EXPECT_EQ(storedfile::verifyStoredFile(file, itemClass, 64), QString()) << context << " " << file.toStdString();
    }
}

// What a killed walk may leave is only under the name it was given, which the caller
// recorded; removing exactly that name cleans up.
void removeRecordedLeftover(const QString& directory, const QString& recordedName) {
    const QString path = directory + QLatin1Char('/') + recordedName;
    if (QFileInfo(path).isDir()) {
        QDir(path).removeRecursively();
    } else {
        QFile::remove(path);
    }
}

HideOptions recorded() {
    HideOptions options;
    options.workDirectoryName = QStringLiteral(".tessaro-work-recorded");
    options.temporaryName = QStringLiteral(".tessaro-restore-recorded");
    return options;
}

// The fastest of three whole runs of `work` after `reset`, in microseconds: a kill moment
// past a slow first run would never land inside the walk.
qint64 fastestRunUs(const std::function<void()>& reset, const std::function<int()>& work) {
    qint64 full = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 3; ++i) {
        reset();
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(runChild(work), 3);
        full = std::min<qint64>(full, std::max<qint64>(timer.nsecsElapsed() / 1000, 1000));
    }
    return full;
}

class KilledWalk : public ::testing::TestWithParam<const char*> {};

TEST_P(KilledWalk, StoreKilledAtRandomMomentsLosesNothing) {
    TestEnvironment env;
    const Tree reference = referenceTree();
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(GetParam());
    const QString container = env.base() + QStringLiteral("/vault/c");
    const auto paths = testing::pathsFor(plain, container);
    auto hide = [&] { return exitCodeOf(hideItem(testing::newRecord(plain), paths, {}, recorded())); };

    const qint64 full = fastestRunUs(
        [&] {
            QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
            QDir(env.base() + QStringLiteral("/vault")).removeRecursively();
            writeTree(plain, reference);
        },
        hide);

    std::mt19937 rng(20261207);
    int intact = 0;
    for (int round = 0; round < 24; ++round) {
        QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
        QDir(env.base() + QStringLiteral("/vault")).removeRecursively();
        writeTree(plain, reference);
        const int delay = testing::spreadMoment(round + 1, 24, full, rng());
        const int status = runChild(hide, delay);
        const std::string context = "round " + std::to_string(round) + " after " + std::to_string(delay) + "us";
        expectStoredTopSound(paths.storedTop, paths.itemClass, context);
        removeRecordedLeftover(container, recorded().workDirectoryName);
        if (testing::snapshot(plain) != reference) {
            // The plain item went only after the stored copy was complete.
            expectStoredCopyRestores(env, paths, reference, context);
        } else {
            EXPECT_NE(status, 3) << context;
            ++intact;
        }
        // The next hide completes. A copy the killed hide had already put in place is this
        // item's own, so it is replaced (never merged into).
        if (QFileInfo::exists(plain) && testing::snapshot(plain) == reference) {
            HideOptions again = recorded();
            again.replaceExisting = QFileInfo::exists(paths.storedTop);
            ASSERT_EQ(runChild([&] { return exitCodeOf(hideItem(testing::newRecord(plain), paths, {}, again)); }), 3)
                << context;
            EXPECT_EQ(QDir(container).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      QStringList{QFileInfo(paths.storedTop).fileName()})
                << context;
            expectStoredCopyRestores(env, paths, reference, context);
        }
    }
    // The moments spread over the walk: some kills came before the plain item could go.
    EXPECT_GT(intact, 0);
}

TEST_P(KilledWalk, RestoreKilledAtRandomMomentsLosesNothing) {
    TestEnvironment env;
    const Tree reference = referenceTree();
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(GetParam());
    const QString container = env.base() + QStringLiteral("/vault/c");
    const auto paths = testing::pathsFor(plain, container);
    writeTree(plain, reference);
    ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);
    const Tree storedCopy = testing::snapshot(paths.storedTop);
    qint64 total = 0;
    for (const QByteArray& v : reference) {
        total += v == "<dir>" ? 0 : v.size();
    }
    auto unhide = [&] {
        auto model = testing::newRecord(plain);
        model->fileSize = total;
        return exitCodeOf(unhideItem(model, paths, {}, recorded()));
    };
    const qint64 full = fastestRunUs(
        [&] {
            QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
            writeTree(paths.storedTop, storedCopy);
        },
        unhide);
    ASSERT_EQ(testing::snapshot(plain), reference);

    std::mt19937 rng(7122026);
    int interrupted = 0;
    for (int round = 0; round < 24; ++round) {
        QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
        QDir(env.base() + QStringLiteral("/vault")).removeRecursively();
        writeTree(paths.storedTop, storedCopy);
        const int delay = testing::spreadMoment(round + 1, 24, full, rng());
        runChild(unhide, delay);
        const std::string context = "round " + std::to_string(round) + " after " + std::to_string(delay) + "us";
        removeRecordedLeftover(env.base() + QStringLiteral("/plain"), recorded().temporaryName);
        const Tree now = testing::snapshot(plain);
        if (now.isEmpty()) {
            // Nothing appeared at the plain location; the stored copy is whole.
            EXPECT_FALSE(QFileInfo::exists(plain)) << context;
            EXPECT_EQ(testing::snapshot(paths.storedTop), storedCopy) << context;
            ASSERT_EQ(runChild(unhide), 3) << context;
            ++interrupted;
        }
        // Either way the item is back whole, and no partial folder is left beside it.
        EXPECT_EQ(testing::snapshot(plain), reference) << context;
        const QStringList beside = QDir(env.base() + QStringLiteral("/plain"))
                                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_EQ(beside, QStringList{QString::fromLatin1(GetParam())}) << context;
    }
    EXPECT_GT(interrupted, 0);
}

INSTANTIATE_TEST_SUITE_P(Classes, KilledWalk, ::testing::Values("item", "item.txt"),
                         [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param)); });

// A walk stopped by a full disk (here the limit on the size of a file) reports itself
// incomplete, keeps the side it started from and leaves nothing where it was writing.
TEST(FullDisk, AWalkThatRunsOutOfSpaceKeepsItsSourceAndLeavesNothing) {
    TestEnvironment env;
    const struct {
        const char* name;
        bool store;
    } cases[] = {{"item", true},      {"item.txt", true}, {"single.bin", true},
                 {"single.txt", true}, {"item", false},    {"item.txt", false}};
    for (const auto& c : cases) {
        const std::string context = std::string(c.store ? "store of " : "restore of ") + c.name;
        QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
        QDir(env.base() + QStringLiteral("/vault")).removeRecursively();
        const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(c.name);
        const QString container = env.base() + QStringLiteral("/vault/") + QString::fromLatin1(c.name);
        const auto paths = testing::pathsFor(plain, container);
        if (QByteArray(c.name).startsWith("single")) {
            TestEnvironment::writeFile(plain, testing::patternBytes(1200000, 5));
        } else {
            writeTree(plain, referenceTree());
        }
        if (!c.store) {
            ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete) << context;
        }
        const QString source = c.store ? plain : paths.storedTop;
        const Tree before = testing::snapshot(source);
        const int status = runChild([&] {
            auto model = testing::newRecord(plain);
            return exitCodeOf(c.store ? hideItem(model, paths) : unhideItem(model, paths));
        }, -1, 700000);
        EXPECT_EQ(status, 0) << context;
        EXPECT_EQ(testing::snapshot(source), before) << context;
        const QString written = c.store ? container : env.base() + QStringLiteral("/plain");
        EXPECT_EQ(QDir(written).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList())
            << context;
    }
}

}  // namespace
}  // namespace tessaro
