#pragma once

#include "core/group_model.h"
#include "core/plist.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro::catalogue {

// Keys of the row and item dictionaries, in the order they are written.
namespace rowkeys {
inline constexpr char name[] = "name";
inline constexpr char path[] = "path";
inline constexpr char index[] = "index";
inline constexpr char isHeader[] = "isHeader";
inline constexpr char isAddItem[] = "isAddItem";
inline constexpr char isNotes[] = "isNotes";
inline constexpr char isGroupDir[] = "isGroupDir";
inline constexpr char password[] = "password";
inline constexpr char macAddress[] = "macAddress";
inline constexpr char FileModel[] = "FileModel";
}  // namespace rowkeys

namespace itemkeys {
inline constexpr char path[] = "path";
inline constexpr char name[] = "name";
inline constexpr char encryptedPath[] = "encryptedPath";
inline constexpr char macAddress[] = "macAddress";
inline constexpr char createDate[] = "createDate";
inline constexpr char addDate[] = "addDate";
inline constexpr char groupIndex[] = "groupIndex";
inline constexpr char fileSize[] = "fileSize";
inline constexpr char isEncrtypt[] = "isEncrtypt";
}  // namespace itemkeys

// Which of the three kinds of file a list belongs to; they differ in a few keys.
enum class ListKind { Local, Notes, Removable };

// The file form of a list, written straight from the rows. For a removable-drive vault
// `password`, when given, replaces the `password` of every row in the file (not in memory).
plist::SerializeResult serializeRows(const RowList& rows, ListKind kind,
                                     const std::optional<QString>& password = std::nullopt);

// What reading a list needs to know besides the file.
struct ListSource {
    ListKind kind = ListKind::Local;
    // Given to every row and item.
    QString listKey;
    // Local items recorded without a hardware address get this one.
    QString currentMacAddress;
    // Removable-drive vaults: the volume the drive is mounted as now; item paths move onto it.
    QString volumeName;
    // The directory that items' `encryptedPath` is relative to (R or D), so that an item
    // whose hidden flag cannot be read can be told hidden or shown by what is on disk.
    // Empty: such a flag reads as false.
    QString vaultBase;
};

struct RowsResult {
    // Absent only when the root is not an array: then nothing of the file is a list.
    std::optional<RowList> rows;
    // Each row, item or field that could not be read: where it is, what was expected and
    // found, and what was done instead. Empty when the whole file was read.
    QStringList unreadable;
};

// Rows from the root array of a file, decided field by field: a field whose value cannot
// mean its type gets its default (and is listed in `unreadable`), so that one bad value
// costs only itself. A row or item that is not a dictionary, or an item whose path cannot
// be read (nothing tells where it belongs), is left out and listed. Positions give
// `index`, `groupIndex` and `fileIndex`.
RowsResult rowsFromPlist(const plist::Value& root, const ListSource& source);

// A removable-drive item path moved onto the volume `volumeName`: the first piece below
// "/Volumes/" (the volume name when it was saved) is replaced, and the result is where that
// volume is mounted now. Paths written below a mount root by earlier versions are moved the
// same way. Other paths are left as they are.
QString rewriteVolumePath(const QString& storedPath, const QString& volumeName);

// Reading a catalogue file from disk.
struct FileRead {
    enum class Status { Missing, Read, Damaged, Unreadable };
    Status status = Status::Missing;
    // Read: the document. Damaged: what could be read before the text went wrong, if
    // anything.
    std::optional<plist::Value> root;
    QString reason;
};
FileRead readCatalogueFile(const QString& path);

// What a catalogue file lost when it was read, for the user.
struct DamageReport {
    QString path;              // the catalogue file
    QString asidePath;         // where the original was set aside; empty when it stayed in place
    qsizetype groupsKept = 0;  // the all-items group and user groups read from the file
    qsizetype itemsKept = 0;
    QStringList unreadable;  // see RowsResult; the first line may say where the text breaks off
};

// A whole list file: read, then turned into rows.
struct ListRead {
    // Damaged: the file exists but could not be read in full (see `damage`).
    FileRead::Status status = FileRead::Status::Missing;
    // Read: the list. Damaged: the part that could be read, absent when nothing could.
    std::optional<RowList> rows;
    QString reason;  // Damaged and Unreadable: why, in one line
    DamageReport damage;
};
ListRead readRowListFile(const QString& path, const ListSource& source);

// Writes a list atomically; false with a reason when nothing was replaced.
bool writeRowListFile(const QString& path, const RowList& rows, ListKind kind, const std::optional<QString>& password,
                      QString* error);

// Moves a damaged file aside to "<name>.damaged-<seconds since 1970>" (with "-2", "-3"...
// when that name is taken) in the same directory. The new path, or absent.
std::optional<QString> moveAside(const QString& path, qint64 secondsSince1970, QString* error);

}  // namespace tessaro::catalogue
