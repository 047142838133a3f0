#include "crypto/walk_support.h"

#include "core/log.h"
#include "core/log_lines.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tessaro::walk::detail {

storedfile::Progress progressFor(const FileModelPtr& model, const WalkProgress& callback, qint64 index) {
    storedfile::Progress p;
    p.model = model.get();
    if (callback) {
        FileModel* record = model.get();
        p.callback = [record, callback, index](qint64, float) {
            callback(index, static_cast<float>(record->currentEncryptSize.load()));
        };
    }
    return p;
}

bool DescriptorSink::operator()(const char* data, qint64 size) {
    if (!fs::writeAll(fd_, data, size)) {
        return false;
    }
    written_ += size;
    constexpr qint64 kWritebackStep = 8 << 20;
    if (written_ - writebackFrom_ >= kWritebackStep) {
        ::sync_file_range(fd_, writebackFrom_, written_ - writebackFrom_, SYNC_FILE_RANGE_WRITE);
        writebackFrom_ = written_;
    }
    return true;
}

void keepAttributes(int storedFd, const struct stat& source, bool isFolder, const QString& relative,
                    ItemAttributes& attributes) {
    std::optional<mode_t> modeLost;
    const mode_t bits = source.st_mode & 07777;
    // The usual bits of a file need no attribute: an extra metadata write per file is what
    // small files cost most. A folder's are always kept, so that it never comes back more open.
    if (isFolder || bits != kUsualMode) {
        const QByteArray mode = QByteArray::number(static_cast<uint>(bits), 8);
        if (::fsetxattr(storedFd, kModeAttribute, mode.constData(), static_cast<size_t>(mode.size()), 0) != 0) {
            modeLost = bits;
        }
    }
    std::optional<timespec> timeLost;
    if (!setTimes(storedFd, source.st_atim, source.st_mtim)) {
        timeLost = source.st_mtim;
    }
    attributes.keep(relative, modeLost, timeLost);
}

GivenBack attributesToGiveBack(int storedFd, const struct stat& stored, bool isFolder, const KeptAttributes* kept,
                               mode_t umask) {
    GivenBack given{isFolder ? static_cast<mode_t>(0777 & ~umask) : kUsualMode, stored.st_mtim};
    char buffer[16] = {};
    const ssize_t n = ::fgetxattr(storedFd, kModeAttribute, buffer, sizeof(buffer) - 1);
    bool ok = false;
    const uint bits = n > 0 ? QByteArray(buffer, static_cast<qsizetype>(n)).toUInt(&ok, 8) : 0;
    if (ok && bits <= 07777) {
        given.mode = static_cast<mode_t>(bits);
    }
    if (kept && kept->mode) {
        given.mode = *kept->mode;
    }
    if (kept && kept->modified) {
        given.modified = *kept->modified;
    }
    return given;
}

bool setTimes(int fd, const timespec& accessed, const timespec& modified) {
    const timespec times[2] = {accessed, modified};
    struct stat after {};
    return ::futimens(fd, times) == 0 && ::fstat(fd, &after) == 0 && after.st_mtim.tv_sec == modified.tv_sec &&
           after.st_mtim.tv_nsec == modified.tv_nsec;
}

void WalkBase::fail(const QString& problem, int code) {
    ++report_.filesFailed;
    if (code == ENOSPC || code == EDQUOT) {
        // One line for a full disk: every later file would fail the same way.
        report_.outOfSpace = true;
        report_.problems.append(QStringLiteral("the disk is full: %1; %2").arg(problem, outOfSpaceNote_));
    } else {
        report_.problems.append(problem);
    }
    logLine(QString::fromUtf8(loglines::kStoreFailed).arg(report_.problems.last()));
}

void WalkBase::visitFolder(int directory, const QString& relative, const QString& where,
                           const std::function<void(const fs::Entry&, const QString&, int)>& visit) {
    report_.sourceDirectories.append(relative);
    const int key = nextKey_++;
    std::vector<fs::Entry> entries;
    if (!fs::listDirectory(directory, entries)) {
        fail(QStringLiteral("cannot list %1: %2").arg(where, fs::errorText(errno)), errno);
        return;
    }
    for (const fs::Entry& entry : entries) {
        if (model_->isCancel.load()) {
            report_.cancelled = true;
            return;
        }
        if (!fs::isValidUtf8Name(entry.name)) {
            fail(invalidNameProblem(entry.name, where), 0);
            continue;
        }
        visit(entry, QString::fromUtf8(entry.name), key);
        if (stopped()) {
            return;
        }
    }
}

void WalkBase::finished(const QString& relative, const struct stat& source, qint64 plainBytes) {
    counted_ += plainBytes;
    ++report_.filesDone;
    const qint64 modified = static_cast<qint64>(source.st_mtim.tv_sec) * 1000000000 + source.st_mtim.tv_nsec;
    files_.push_back(WalkedFile{relative, source.st_size, modified, source.st_dev, source.st_ino});
    // The success line belongs to the whole-file text class; a line per file of a binary tree
    // of 100,000 files only floods the system log and slows the walk.
    if (paths_.itemClass == storedfile::ItemClass::Text) {
        logLine(QString::fromUtf8(loglines::kStoreSucceeded));
    }
}

QByteArray makeFreshFolder(int parent, const QString& wanted, const char* prefix) {
    if (!wanted.isEmpty()) {
        const QByteArray name = wanted.toUtf8();
        return fs::makeDirectoryAt(parent, name, 0700) ? name : QByteArray();
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = QByteArray(prefix) + fs::randomSuffix();
        if (fs::makeDirectoryAt(parent, name, 0700)) {
            return name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return QByteArray();
}

void removeFoldersMade(const std::vector<QString>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        ::rmdir(QFile::encodeName(*it).constData());
    }
}

void refuseWalk(WalkReport& report, const QString& problem, int code) {
    ++report.filesFailed;
    report.outOfSpace = code == ENOSPC || code == EDQUOT;
    report.problems.append(problem);
    logLine(QString::fromUtf8(loglines::kStoreFailed).arg(problem));
}

QString CreatedNames::clashWith(int directoryKey, const QString& name) const {
    for (const QString& earlier : names_.value(directoryKey)) {
        if (earlier.compare(name, Qt::CaseInsensitive) == 0) {
            return earlier;
        }
    }
    return QString();
}

QString creationFailure(const QString& plainName, const QString& where, int code, const QString& clash) {
    if (code == EEXIST && !clash.isEmpty()) {
        return QStringLiteral("\"%1\" and \"%2\" in %3 would be one and the same file where they are written: that "
                              "file system does not tell upper from lower case")
            .arg(clash, plainName, where);
    }
    if (code == EEXIST) {
        return QStringLiteral("cannot write \"%1\" of %2: the file system says the name is taken (%3)")
            .arg(plainName, where, fs::errorText(code));
    }
    return QStringLiteral("cannot write \"%1\" of %2: %3").arg(plainName, where, fs::errorText(code));
}

QString invalidNameProblem(const QByteArray& name, const QString& where) {
    return QStringLiteral("\"%1\" in %2: the name is not valid UTF-8 and cannot be kept in the catalogue; rename it "
                          "first")
        .arg(fs::displayName(name), where);
}

QString joined(const QString& base, const QString& relative) { return relative.isEmpty() ? base : base + relative; }

}  // namespace tessaro::walk::detail
