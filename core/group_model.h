#pragma once

#include "core/file_model.h"

#include <QList>
#include <QString>

#include <memory>

namespace tessaro {

using FileModelList = QList<FileModelPtr>;

// One sidebar row: a section header, the all-items group, a user group or the add row.
struct GroupModel {
    bool isHeader = false;
    bool isAddItem = false;
    bool isGroupDir = false;
    bool isNotes = false;
    bool isEditing = false;
    qint64 index = 0;
    QString name;
    QString path;
    QString groupName;
    QString password;
    QString macAddress;
    // Absent (null) for headers and add rows; the all-items group and every user group
    // carry a list, possibly empty.
    std::shared_ptr<FileModelList> fileModels;
};

using GroupModelPtr = std::shared_ptr<GroupModel>;
// The rows of one section, in order. Row 0 is the header, row 1 the all-items group, the
// last row the add row; positions are identities.
using RowList = QList<GroupModelPtr>;

// List keys of the two local sections.
inline constexpr char kLocalListKey[] = "systemDevicName";
inline constexpr char kNotesListKey[] = "systemDevicNoteName";

// Re-establishes `index`, `groupIndex`, `fileIndex` and `groupName` from positions, as
// after every load, row removal or item removal.
void renumberRowList(RowList& rows);

// "%lu-%@": the decimal unsigned hash of `name` and the time in whole seconds since 1970.
QString groupDirectoryName(const QString& name, qint64 secondsSince1970);

// A stable unsigned 64-bit hash of a text (FNV-1a over its UTF-8 bytes). Only ever printed
// into names that are read back, never recomputed and compared.
quint64 stableHash(const QString& text);

// A new user group row for a list, with an empty item list.
GroupModelPtr makeGroupRow(const QString& name, const QString& listKey, bool isNotes, qint64 secondsSince1970);

}  // namespace tessaro
