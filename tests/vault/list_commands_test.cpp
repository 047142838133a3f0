// Removing items from their list and the group commands, through the library the window and
// tessaro-vault share.
#include "core/catalogue.h"
#include "core/record_check.h"
#include "crypto/item_paths.h"
#include "crypto/thumbnail_path.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/bulk_order.h"
#include "vault/item_operations.h"
#include "vault/list_commands.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tessaro {
namespace {

using testing::readTree;
using testing::TestEnvironment;
using testing::Tree;

// A local vault with three shown items in the all-items group and two user groups.
struct Fixture : testing::LibraryVault {
    FileModelList items;
    Fixture() {
        vault::newGroup(rows(), QStringLiteral("Taxes"), 1700000000);
        vault::newGroup(rows(), QStringLiteral("Photos"), 1700000001);
        for (const char* name : {"a.txt", "b.png", "c.bin"}) {
            items.append(add({file(QString::fromLatin1(name), QByteArray(name) + " bytes")}));
        }
    }
    RowList& rows() { return catalogue.groupDirList; }
};

// Each record of a row as "name groupIndex.fileIndex", a hidden one marked "*": a record
// whose own numbers disagree with its place would have the window act on another item.
QString placed(const GroupModelPtr& row) {
    QStringList out;
    for (const FileModelPtr& item : *row->fileModels) {
        out.append(QStringLiteral("%1%2 %3.%4")
                       .arg(item->name, item->isEncrtypt ? QStringLiteral("*") : QString())
                       .arg(item->groupIndex)
                       .arg(item->fileIndex));
    }
    return out.join(QStringLiteral(", "));
}

TEST(RemoveFromList, AVisibleItemLeavesTheListAndEverythingOnDiskStays) {
    Fixture f;
    TestEnvironment::writeFile(getFileThumbImagePath(f.items[1]->path, QString()), "thumbnail");
    const Tree before = readTree(f.env.base());
    ASSERT_TRUE(vault::removeVisibleRecord(f.rows(), f.items[1]).done);
    EXPECT_EQ(readTree(f.env.base()), before);
    EXPECT_EQ(placed(f.rows()[1]), "a.txt 1.0, c.bin 1.1");
    EXPECT_FALSE(vault::removeVisibleRecord(f.rows(), f.items[1]).done) << "a record that is gone cannot go twice";
}

// A hidden item is unhidden first and leaves the list only when that completed (or nothing
// of it is left to unhide); otherwise its record stays, hidden, and its container with it.
struct HiddenCase {
    const char* name;
    std::function<void(Fixture&, const FileModelPtr&)> spoil;
    bool removed;
    bool unhideRun;
};

void PrintTo(const HiddenCase& c, std::ostream* os) { *os << c.name; }

class RemoveHidden : public ::testing::TestWithParam<HiddenCase> {};

TEST_P(RemoveHidden, TheRecordGoesOnlyWhenTheUnhideCompleted) {
    Fixture f;
    const HiddenCase& c = GetParam();
    const FileModelPtr item = f.items[0];
    const QByteArray bytes = TestEnvironment::readFile(item->path);
    f.toggle(item);
    const QString container = f.storedTop(item);
    c.spoil(f, item);

    const vault::RemoveOutcome outcome = vault::removeFromList(f.rows(), item);
    EXPECT_EQ(outcome.removed, c.removed) << outcome.refusal.toStdString();
    EXPECT_EQ(outcome.unhid, c.unhideRun);
    EXPECT_EQ(outcome.refusal.isEmpty(), c.removed);
    EXPECT_EQ(vault::findRecord(f.rows(), item).found(), !c.removed);
    EXPECT_TRUE(c.removed || item->isEncrtypt);
    EXPECT_EQ(QFileInfo::exists(container), !c.removed);
    const bool plainBack = c.removed && c.unhideRun;
    EXPECT_EQ(QFileInfo::exists(item->path), plainBack);
    EXPECT_EQ(TestEnvironment::readFile(item->path), plainBack ? bytes : QByteArray());
}

const HiddenCase kHiddenCases[] = {
    {"unhide completes", [](Fixture&, const FileModelPtr&) {}, true, true},
    {"nothing of it is left", [](Fixture& f, const FileModelPtr& item) { QFile::remove(f.storedTop(item)); }, true, false},
    {"journal cannot be written",
     [](Fixture& f, const FileModelPtr&) {
         const QString journal = vault::journalPath(f.env.vaultRoot());
         QFile::remove(journal);
         ASSERT_TRUE(QDir().mkpath(journal));
     },
     false, true},
    {"stored file cut short",
     [](Fixture& f, const FileModelPtr& item) {
         QFile stored(f.storedTop(item));
         ASSERT_TRUE(stored.open(QIODevice::ReadWrite));
         ASSERT_TRUE(stored.resize(stored.size() / 2));
     },
     false, true},
    // Its paths are claims that failed their check: the disk is not looked at through them.
    {"record damaged",
     [](Fixture&, const FileModelPtr& item) {
         item->encryptedPath = QStringLiteral("../..");
         item->damage = recordDamage(*item).value_or(QString());
         ASSERT_FALSE(item->damage.isEmpty());
     },
     false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, RemoveHidden, ::testing::ValuesIn(kHiddenCases),
                         [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

TEST(GroupCommands, OnlyUserGroupsAreRenamedAndNamesAreKeptAsTyped) {
    Fixture f;  // rows: header, All Items, Taxes, Photos, add row
    const struct {
        qint64 row;
        QString name;
        bool done;
    } cases[] = {
        {2, QStringLiteral("  Tax 2025 %1 "), true},
        {3, QStringLiteral("照片"), true},
        {2, QString(), false},
        {2, QStringLiteral(" \t"), false},
        {0, QStringLiteral("Header"), false},
        {1, QStringLiteral("Everything"), false},
        {4, QStringLiteral("Add"), false},
        {9, QStringLiteral("Nowhere"), false},
    };
    for (const auto& c : cases) {
        const QString before = c.row < f.rows().size() ? f.rows()[c.row]->name : QString();
        const vault::ListChange change = vault::renameGroup(f.rows(), c.row, c.name);
        EXPECT_EQ(change.done, c.done) << c.row << " " << c.name.toStdString();
        EXPECT_EQ(change.refusal.isEmpty(), c.done);
        if (c.row < f.rows().size()) {
            EXPECT_EQ(f.rows()[c.row]->name, c.done ? c.name : before);
        }
    }
    ASSERT_TRUE(f.catalogue.SaveGroupList(0));
    Catalogue again;
    ASSERT_TRUE(again.setUp(std::nullopt, false));
    EXPECT_EQ(again.groupDirList[2]->name, QStringLiteral("  Tax 2025 %1 "));
}

TEST(GroupCommands, DeletingAGroupMovesItsItemsToAllItemsAndDeletesNothing) {
    Fixture f;
    // Two items into Taxes, as an add into that group leaves them.
    for (qsizetype i : {0, 2}) {
        f.rows()[1]->fileModels->removeOne(f.items[i]);
        f.rows()[2]->fileModels->append(f.items[i]);
    }
    renumberRowList(f.rows());
    f.toggle(f.items[0]);
    const GroupModelPtr photos = f.rows()[3];
    const Tree before = readTree(f.env.base());

    const vault::GroupDeletion deletion = vault::deleteGroup(f.rows(), 2, 2);
    ASSERT_TRUE(deletion.change.done);
    EXPECT_EQ(deletion.movedItems, 2);
    EXPECT_EQ(readTree(f.env.base()), before);
    ASSERT_EQ(f.rows().size(), 4);
    EXPECT_EQ(f.rows()[2], photos);
    EXPECT_EQ(photos->index, 2);
    EXPECT_EQ(placed(f.rows()[1]), "b.png 1.0, a.txt* 1.1, c.bin 1.2");
    // The hidden item still unhides from its container where it was.
    const ItemResult back = vault::unhideRecordJournaled(f.items[0]);
    EXPECT_TRUE(back.complete) << back.problems.join(QLatin1Char('\n')).toStdString();
}

TEST(GroupCommands, TheSelectionFollowsItsRowAndTheBuiltInRowsStay) {
    // rows: 0 header, 1 All Items, 2 Taxes, 3 Photos, 4 add row
    const struct {
        qint64 deleted;
        qint64 selectedBefore;
        qint64 selectedAfter;
        bool done;
    } cases[] = {
        {3, 3, 2, true},  // the last user group, selected: the row before
        {2, 3, 2, true},  // a later row stays selected
        {3, 2, 2, true},  // an earlier row stays selected
        {3, 1, 1, true},
        {2, 2, 1, true},  // the deleted group, selected: the row before
        {0, 2, 2, false},
        {1, 2, 2, false},
        {4, 2, 2, false},
    };
    for (const auto& c : cases) {
        Fixture f;
        const GroupModelPtr selected = f.rows()[c.selectedBefore];
        const vault::GroupDeletion d = vault::deleteGroup(f.rows(), c.deleted, c.selectedBefore);
        EXPECT_EQ(d.change.done, c.done) << c.deleted;
        EXPECT_EQ(d.selectGroupIndex, c.selectedAfter) << c.deleted << " " << c.selectedBefore;
        EXPECT_EQ(f.rows().size(), c.done ? 4 : 5);
        if (c.deleted != c.selectedBefore) {
            EXPECT_EQ(f.rows()[d.selectGroupIndex], selected);
        }
    }
}

TEST(GroupCommands, NewGroupsGoBeforeTheAddRowOfEveryListAndADeletedNotesGroupKeepsItsNotes) {
    Fixture f;
    RowList& notes = f.catalogue.groupNoteList;
    const GroupModelPtr note = vault::newGroup(notes, QStringLiteral("Ideas"), 1700000002);
    ASSERT_TRUE(note);
    EXPECT_EQ(note->index, notes.size() - 2);
    EXPECT_TRUE(note->isNotes && !note->isGroupDir);
    EXPECT_EQ(note->groupName, QString::fromLatin1(kNotesListKey));
    ASSERT_TRUE(note->fileModels);
    EXPECT_TRUE(notes.last()->isAddItem);
    // Deleting it keeps its notes listed.
    auto shopping = std::make_shared<FileModel>();
    note->fileModels->append(shopping);
    ASSERT_TRUE(vault::deleteGroup(notes, note->index, 1).change.done);
    EXPECT_TRUE(vault::findRecord(notes, shopping).found());
    EXPECT_EQ(shopping->groupIndex, 1);

    RowList drive = Catalogue::defaultRemovableList(QStringLiteral("USB"), QStringLiteral("USB/Box.flp"), 1700000000);
    renumberRowList(drive);
    const GroupModelPtr group = vault::newGroup(drive, QStringLiteral("Trip"), 1700000003);
    ASSERT_TRUE(group);
    EXPECT_EQ(group->groupName, QStringLiteral("USB/Box.flp"));
    EXPECT_EQ(group->index, 2);
    EXPECT_FALSE(group->path.isEmpty());

    RowList broken = {f.rows()[0], f.rows()[1]};  // no add row
    EXPECT_FALSE(vault::newGroup(broken, QStringLiteral("x"), 1));
    EXPECT_EQ(broken.size(), 2);
}

}  // namespace
}  // namespace tessaro
