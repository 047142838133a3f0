#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessaro {

// Writes the replacement of a file so that a reader (or the next launch after a crash) sees
// either the old file or the complete new one: a temporary sibling is written, flushed,
// fsynced and renamed over the target, then the directory is fsynced.
// The temporary sibling is named ".tessaro-partial-<name>-XXXXXX" (exclusively created, so it
// never takes the place of anything); a writer that is destroyed without commit removes it.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(QString targetPath);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool open();
    // The mode a file gets that did not exist before (call before open()).
    void setNewFileMode(unsigned mode) { newFileMode_ = mode; }
    // The file is for its owner's eyes only, whatever the umask, the folder's mode or the
    // mode an earlier version left on the target: new files 0600, group and others lose
    // every bit of an existing one (call before open()).
    void setOwnerOnly() { ownerOnly_ = true; }
    bool write(const char* data, qint64 size);
    bool write(const QByteArray& data) { return write(data.constData(), data.size()); }

    enum class Replace { Existing, Never };
    // With Replace::Never the commit fails, and leaves the target alone, when something
    // already exists at the target path.
    bool commit(Replace replace = Replace::Existing);
    void abort();

    qint64 bytesWritten() const { return written_; }
    QString errorString() const { return error_; }
    QString temporaryPath() const { return tempPath_; }

private:
    // ".tessaro-partial-<name cut to 64 characters>-", six random characters follow.
    static QString temporaryPrefixFor(const QString& fileName);
    bool closeUnsynced();
    bool publish(Replace replace);

    QString target_;
    QString tempPath_;
    QString error_;
    void startWriteback();
    int fd_ = -1;
    std::optional<unsigned> newFileMode_;
    bool ownerOnly_ = false;
    qint64 written_ = 0;
    qint64 writebackFrom_ = 0;
};

// One-shot form for small files (catalogues, texts). Keeps the mode of an existing target;
// a new file gets `newFileMode` (the usual mode for new files when absent).
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr,
                         std::optional<unsigned> newFileMode = std::nullopt);

// fsync of a directory, so that a rename or removal inside it survives a power loss.
bool syncDirectory(const QString& directoryPath);

// Renames without ever replacing what is at `to`; false (and nothing changed) when `to`
// exists or the rename fails.
bool renameNoReplace(const QString& from, const QString& to, QString* error = nullptr);

}  // namespace tessaro
