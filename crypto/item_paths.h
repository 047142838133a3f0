#pragma once

#include "core/file_model.h"
#include "crypto/stored_file.h"

#include <QString>

namespace tessaro::walk {

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
// The name of a record's stored top in its container: its item name, swapped.
QString storedNameFor(const FileModel& model);
// Paths as the record gives them (stored top from `name`, class from the item's name).
ItemPaths pathsForRecord(const FileModel& model);
// The class of an item by its own name (the last component, trailing separators ignored).
storedfile::ItemClass classForItemName(const QString& itemPathOrName);

// The length of the header the current owner stamp gives.
qint64 currentHeaderLength();

}  // namespace tessaro::walk
