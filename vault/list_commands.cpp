#include "vault/list_commands.h"

#include "core/record_check.h"

#include "vault/item_operations.h"

#include <QFileInfo>

namespace tessaro::vault {

namespace {

bool isItemRow(const GroupModel& row) { return !row.isHeader && !row.isAddItem && row.fileModels; }

}  // namespace

RecordPlace findRecord(const RowList& rows, const FileModelPtr& item) {
    if (!item) {
        return {};
    }
    for (qsizetype g = 0; g < rows.size(); ++g) {
        if (!rows[g] || !rows[g]->fileModels) {
            continue;
        }
        const qsizetype position = rows[g]->fileModels->indexOf(item);
        if (position >= 0) {
            return RecordPlace{g, position};
        }
    }
    return {};
}

bool isUserGroup(const RowList& rows, qint64 groupIndex) {
    // Row 0 is the header, row 1 the all-items group, the last row the add row.
    return groupIndex > 1 && groupIndex < rows.size() - 1 && rows[groupIndex] && !rows[groupIndex]->isHeader &&
           !rows[groupIndex]->isAddItem;
}

ListChange removeVisibleRecord(RowList& rows, const FileModelPtr& item) {
    const RecordPlace place = findRecord(rows, item);
    if (!place.found()) {
        return ListChange::refused(QStringLiteral("the item is not in this list"));
    }
    if (item->isEncrtypt) {
        return ListChange::refused(
            QStringLiteral("%1 is hidden: it must be unhidden before it leaves the list").arg(item->path));
    }
    rows[place.group]->fileModels->removeAt(place.position);
    renumberRowList(rows);
    return ListChange{true, {}};
}

RemoveOutcome removeFromList(RowList& rows, const FileModelPtr& item, const walk::WalkProgress& progress) {
    RemoveOutcome outcome;
    if (!findRecord(rows, item).found()) {
        outcome.refusal = QStringLiteral("the item is not in this list");
        return outcome;
    }
    // Its paths cannot be trusted, so neither can the look at the disk that would tell
    // whether the record is all that is left: it stays until the catalogue is mended.
    if (const std::optional<QString> damage = recordDamage(*item)) {
        outcome.refusal = damagedRecordRefusal(*item, *damage, QStringLiteral("removed"));
        return outcome;
    }
    if (item->isEncrtypt) {
        const DiskState before = diskStateOf(*item);
        // The vault must be there to tell: an absent vault directory (a pulled drive) makes
        // every container look gone.
        const bool vaultPresent = QFileInfo(vaultDirectoryOf(*item)).isDir();
        if (before.plain || before.stored || !vaultPresent) {
            outcome.unhid = true;
            outcome.unhide = unhideRecordJournaled(item, progress);
            applyUnhideOutcome(*item, outcome.unhide, diskStateOf(*item));
            if (!outcome.unhide.complete || item->isEncrtypt) {
                outcome.refusal = QStringLiteral("%1 was not unhidden, so it stays in the list").arg(item->path);
                return outcome;
            }
        } else {
            // Nothing of it is left to reach: the record is all there is.
            item->isEncrtypt = false;
        }
    }
    const ListChange change = removeVisibleRecord(rows, item);
    outcome.removed = change.done;
    outcome.refusal = change.refusal;
    return outcome;
}

ListChange renameGroup(RowList& rows, qint64 groupIndex, const QString& name) {
    if (!isUserGroup(rows, groupIndex)) {
        return ListChange::refused(QStringLiteral("only a group of your own can be renamed"));
    }
    if (name.trimmed().isEmpty()) {
        return ListChange::refused(QStringLiteral("a group needs a name"));
    }
    rows[groupIndex]->name = name;
    rows[groupIndex]->isEditing = false;
    return ListChange{true, {}};
}

GroupDeletion deleteGroup(RowList& rows, qint64 groupIndex, qint64 selectGroupIndex) {
    GroupDeletion deletion;
    deletion.selectGroupIndex = selectGroupIndex;
    if (!isUserGroup(rows, groupIndex) || rows.size() < 2 || !rows[1] || !isItemRow(*rows[1])) {
        deletion.change = ListChange::refused(QStringLiteral("only a group of your own can be deleted"));
        return deletion;
    }
    const GroupModelPtr group = rows[groupIndex];
    if (group->fileModels) {
        rows[1]->fileModels->append(*group->fileModels);
        deletion.movedItems = group->fileModels->size();
        group->fileModels->clear();
    }
    rows.removeAt(groupIndex);
    renumberRowList(rows);
    if (selectGroupIndex >= groupIndex) {
        // The deleted row's own selection goes to the row before it; a later row's follows it.
        deletion.selectGroupIndex = selectGroupIndex - 1;
    }
    deletion.change = ListChange{true, {}};
    return deletion;
}

GroupModelPtr newGroup(RowList& rows, const QString& name, qint64 secondsSince1970) {
    if (rows.size() < 2 || !rows.last() || !rows.last()->isAddItem) {
        return nullptr;
    }
    const GroupModelPtr& addRow = rows.last();
    GroupModelPtr group = makeGroupRow(name, addRow->groupName, addRow->isNotes, secondsSince1970);
    rows.insert(rows.size() - 1, group);
    renumberRowList(rows);
    return group;
}

}  // namespace tessaro::vault
