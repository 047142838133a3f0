#include "core/atomic_file.h"

#include "core/file_system.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

constexpr char kTemporaryPrefix[] = ".tessaro-partial-";

QString errnoText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QByteArray native(const QString& path) { return QFile::encodeName(path); }

}  // namespace

AtomicFileWriter::AtomicFileWriter(QString targetPath) : target_(std::move(targetPath)) {}

AtomicFileWriter::~AtomicFileWriter() { abort(); }

QString AtomicFileWriter::temporaryPrefixFor(const QString& fileName) {
    // Long names are shortened in the temporary name so that it stays within NAME_MAX.
    return QLatin1String(kTemporaryPrefix) + fileName.left(64) + QLatin1Char('-');
}

bool AtomicFileWriter::open() {
    const QFileInfo info(target_);
    QByteArray pattern = native(info.absolutePath() + QLatin1Char('/') + temporaryPrefixFor(info.fileName()) +
                                QStringLiteral("XXXXXX"));
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errnoText(errno);
        return false;
    }
    tempPath_ = QFile::decodeName(pattern);
    struct stat existing {};
    mode_t mode = 0644;
    if (::stat(native(target_).constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else if (newFileMode_) {
        mode = static_cast<mode_t>(*newFileMode_);
    } else {
        mode = 0666 & ~fs::currentUmask();
    }
    if (ownerOnly_) {
        // Readable and writable by the owner, so that the next save can replace it; no bit
        // for anyone else.
        mode = (mode & 0700) | 0600;
    }
    ::fchmod(fd_, mode);
    written_ = 0;
    writebackFrom_ = 0;
    return true;
}

bool AtomicFileWriter::write(const char* data, qint64 size) {
    if (fd_ < 0) {
        error_ = QStringLiteral("file is not open");
        return false;
    }
    if (!fs::writeAll(fd_, data, size)) {
        error_ = errnoText(errno);
        return false;
    }
    written_ += size;
    startWriteback();
    return true;
}

// Large files are handed to the disk while they are written, so that the fsync at the end
// waits for the last few megabytes rather than for the whole file.
void AtomicFileWriter::startWriteback() {
    constexpr qint64 kWritebackStep = 8 << 20;
    if (written_ - writebackFrom_ >= kWritebackStep) {
        ::sync_file_range(fd_, writebackFrom_, written_ - writebackFrom_, SYNC_FILE_RANGE_WRITE);
        writebackFrom_ = written_;
    }
}

bool AtomicFileWriter::commit(Replace replace) {
    if (fd_ < 0) {
        error_ = QStringLiteral("file is not open");
        return false;
    }
    if (::fsync(fd_) != 0) {
        error_ = errnoText(errno);
        abort();
        return false;
    }
    if (!closeUnsynced() || !publish(replace)) {
        return false;
    }
    syncDirectory(QFileInfo(target_).absolutePath());
    return true;
}

bool AtomicFileWriter::closeUnsynced() {
    if (fd_ < 0) {
        error_ = QStringLiteral("file is not open");
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error_ = errnoText(errno);
        abort();
        return false;
    }
    return true;
}

bool AtomicFileWriter::publish(Replace replace) {
    if (fd_ >= 0 || tempPath_.isEmpty()) {
        error_ = QStringLiteral("file is not closed");
        return false;
    }
    bool renamed = false;
    if (replace == Replace::Existing) {
        renamed = ::rename(native(tempPath_).constData(), native(target_).constData()) == 0;
        if (!renamed) {
            error_ = errnoText(errno);
        }
    } else {
        renamed = renameNoReplace(tempPath_, target_, &error_);
    }
    if (!renamed) {
        abort();
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicFileWriter::abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.isEmpty()) {
        ::unlink(native(tempPath_).constData());
        tempPath_.clear();
    }
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error,
                         std::optional<unsigned> newFileMode) {
    AtomicFileWriter writer(path);
    if (newFileMode) {
        writer.setNewFileMode(*newFileMode);
    }
    const bool ok = writer.open() && writer.write(data) && writer.commit();
    if (!ok && error) {
        *error = writer.errorString();
    }
    return ok;
}

bool syncDirectory(const QString& directoryPath) {
    const int fd = ::open(native(directoryPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool renameNoReplace(const QString& from, const QString& to, QString* error) {
    if (fs::renameNoReplaceAt(AT_FDCWD, native(from), AT_FDCWD, native(to))) {
        return true;
    }
    if (error) {
        *error = errnoText(errno);
    }
    return false;
}

}  // namespace tessaro
