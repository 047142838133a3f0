#pragma once

#include "core/group_model.h"
#include "notes/note_package.h"

#include <QString>

namespace tessaro::notes {

// The title a new note gets.
inline constexpr char kUntitledNote[] = "Untitled Note";

// The operations on notes as records in the notes rows (`groupNoteList`) and packages in the
// vault's "Notes" directory. They change the rows in memory and the packages on disk; the
// caller stores the notes catalogue afterwards (SaveGroupList(2)).

struct NoteCreated {
    FileModelPtr note;  // absent when the package could not be made (nothing changed)
    QString error;
};
// A new note at the end of row `groupIndex`: titled "Untitled Note", its package
// "Note<n>_<seconds>" (n: the notes the row held before) with an empty "TXT.rtf". A name
// already taken (another row's note made in the same second, or a package left by a deleted
// note) gets "-2", "-3"...: two notes never share a package.
NoteCreated createNote(RowList& rows, qint64 groupIndex, const QString& notesDirectory, const QString& macAddress,
                       qint64 secondsSince1970);

// Takes the note at (`groupIndex`, `fileIndex`) out of its row (the later ones move up);
// absent when there is none. Its package stays: see removeNotePackage.
FileModelPtr takeNote(RowList& rows, qint64 groupIndex, qint64 fileIndex);
// Removes a note's package with everything in it, unless another record of the rows still
// names it. Nothing outside the notes folder is touched, and a link is removed as a link.
bool removeNotePackage(const RowList& rows, const FileModel& note, const QString& notesDirectory, QString* error);

// Both: removes the note at (`groupIndex`, `fileIndex`) from its row (the later ones move up) and
// its package from disk. A record whose package is refused is still removed from the row;
// nothing outside the notes folder is touched. False, with the reason, when the package
// could not be removed in full (the record is removed all the same).
bool deleteNote(RowList& rows, qint64 groupIndex, qint64 fileIndex, const QString& notesDirectory, QString* error);

// The package name a title gets: the title itself when it is a safe name (isSafePackageName),
// otherwise the title with "/" and control characters turned into "_" and a leading dot into
// "_" (so "." and ".." become "_" and "_."), cut to fit 255 bytes with room for a "-n" suffix.
QString packageNameForTitle(const QString& title);

struct NoteRenamed {
    bool ok = false;     // the record has its new title, and its new path when it moved
    QString error;       // why nothing changed
    bool moved = false;  // the package has a new name
};
// Gives the note a new title, and its package the title's name. The package is renamed in
// one step, never over another note's package or anything else in the notes folder (a taken
// name gets "-2", "-3"...), so its content cannot be lost on the way; the caller then saves
// the editor's content there. A missing package only gets its new name recorded (the next
// save makes it). An empty title, or the title unchanged, changes nothing; a note whose
// package is refused is not renamed.
NoteRenamed renameNote(const RowList& rows, FileModel& note, const QString& title, const QString& notesDirectory);

// Orders notes by `notesSortType`: 1 date added, 2 title (case-sensitive), 3 date created;
// notes with equal keys keep their order.
void sortNotes(FileModelList& notes, qint64 notesSortType, bool isAscending);

// Every note of every row, row by row (the all-notes view).
FileModelList allNotes(const RowList& rows);

// When the note's text was last written (seconds since 1970), or when the note was made
// while it has no text file of its own yet.
qint64 lastEdited(const FileModel& note, const QString& notesDirectory);

}  // namespace tessaro::notes
