// After a crash at any moment of a hide or an unhide, the next start brings the item to a
// consistent state without losing a byte, and the catalogue tells the truth; a check finds
// every kind of inconsistency that can be made by hand.
#include "core/catalogue.h"
#include "crypto/item_paths.h"
#include "crypto/swapped_name.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::readTree;
using testing::Tree;
using testing::writeTree;

Tree referenceTree() {
    Tree tree;
    for (int i = 0; i < 16; ++i) {
        tree.insert(QStringLiteral("/%1/f%2").arg(i % 3 ? QStringLiteral("sub") : QStringLiteral("top")).arg(i),
                    testing::patternBytes(i % 4 == 0 ? 600000 : 7000 + i, static_cast<quint32>(i)));
    }
    return tree;
}

struct KilledWalk {
    bool hide;
    const char* item;
};

void PrintTo(const KilledWalk& w, std::ostream* os) { *os << (w.hide ? "hide of " : "unhide of ") << w.item; }

class KilledVaultWalk : public ::testing::TestWithParam<KilledWalk> {};

// The catalogue lists the item as hidden before its hide starts, as an add does; the kill
// can come anywhere in the walk, the removal of the side no longer needed, or the
// bookkeeping. Half the unhides keep their containers, as unhiding all does.
TEST_P(KilledVaultWalk, AWalkKilledAnywhereEndsConsistentAndWhole) {
    const Tree reference = referenceTree();
    const bool hide = GetParam().hide;
    const QString name = QString::fromLatin1(GetParam().item);
    std::mt19937 rng(hide ? 1207 : 712);
    qint64 full = 0;
    int visible = 0;
    int hidden = 0;
    for (int round = 0; round < 14; ++round) {
        testing::LibraryVault v;
        const QString plain = v.home + QLatin1Char('/') + name;
        writeTree(plain, reference);
        const FileModelPtr record = v.add({plain}).first();
        // A hide starts from a record already listed hidden, as an add leaves it.
        hide ? void(record->isEncrtypt = true) : void(v.toggle(record));
        ASSERT_TRUE(v.catalogue.SaveGroupList(0));
        const bool keep = !hide && round % 2 == 1;
        QElapsedTimer timer;
        timer.start();
        const int delay = round == 0 ? -1 : testing::spreadMoment(round, 13, full, rng());
        testing::runChild([&] {
            if (hide) {
                const ItemResult r = vault::hideRecordJournaled(record);
                vault::applyHideOutcome(*record, r, vault::diskStateOf(*record));
            } else {
                const ItemResult r = vault::unhideRecordJournaled(record, {}, keep);
                vault::applyUnhideOutcome(*record, r, vault::diskStateOf(*record));
            }
            v.catalogue.SaveGroupList(0);
            return 0;
        }, delay);
        if (round == 0) {
            full = timer.nsecsElapsed() / 1000;
        }
        const std::string context = "round " + std::to_string(round) + " after " + std::to_string(delay) + "us";

        const vault::CheckReport repaired = v.nextStart();
        const FileModelPtr now = v.records().value(0);
        ASSERT_TRUE(now) << context;
        EXPECT_FALSE(QFileInfo(vault::journalPath(v.env.vaultRoot())).size() > 0) << context;
        for (const vault::Finding& f : repaired.findings) {
            EXPECT_TRUE(f.repaired) << context << ": " << f.subject.toStdString() << ": " << f.failure.toStdString();
        }
        if (now->isEncrtypt) {
            ++hidden;
            EXPECT_FALSE(QFileInfo::exists(plain)) << context;
            const ItemResult back = vault::unhideRecordJournaled(now);
            ASSERT_TRUE(back.complete) << context << back.problems.join(QLatin1Char(' ')).toStdString();
        } else {
            ++visible;
            EXPECT_TRUE(!hide || !repaired.repairedLines().isEmpty()) << context;
        }
        EXPECT_EQ(now->path, plain) << context;
        EXPECT_EQ(readTree(plain), reference) << context;
        if (hide) {
            // Nothing half-made is left: the container holds the stored copy or nothing.
            const QStringList left = testing::entriesOf(walk::itemContainerFor(*now));
            EXPECT_TRUE(left.isEmpty() || left == QStringList{swappedName(name)}) << context;
        }
        EXPECT_EQ(testing::entriesOf(v.home), QStringList{name}) << context;
    }
    EXPECT_GT(visible, 0);
    EXPECT_GT(hidden, 0);
}

