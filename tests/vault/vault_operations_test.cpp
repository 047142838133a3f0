// Adding, hiding and unhiding through the vault library and its controller, as the window and
// tessaro-vault do.
#include "core/catalogue.h"
#include "core/vault_paths.h"
#include "crypto/item_paths.h"
#include "crypto/swapped_name.h"
#include "support/catalogue_dump.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/bulk_order.h"
#include "vault/item_operations.h"
#include "vault/vault_controller.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QSignalSpy>

#include <chrono>
#include <future>
#include <thread>

#include <sys/stat.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::readTree;
using testing::reloadedItems;
using testing::Tree;
using testing::writeTree;

using Fixture = testing::LibraryVault;

TEST(Adding, RecordsEveryFieldHidesTheItemsLeavesOutDuplicatesAndRefusesWhatCannotBeAnItem) {
    Fixture f;
    const QString a = f.file(QStringLiteral("a.txt"), "alpha");
    const QString b = f.file(QStringLiteral("photo.png"), QByteArray());
    QImage picture(400, 300, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(b, "PNG"));
    const QString folder = f.home + QStringLiteral("/Folder");
    const Tree folderTree{{"/x", "x"}, {"/sub/y", "yy"}};
    writeTree(folder, folderTree);
    const QByteArray pictureBytes = TestEnvironment::readFile(b);

    // Spelled with a trailing slash and twice: one record.
    const FileModelList records = f.addAndHide({a, b, folder + QLatin1Char('/'), a});
    ASSERT_EQ(records.size(), 3);
    EXPECT_FALSE(QFileInfo::exists(a) || QFileInfo::exists(b) || QFileInfo::exists(folder));
    const FileModelPtr& item = records.at(2);
    EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(item->groupName).arg(item->groupIndex).arg(item->fileIndex), "systemDevicName 1 2");
    EXPECT_EQ(testing::dumpItem(*item), QStringList({"Folder", folder, item->encryptedPath, TestEnvironment::kMacAddress,
                                                     QString::number(item->createDate), QString::number(item->addDate), "3",
                                                     "hidden"}).join(" | "));
    EXPECT_TRUE(item->encryptedPath.startsWith(f.catalogue.groupDirList.at(1)->path + QLatin1Char('/')));
    EXPECT_GT(item->addDate, 1700000000);
    // Containers and stored files are the owner's only.
    EXPECT_EQ(TestEnvironment::modeOf(walk::itemContainerFor(*item)), 0700);

    // A picture gets its own thumbnail: TIFF, at most 200 x 200, owner-only.
    const QString thumb = f.env.vaultRoot() + QStringLiteral("/Thumb");
    const QStringList thumbs = QDir(thumb).entryList(QDir::Files);
    ASSERT_FALSE(thumbs.isEmpty());
    QImageReader reader(thumb + QLatin1Char('/') + thumbs.first());
    EXPECT_EQ(reader.format(), QByteArray("tiff"));
    const QImage small = reader.read();
    EXPECT_LE(std::max(small.width(), small.height()), 200);

    EXPECT_EQ(testing::dumpNames(reloadedItems()), QStringLiteral("a.txt*, photo.png*, Folder*"));

    // Added again while its plain place is taken anew, an item is left out silently; what
    // cannot be an item is refused, each with its reason.
    f.file(QStringLiteral("a.txt"), "a new a");
    QStringList refused;
    const QString drive = f.env.mountVolume(QStringLiteral("USB")) + QStringLiteral("/x.bin");
    TestEnvironment::writeFile(drive, "d");
    EXPECT_TRUE(f.addAndHide({a, f.home + QStringLiteral("/missing"), f.env.vaultRoot(),
                              f.env.vaultRoot() + QStringLiteral("/Notes"), f.env.base(), drive},
                             1, &refused)
                    .isEmpty());
    const char* reasons[] = {"does not exist", "vault itself", "vault itself", "holds", "removable drive"};
    ASSERT_EQ(refused.size(), 5) << refused.join(QLatin1Char('\n')).toStdString();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(refused.at(i).contains(QLatin1String(reasons[i]))) << refused.at(i).toStdString();
    }
    EXPECT_EQ(f.records().size(), 3);
    ASSERT_TRUE(QFile::remove(a));

    // And back, byte for byte.
    for (const FileModelPtr& r : records) {
        f.toggle(r);
        EXPECT_FALSE(r->isEncrtypt);
        EXPECT_FALSE(QFileInfo::exists(walk::itemContainerFor(*r)));
    }
    EXPECT_EQ(TestEnvironment::readFile(a), QByteArray("alpha"));
    EXPECT_EQ(TestEnvironment::readFile(b), pictureBytes);
    EXPECT_EQ(readTree(folder), folderTree);
}

