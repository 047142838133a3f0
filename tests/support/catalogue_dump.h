#pragma once

#include "core/group_model.h"
#include "support/qt_printing.h"

#include <QStringList>

namespace tessaro::testing {

// A record as one line a test compares whole, so that a wrong field shows beside the right
// ones: "name | path | encryptedPath | macAddress | createDate | addDate | fileSize | hidden".
QString dumpItem(const FileModel& item);

// The names of records in order, a hidden one marked with "*": "a.txt*, b.txt".
QString dumpNames(const FileModelList& items);

// The rows of a list, one line each: "header Local Vault", "group All Items 11-22: a.txt*,
// b.txt" (a hidden item marked with "*"), "add ". Flags that contradict the row's place are
// shown too, so a misread flag cannot hide behind the right name.
QStringList dumpRows(const RowList& rows);

}  // namespace tessaro::testing
