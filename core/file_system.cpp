#include "core/file_system.h"

#include <QFile>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro::fs {

namespace {

std::atomic<bool> foldingCase{false};

// Under simulated case folding: whether another entry of the directory has this name
// when letter case is ignored.
bool takenIgnoringCase(int directory, const QByteArray& name) {
    if (!foldingCase.load()) {
        return false;
    }
    std::vector<Entry> entries;
    if (!listDirectory(directory, entries)) {
        return false;
    }
    const QString wanted = QString::fromUtf8(name);
    for (const Entry& e : entries) {
        if (QString::fromUtf8(e.name).compare(wanted, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

void foldCaseForTests(bool on) { foldingCase = on; }

QString errorText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

bool isValidUtf8Name(const QByteArray& name) {
    // Qt replaces what it cannot decode; a name that survives the round trip was UTF-8.
    const QString text = QString::fromUtf8(name);
    return text.toUtf8() == name;
}

QString displayName(const QByteArray& name) {
    if (isValidUtf8Name(name)) {
        return QString::fromUtf8(name);
    }
    QString out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && byte >= 0x20) {
            out.append(QLatin1Char(c));
        } else {
            out.append(QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0')));
        }
    }
    return out;
}

Handle::~Handle() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

bool Handle::close() {
    if (fd_ < 0) {
        return true;
    }
    return ::close(release()) == 0;
}

Handle openDirectory(const QString& path) {
    return Handle(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Handle openDirectoryAt(int directory, const QByteArray& name) {
    return Handle(::openat(directory, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

Handle openForReadingAt(int directory, const QByteArray& name, bool followLink) {
    // Reads of regular files ignore O_NONBLOCK; the walks read nothing else.
    return Handle(::openat(directory, name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW)));
}

Handle createExclusiveAt(int directory, const QByteArray& name, mode_t mode) {
    if (takenIgnoringCase(directory, name)) {
        errno = EEXIST;
        return Handle();
    }
    return Handle(::openat(directory, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
}

bool makeDirectoryAt(int directory, const QByteArray& name, mode_t mode) {
    if (takenIgnoringCase(directory, name)) {
        errno = EEXIST;
        return false;
    }
    return ::mkdirat(directory, name.constData(), mode) == 0;
}

std::optional<struct stat> statAt(int directory, const QByteArray& name) {
    struct stat st {};
    if (::fstatat(directory, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return st;
}

bool existsAt(int directory, const QByteArray& name) { return statAt(directory, name).has_value(); }

bool listDirectory(int directory, std::vector<Entry>& entries) {
    entries.clear();
    // fdopendir takes the descriptor over; it gets a duplicate so the caller's stays open,
    // and the listing starts from the beginning whatever was read before.
    const int copy = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int code = errno;
        ::close(copy);
        errno = code;
        return false;
    }
    ::rewinddir(dir);
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) {
            continue;
        }
        Entry e{QByteArray(d->d_name), d->d_type == DT_DIR, d->d_type == DT_LNK};
        if (d->d_type == DT_UNKNOWN) {
            const auto st = statAt(directory, e.name);
            e.isDirectory = st && S_ISDIR(st->st_mode);
            e.isLink = st && S_ISLNK(st->st_mode);
        }
        entries.push_back(std::move(e));
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    errno = code;
    return code == 0;
}

bool renameNoReplaceAt(int fromDirectory, const QByteArray& fromName, int toDirectory, const QByteArray& toName) {
    if (takenIgnoringCase(toDirectory, toName)) {
        errno = EEXIST;
        return false;
    }
    if (::renameat2(fromDirectory, fromName.constData(), toDirectory, toName.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // File systems without RENAME_NOREPLACE (FAT and exFAT drives among them): test, then
    // rename. The lookup goes through the file system, so a name differing only in case
    // counts as taken where the file system folds case. The gap between the two is only a
    // race with the user's own hand; every writer of the vault holds its lock.
    if (existsAt(toDirectory, toName)) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromDirectory, fromName.constData(), toDirectory, toName.constData()) == 0;
}

bool exchangeAt(int firstDirectory, const QByteArray& firstName, int secondDirectory, const QByteArray& secondName) {
    return ::renameat2(firstDirectory, firstName.constData(), secondDirectory, secondName.constData(),
                       RENAME_EXCHANGE) == 0;
}

bool removeTreeAt(int directory, const QByteArray& name) {
    const auto st = statAt(directory, name);
    if (!st) {
        return errno == ENOENT;
    }
    if (!S_ISDIR(st->st_mode)) {
        return ::unlinkat(directory, name.constData(), 0) == 0 || errno == ENOENT;
    }
    bool ok = true;
    {
        // A restored folder gets its own bits back, read-only ones too; ours to take away all the same.
        if ((st->st_mode & 0700) != 0700) {
            ::fchmodat(directory, name.constData(), (st->st_mode & 07777) | 0700, 0);
        }
        Handle inner = openDirectoryAt(directory, name);
        std::vector<Entry> entries;
        if (!inner || !listDirectory(inner.get(), entries)) {
            return false;
        }
        for (const Entry& e : entries) {
            ok = removeTreeAt(inner.get(), e.name) && ok;
        }
    }
    return ::unlinkat(directory, name.constData(), AT_REMOVEDIR) == 0 && ok;
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

qint64 readUpTo(int fd, char* data, qint64 size) {
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, static_cast<size_t>(size - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

bool syncHandle(int fd) { return ::fsync(fd) == 0; }

bool syncFileSystem(int fd) { return ::syncfs(fd) == 0; }

bool makePath(const QString& path, mode_t mode, std::vector<QString>* created) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !makePath(path.left(slash), mode, created)) {
        return false;
    }
    if (::mkdir(native.constData(), mode) != 0) {
        return errno == EEXIST && ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    if (created) {
        created->push_back(path);
    }
    return true;
}

mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return static_cast<mode_t>(mask);
                }
            }
        }
    }
    static const mode_t atStart = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mask;
    }();
    return atStart;
}

QByteArray randomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray out(6, '\0');
    for (char& c : out) {
        c = kLetters[QRandomGenerator::system()->bounded(static_cast<int>(sizeof(kLetters) - 1))];
    }
    return out;
}

}  // namespace tessaro::fs