TEST(Adding, GoesToTheSelectedGroupOrElseTheAllItemsGroup) {
    Fixture f;
    RowList& rows = f.catalogue.groupDirList;
    rows.insert(rows.size() - 1, makeGroupRow(QStringLiteral("Work"), QString::fromLatin1(kLocalListKey), false, 1));
    renumberRowList(rows);
    EXPECT_EQ(vault::addTargetFor(f.catalogue, QString::fromLatin1(kLocalListKey), 2).row, rows.at(2));
    EXPECT_EQ(vault::addTargetFor(f.catalogue, QString::fromLatin1(kNotesListKey), 2).row, rows.at(1));
    EXPECT_EQ(vault::addTargetFor(f.catalogue, QStringLiteral("USB/Box.flp"), 2).row, rows.at(1));
    EXPECT_EQ(vault::addTargetFor(f.catalogue, QString::fromLatin1(kLocalListKey), rows.size() - 1).row, rows.at(1));
    const FileModelList added = f.addAndHide({f.file(QStringLiteral("one"), "1"), f.file(QStringLiteral("two"), "2")}, 2);
    ASSERT_EQ(added.size(), 2);
    EXPECT_EQ(added.at(1)->fileIndex, 1);
    EXPECT_EQ(added.at(1)->groupIndex, 2);
    EXPECT_EQ(rows.at(2)->fileModels->size(), 2);
}

TEST(HidingAndUnhiding, UnhideAllKeepsContainersAndALaterHideReplacesTheOldCopy) {
    Fixture f;
    const QString a = f.file(QStringLiteral("a.txt"), "version 1");
    const QString b = f.file(QStringLiteral("b.bin"), "b");
    const FileModelList records = f.addAndHide({a, b});
    for (const FileModelPtr& r : vault::itemsToUnhide(f.catalogue.groupDirList)) {
        f.toggle(r, true);
        EXPECT_FALSE(r->isEncrtypt);
        EXPECT_TRUE(QFileInfo::exists(f.storedTop(r)));
    }
    TestEnvironment::writeFile(a, "version 2");
    f.toggle(records.first());
    f.toggle(records.first());
    EXPECT_EQ(TestEnvironment::readFile(a), QByteArray("version 2"));
}

TEST(HidingAndUnhiding, AnUnhideOntoATakenPlaceLandsBesideAndTheRecordFollows) {
    Fixture f;
    const QString a = f.file(QStringLiteral("report.pdf"), "mine");
    const FileModelPtr record = f.addAndHide({a}).first();
    f.file(QStringLiteral("report.pdf"), "someone else's");
    f.toggle(record);
    EXPECT_EQ(record->path, f.home + QStringLiteral("/report (restored).pdf"));
    EXPECT_EQ(testing::readTree(f.home), (Tree{{"/report.pdf", "someone else's"}, {"/report (restored).pdf", "mine"}}));
    // Hidden again from where it is now.
    f.toggle(record);
    EXPECT_EQ(testing::readTree(f.home), (Tree{{"/report.pdf", "someone else's"}}));
}

