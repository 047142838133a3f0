#pragma once

#include "core/group_model.h"
#include "crypto/item_hiding.h"
#include "crypto/tree_walk.h"

#include <QString>

namespace tessaro::vault {

// The commands that change a row list without walking (remove an item from its list,
// rename, delete and add a group), for the window and tessaro-vault alike. They change
// the rows in place and renumber them; storing the catalogue is the caller's, as after
// every command. Nothing here deletes or moves anything on disk.

// Done, or refused with a reason the user can be shown.
struct ListChange {
    bool done = false;
    QString refusal;
    static ListChange refused(QString why) { return ListChange{false, std::move(why)}; }
};

// Where a record sits in its list: found by identity, never by the indexes it carries.
struct RecordPlace {
    qsizetype group = -1;
    qsizetype position = -1;
    bool found() const { return group >= 0; }
};
RecordPlace findRecord(const RowList& rows, const FileModelPtr& item);

// A user group: neither the header, nor the all-items group, nor the add row.
bool isUserGroup(const RowList& rows, qint64 groupIndex);

// Takes a visible item's record out of its group. Its plain item stays at its path and its
// thumbnail in "Thumb". A hidden item is refused: its record is the only way to its files.
[[nodiscard]] ListChange removeVisibleRecord(RowList& rows, const FileModelPtr& item);

// "Remove from List" as a whole: a visible item's record goes at once; a hidden item is
// unhidden first (journaled, as the toggle does) and its record goes only when the unhide
// completed. When it did not, the record stays, recording what the disk now holds. A
// hidden item of which nothing is left on disk (neither its plain item nor its container)
// has nothing to lose and goes at once. Runs the walk on the calling thread.
struct RemoveOutcome {
    bool removed = false;
    bool unhid = false;  // an unhide was run first; `unhide` says how it went
    ItemResult unhide;
    QString refusal;
};
[[nodiscard]] RemoveOutcome removeFromList(RowList& rows, const FileModelPtr& item, const walk::WalkProgress& progress = {});

// A user group takes the name as typed; an empty or blank name is refused, as are the
// header, the all-items group and the add row.
[[nodiscard]] ListChange renameGroup(RowList& rows, qint64 groupIndex, const QString& name);

// Deletes a user group: its items move, in their order, to the end of the all-items group
// (their containers stay where they are: `encryptedPath` does not name the group), the row
// goes and the list is renumbered. `selectGroupIndex` is the selection in this list; it
// follows the row it was on, and moves to the row before when that row was deleted.
struct GroupDeletion {
    ListChange change;
    qsizetype movedItems = 0;
    qint64 selectGroupIndex = 0;
};
[[nodiscard]] GroupDeletion deleteGroup(RowList& rows, qint64 groupIndex, qint64 selectGroupIndex);

// A new, empty user group just before the add row, renumbered; absent when the list has no
// add row to put it before.
GroupModelPtr newGroup(RowList& rows, const QString& name, qint64 secondsSince1970);

}  // namespace tessaro::vault
