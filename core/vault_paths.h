#pragma once

#include <QString>

namespace tessaro {

// Joins one component onto a path with exactly one separator between them.
QString joinPath(const QString& base, const QString& component);

// Every location the system keeps on disk, from the local vault root (the setting
// "kRootDirKey") or from a removable drive's vault directory.
namespace vaultpaths {

inline constexpr char kGroupDirList[] = "GroupDirlist.plist";
inline constexpr char kGroupNotesList[] = "GroupNoteslist.plist";
inline constexpr char kGroupMoveUPList[] = "GroupMoveUPlist.plist";
inline constexpr char kNotesDir[] = "Notes";
inline constexpr char kThumbDir[] = "Thumb";
inline constexpr char kVaultSuffix[] = ".flp";

// The vault root, or a null string when it was never chosen.
QString AppRootDirKey();
QString AppRootNoteDirPath();
QString AppGroupDirListPath();
QString AppGroupNotesListPath();
// Volumes root / volume / directory; no check, no side effect.
QString AppRootMoveUpDirPath(const QString& volume, const QString& directory);
// The removable-drive vault's catalogue path; creates the vault directory and its "Thumb"
// directory when the vault directory is missing, and makes the catalogue file executable
// when it exists.
QString AppGroupMoveUPListPath(const QString& volume, const QString& directory);
// The vault directory that holds `path` (itself included): the vault root, or a directory
// holding a catalogue file. Empty when the path lies in no vault.
QString vaultDirectoryContaining(const QString& path);

// Called on every directory a walk creates; deliberately does nothing.
void chmodPath(const QString& path);

// Creates a directory (mode 0700) with its intermediates when nothing exists there,
// logging `createdLine` or `failedLine` (with the reason). Returns whether the directory
// exists; an empty path is false, without a log line.
bool ensureDirectory(const QString& path, const char* createdLine, const char* failedLine);

}  // namespace vaultpaths
}  // namespace tessaro