TEST(BulkOrder, VisitsGroupsAndItemsInOrderAndOnlyWhatChanges) {
    RowList rows;
    for (int g = 0; g < 3; ++g) {
        auto row = std::make_shared<GroupModel>();
        row->fileModels = std::make_shared<FileModelList>();
        for (int i = 0; i < 3; ++i) {
            auto item = std::make_shared<FileModel>();
            item->name = QStringLiteral("%1.%2").arg(g).arg(i);
            item->isEncrtypt = (g + i) % 2 == 0;
            row->fileModels->append(item);
        }
        rows.append(row);
    }
    EXPECT_EQ(testing::dumpNames(vault::itemsToHide(rows)), "0.1, 1.0, 1.2, 2.1");
    EXPECT_EQ(testing::dumpNames(vault::itemsToUnhide(rows)), "0.0*, 0.2*, 1.1*, 2.0*, 2.2*");
    EXPECT_EQ(testing::dumpNames(vault::groupItemsToHide(rows, 1, 1)), "1.2");
    EXPECT_TRUE(vault::groupItemsToHide(rows, 7, 0).isEmpty());
}

// A random tree: empty folders, names with spaces, deep nesting, files of a few sizes.
Tree randomTree(quint32 seed) {
    QRandomGenerator random(seed);
    Tree tree;
    const QStringList names{"empty dir", "a b", "x", " lead", "trail ", "Docs"};
    std::function<void(const QString&, int)> grow = [&](const QString& relative, int depth) {
        const int entries = random.bounded(4);
        if (entries == 0 || depth > 7) {
            tree.insert(relative, "<dir>");
            return;
        }
        for (int i = 0; i < entries; ++i) {
            const QString name = relative + QLatin1Char('/') + names.at(random.bounded(names.size())) + QString::number(i);
            random.bounded(2) == 0 ? grow(name, depth + 1)
                                   : void(tree.insert(name, testing::patternBytes(random.bounded(3) * 700, seed + i)));
        }
    };
    grow(QString(), 0);
    return tree;
}

// Hidden and unhidden again and again, through the library and through the window's worker:
// every file and every folder, empty ones included, comes back where it was.
TEST(HidingAndUnhiding, RandomTreesWithEmptyFoldersComeBackWholeEveryTime) {
    const quint32 base = QRandomGenerator::global()->generate();
    std::printf("seed %u\n", base);
    for (quint32 round = 0; round < 6; ++round) {
        const quint32 seed = base + round;
        Fixture f;
        const QString project = f.home + QStringLiteral("/Project ") + QString::number(seed);
        writeTree(project, randomTree(seed));
        const Tree whole = readTree(project, true);  // empty folders included
        const FileModelPtr item = f.addAndHide({project}).first();
        vault::VaultController controller(f.catalogue, {});
        for (int pass = 0; pass < 4; ++pass) {
            if (pass % 2 == 0) {
                f.toggle(item);
            } else {
                controller.toggle(item);
                controller.waitUntilIdle();
            }
            ASSERT_FALSE(item->isEncrtypt) << "seed " << seed;
            EXPECT_EQ(readTree(project, true), whole) << "seed " << seed << " pass " << pass;
            controller.toggle(item);
            controller.waitUntilIdle();
            ASSERT_TRUE(item->isEncrtypt) << "seed " << seed;
            EXPECT_FALSE(QFileInfo::exists(project)) << "seed " << seed;
        }
    }
}

