#include "crypto/stored_file.h"

#include "core/file_system.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "crypto/aes_cipher.h"
#include "crypto/owner_stamp.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::storedfile {

namespace {

QString errnoText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Owns a read descriptor.
class ReadFile {
public:
    // O_NONBLOCK: a FIFO in a folder must not hang the walk; regular files ignore the flag.
    explicit ReadFile(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (fd_ < 0) {
            error_ = errnoText(errno);
        }
    }
    ~ReadFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;
    int fd() const { return fd_; }
    QString error() const { return error_; }

private:
    int fd_ = -1;
    QString error_;
};

bool preadExactly(int fd, QByteArray& out, qint64 size, qint64 offset) {
    out.resize(size);
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, out.data() + got, static_cast<size_t>(size - got), offset + got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += n;
    }
    return true;
}

void report(const Progress& progress, qint64 bytes) {
    if (progress.model) {
        progress.model->currentEncryptSize += bytes;
        progress.model->encryptDuration = nowMilliseconds();
    }
    if (progress.callback) {
        progress.callback(0, progress.model ? static_cast<float>(progress.model->currentEncryptSize.load())
                                            : static_cast<float>(bytes));
    }
}

void takeBack(const Progress& progress, qint64 bytes) {
    if (progress.model && bytes) {
        progress.model->currentEncryptSize -= bytes;
    }
}

AesKey bodyKey(const QString& stamp) { return aesKeyFromText(stamp::bodyKeyFromStamp(stamp)); }

bool isRegularFile(int fd, qint64* size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    *size = st.st_size;
    return true;
}

}  // namespace

qint64 nowMilliseconds() { return static_cast<qint64>(QDateTime::currentMSecsSinceEpoch()); }

std::optional<Frame> frameForStamp(const QString& ownerStamp) {
    const QByteArray bytes = ownerStamp.toUtf8();
    auto header = AES128EncryptWithKey(QString::fromLatin1(stamp::kHeaderKey), bytes);
    auto footer = AES128EncryptWithKey(QString::fromLatin1(stamp::kFooterKey), bytes);
    if (!header || !footer) {
        return std::nullopt;
    }
    return Frame{ownerStamp, *header, *footer};
}

bool FileResult::outOfSpace() const { return error == ENOSPC || error == EDQUOT; }

