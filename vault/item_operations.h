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
ItemResult hideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress = {});
// `keepStoredCopy`: unhiding all leaves every item's container in place.
ItemResult unhideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress = {},
                                 bool keepStoredCopy = false);

// The item's state after a walk, as the disk now has it: hidden exactly when a hide
// completed, visible exactly when an unhide completed (an item restored beside a taken
// location is now recorded there). A cancelled or failed walk leaves the state it had
// before. Returns whether the record changed.
bool applyHideOutcome(FileModel& record, const ItemResult& result);
bool applyUnhideOutcome(FileModel& record, const ItemResult& result);

// The vault directory a record's journal and lock belong to.
QString vaultDirectoryOf(const FileModel& record);

}  // namespace tessaro::vault
