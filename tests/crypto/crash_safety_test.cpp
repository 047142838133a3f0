// A walk killed at any moment, or stopped before it could finish, loses no byte: the plain item
// is intact, or the stored copy verifies and restores byte for byte.
#include "core/file_system.h"
#include "crypto/help_class.h"
#include "crypto/item_hiding.h"
#include "crypto/stored_file.h"
#include "crypto/tree_walk.h"
#include "engine_test_support.h"
#include "support/real_drive.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>

#include <limits>
#include <optional>
#include <random>

#include <sys/stat.h>

namespace tessaro {
namespace {

using testing::RealDrive;
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
    QDir(directory + QLatin1Char('/') + recordedName).removeRecursively();
    QFile::remove(directory + QLatin1Char('/') + recordedName);
}

HideOptions recorded() {
    return {.workDirectoryName = QStringLiteral(".tessaro-work-recorded"),
            .temporaryName = QStringLiteral(".tessaro-restore-recorded")};
}

// A store or a restore, of a folder item of either class.
class KilledWalk : public ::testing::TestWithParam<std::tuple<bool, const char*>> {};

// Whatever the moment of the kill, the side the walk started from is whole, or the other side
// is: the stored copy restores (a store) or the item is back (a restore). When the walk had not
// finished, running it again finishes it, and only the item itself is left where it wrote.
TEST_P(KilledWalk, AtRandomMomentsLosesNothing) {
    const auto [store, item] = GetParam();
    TestEnvironment env;
    const Tree reference = referenceTree();
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(item);
    const QString container = env.base() + QStringLiteral("/vault/c");
    const auto paths = testing::pathsFor(plain, container);
    writeTree(plain, reference);
    qint64 total = 0;
    if (!store) {
        const auto hidden = testing::newRecord(plain);
        ASSERT_TRUE(hideItem(hidden, paths).complete);
        total = hidden->fileSize;
    }
    const QString source = store ? plain : container;
    const Tree sourceBefore = testing::snapshot(source);
    auto reset = [&] {
        QDir(env.base() + QStringLiteral("/plain")).removeRecursively();
        QDir(env.base() + QStringLiteral("/vault")).removeRecursively();
        writeTree(source, sourceBefore);
    };
    HideOptions options = recorded();
    auto walk = [&] {
        auto model = testing::newRecord(plain);
        model->fileSize = total;
        return exitCodeOf(store ? hideItem(model, paths, {}, options) : unhideItem(model, paths, {}, options));
    };
    // The fastest of three whole runs: a kill moment past a slow first run would never land in the walk.
    qint64 full = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 3; ++i) {
        reset();
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(runChild(walk), 3);
        full = std::min<qint64>(full, std::max<qint64>(timer.nsecsElapsed() / 1000, 1000));
    }

    std::mt19937 rng(store ? 20261207 : 7122026);
    int unfinished = 0;
    for (int round = 0; round < 24; ++round) {
        reset();
        const int delay = testing::spreadMoment(round + 1, 24, full, rng());
        const int status = runChild(walk, delay);
        const std::string context = "round " + std::to_string(round) + " after " + std::to_string(delay) + "us";
        expectStoredTopSound(paths.storedTop, paths.itemClass, context);
        removeRecordedLeftover(container, recorded().workDirectoryName);
        removeRecordedLeftover(env.base() + QStringLiteral("/plain"), recorded().temporaryName);
        // Not finished: the item is still at its plain place (a store) or not yet there (a restore).
        if (store ? testing::snapshot(plain) == reference : !QFileInfo::exists(plain)) {
            EXPECT_NE(status, 3) << context;
            EXPECT_EQ(testing::snapshot(source), sourceBefore) << context;
            // A copy the killed store had already put in place is this item's own: replaced, never merged into.
            options.replaceExisting = store && QFileInfo::exists(paths.storedTop);
            ASSERT_EQ(runChild(walk), 3) << context;
            options = recorded();
            ++unfinished;
        }
        const QString written = store ? paths.storedTop : plain;
        EXPECT_EQ(testing::entriesOf(QFileInfo(written).path()), QStringList{QFileInfo(written).fileName()}) << context;
        // The stored copy, leftovers ignored, restores to exactly the item (elsewhere, and is kept).
        const QString check = store ? env.base() + QStringLiteral("/check/item") : plain;
        if (store) {
            QDir(env.base() + QStringLiteral("/check")).removeRecursively();
            const walk::ItemPaths elsewhere{check, paths.storedTop, paths.itemClass};
            const ItemResult r = unhideItem(testing::newRecord(check), elsewhere, {}, {.removeSource = false});
            ASSERT_TRUE(r.complete) << context << " " << testing::problemsOf(r);
        }
        EXPECT_EQ(testing::snapshot(check), reference) << context;
    }
    // The moments spread over the walk: some kills came before it could finish.
    EXPECT_GT(unfinished, 0);
}

INSTANTIATE_TEST_SUITE_P(Walks, KilledWalk,
                         ::testing::Combine(::testing::Bool(), ::testing::Values("item", "item.txt")),
                         [](const auto& info) {
                             return (std::get<0>(info.param) ? "Store_" : "Restore_") +
                                    testing::readableName(QString::fromLatin1(std::get<1>(info.param)));
                         });