FileResult storeStream(int in, const QString& sourceName, ItemClass itemClass, const Frame& frame,
                       const Progress& progress, const Sink& write, const QString& destinationName,
                       const struct stat* known) {
    FileResult result;
    qint64 sourceSize = 0;
    const bool regular = known ? S_ISREG(known->st_mode) : isRegularFile(in, &sourceSize);
    if (known) {
        sourceSize = known->st_size;
    }
    if (!regular) {
        result.reason = QStringLiteral("not a regular file: %1").arg(sourceName);
        logLine(QString::fromUtf8(loglines::kStoreFailed).arg(result.reason));
        return result;
    }
    if (sourceSize > kChunkSize) {
        ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    std::optional<AesEcbStream> cipher;
    if (itemClass == ItemClass::Text) {
        cipher.emplace(AesEcbStream::Direction::Encrypt, bodyKey(frame.stamp));
    }
    // Small files go out in one write: header, body and footer together.
    QByteArray out;
    out.reserve(static_cast<qsizetype>(std::min(sourceSize, kChunkSize) + 2 * frame.header.size() + 32));
    out.append(frame.header);
    QByteArray buffer(static_cast<qsizetype>(std::min(std::max<qint64>(sourceSize, 1), kChunkSize)), Qt::Uninitialized);
    qint64 counted = 0;
    bool reported = false;
    auto fail = [&](Outcome outcome, const QString& reason, int code) {
        takeBack(progress, counted);
        result.outcome = outcome;
        result.reason = reason;
        result.error = code;
        if (outcome == Outcome::Failed) {
            logLine(QString::fromUtf8(loglines::kStoreFailed).arg(reason));
        }
        return result;
    };
    auto writeFailure = [&] {
        const int code = errno;
        return fail(Outcome::Failed, QStringLiteral("cannot write %1: %2").arg(destinationName, errnoText(code)), code);
    };
    for (;;) {
        if (progress.cancelled()) {
            return fail(Outcome::Cancelled, QStringLiteral("cancelled"), 0);
        }
        const qint64 n = fs::readUpTo(in, buffer.data(), buffer.size());
        if (n < 0) {
            const int code = errno;
            return fail(Outcome::Failed, QStringLiteral("cannot read %1: %2").arg(sourceName, errnoText(code)), code);
        }
        if (n == 0) {
            break;
        }
        if (cipher) {
            if (!cipher->update(buffer.constData(), n, out)) {
                return fail(Outcome::Failed, QStringLiteral("cipher failed"), 0);
            }
        } else {
            out.append(buffer.constData(), n);
        }
        if (out.size() >= kChunkSize) {
            if (!write(out.constData(), out.size())) {
                return writeFailure();
            }
            out.resize(0);
        }
        counted += n;
        report(progress, n);
        reported = true;
    }
    if (cipher && !cipher->finish(out)) {
        return fail(Outcome::Failed, QStringLiteral("cipher failed"), 0);
    }
    out.append(frame.footer);
    if (!write(out.constData(), out.size())) {
        return writeFailure();
    }
    if (!reported) {
        report(progress, 0);
    }
    result.outcome = Outcome::Done;
    result.plainBytes = counted;
    return result;
}

namespace {

// The path forms: one file through a temporary sibling, committed at once.
FileResult intoAtomicFile(const QString& destination, const Progress& progress,
                          const std::function<FileResult(const Sink&)>& work) {
    FileResult result;
    AtomicFileWriter writer(destination);
    if (!writer.open()) {
        logLine(QString::fromUtf8(loglines::kWriteHandleMissing));
        result.reason = QStringLiteral("cannot write %1: %2").arg(destination, writer.errorString());
        return result;
    }
    result = work([&](const char* data, qint64 size) { return writer.write(data, size); });
    if (!result.done()) {
        return result;
    }
    if (!writer.commit(AtomicFileWriter::Replace::Never)) {
        takeBack(progress, result.plainBytes);
        result.outcome = Outcome::Failed;
        result.reason = QStringLiteral("cannot complete %1: %2").arg(destination, writer.errorString());
        logLine(QString::fromUtf8(loglines::kStoreFailed).arg(result.reason));
        return result;
    }
    logLine(QString::fromUtf8(loglines::kStoreSucceeded));
    return result;
}

}  // namespace

FileResult storeFile(const QString& source, const QString& destination, ItemClass itemClass, const Frame& frame,
                     const Progress& progress) {
    ReadFile in(source);
    if (in.fd() < 0) {
        logLine(QString::fromUtf8(loglines::kReadHandleMissing));
        FileResult result;
        result.reason = QStringLiteral("cannot read %1: %2").arg(source, in.error());
        return result;
    }
    return intoAtomicFile(destination, progress, [&](const Sink& sink) {
        return storeStream(in.fd(), source, itemClass, frame, progress, sink, destination);
    });
}

FrameResult readFrame(int fd, qint64 fileSize, qint64 expectedHeaderLength) {
    FrameResult result;
    const qint64 longest = std::min(kLongestHeader, fileSize / 2) / 16 * 16;
    if (longest < 16) {
        result.reason = QStringLiteral("shorter than a header and a footer (%1 bytes)").arg(fileSize);
        return result;
    }
    QByteArray head;
    if (!preadExactly(fd, head, longest, 0)) {
        result.reason = QStringLiteral("cannot read the header: %1").arg(errnoText(errno));
        return result;
    }
    std::vector<qint64> lengths;
    if (expectedHeaderLength >= 16 && expectedHeaderLength <= longest && expectedHeaderLength % 16 == 0) {
        lengths.push_back(expectedHeaderLength);
    }
    for (qint64 length = 16; length <= longest; length += 16) {
        if (length != expectedHeaderLength) {
            lengths.push_back(length);
        }
    }
    // Every file of an item carries the same header and footer: the last frame found is
    // recognised by its bytes, without decrypting it again for each of many small files.
    struct KnownFrame {
        QByteArray header;
        QByteArray footer;
        QString stamp;
    };
    thread_local KnownFrame known;
    if (!known.header.isEmpty() && known.header.size() <= longest && head.startsWith(known.header)) {
        const qint64 length = known.header.size();
        QByteArray tail;
        if (preadExactly(fd, tail, length, fileSize - length) && tail == known.footer) {
            result.frame = StoredFrame{known.stamp, length, length, fileSize - 2 * length, fileSize};
            return result;
        }
    }
    const QString headerKey = QString::fromLatin1(stamp::kHeaderKey);
    const QString footerKey = QString::fromLatin1(stamp::kFooterKey);
    const QString tag = QString::fromLatin1(stamp::kSeparatorTag);
    for (const qint64 length : lengths) {
        const auto plain = AES128DecodeWithKey(headerKey, head.left(length));
        if (!plain) {
            continue;
        }
        // A stamp is valid UTF-8 holding the separator tag; anything else is not ours.
        const QString stampText = QString::fromUtf8(*plain);
        if (stampText.toUtf8() != *plain || !stampText.contains(tag)) {
            continue;
        }
        QByteArray tail;
        if (!preadExactly(fd, tail, length, fileSize - length)) {
            result.reason = QStringLiteral("cannot read the footer: %1").arg(errnoText(errno));
            return result;
        }
        const auto footer = AES128DecodeWithKey(footerKey, tail);
        if (!footer || *footer != *plain) {
            result.reason = QStringLiteral("the footer does not match the header (cut short or damaged)");
            return result;
        }
        result.frame = StoredFrame{stampText, length, length, fileSize - 2 * length, fileSize};
        known = KnownFrame{head.left(length), tail, stampText};
        return result;
    }
    result.reason = QStringLiteral("the header does not decrypt to an owner stamp");
    return result;
}

FrameResult readFrame(const QString& storedPath, qint64 expectedHeaderLength) {
    ReadFile in(storedPath);
    qint64 size = 0;
    if (in.fd() < 0) {
        return {std::nullopt, QStringLiteral("cannot open: %1").arg(in.error())};
    }
    if (!isRegularFile(in.fd(), &size)) {
        return {std::nullopt, QStringLiteral("not a regular file")};
    }
    return readFrame(in.fd(), size, expectedHeaderLength);
}

namespace {

// Shared by restore and verify: streams the body of an open stored file into `sink`.
// Returns an empty text when every byte went through, else the reason.
QString streamBody(int fd, const StoredFrame& frame, ItemClass itemClass, const Progress& progress, qint64& counted,
                   bool& cancelled, int& error, const std::function<bool(const QByteArray&)>& sink,
                   const QString& destinationName) {
    if (itemClass == ItemClass::Text && (frame.bodyLength < 16 || frame.bodyLength % 16 != 0)) {
        return QStringLiteral("a text-class body of %1 bytes is not whole cipher blocks").arg(frame.bodyLength);
    }
    if (::lseek(fd, frame.headerLength, SEEK_SET) < 0) {
        return errnoText(errno);
    }
    ::posix_fadvise(fd, frame.headerLength, frame.bodyLength, POSIX_FADV_SEQUENTIAL);
    std::optional<AesEcbStream> cipher;
    if (itemClass == ItemClass::Text) {
        cipher.emplace(AesEcbStream::Direction::Decrypt, bodyKey(frame.stamp));
    }
    QByteArray buffer(static_cast<qsizetype>(std::min(std::max<qint64>(frame.bodyLength, 1), kChunkSize)),
                      Qt::Uninitialized);
    QByteArray out;
    qint64 remaining = frame.bodyLength;
    bool reported = false;
    while (remaining > 0) {
        if (progress.cancelled()) {
            cancelled = true;
            return QStringLiteral("cancelled");
        }
        const qint64 want = std::min<qint64>(remaining, buffer.size());
        const qint64 n = fs::readUpTo(fd, buffer.data(), want);
        if (n != want) {
            if (n < 0) {
                error = errno;
                return QStringLiteral("cannot read the stored file: %1").arg(errnoText(error));
            }
            return QStringLiteral("the stored file ended early");
        }
        remaining -= n;
        const QByteArray* piece = &buffer;
        if (cipher) {
            out.resize(0);
            if (!cipher->update(buffer.constData(), n, out)) {
                return QStringLiteral("the body does not decrypt");
            }
            if (remaining == 0 && !cipher->finish(out)) {
                return QStringLiteral("the body does not decrypt (wrong key or damaged data)");
            }
            piece = &out;
        } else if (n < buffer.size()) {
            buffer.resize(n);
        }
        if (!sink(*piece)) {
            error = errno;
            return QStringLiteral("cannot write %1: %2").arg(destinationName, errnoText(error));
        }
        counted += piece->size();
        report(progress, piece->size());
        reported = true;
    }
    if (!reported) {
        report(progress, 0);
    }
    return {};
}

}  // namespace

FileResult restoreStream(int in, const QString& sourceName, ItemClass itemClass, qint64 expectedHeaderLength,
                         const Progress& progress, const Sink& write, const QString& destinationName) {
    FileResult result;
    logLine(QString::fromUtf8(loglines::kWritePath).arg(destinationName));
    qint64 size = 0;
    if (!isRegularFile(in, &size)) {
        logLine(QString::fromUtf8(loglines::kStoredFileMissing).arg(sourceName));
        result.reason = QStringLiteral("not a regular file: %1").arg(sourceName);
        return result;
    }
    const FrameResult frame = readFrame(in, size, expectedHeaderLength);
    if (!frame.frame) {
        logLine(QString::fromUtf8(loglines::kStoredFileRefused).arg(sourceName, frame.reason));
        result.reason = QStringLiteral("%1: %2").arg(sourceName, frame.reason);
        return result;
    }
    qint64 counted = 0;
    bool cancelled = false;
    const QString problem =
        streamBody(in, *frame.frame, itemClass, progress, counted, cancelled, result.error,
                   [&](const QByteArray& piece) { return write(piece.constData(), piece.size()); }, destinationName);
    if (problem.isEmpty()) {
        result.outcome = Outcome::Done;
        result.plainBytes = counted;
        return result;
    }
    takeBack(progress, counted);
    result.outcome = cancelled ? Outcome::Cancelled : Outcome::Failed;
    // A write failure names the destination and the system's reason; a damaged stored file
    // names the stored file.
    result.reason = result.error ? problem : QStringLiteral("%1: %2").arg(sourceName, problem);
    if (!cancelled) {
        logLine(QString::fromUtf8(loglines::kStoreFailed).arg(result.reason));
    }
    return result;
}

FileResult restoreFile(const QString& source, const QString& destination, ItemClass itemClass,
                       qint64 expectedHeaderLength, const Progress& progress) {
    ReadFile in(source);
    if (in.fd() < 0) {
        logLine(QString::fromUtf8(loglines::kStoredFileMissing).arg(source));
        FileResult result;
        result.reason = QStringLiteral("cannot read %1: %2").arg(source, in.error());
        return result;
    }
    // The frame is checked before anything is created at the destination.
    qint64 size = 0;
    if (!isRegularFile(in.fd(), &size) || !readFrame(in.fd(), size, expectedHeaderLength).frame) {
        return restoreStream(in.fd(), source, itemClass, expectedHeaderLength, progress,
                             [](const char*, qint64) { return false; }, destination);
    }
    return intoAtomicFile(destination, progress, [&](const Sink& sink) {
        return restoreStream(in.fd(), source, itemClass, expectedHeaderLength, progress, sink, destination);
    });
}

QString verifyStoredFile(const QString& storedPath, ItemClass itemClass, qint64 expectedHeaderLength) {
    ReadFile in(storedPath);
    qint64 size = 0;
    if (in.fd() < 0) {
        return QStringLiteral("cannot open: %1").arg(in.error());
    }
    if (!isRegularFile(in.fd(), &size)) {
        return QStringLiteral("not a regular file");
    }
    const FrameResult frame = readFrame(in.fd(), size, expectedHeaderLength);
    if (!frame.frame) {
        return frame.reason;
    }
    if (itemClass == ItemClass::Binary) {
        return {};
    }
    qint64 counted = 0;
    bool cancelled = false;
    int error = 0;
    return streamBody(in.fd(), *frame.frame, itemClass, Progress{}, counted, cancelled, error,
                      [](const QByteArray&) { return true; }, storedPath);
}

}  // namespace tessaro::storedfile