// A FIFO named like a picture blocked the thumbnail reader for ever, with the writer's lock held.
TEST(Adding, AFifoNamedLikeAPictureIsAddedWithoutReadingIt) {
    Fixture f;
    const QString fifo = f.home + QStringLiteral("/x.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const vault::AddTarget target = vault::addTargetFor(f.catalogue, QString::fromLatin1(kLocalListKey), 1);
    auto done = std::make_shared<std::promise<int>>();
    std::thread([done, fifo, target] {
        const vault::PreparedAdd prepared = vault::prepareAdd({fifo}, {}, target, 0, {});
        done->set_value(static_cast<int>(prepared.records.size()));
    }).detach();
    auto result = done->get_future();
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "preparing the add of a FIFO hangs";
        std::_Exit(1);  // the reader can never be stopped
    }
    EXPECT_EQ(result.get(), 1);
}

TEST(Controller, AddsHidesCancelsAndStopsWithoutLosingAnything) {
    Fixture f;
    vault::VaultController controller(f.catalogue, {});
    QSignalSpy finished(&controller, &vault::VaultController::allFinished);
    QSignalSpy problems(&controller, &vault::VaultController::problems);
    const QString a = f.file(QStringLiteral("a.bin"), testing::patternBytes(3 << 20, 1));
    const QString b = f.file(QStringLiteral("b.txt"), "b");
    controller.addPaths({a, b, a}, QString::fromLatin1(kLocalListKey), 1);
    EXPECT_TRUE(controller.busy());
    controller.waitUntilIdle();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(QFileInfo::exists(a) || QFileInfo::exists(b));
    EXPECT_EQ(testing::dumpNames(reloadedItems()), QStringLiteral("a.bin*, b.txt*"));

    // Cancel the unhide of the large one at its first progress: still hidden, stored copy whole.
    const FileModelPtr large = f.records().first();
    ASSERT_EQ(large->name, QStringLiteral("a.bin"));
    QObject::connect(&controller, &vault::VaultController::walkStarted, &controller,
                     [&](const FileModelPtr&, vault::VaultController::Kind, bool) { controller.cancelCurrent(); });
    controller.toggle(large);
    controller.waitUntilIdle();
    EXPECT_TRUE(large->isEncrtypt);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_TRUE(QFileInfo::exists(walk::pathsForRecord(*large).storedTop));
    QObject::disconnect(&controller, &vault::VaultController::walkStarted, &controller, nullptr);

    // A plain item that vanished before its hide: said, and the record is true to the disk.
    controller.toggle(large);
    controller.waitUntilIdle();
    EXPECT_FALSE(large->isEncrtypt);
    QFile::remove(a);
    problems.clear();
    controller.toggle(large);
    controller.waitUntilIdle();
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems.first().at(0).toString(), QStringLiteral("fileRemovedMessage"));
    EXPECT_FALSE(large->isEncrtypt);

    // A hide that leaves files in place (the stored copy is complete) is hidden, but not out of
    // sight: an alert names what stayed.
    const QString folder = f.home + QStringLiteral("/Busy");
    TestEnvironment::writeFile(folder + QStringLiteral("/a"), "a");
    TestEnvironment::writeFile(folder + QStringLiteral("/locked/kept"), "kept");
    const FileModelPtr busy = f.add({folder}).first();
    {
        const testing::UnremovableEntries locked(folder + QStringLiteral("/locked"));
        ASSERT_TRUE(locked.ok());
        problems.clear();
        controller.toggle(busy);
        controller.waitUntilIdle();
    }
    EXPECT_TRUE(busy->isEncrtypt);
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems.first().at(0).toString(), QStringLiteral("walkFailed.title"));
    EXPECT_TRUE(problems.first().at(1).toStringList().join(QLatin1Char(' ')).contains(folder + QStringLiteral("/locked/kept")));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/a")));
    EXPECT_EQ(TestEnvironment::readFile(folder + QStringLiteral("/locked/kept")), QByteArray("kept"));

    // Stopping (a lock) while items wait: they stay as they are on disk.
    const QString c = f.file(QStringLiteral("c.bin"), testing::patternBytes(2 << 20, 2));
    const QString d = f.file(QStringLiteral("d.bin"), "d");
    controller.addPaths({c, d}, QString::fromLatin1(kLocalListKey), 1);
    bool stopped = false;
    QObject::connect(&controller, &vault::VaultController::walkStarted, &controller,
                     [&](const FileModelPtr&, vault::VaultController::Kind, bool) {
                         if (!stopped) {
                             controller.stopAll([&] { stopped = true; });
                         }
                     });
    controller.waitUntilIdle();
    EXPECT_TRUE(stopped);
    for (const FileModelPtr& r : reloadedItems()) {
        if (r->name == QLatin1String("c.bin") || r->name == QLatin1String("d.bin")) {
            EXPECT_FALSE(r->isEncrtypt) << r->name.toStdString();
            EXPECT_TRUE(QFileInfo::exists(r->path)) << r->name.toStdString();
        }
    }
}

