#pragma once

#include "core/atomic_file.h"
#include "core/file_model.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <optional>

namespace tessaro::storedfile {

// Stored file: header | body | footer.
//   header = AES-128-ECB/PKCS#7 of the owner stamp's UTF-8 bytes under the header key,
//   footer = the same under the footer key,
//   body   = text class: the whole plain file under the body key (the stamp's padded
//            password); binary class: the plain bytes unchanged.
// No magic, no length field: the header length is found by decrypting.
inline constexpr qint64 kChunkSize = 512000;  // 32,000 AES blocks, so text chunks need no padding
// A header longer than this is not looked for (a password of several thousand characters).
inline constexpr qint64 kLongestHeader = 4096;

enum class ItemClass { Binary, Text };

// The encrypted header and footer of one owner stamp; built once per walk.
struct Frame {
    QString stamp;
    QByteArray header;
    QByteArray footer;
};
std::optional<Frame> frameForStamp(const QString& ownerStamp);

// What a per-file operation reports into: the record's counters (may be null) and the
// caller's callback, which gets 0 and the record's byte count after every chunk.
struct Progress {
    FileModel* model = nullptr;
    std::function<void(qint64 fileIndex, float bytes)> callback;
    bool cancelled() const { return model && model->isCancel.load(); }
};

enum class Outcome { Done, Cancelled, Failed };

struct FileResult {
    Outcome outcome = Outcome::Failed;
    QString reason;        // what failed, where and why; never holds key material
    qint64 plainBytes = 0; // plain bytes read (store) or written (restore)
    int error = 0;         // the system's error code of the failure, when it came from the system
    bool done() const { return outcome == Outcome::Done; }
    // A full disk (or quota): no later file of the item can fare better.
    bool outOfSpace() const;
};

// Where the bytes go: false (errno set) when they could not be written.
using Sink = std::function<bool(const char* data, qint64 size)>;

// Streams the stored form of the open regular file `in` into `write`. The names only go
// into the reasons. The bytes counted into the record are taken back on failure.
// `known`: the source's fstat when the caller has it already.
FileResult storeStream(int in, const QString& sourceName, ItemClass itemClass, const Frame& frame,
                       const Progress& progress, const Sink& write, const QString& destinationName,
                       const struct stat* known = nullptr);

// Writes the stored form of `source` at `destination` through a temporary sibling, never
// over anything that is there.
FileResult storeFile(const QString& source, const QString& destination, ItemClass itemClass, const Frame& frame,
                     const Progress& progress);

// The frame found in a stored file: header and footer decrypt to the same stamp.
struct StoredFrame {
    QString stamp;
    qint64 headerLength = 0;
    qint64 footerLength = 0;
    qint64 bodyLength = 0;
    qint64 fileSize = 0;
};

struct FrameResult {
    std::optional<StoredFrame> frame;
    QString reason;
};

// Reads and checks the frame of an open stored file. `expectedHeaderLength` (the length of
// the current stamp's header) is tried first; other lengths are tried when the stamp in
// the file has another length, so a copy made under an older, longer password still opens.
FrameResult readFrame(int fd, qint64 fileSize, qint64 expectedHeaderLength);
FrameResult readFrame(const QString& storedPath, qint64 expectedHeaderLength);

// Checks the frame of the open stored file `in` and streams its plain content into `write`.
FileResult restoreStream(int in, const QString& sourceName, ItemClass itemClass, qint64 expectedHeaderLength,
                         const Progress& progress, const Sink& write, const QString& destinationName);

// Restores `source` to `destination` (temporary sibling, moved into place when complete);
// nothing at the destination is ever replaced.
FileResult restoreFile(const QString& source, const QString& destination, ItemClass itemClass,
                       qint64 expectedHeaderLength, const Progress& progress);

// Full check without writing anything: frame, lengths, and for the text class that the
// body decrypts. The reason is empty when the file is sound.
QString verifyStoredFile(const QString& storedPath, ItemClass itemClass, qint64 expectedHeaderLength);

// Milliseconds since 1970, as the progress fields hold them.
qint64 nowMilliseconds();

}  // namespace tessaro::storedfile
