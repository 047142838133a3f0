#pragma once

#include "core/file_model.h"
#include "core/group_model.h"
#include "notes/note_package.h"
#include "notes/notes_store.h"
#include "notes/rtf_writer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class QTextDocument;

namespace tessaro::notes {

// The note open in the editor, and its saves. The editor reports each change; the note is
// written at most kSaveDelayMs after the first unsaved one, so that typing into a note of a
// megabyte does not rewrite it on every keystroke. Whatever takes the note away (lock, idle
// lock, quit, another note, another group) calls flush() first, and so does the destructor:
// the last change is always on disk.
class OpenNote : public QObject {
    Q_OBJECT
public:
    static constexpr int kSaveDelayMs = 300;

    explicit OpenNote(QString notesDirectory, QObject* parent = nullptr);
    ~OpenNote() override;

    // Flushes the note open so far, then reads `note` into `document`, which this object
    // saves from until the next open() or close(). The result says whether the text could be
    // read; a damaged or partly readable file is kept aside by the first save.
    NoteText open(const FileModelPtr& note, QTextDocument* document);
    // Flushes and lets go of the note.
    void close();

    // The document changed: a save follows within kSaveDelayMs.
    void changed();
    // Writes the pending change now. True when nothing was pending or the write succeeded.
    bool flush();

    // Renames the open note (see renameNote), then writes the editor's content at its new
    // place. The caller stores the notes catalogue when the result is ok.
    NoteRenamed rename(const RowList& rows, const QString& title);

    FileModelPtr note() const { return note_; }
    bool isReadOnly() const { return refused_; }
    bool hasPendingChange() const { return pending_; }

signals:
    // A save failed; the change stays pending and is tried again with the next one.
    void saveFailed(const QString& reason);
    // The file that could not be read in full was kept aside before it was replaced: said
    // once per note.
    void keptAside(const QString& path);
    // The open note's text reached the disk.
    void written();

private:
    bool save();

    QString notesDirectory_;
    FileModelPtr note_;
    QPointer<QTextDocument> document_;
    QTimer timer_;
    bool pending_ = false;
    bool refused_ = false;
    bool keepAsideFirst_ = false;
    std::unique_ptr<IncrementalRtfWriter> writer_;
};

}  // namespace tessaro::notes