// A walk that cannot finish keeps the side it started from and leaves nothing where it was
// writing: stopped by a write that fails as any write may (under the limit on the size of a
// file), by a full disk (a small real one: the walk stops there and says in one line which file
// and why), by the user's cancel from inside the walk as the cancel button does, or by a
// special file that must not hang it.
enum class Stop { FileSizeLimit, SmallDisk, Cancel, Fifo };

struct StopCase {
    const char* item;
    bool store;
    Stop stop;
};

class StoppedWalk : public ::testing::TestWithParam<StopCase> {};

TEST_P(StoppedWalk, KeepsItsSourceAndLeavesNothing) {
    const StopCase c = GetParam();
    TestEnvironment env;
    std::optional<RealDrive> disk;
    QString writeRoot = env.base() + QStringLiteral("/target");
    if (c.stop == Stop::SmallDisk) {
        disk.emplace(env, QStringLiteral("Small"), RealDrive::Kind::Tmpfs, 1 << 20);
        SKIP_UNLESS_MOUNTED(*disk);
        writeRoot = disk->point();
    }
    const QString plain = env.base() + QStringLiteral("/plain/") + QString::fromLatin1(c.item);
    if (QByteArray(c.item).startsWith("single")) {
        TestEnvironment::writeFile(plain, testing::patternBytes(1200000, 5));
    } else {
        writeTree(plain, referenceTree());
    }
    const auto paths = testing::pathsFor(plain, (c.store ? writeRoot : env.base()) + QStringLiteral("/vault/c"));
    if (!c.store) {
        ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);
    }
    const QString source = c.store ? plain : paths.storedTop;
    const Tree before = testing::snapshot(source);
    // A special file cannot be read to compare: it is made after, and must be there after.
    const QString pipe = plain + QStringLiteral("/pipe");
    if (c.stop == Stop::Fifo) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    }
    // A restore goes to a place under the write root; a store writes its container there.
    const QString target = c.store ? plain : writeRoot + QLatin1Char('/') + QString::fromLatin1(c.item);
    const QString written = c.store ? writeRoot + QStringLiteral("/vault/c") : writeRoot;
    const auto model = testing::newRecord(target);
    qint64 lastIndex = 0;
    const walk::WalkProgress progress = [&](qint64 index, float) {
        lastIndex = index;
        if (c.stop == Stop::Cancel && index == 2) {
            model->isCancel = true;
        }
    };
    auto walk = [&] {
        return c.store ? hideItem(model, paths, progress)
                       : unhideItem(model, {target, paths.storedTop, paths.itemClass}, progress);
    };
    if (c.stop == Stop::FileSizeLimit) {
        EXPECT_EQ(runChild([&] { return exitCodeOf(walk()); }, -1, 700000), 0);
    } else {
        const ItemResult r = walk();
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.cancelled, c.stop == Stop::Cancel);
        EXPECT_EQ(r.outOfSpace, c.stop == Stop::SmallDisk);
        if (c.stop == Stop::Cancel) {
            EXPECT_EQ(lastIndex, 2);
            EXPECT_EQ(HelpClass::fileModel(), model);  // the walk published its record
        } else {
            ASSERT_EQ(r.problems.size(), 1) << testing::problemsOf(r);
        }
        if (c.stop == Stop::SmallDisk) {
            EXPECT_TRUE(r.problems.first().contains(fs::errorText(ENOSPC)) && r.problems.first().contains(target))
                << testing::problemsOf(r);
        }
    }
    if (c.stop == Stop::Fifo) {
        EXPECT_TRUE(QFile::remove(pipe));
    }
    EXPECT_EQ(testing::snapshot(source), before);
    EXPECT_EQ(testing::entriesOf(written), QStringList());
}

std::string nameOf(const ::testing::TestParamInfo<StopCase>& info) {
    const std::string stops[] = {"FileSizeLimit", "SmallDisk", "Cancel", "Fifo"};
    return stops[static_cast<int>(info.param.stop)] + (info.param.store ? "_Store_" : "_Restore_") +
           testing::readableName(QString::fromLatin1(info.param.item));
}

INSTANTIATE_TEST_SUITE_P(
    Walks, StoppedWalk,
    ::testing::Values(StopCase{"item", true, Stop::FileSizeLimit}, StopCase{"item.txt", true, Stop::FileSizeLimit},
                      StopCase{"single.bin", true, Stop::FileSizeLimit},
                      StopCase{"single.txt", true, Stop::FileSizeLimit},
                      StopCase{"item", false, Stop::FileSizeLimit}, StopCase{"item.txt", false, Stop::FileSizeLimit},
                      StopCase{"item", true, Stop::SmallDisk}, StopCase{"item.txt", false, Stop::SmallDisk},
                      StopCase{"item", true, Stop::Cancel}, StopCase{"item.txt", false, Stop::Cancel},
                      StopCase{"item", true, Stop::Fifo}),
    nameOf);

}  // namespace
}  // namespace tessaro
