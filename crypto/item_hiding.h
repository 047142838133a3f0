#pragma once

#include "core/file_model.h"
#include "crypto/tree_walk.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro {

// Hiding and unhiding of one item as a whole, for the window and the command-line tool
// alike: walk, completion test, and only then removal of the side that is no longer
// needed. Removal takes away only what the walk itself copied, and only when it is
// unchanged, so a file the user put into the folder meanwhile is never lost.
struct ItemResult {
    bool complete = false;       // every file written and synced, and the byte count reached
    bool cancelled = false;
    bool outOfSpace = false;     // stopped at a full disk
    bool sourceRemoved = false;  // the plain item (hide) or the stored copy (unhide) is gone
    QString restoredPath;        // unhide: where the item now is
    bool restoredBeside = false; // unhide: the plain location was taken
    QStringList problems;        // what the user should be told, one line each
    // Hide: what is still at the plain location after a complete store (files that changed
    // or came in meanwhile, a folder that could not be emptied). The item is hidden, but not
    // out of sight: that is a failure to show, never a success.
    QStringList leftBehind;
    bool hiddenAndGone() const { return complete && leftBehind.isEmpty(); }
};

struct HideOptions {
    bool removeSource = true;    // delete the plain item (or the stored copy) once complete
    QString ownerStamp;          // hide: empty for the stamp of the password in force
    bool replaceExisting = false;  // hide: the item's own earlier stored copy gives way
    bool sizeJustMeasured = false; // hide: `fileSize` is fresh (an add measured it); not again
    QString workDirectoryName;   // hide: see walk::StoreOptions
    QString temporaryName;       // unhide: see walk::RestoreOptions
    std::function<bool(const QString& target)> beforePlacing;  // unhide: see walk::RestoreOptions
    // Called once the new copy is complete and in place, before the old side is removed (or
    // kept), with the restored path for an unhide; false keeps the old side where it is.
    std::function<bool(const QString& restoredPath)> beforeRemovingSource;
};

// Stores the item of `model` into `paths.storedTop`. Measures the item afresh (fileSize)
// unless the caller just did, resets the counters and runs the encryption walk; once it is
// complete, `fileSize` is what was stored. The cancel flag is the caller's: a
// cancel that came before the walk began stops it at once. An incomplete store leaves the plain
// item and the container as they were.
ItemResult hideItem(const FileModelPtr& model, const walk::ItemPaths& paths, const walk::WalkProgress& progress = {},
                    HideOptions options = {});

// Restores the stored copy to `paths.plainPath` (or beside it). The stored copy is removed
// only after a complete restore, and only the stored files this run restored.
ItemResult unhideItem(const FileModelPtr& model, const walk::ItemPaths& paths,
                      const walk::WalkProgress& progress = {}, HideOptions options = {});

// The same, with the paths the record gives (vault base, encryptedPath, name, class).
ItemResult hideRecord(const FileModelPtr& model, const walk::WalkProgress& progress = {});
ItemResult unhideRecord(const FileModelPtr& model, const walk::WalkProgress& progress = {});

}  // namespace tessaro
