#pragma once

#include "core/file_model.h"

#include <QString>

#include <optional>

namespace tessaro {

// A catalogue record of a file vault is a claim made by a file anyone may have written (a
// synced folder, a restored backup, a drive from another computer). Before anything acts on
// a record's paths they must say what this program itself would have written:
//
// - `path`, where the item lives while shown: absolute and clean (no "." or ".." component,
//   no doubled or trailing "/");
// - `name`, the item's name: one path component (not empty, not "." or "..", no "/");
// - `encryptedPath`, its container relative to the vault base: "<group folder>/<item hash>",
//   two clean components, so that it cannot leave the vault; the group folder is none of
//   the vault's own entries ("Notes", "Thumb", the catalogue files, anything beginning with
//   "." such as the journal and temporary files).
//
// None of them may hold a NUL character, which the system calls would take as the end.
// Notes are not covered: their name is a free title.
//
// Why the record cannot be acted on, in words the user can be shown; absent when it can.
// Pure: looks at nothing but the record's text.
std::optional<QString> recordDamage(const QString& name, const QString& path, const QString& encryptedPath);
std::optional<QString> recordDamage(const FileModel& record);

// The refusal a command gives for a damaged record: "<path> cannot be <done>: its catalogue
// record is damaged (<reason>)". `done` is the past participle ("hidden", "shown", ...).
QString damagedRecordRefusal(const FileModel& record, const QString& reason, const QString& done);

}  // namespace tessaro