// The controller's catalogue writes run on its worker: a journal is cleared only after the
// save that holds its outcomes is on disk, a failed save is told and keeps the journal, and
// a stop waits for every write already given.

// One visible item, recorded and saved.
struct Vault : testing::LibraryVault {
    QString plain = file(QStringLiteral("report.txt"), "quarterly figures");
    FileModelPtr item = add({plain}).first();

    // Whether the catalogue file on disk lists the item as hidden.
    static bool hiddenOnDisk() { return testing::dumpNames(testing::reloadedItems()) == QLatin1String("report.txt*"); }
};

TEST(Controller, ClearsTheJournalOnlyOnceTheSaveIsOnDisk) {
    Vault v;
    vault::VaultController controller(v.catalogue, {});
    QSignalSpy problems(&controller, &vault::VaultController::problems);
    controller.toggle(v.item);
    controller.waitUntilIdle();
    EXPECT_TRUE(v.item->isEncrtypt);
    EXPECT_FALSE(QFileInfo::exists(v.plain));
    EXPECT_TRUE(problems.isEmpty());
    EXPECT_TRUE(vault::readJournal(vaultpaths::AppRootDirKey()).entries.isEmpty());
    EXPECT_TRUE(Vault::hiddenOnDisk());

    // A non-empty folder in the file's place: the rename over it fails. The unhide is told,
    // with the file that could not be written, and its journal stays for the repair.
    const QString list = vaultpaths::AppGroupDirListPath();
    ASSERT_TRUE(QFile::rename(list, list + QStringLiteral(".kept")));
    ASSERT_TRUE(TestEnvironment::writeFile(list + QStringLiteral("/blocker"), "x"));
    controller.toggle(v.item);
    controller.waitUntilIdle();
    EXPECT_FALSE(v.item->isEncrtypt);
    EXPECT_EQ(TestEnvironment::readFile(v.plain), QByteArray("quarterly figures"));
    ASSERT_EQ(problems.count(), 1);
    EXPECT_EQ(problems.first().at(0).toString(), QStringLiteral("catalogueSaveFailed.title"));
    EXPECT_TRUE(problems.first().at(1).toStringList().join(QLatin1Char(' ')).contains(list));
    EXPECT_FALSE(vault::readJournal(vaultpaths::AppRootDirKey()).entries.isEmpty());
}

TEST(StoppingTheController, AStopGivenWhileTheSaveWaitsEndsAfterIt) {
    Vault v;
    vault::VaultController controller(v.catalogue, {});
    bool stopped = false;
    bool savedWhenStopped = false;
    // The walk is done and its save given, not yet written: the lock comes now.
    QObject::connect(&controller, &vault::VaultController::walkFinished, &controller, [&] {
        controller.stopAll([&] {
            stopped = true;
            savedWhenStopped = Vault::hiddenOnDisk() &&
                               vault::readJournal(vaultpaths::AppRootDirKey()).entries.isEmpty();
        });
    });
    controller.toggle(v.item);
    controller.waitUntilIdle();
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(savedWhenStopped);
}

}  // namespace
}  // namespace tessaro
