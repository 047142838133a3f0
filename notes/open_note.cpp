#include "notes/open_note.h"

#include "core/log.h"
#include "notes/rtf_writer.h"

#include <QDateTime>
#include <QTextDocument>

namespace tessaro::notes {

OpenNote::OpenNote(QString notesDirectory, QObject* parent)
    : QObject(parent), notesDirectory_(std::move(notesDirectory)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kSaveDelayMs);
    connect(&timer_, &QTimer::timeout, this, [this] { save(); });
}

OpenNote::~OpenNote() { flush(); }

NoteText OpenNote::open(const FileModelPtr& note, QTextDocument* document) {
    close();
    note_ = note;
    document_ = document;
    QString why;
    const auto package = note ? NotePackage::of(*note, notesDirectory_, &why) : std::nullopt;
    if (!package || !document) {
        if (document) {
            document->clear();
        }
        refused_ = true;
        return {NoteText::State::Refused, why};
    }
    const NoteText text = openNote(*package, *document);
    // Made after the load, so that reading the note does not pay for tracking its changes.
    writer_ = std::make_unique<IncrementalRtfWriter>(*document);
    refused_ = text.state == NoteText::State::Refused;
    keepAsideFirst_ = text.mustKeepAside();
    if (text.state != NoteText::State::Read && text.state != NoteText::State::Empty) {
        logLine(QStringLiteral("note %1: %2").arg(package->path(), text.reason));
    }
    return text;
}

void OpenNote::close() {
    flush();
    writer_.reset();
    note_.reset();
    document_.clear();
    refused_ = false;
    keepAsideFirst_ = false;
}

void OpenNote::changed() {
    if (!note_ || refused_) {
        return;
    }
    pending_ = true;
    // Not restarted by later changes: steady typing still reaches the disk every interval.
    if (!timer_.isActive()) {
        timer_.start();
    }
}

bool OpenNote::flush() {
    timer_.stop();
    return !pending_ || save();
}

bool OpenNote::save() {
    if (!pending_) {
        return true;
    }
    if (!note_ || !document_ || refused_) {
        pending_ = false;
        return true;
    }
    QString why;
    const auto package = NotePackage::of(*note_, notesDirectory_, &why);
    if (!package) {
        emit saveFailed(why);
        return false;
    }
    const NoteSave saved =
        saveNote(*package, writer_ ? writer_->write() : writeRtf(*document_), keepAsideFirst_, QDateTime::currentSecsSinceEpoch());
    if (!saved.keptAsidePath.isEmpty()) {
        keepAsideFirst_ = false;
        logLine(QStringLiteral("note file kept aside: %1").arg(saved.keptAsidePath));
        emit keptAside(saved.keptAsidePath);
    }
    if (!saved.ok) {
        logLine(QStringLiteral("note not saved: %1").arg(saved.error));
        emit saveFailed(saved.error);
        return false;
    }
    pending_ = false;
    emit written();
    return true;
}

NoteRenamed OpenNote::rename(const RowList& rows, const QString& title) {
    if (!note_) {
        return {false, QStringLiteral("no note is open"), false};
    }
    if (refused_) {
        return {false, QStringLiteral("this note cannot be changed"), false};
    }
    flush();
    const NoteRenamed renamed = renameNote(rows, *note_, title, notesDirectory_);
    if (renamed.ok && document_) {
        // The content goes with the title: a package that was missing is made here.
        pending_ = true;
        save();
    }
    return renamed;
}

}  // namespace tessaro::notes