INSTANTIATE_TEST_SUITE_P(Walks, KilledVaultWalk,
                         ::testing::Values(KilledWalk{true, "Folder"}, KilledWalk{true, "Letters.txt"},
                                           KilledWalk{false, "Folder"}, KilledWalk{false, "Letters.txt"}),
                         [](const auto& info) {
                             return testing::readableName((info.param.hide ? QStringLiteral("Hide ")
                                                                           : QStringLiteral("Unhide ")) +
                                                          QString::fromLatin1(info.param.item));
                         });

// Every kind of disagreement between the catalogue and the disk, made by hand.
TEST(VaultCheck, FindsEachInconsistencyAndRepairsWhatItSafelyCan) {
    testing::LibraryVault v;
    const QString root = v.env.vaultRoot();
    QStringList paths;
    for (const char* name : {"never-hidden", "only-stored", "lost", "fine", "orphan-source"}) {
        paths.append(v.file(QString::fromLatin1(name), name));
    }
    const FileModelList r = v.add(paths);
    ASSERT_EQ(r.size(), 5);
    for (int i = 1; i < 5; ++i) {
        v.toggle(r.at(i));
    }
    // never-hidden: marked hidden, never walked. only-stored: marked visible, plain gone.
    r.at(0)->isEncrtypt = true;
    r.at(1)->isEncrtypt = false;
    // lost: both copies gone.
    QDir(walk::itemContainerFor(*r.at(2))).removeRecursively();
    // orphan: the record is gone, its stored copy stays.
    const QString orphan = walk::pathsForRecord(*r.at(4)).storedTop;
    v.catalogue.groupDirList[1]->fileModels->removeLast();
    // A half-done unhide of "fine", as a crash would leave it.
    vault::JournalEntry entry;
    entry.operation = vault::JournalEntry::Operation::Unhide;
    entry.plainPath = r.at(3)->path;
    entry.storedTop = walk::pathsForRecord(*r.at(3)).storedTop;
    entry.temporary = QStringLiteral(".tessaro-restore-abcdef");
    const QString temporary = v.home + QLatin1Char('/') + entry.temporary;
    TestEnvironment::writeFile(temporary + QStringLiteral("/half"), "partial");
    ASSERT_TRUE(vault::appendJournal(root, entry));
    ASSERT_TRUE(v.catalogue.SaveGroupList(0));

    Catalogue looked;
    ASSERT_TRUE(looked.setUp(std::nullopt, false));
    const vault::CheckReport seen = vault::checkVault(looked, false);
    QStringList subjects;
    for (const vault::Finding& f : seen.findings) {
        subjects.append(f.subject + (f.repaired ? QStringLiteral(" (repaired)") : QString()));
    }
    subjects.sort();
    QStringList expected{QStringLiteral("fine"), QStringLiteral("lost"), QStringLiteral("never-hidden"),
                         QStringLiteral("only-stored"), orphan};
    expected.sort();
    EXPECT_EQ(subjects, expected);
    // Looking changes nothing.
    EXPECT_TRUE(QFileInfo(vault::journalPath(root)).size() > 0);
    EXPECT_TRUE(QFileInfo::exists(temporary));

    const vault::CheckReport done = vault::checkVault(looked, true);
    ASSERT_TRUE(looked.SaveGroupList(0));
    ASSERT_EQ(done.settledJournals, QStringList{root});
    vault::clearJournal(root);
    EXPECT_EQ(done.repairedLines().size(), 3) << done.repairedLines().join(QLatin1Char('\n')).toStdString();
    const FileModelList items = *looked.groupDirList.at(1)->fileModels;
    EXPECT_FALSE(items.at(0)->isEncrtypt);  // never-hidden: shown, its plain copy is there
    EXPECT_TRUE(items.at(1)->isEncrtypt);   // only-stored: hidden
    EXPECT_TRUE(items.at(3)->isEncrtypt);   // the half-done unhide: hidden, stored copy kept
    EXPECT_FALSE(QFileInfo::exists(temporary));
    EXPECT_FALSE(QFileInfo(vault::journalPath(root)).size() > 0);
    EXPECT_TRUE(QFileInfo::exists(orphan));  // left alone
    EXPECT_TRUE(vault::unhideRecordJournaled(items.at(3)).complete);
    EXPECT_EQ(TestEnvironment::readFile(paths.at(3)), QByteArray("fine"));
}

}  // namespace
}  // namespace tessaro
