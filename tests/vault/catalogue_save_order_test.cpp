// The controller's catalogue writes run on its worker: a journal is cleared only after the
// save that holds its outcomes is on disk, a failed save is told and keeps the journal, and
// a stop waits for every write already given.
#include "core/catalogue.h"
#include "core/vault_paths.h"
#include "support/catalogue_dump.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/vault_controller.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

namespace tessaro {
namespace {

using testing::TestEnvironment;

// One visible item, recorded and saved.
struct Vault : testing::LibraryVault {
    QString plain = file(QStringLiteral("report.txt"), "quarterly figures");
    FileModelPtr item = add({plain}).first();

    // Whether the catalogue file on disk lists the item as hidden.
    static bool hiddenOnDisk() { return testing::dumpNames(testing::reloadedItems()) == QLatin1String("report.txt*"); }
};

struct SaveCase {
    const char* name;
    bool catalogueWritable;
};

class CatalogueSaveAfterWalk : public ::testing::TestWithParam<SaveCase> {};

TEST_P(CatalogueSaveAfterWalk, ClearsTheJournalOnlyOnceTheSaveIsOnDisk) {
    Vault v;
    const QString list = vaultpaths::AppGroupDirListPath();
    if (!GetParam().catalogueWritable) {
        // A non-empty folder in the file's place: the rename over it fails.
        ASSERT_TRUE(QFile::rename(list, list + QStringLiteral(".kept")));
        ASSERT_TRUE(TestEnvironment::writeFile(list + QStringLiteral("/blocker"), "x"));
    }
    vault::VaultController controller(v.catalogue, {});
    QSignalSpy problems(&controller, &vault::VaultController::problems);
    controller.toggle(v.item);
    controller.waitUntilIdle();

    EXPECT_TRUE(v.item->isEncrtypt);
    EXPECT_FALSE(QFileInfo::exists(v.plain));
    const QList<vault::JournalEntry> journal = vault::readJournal(vaultpaths::AppRootDirKey()).entries;
    if (GetParam().catalogueWritable) {
        EXPECT_TRUE(problems.isEmpty());
        EXPECT_TRUE(journal.isEmpty());
        EXPECT_TRUE(Vault::hiddenOnDisk());
    } else {
        // Told, with the file that could not be written; the journal stays for the repair.
        ASSERT_EQ(problems.count(), 1);
        EXPECT_EQ(problems.first().at(0).toString(), QStringLiteral("catalogueSaveFailed.title"));
        EXPECT_TRUE(problems.first().at(1).toStringList().join(QLatin1Char(' ')).contains(list));
        EXPECT_FALSE(journal.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Controller, CatalogueSaveAfterWalk,
                         ::testing::Values(SaveCase{"Written", true}, SaveCase{"WriteFails", false}),
                         [](const auto& info) { return std::string(info.param.name); });

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
