#pragma once

#include "core/file_model.h"
#include "crypto/item_hiding.h"
#include "crypto/tree_walk.h"

#include <QString>

namespace tessaro::vault {

// Hiding and unhiding one record of a vault: the record's paths, a journal entry written
// before the walk and at each of its steps, the walk with its completion test, and the
// removal of the side no longer needed. Runs on any thread; touches no window and no
// catalogue. The window's worker and tessaro-vault call exactly these. Once the catalogue
// that holds the outcome is saved, the caller clears the vault's journal (clearJournal).
// `sizeJustMeasured`: the record was measured moments ago (by an add). A damaged record (see
// recordDamage) is refused, saying why, before anything is done on disk; the outcome
// functions below leave it as it is.
ItemResult hideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress = {},
                               bool sizeJustMeasured = false);
// `keepStoredCopy`: unhiding all leaves every item's container in place.
ItemResult unhideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress = {},
                                 bool keepStoredCopy = false);

// Which of an item's two copies exist now.
struct DiskState {
    bool plain = false;
    bool stored = false;
};
DiskState diskStateOf(const FileModel& record);

// The item's state after a walk, as the disk now has it: hidden when a hide completed,
// visible when an unhide completed (an item restored beside a taken location is now
// recorded there). After a cancelled or failed walk the item is what its copies say: a hide
// leaves the plain item (visible), an unhide the stored copy (hidden), unless only the other
// copy exists. Returns whether the record changed.
bool applyHideOutcome(FileModel& record, const ItemResult& result, const DiskState& after);
bool applyUnhideOutcome(FileModel& record, const ItemResult& result, const DiskState& after);

// The vault directory a record's journal and lock belong to.
QString vaultDirectoryOf(const FileModel& record);

}  // namespace tessaro::vault
