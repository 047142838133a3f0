#pragma once

#include "core/file_model.h"
#include "crypto/item_paths.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>
#include <vector>

namespace tessaro::walk {

// Caller's progress callback: the index of the file being worked on and the record's
// byte count so far.
using WalkProgress = std::function<void(qint64 fileIndex, float bytes)>;

// One file a walk read and wrote, with what its source looked like when it was opened, so
// that the source is removed afterwards only when it is still that file.
struct WalkedFile {
    QString relativePath;  // inside the item, "/" first; empty for a single-file item
    qint64 size = 0;
    qint64 modifiedNs = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

struct WalkReport {
    int filesDone = 0;
    int filesFailed = 0;
    bool cancelled = false;
    bool outOfSpace = false;              // the walk stopped at a full disk
    QStringList problems;                 // what failed, where and why; one line each
    std::vector<WalkedFile> files;        // all in place at the destination, durable
    QStringList sourceDirectories;        // relative ("" the top, then "/sub", ...), pre-order
    QString restoredPath;                 // restore: where the item now is
    bool restoredBeside = false;          // restore: the plain location was taken

    bool complete() const { return !cancelled && filesFailed == 0; }
};

// The size pass: adds the size of every file of the item to `fileSize` and returns it.
// Sizes come from the file system; nothing is read.
qint64 measureItem(FileModel& model, const QString& plainPath, const WalkProgress& progress = {});

struct StoreOptions {
    QString ownerStamp;          // empty: the stamp of the password in force
    // The stored top is in place already (the item's own copy, left by unhiding all) and
    // is to be replaced by the new copy. Without it an existing stored top refuses the store.
    bool replaceExisting = false;
    // Name of the work directory made inside the container for this walk (it must not
    // exist); empty: a fresh name. A caller that records it can clean up after a crash.
    QString workDirectoryName;
};

// The encryption walk. The whole stored top is assembled in a work directory of the item
// container, made durable, and only then moved to its name, in one step that never
// replaces or merges into anything there. A failed or cancelled walk leaves the container
// as it was. Empty subfolders are kept as empty directories.
WalkReport storeItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress = {},
                     const StoreOptions& options = {});

struct RestoreOptions {
    // Name of the temporary made beside the plain location (it must not exist); empty: a
    // fresh name.
    QString temporaryName;
    // Called with the full target path just before the complete, durable item is moved
    // there (again for each new name when the first is taken); false leaves it unplaced.
    std::function<bool(const QString& target)> beforePlacing;
};

// The decryption walk: the whole item is restored into a temporary beside its plain
// location and moved into place only when every file was restored and synced; when the
// plain location is taken it lands beside it under a new name. An incomplete restore
// leaves nothing behind.
WalkReport restoreItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress = {},
                       const RestoreOptions& options = {});

// "name (restored).ext", "name (restored 2).ext", ... : the first free name beside `path`.
QString freeNameBeside(const QString& path);

// Prefixes of the work directory of a store and the temporary of a restore. Nothing is
// ever skipped or removed for carrying them: a caller cleans up only the names it recorded.
inline constexpr char kWorkDirectoryPrefix[] = ".tessaro-work-";
inline constexpr char kRestoreTemporaryPrefix[] = ".tessaro-restore-";

}  // namespace tessaro::walk
