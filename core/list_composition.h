#pragma once

#include "core/catalogue.h"
#include "core/group_model.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace tessaro {

// What the sidebar draws for one catalogue row. Built without widgets so that the window,
// the tests and the benchmark compose the sidebar the same way.
struct SidebarEntry {
    enum class Icon { None, LocalVault, SecureNotes };

    GroupModelPtr group;
    qint64 row = 0;       // position in the whole sidebar
    qint64 groupRow = 0;  // the row's index in its own list
    QString groupName;    // its list key
    bool isGroupDir = false;
    bool isGroupNote = false;
    bool isHeader = false;
    bool isAddItem = false;
    bool isRemovableVault = false;
    bool canSelected = false;
    QString title;
    QString countText;
    Icon icon = Icon::None;
};

// Whether a removable-drive vault is mounted, by vault key.
using VaultMountedTest = std::function<bool(const QString& vaultKey)>;

// The local vault's rows, then the rows of every mounted removable-drive vault (in key
// order), then the notes rows.
QList<SidebarEntry> composeSidebar(const RowList& groupDirList, const UpLibrary& upLibrary,
                                   const RowList& groupNoteList, const VaultMountedTest& isMounted);

// The position in `entries` of the selectable row with this list key and index, or -1.
qsizetype findSidebarRow(const QList<SidebarEntry>& entries, const QString& groupName, qint64 groupIndex);

// The items a file-vault row shows: for the all-items row (index 1) a new list of every
// item of every group in list order; for a user group its own stored list, so that sorting
// the shown list reorders the group. An empty list for rows that hold no items.
std::shared_ptr<FileModelList> composeItemList(const RowList& rows, qint64 selectedIndex);

// Every item whose name, lowercased, contains `text`, lowercased, in list order.
FileModelList searchItems(const FileModelList& items, const QString& text);

}  // namespace tessaro
