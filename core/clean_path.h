#pragma once

#include <QString>

namespace tessaro {

// A path as the user spelled it (a trailing slash from tab completion, ".", "..", doubled
// slashes, a symbolic link among its folders) turned into the one spelling under which the
// item is recorded, named and classed, so that every spelling names the same item.
struct CleanPath {
    QString path;   // absolute, no "." or ".." or empty components, no trailing slash
    QString error;  // why the spelling names no item; empty when `path` is set
    bool ok() const { return error.isEmpty(); }
    // The last component: the item's name.
    QString name() const;
};

// An item: its folders are resolved through symbolic links, the last component is kept as it
// is (a link given as an item stays a link). "." and ".." at the end name the folder they
// lead to. The root folder names no item.
CleanPath cleanItemPath(const QString& spelled);

// A destination folder: resolved through symbolic links all the way, as far as it exists;
// the part that does not exist yet is cleaned by its spelling.
CleanPath cleanFolderPath(const QString& spelled);

// The folder of a clean absolute path ("/" for a top-level entry), and its last component
// (trailing separators ignored).
QString parentOfPath(const QString& path);
QString lastPathComponent(const QString& path);

}  // namespace tessaro
