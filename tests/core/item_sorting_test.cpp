// The item comparison, its equal-element rules, list composition and search.
#include "core/catalogue.h"
#include "core/item_sorting.h"
#include "core/list_composition.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

FileModelPtr item(const QString& name, qint64 number = 0, bool hidden = false) {
    auto m = std::make_shared<FileModel>();
    m->name = name;
    m->path = QStringLiteral("/p/") + name;
    m->addDate = number;
    m->createDate = number;
    m->fileSize = number;
    m->isEncrtypt = hidden;
    return m;
}

QStringList names(const FileModelList& list) {
    QStringList out;
    for (const FileModelPtr& m : list) {
        out << m->name;
    }
    return out;
}

struct SortCase {
    const char* title;
    qint64 sortType;
    bool ascending;
    QStringList expected;
};

// Items a..f with numbers 3,1,3,2,1,3; hidden: b, d, e.
FileModelList sample() {
    return {item("a", 3), item("b", 1, true), item("c", 3), item("d", 2, true), item("e", 1, true), item("f", 3)};
}

TEST(ItemSorting, OrdersByEveryKeyWithTheEqualElementRules) {
    const SortCase cases[] = {
        // Equal numbers keep their order.
        {"add date up", kSortByAddDate, true, {"b", "e", "d", "a", "c", "f"}},
        {"add date down", kSortByAddDate, false, {"a", "c", "f", "d", "b", "e"}},
        {"size up", kSortBySize, true, {"b", "e", "d", "a", "c", "f"}},
        {"create date down", kSortByCreateDate, false, {"a", "c", "f", "d", "b", "e"}},
        {"name up", kSortByName, true, {"a", "b", "c", "d", "e", "f"}},
        {"name down", kSortByName, false, {"f", "e", "d", "c", "b", "a"}},
        {"path down", kSortByPath, false, {"f", "e", "d", "c", "b", "a"}},
        // Hidden first when ascending, last when descending.
        {"hidden up", kSortByHiddenState, true, {"b", "d", "e", "f", "c", "a"}},
        {"hidden down", kSortByHiddenState, false, {"a", "c", "f", "e", "d", "b"}},
        // Any other key: the stored order.
        {"unknown", 0, true, {"a", "b", "c", "d", "e", "f"}},
    };
    for (const SortCase& c : cases) {
        FileModelList list = sample();
        sortItemList(list, c.sortType, c.ascending);
        EXPECT_EQ(names(list), c.expected) << c.title;
    }
}

TEST(ItemSorting, NamesCompareByCodeUnitAndEqualNamesComeOutReversed) {
    FileModelList list = {item("beta"), item("Zed"), item("_x"), item("alpha"), item("Alpha")};
    sortItemList(list, kSortByName, true);
    EXPECT_EQ(names(list), QStringList({"Alpha", "Zed", "_x", "alpha", "beta"}));

    FileModelPtr first = item("same", 1);
    FileModelPtr second = item("same", 2);
    FileModelPtr third = item("same", 3);
    FileModelList ties = {first, second, third};
    sortItemList(ties, kSortByName, true);
    EXPECT_EQ(ties, FileModelList({third, second, first}));
}

TEST(ItemSorting, LongListsWithManyTiesSortWithoutRunningOffTheEnds) {
    FileModelList list;
    for (int i = 0; i < 5000; ++i) {
        list << item(QString::number(i % 7), i % 3, i % 2 == 0);
    }
    for (qint64 type = 1; type <= 6; ++type) {
        sortItemList(list, type, type % 2 == 0);
        ASSERT_EQ(list.size(), 5000);
    }
}

TEST(ItemSorting, ClearsCancelRequestsExceptOnTheItemBeingWalked) {
    FileModelList list = {item("a"), item("b"), item("c")};
    for (const FileModelPtr& m : list) {
        m->isCancel = true;
    }
    sortItemList(list, kSortByName, true, list[1].get());
    EXPECT_EQ((QList<bool>{list[0]->isCancel, list[1]->isCancel, list[2]->isCancel}),
              (QList<bool>{false, true, false}));
}

