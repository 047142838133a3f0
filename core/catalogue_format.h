#pragma once

#include "core/group_model.h"
#include "core/plist.h"

#include <QByteArray>
#include <QString>

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

struct RowsResult {
    std::optional<RowList> rows;
    QString error;
};

// Rows from the root array of a file. Every row and item gets `listKey`; positions give
// `index`, `groupIndex` and `fileIndex`. Local items without a hardware address get
// `currentMacAddress`. Removable-drive item paths are moved onto `volumeName` (the volume
// the drive is mounted as now). A root that is not an array, or an element that is not a
// dictionary, makes the whole file unreadable: half a catalogue is not loaded as if it were
// all of it.
RowsResult rowsFromPlist(const plist::Value& root, ListKind kind, const QString& listKey,
                         const QString& currentMacAddress, const QString& volumeName = QString());

// A removable-drive item path moved onto the volume `volumeName`: the first piece below
// the volumes root (the volume name when it was saved) is replaced. Paths written under
// "/Volumes/" by other systems are moved the same way. Other paths are left as they are.
QString rewriteVolumePath(const QString& storedPath, const QString& volumeName);

// Reading a catalogue file from disk.
struct FileRead {
    enum class Status { Missing, Read, Damaged, Unreadable };
    Status status = Status::Missing;
    std::optional<plist::Value> root;
    QString reason;
};
FileRead readCatalogueFile(const QString& path);

// A whole list file: read, then turned into rows. A file that parses but is not a
// catalogue counts as damaged.
struct ListRead {
    FileRead::Status status = FileRead::Status::Missing;
    std::optional<RowList> rows;
    QString reason;
};
ListRead readRowListFile(const QString& path, ListKind kind, const QString& listKey, const QString& currentMacAddress,
                         const QString& volumeName = QString());

// Writes a list atomically; false with a reason when nothing was replaced.
bool writeRowListFile(const QString& path, const RowList& rows, ListKind kind, const std::optional<QString>& password,
                      QString* error);

// Moves a damaged file aside to "<name>.damaged-<seconds since 1970>" (with "-2", "-3"...
// when that name is taken) in the same directory. The new path, or absent.
std::optional<QString> moveAside(const QString& path, qint64 secondsSince1970, QString* error);

}  // namespace tessaro::catalogue
