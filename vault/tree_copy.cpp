#include "vault/tree_copy.h"

#include "core/file_system.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro::vault {

namespace {
constexpr qint64 kChunk = 1 << 20;
}  // namespace

TreeCopy::TreeCopy(std::function<void(qint64, qint64)> progress, const std::atomic<bool>* cancel)
    : progress_(std::move(progress)), cancel_(cancel) {}

void TreeCopy::skipAtTop(const QByteArray& name) { skipped_.append(name); }

bool TreeCopy::measure(int directory) {
    std::vector<fs::Entry> entries;
    if (!fs::listDirectory(directory, entries)) {
        return fail(QString(), errno);
    }
    for (const fs::Entry& entry : entries) {
        if (entry.isDirectory) {
            const fs::Handle sub = fs::openDirectoryAt(directory, entry.name);
            if (!sub || !measure(sub.get())) {
                return sub ? false : fail(fs::displayName(entry.name), errno);
            }
        } else if (auto st = fs::statAt(directory, entry.name); st && S_ISREG(st->st_mode)) {
            total_ += st->st_size;
        }
    }
    return true;
}

bool TreeCopy::copy(int from, int to, const QString& relative) {
    std::vector<fs::Entry> entries;
    if (!fs::listDirectory(from, entries)) {
        return fail(relative, errno);
    }
    for (const fs::Entry& entry : entries) {
        if (relative.isEmpty() && skipped_.contains(entry.name)) {
            if (const auto marker = fs::statAt(from, entry.name)) {
                finishedBytes(marker->st_size);
            }
            continue;
        }
        const QString path = relative + QLatin1Char('/') + fs::displayName(entry.name);
        const auto st = fs::statAt(from, entry.name);
        if (!st) {
            return fail(path, errno);
        }
        if (S_ISDIR(st->st_mode)) {
            if (!fs::makeDirectoryAt(to, entry.name, 0700)) {
                return fail(path, errno);
            }
            const fs::Handle subFrom = fs::openDirectoryAt(from, entry.name);
            const fs::Handle subTo = fs::openDirectoryAt(to, entry.name);
            if (!subFrom || !subTo) {
                return fail(path, errno);
            }
            if (!copy(subFrom.get(), subTo.get(), path)) {
                return false;
            }
            ::fchmod(subTo.get(), st->st_mode & 07777);
        } else if (S_ISREG(st->st_mode)) {
            if (!copyFile(from, to, entry.name, *st, path)) {
                return false;
            }
        } else if (S_ISLNK(st->st_mode)) {
            QByteArray target(static_cast<qsizetype>(st->st_size) + 1, '\0');
            const ssize_t n = ::readlinkat(from, entry.name.constData(), target.data(), target.size());
            if (n < 0 || ::symlinkat(target.left(n).constData(), to, entry.name.constData()) != 0) {
                return fail(path, errno);
            }
        } else {
            // A FIFO, socket or device was never put there by us; moving it is not ours to do.
            error_ = QStringLiteral("%1: not a file or folder").arg(path);
            return false;
        }
    }
    return true;
}

bool TreeCopy::compare(int from, int to, const QString& relative) {
    std::vector<fs::Entry> entries;
    std::vector<fs::Entry> copies;
    if (!fs::listDirectory(from, entries) || !fs::listDirectory(to, copies)) {
        return fail(relative, errno);
    }
    if (entries.size() != copies.size()) {
        return differs(relative);
    }
    for (const fs::Entry& entry : entries) {
        const QString path = relative + QLatin1Char('/') + fs::displayName(entry.name);
        const auto a = fs::statAt(from, entry.name);
        const auto b = fs::statAt(to, entry.name);
        if (!a || !b || (a->st_mode & S_IFMT) != (b->st_mode & S_IFMT)) {
            return differs(path);
        }
        if (S_ISDIR(a->st_mode)) {
            const fs::Handle subFrom = fs::openDirectoryAt(from, entry.name);
            const fs::Handle subTo = fs::openDirectoryAt(to, entry.name);
            if (!subFrom || !subTo || !compare(subFrom.get(), subTo.get(), path)) {
                return subFrom && subTo ? false : fail(path, errno);
            }
        } else if (S_ISREG(a->st_mode)) {
            if (a->st_size != b->st_size || !sameBytes(from, to, entry.name, path)) {
                return error_.isEmpty() ? differs(path) : false;
            }
        }
    }
    return true;
}

void TreeCopy::finishedBytes(qint64 n) {
    done_ += n;
    if (progress_) {
        progress_(done_, 2 * total_);
    }
}

bool TreeCopy::fail(const QString& path, int code) {
    error_ = QStringLiteral("%1: %2").arg(path.isEmpty() ? QStringLiteral("/") : path, fs::errorText(code));
    return false;
}

bool TreeCopy::differs(const QString& path) {
    error_ = QStringLiteral("%1: the copy differs from the original").arg(path);
    return false;
}

bool TreeCopy::stopRequested() {
    if (cancel_ && cancel_->load()) {
        cancelled_ = true;
        return true;
    }
    return false;
}

bool TreeCopy::copyFile(int from, int to, const QByteArray& name, const struct stat& st, const QString& path) {
    const fs::Handle in = fs::openForReadingAt(from, name, false);
    if (!in) {
        return fail(path, errno);
    }
    const fs::Handle out = fs::createExclusiveAt(to, name, 0600);
    if (!out) {
        return fail(path, errno);
    }
    std::vector<char> buffer(kChunk);
    for (;;) {
        if (stopRequested()) {
            return false;
        }
        const qint64 n = fs::readUpTo(in.get(), buffer.data(), kChunk);
        if (n < 0) {
            return fail(path, errno);
        }
        if (n == 0) {
            break;
        }
        if (!fs::writeAll(out.get(), buffer.data(), n)) {
            return fail(path, errno);
        }
        finishedBytes(n);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::fchmod(out.get(), st.st_mode & 07777);
    ::futimens(out.get(), times);
    return true;
}

bool TreeCopy::sameBytes(int from, int to, const QByteArray& name, const QString& path) {
    const fs::Handle a = fs::openForReadingAt(from, name, false);
    const fs::Handle b = fs::openForReadingAt(to, name, false);
    if (!a || !b) {
        return fail(path, errno);
    }
    std::vector<char> left(kChunk);
    std::vector<char> right(kChunk);
    for (;;) {
        if (stopRequested()) {
            return false;
        }
        const qint64 n = fs::readUpTo(a.get(), left.data(), kChunk);
        const qint64 m = n < 0 ? 0 : fs::readUpTo(b.get(), right.data(), kChunk);
        if (n < 0 || m < 0) {
            return fail(path, errno);
        }
        if (n != m || std::memcmp(left.data(), right.data(), static_cast<size_t>(n)) != 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        finishedBytes(n);
    }
}

}  // namespace tessaro::vault