// `rows`, a section's default rows, with the first group's items in its all-items row and a
// user group for each further one.
RowList withGroups(RowList rows, const QList<QStringList>& groups) {
    for (qsizetype g = 0; g < groups.size(); ++g) {
        if (g > 0) {
            rows.insert(g + 1, makeGroupRow(QStringLiteral("g"), rows[0]->groupName, rows[0]->isNotes, 1));
        }
        for (const QString& n : groups[g]) {
            rows[g + 1]->fileModels->append(item(n));
        }
    }
    renumberRowList(rows);
    return rows;
}

TEST(ListComposition, AllItemsJoinsGroupsInOrderAndUserGroupsShareTheirList) {
    const RowList rows = withGroups(Catalogue::defaultLocalList(1), {{"r1"}, {"a", "b"}, {"c", "d", "e"}});
    EXPECT_EQ(names(*composeItemList(rows, 1)), QStringList({"r1", "a", "b", "c", "d", "e"}));
    EXPECT_EQ(composeItemList(rows, 3), rows[3]->fileModels);
    EXPECT_TRUE(composeItemList(rows, 0)->isEmpty());   // header
    EXPECT_TRUE(composeItemList(rows, 4)->isEmpty());   // add row
    EXPECT_TRUE(composeItemList(rows, 99)->isEmpty());  // gone
}

TEST(ListComposition, SidebarSkipsUnmountedDrivesAndCountsNotes) {
    tessaro::testing::TestEnvironment env;
    const RowList local = Catalogue::defaultLocalList(1);
    const RowList notes = withGroups(Catalogue::defaultNotesList(1), {{"n1", "n2"}, {"n3"}, {}});
    UpLibrary drives;
    drives.insert(QStringLiteral("A/one.flp"),
                  Catalogue::defaultRemovableList(QStringLiteral("A"), QStringLiteral("A/one.flp"), 1));
    drives.insert(QStringLiteral("B/two.flp"),
                  Catalogue::defaultRemovableList(QStringLiteral("B"), QStringLiteral("B/two.flp"), 1));
    const auto entries = composeSidebar(local, drives, notes, [](const QString& k) { return k.startsWith('B'); });
    ASSERT_EQ(entries.size(), 3 + 3 + 5);
    EXPECT_EQ(entries[3].title, QStringLiteral("B Vault"));
    EXPECT_TRUE(entries[3].isRemovableVault);
    EXPECT_EQ(entries[6].icon, SidebarEntry::Icon::SecureNotes);
    EXPECT_EQ(entries[7].countText, QStringLiteral("3"));  // all notes: every group
    EXPECT_EQ(entries[8].countText, QStringLiteral("1"));
    EXPECT_EQ(entries[9].countText, QString());            // empty group: no count
    EXPECT_EQ(findSidebarRow(entries, QStringLiteral("B/two.flp"), 1), 4);
    EXPECT_EQ(findSidebarRow(entries, QStringLiteral("A/one.flp"), 1), -1);
    EXPECT_EQ(findSidebarRow(entries, QString::fromLatin1(kLocalListKey), 0), -1);  // headers are not selectable
}

TEST(ListComposition, SearchIgnoresCaseAndKeepsListOrder) {
    const FileModelList list = {item("Photo.JPG"), item("report"), item("old photo"), item("PHONE")};
    EXPECT_EQ(names(searchItems(list, QStringLiteral("PHO"))), QStringList({"Photo.JPG", "old photo", "PHONE"}));
    EXPECT_EQ(names(searchItems(list, QStringLiteral("phot"))), QStringList({"Photo.JPG", "old photo"}));
    EXPECT_TRUE(searchItems(list, QStringLiteral("zzz")).isEmpty());
}

}  // namespace
}  // namespace tessaro
