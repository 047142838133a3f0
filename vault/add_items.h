#pragma once

#include "core/catalogue.h"
#include "core/file_model.h"

#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro::vault {

// Adding files and folders to a vault, in three steps so that the window can do the disk
// work on its worker: choose the target row (catalogue, any thread that owns it), build and
// prepare the records (disk: thumbnails, containers, sizes; any thread), commit them to the
// row (catalogue). The items are then hidden one after another (item_operations).

// Where new records go: the selected group of the local vault, or its all-items group.
struct AddTarget {
    GroupModelPtr row;   // null when there is nowhere to add
    QString listKey;     // "systemDevicName", or a removable vault's key
    int saveWhich = 0;   // the argument of SaveGroupList for this list
};
AddTarget addTargetFor(Catalogue& catalogue, const QString& selectGroupName, qint64 selectGroupIndex);

// Every path the catalogue's records name: the local vault's and those of mounted drive
// vaults. Added paths already among them are dropped.
QSet<QString> recordedPaths(const Catalogue& catalogue);

// The icon of a path, as the file manager would show it, for thumbnails of items that are
// not pictures; may return a null image (then no thumbnail is written).
using IconSource = std::function<QImage(const QString& path)>;

struct PreparedAdd {
    FileModelList records;   // in the order the paths were given
    QStringList refused;     // one line per path that was not added, with the reason
};

// Cleans the paths, drops duplicates (of the catalogue's records and within the batch) and
// refuses what cannot be an item (missing, the vault itself or what holds it, an item inside
// another item or holding one, or a removable drive other than the target vault's), then builds one record per kept
// path with every field in order and prepares it: thumbnail, container, size pass.
// `firstPosition` is the number of items the target row held before this add.
PreparedAdd prepareAdd(const QStringList& paths, const QSet<QString>& alreadyRecorded, const AddTarget& target,
                       qint64 firstPosition, const IconSource& icons);

// Appends the prepared records to the target row. The caller saves the catalogue.
void commitAdd(const AddTarget& target, const FileModelList& records);

// The thumbnail of a new record: a picture's own, scaled to at most 200 x 200 and written in
// TIFF (replacing an earlier one); for other items the icon, written only when the shared
// thumbnail of that extension is not there yet. Readable by the owner only.
void writeThumbnail(const FileModel& record, const IconSource& icons);

}  // namespace tessaro::vault
