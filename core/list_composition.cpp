#include "core/list_composition.h"

#include "core/localized_text.h"

namespace tessaro {

namespace {

QString localized(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }

qsizetype itemCount(const GroupModel& row) { return row.fileModels ? row.fileModels->size() : 0; }

// The volume name of a vault key: the key without its last path component.
QString volumeOfVaultKey(const QString& vaultKey) {
    const qsizetype slash = vaultKey.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? vaultKey : vaultKey.left(slash);
}

// Headers and all-items rows of the local and notes sections are named by the system,
// so they follow the interface language even when the catalogue was written in another.
QString titleFor(const GroupModel& row, bool isLocal, bool isNotes, bool isRemovable) {
    if (row.isHeader) {
        if (isRemovable) {
            return LanguageBundle::localizedStringForKey(QStringLiteral("VAULTName.string"))
                .arg(volumeOfVaultKey(row.groupName));
        }
        if (isNotes) {
            return localized("group_SECURENOTES");
        }
        if (isLocal) {
            return localized("GroupFileTypeTitle");
        }
    }
    if (row.index == 1 && !row.isAddItem) {
        return localized(isNotes ? "group_Allnotes" : "group_AllFiles");
    }
    if (row.isAddItem) {
        return localized("addGroupRow.title");
    }
    return row.name;
}

void appendSection(QList<SidebarEntry>& out, const RowList& rows, bool isLocal, bool isNotes, bool isRemovable) {
    qsizetype allNotes = 0;
    if (isNotes) {
        for (const GroupModelPtr& row : rows) {
            allNotes += itemCount(*row);
        }
    }
    for (const GroupModelPtr& row : rows) {
        SidebarEntry entry;
        entry.group = row;
        entry.row = out.size();
        entry.groupRow = row->index;
        entry.groupName = row->groupName;
        entry.isGroupDir = row->isGroupDir;
        entry.isGroupNote = row->isNotes;
        entry.isHeader = row->isHeader;
        entry.isAddItem = row->isAddItem;
        entry.isRemovableVault = isRemovable;
        entry.canSelected = !row->isHeader;
        entry.title = titleFor(*row, isLocal, isNotes, isRemovable);
        if (row->isHeader) {
            entry.icon = isNotes ? SidebarEntry::Icon::SecureNotes : SidebarEntry::Icon::LocalVault;
        }
        if (isNotes && !row->isHeader && !row->isAddItem) {
            const qsizetype count = row->index == 1 ? allNotes : itemCount(*row);
            if (count >= 1) {
                entry.countText = QString::number(count);
            }
        }
        out.append(entry);
    }
}

}  // namespace

QList<SidebarEntry> composeSidebar(const RowList& groupDirList, const UpLibrary& upLibrary,
                                   const RowList& groupNoteList, const VaultMountedTest& isMounted) {
    QList<SidebarEntry> entries;
    qsizetype total = groupDirList.size() + groupNoteList.size();
    for (auto it = upLibrary.cbegin(); it != upLibrary.cend(); ++it) {
        total += it.value().size();
    }
    entries.reserve(total);
    appendSection(entries, groupDirList, true, false, false);
    for (auto it = upLibrary.cbegin(); it != upLibrary.cend(); ++it) {
        if (isMounted && isMounted(it.key())) {
            appendSection(entries, it.value(), false, false, true);
        }
    }
    appendSection(entries, groupNoteList, false, true, false);
    return entries;
}

qsizetype findSidebarRow(const QList<SidebarEntry>& entries, const QString& groupName, qint64 groupIndex) {
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const SidebarEntry& entry = entries[i];
        if (entry.canSelected && !entry.isAddItem && entry.groupName == groupName && entry.groupRow == groupIndex) {
            return i;
        }
    }
    return -1;
}

std::shared_ptr<FileModelList> composeItemList(const RowList& rows, qint64 selectedIndex) {
    if (selectedIndex == 1) {
        auto all = std::make_shared<FileModelList>();
        qsizetype total = 0;
        for (const GroupModelPtr& row : rows) {
            total += itemCount(*row);
        }
        all->reserve(total);
        for (const GroupModelPtr& row : rows) {
            if (row->fileModels) {
                all->append(*row->fileModels);
            }
        }
        return all;
    }
    if (selectedIndex >= 0 && selectedIndex < rows.size() && rows[selectedIndex]->fileModels) {
        return rows[selectedIndex]->fileModels;
    }
    return std::make_shared<FileModelList>();
}

FileModelList searchItems(const FileModelList& items, const QString& text) {
    FileModelList found;
    const QString needle = text.toLower();
    for (const FileModelPtr& item : items) {
        if (item->name.toLower().contains(needle)) {
            found.append(item);
        }
    }
    return found;
}

}  // namespace tessaro
