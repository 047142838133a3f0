#pragma once

#include "core/file_model.h"
#include "crypto/stored_file.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace tessaro::walk {

// Caller's progress callback: the index of the file being worked on and the record's
// byte count so far.
using WalkProgress = std::function<void(qint64 fileIndex, float bytes)>;

// Where one item lives: its plain location, its stored top (item container / swapped item
// name) and the class its name decides.
struct ItemPaths {
    QString plainPath;
    QString storedTop;
    storedfile::ItemClass itemClass = storedfile::ItemClass::Binary;
};

// The vault base of a record: the removable drive's vault directory for an item on a
// volume, else the vault root.
QString vaultBaseFor(const FileModel& model);
QString itemContainerFor(const FileModel& model);
// Paths as the record gives them (stored top from `name`, class from `path`).
ItemPaths pathsForRecord(const FileModel& model);
storedfile::ItemClass classForItemName(const QString& itemPathOrName);

// One file a walk wrote, with what the source looked like when it was read.
struct WalkedFile {
    QString sourcePath;
    QString writtenPath;
    qint64 sourceSize = 0;
    qint64 sourceModifiedNs = 0;
    bool replacedExisting = false;
};

struct WalkReport {
    int filesDone = 0;
    int filesFailed = 0;
    bool cancelled = false;
    QStringList problems;                 // one line per failed file or directory
    std::vector<WalkedFile> files;        // written, synced and in place
    QStringList visitedSourceDirectories; // pre-order, the top first
    QStringList createdDirectories;       // on the writing side, in creation order
    QString restoredPath;                 // restore: where the item now is
    bool restoredBeside = false;          // restore: the plain location was taken

    bool complete() const { return !cancelled && filesFailed == 0; }
};

// The size pass: adds the size of every file of the item to `fileSize` and returns it.
// Sizes come from the file system; nothing is read.
qint64 measureItem(FileModel& model, const QString& plainPath, const WalkProgress& progress = {});

// The encryption walk: every file of the item into its stored top. Empty subfolders are
// kept as empty directories so that nothing of the item's shape is lost.
// `ownerStamp` empty: the stamp of the password in force.
WalkReport storeItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress = {},
                     const QString& ownerStamp = QString());

// The decryption walk: the whole item is restored into a temporary sibling of its plain
// location and moved into place only when every file was restored and synced; when the
// plain location is taken it lands beside it under a new name. An incomplete restore
// leaves nothing behind.
WalkReport restoreItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress = {});

// "name (restored).ext", "name (restored 2).ext", ... : the first free name beside `path`.
QString freeNameBeside(const QString& path);

// Removes the leftover temporary files and folders of earlier interrupted runs in
// `directory` (only names of our own partial-file pattern; with `forName` only those made
// for that name; with `recursive` also in every folder below). Returns how many.
int removeLeftovers(const QString& directory, const QString& forName = QString(), bool recursive = false);

// Current header length: the length of the header the current owner stamp would have.
qint64 currentHeaderLength();

}  // namespace tessaro::walk
