#pragma once

#include "core/file_model.h"
#include "notes/rtf_reader.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QTextDocument;

namespace tessaro::notes {

// Inside a package: the note's text, and where a damaged one is kept aside.
inline constexpr char kNoteFileName[] = "TXT.rtf";
inline constexpr char kDamagedInfix[] = ".damaged-";
// A note file larger than this is not opened (and so never replaced): no note typed in the
// editor comes near it, and reading it whole could exhaust memory.
inline constexpr qint64 kMaxNoteBytes = 256LL << 20;

// Where one note's content lives: a directory directly inside the vault's "Notes" directory.
// Only `of` makes one, after checking the record, so code that touches a note's files can
// take this value and never a path read from the catalogue.
class NotePackage {
public:
    // The package of a note record. The record's path must be a single safe name inside
    // `notesDirectory`; a path whose folder is the "Notes" directory of another vault root
    // (the root was moved) names the package of that name here. Anything else is refused,
    // with the reason in `why`.
    static std::optional<NotePackage> of(const FileModel& note, const QString& notesDirectory, QString* why = nullptr);
    // A package of that name in that directory; absent when the name is not a safe one.
    static std::optional<NotePackage> named(const QString& notesDirectory, const QString& name);

    const QString& notesDirectory() const { return notesDirectory_; }
    const QString& name() const { return name_; }
    QString path() const;

private:
    NotePackage(QString notesDirectory, QString name) : notesDirectory_(std::move(notesDirectory)), name_(std::move(name)) {}
    QString notesDirectory_;
    QString name_;
};

// A name that can be a package: one component, not "." or "..", no "/", no control
// characters, no leading dot (our own temporary files begin with one), at most 255 bytes.
bool isSafePackageName(const QString& name);

// What opening a note found.
struct NoteText {
    enum class State {
        Read,     // the text is in the document
        Empty,    // no file, or an empty one: a new note, or one whose package was removed
        Damaged,  // the file is not RTF, or not all of it could be read; the document holds
                  // what could be; the next save keeps the file aside first
        Partial,  // RTF read in full, but it holds content a note cannot keep (pictures):
                  // the next save keeps the file aside first too
        Refused,  // the file must not be touched (a link, not a regular file, too large, or a
                  // record pointing outside the notes): the document is empty and saving is refused
    };
    State state = State::Empty;
    QString reason;  // Damaged and Refused: what is wrong, for the user
    bool mustKeepAside() const { return state == State::Damaged || state == State::Partial; }
};

// The bytes of the note's "TXT.rtf" as they are, read under the same rules as openNote:
// Read (possibly empty bytes), Empty when there is no file, or Refused.
NoteText readNoteFile(const NotePackage& package, QByteArray& bytes);

// Reads the note's "TXT.rtf" into `document` (emptied first), never following a symbolic
// link.
NoteText openNote(const NotePackage& package, QTextDocument& document);

struct NoteSave {
    bool ok = false;
    QString error;
    // Set when this save moved the previous file aside first.
    QString keptAsidePath;
};

// Replaces the note's "TXT.rtf" by `rtf` atomically (temporary sibling, fsync, rename):
// after a crash the file is the old one or the new one, never a part. The package is made
// when missing. With `keepAsideFirst` an existing file is first renamed to
// "TXT.rtf.damaged-<seconds>" (never over another). A package or file that is a link or not
// what it should be is refused.
NoteSave saveNote(const NotePackage& package, const QByteArray& rtf, bool keepAsideFirst, qint64 secondsSince1970);

}  // namespace tessaro::notes
