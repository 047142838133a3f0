#include "crypto/tree_walk.h"

#include "core/atomic_file.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/aes_cipher.h"
#include "crypto/help_class.h"
#include "crypto/owner_stamp.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::walk {

using storedfile::Durability;
using storedfile::FileResult;
using storedfile::Outcome;

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

QString lastComponent(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) {
        p.chop(1);
    }
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentOf(const QString& path) { return QFileInfo(path).absolutePath(); }

struct Entry {
    QString name;
    bool isDirectory = false;
};

// Lists a directory in the order the file system gives; false when it cannot be read.
// Directories are told apart without following symbolic links.
bool listDirectory(const QString& path, std::vector<Entry>& entries) {
    entries.clear();
    DIR* dir = ::opendir(native(path).constData());
    if (!dir) {
        return false;
    }
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) {
            continue;
        }
        Entry e{QFile::decodeName(d->d_name), d->d_type == DT_DIR};
        if (d->d_type == DT_UNKNOWN) {
            struct stat st {};
            e.isDirectory = ::lstat(native(path + QLatin1Char('/') + e.name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back(std::move(e));
    }
    const bool ok = errno == 0;
    ::closedir(dir);
    return ok;
}

bool isRealDirectory(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existsNoFollow(const QString& path) {
    struct stat st {};
    return ::lstat(native(path).constData(), &st) == 0;
}

bool statFile(const QString& path, qint64& size, qint64& modifiedNs) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0) {
        return false;
    }
    size = st.st_size;
    modifiedNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

// Makes `path` exist as a directory, creating what is missing and remembering what it made.
bool makeDirectory(const QString& path, QStringList& created) {
    if (isRealDirectory(path)) {
        return true;
    }
    const QString parent = parentOf(path);
    if (parent != path && !isRealDirectory(parent) && !makeDirectory(parent, created)) {
        return false;
    }
    if (::mkdir(native(path).constData(), 0777) != 0 && !(errno == EEXIST && isRealDirectory(path))) {
        return false;
    }
    created.append(path);
    vaultpaths::chmodPath(path);
    return true;
}

// Files small enough that one fsync each would cost more than their writing are made
// durable in batches.
constexpr qint64 kBatchedFileLimit = 1 << 20;
constexpr size_t kBatchFiles = 512;
constexpr qint64 kBatchBytes = 32 << 20;

class Walker {
public:
    Walker(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress, WalkReport& report)
        : model_(model), paths_(paths), callback_(progress), report_(report) {}

    ~Walker() { flush(); }

    storedfile::Progress progressFor(qint64 index) const {
        storedfile::Progress p;
        p.model = model_.get();
        if (callback_) {
            FileModel* model = model_.get();
            const WalkProgress callback = callback_;
            p.callback = [model, callback, index](qint64, float) {
                callback(index, static_cast<float>(model->currentEncryptSize.load()));
            };
        }
        return p;
    }

    bool cancelled() const { return model_->isCancel.load(); }

    // One file: `work` writes it, either committing at once or handing back a pending writer.
    void oneFile(const QString& source, const QString& target, qint64 size,
                 const std::function<FileResult(Durability)>& work, AtomicFileWriter::Replace replace) {
        WalkedFile walked{source, target, 0, 0, existsNoFollow(target)};
        qint64 ignoredSize = 0;
        statFile(source, ignoredSize, walked.sourceModifiedNs);
        walked.sourceSize = ignoredSize;
        std::unique_ptr<AtomicFileWriter> pending;
        Durability durability{size <= kBatchedFileLimit ? &pending : nullptr, replace};
        const FileResult result = work(durability);
        if (result.outcome == Outcome::Cancelled) {
            report_.cancelled = true;
            return;
        }
        if (!result.done()) {
            ++report_.filesFailed;
            report_.problems.append(result.reason);
            return;
        }
        if (!pending) {
            ++report_.filesDone;
            report_.files.push_back(walked);
            return;
        }
        pendingBytes_ += result.plainBytes;
        batch_.push_back(Pending{std::move(pending), walked, result.plainBytes, replace});
        if (batch_.size() >= kBatchFiles || pendingBytes_ >= kBatchBytes) {
            flush();
        }
    }

    // Makes the batch durable (one syncfs), then gives every file its name.
    void flush() {
        if (batch_.empty()) {
            return;
        }
        const bool synced = syncFileSystemOf(parentOf(batch_.front().file.writtenPath));
        QStringList directories;
        for (Pending& p : batch_) {
            p.file.replacedExisting = existsNoFollow(p.file.writtenPath);
            if (!synced || !p.writer->publish(p.replace)) {
                const QString reason = synced ? p.writer->errorString() : QStringLiteral("cannot sync the file system");
                p.writer->abort();
                ++report_.filesFailed;
                report_.problems.append(QStringLiteral("cannot complete %1: %2").arg(p.file.writtenPath, reason));
                logLine(QString::fromUtf8(loglines::kStoreFailed).arg(report_.problems.last()));
                model_->currentEncryptSize -= p.counted;
                continue;
            }
            ++report_.filesDone;
            report_.files.push_back(p.file);
            const QString dir = parentOf(p.file.writtenPath);
            if (!directories.contains(dir)) {
                directories.append(dir);
            }
        }
        for (const QString& dir : directories) {
            syncDirectory(dir);
        }
        batch_.clear();
        pendingBytes_ = 0;
    }

    // Directory entries of created directories live in their parents.
    void syncCreatedDirectories() {
        QStringList parents;
        for (const QString& dir : report_.createdDirectories) {
            const QString parent = parentOf(dir);
            if (!parents.contains(parent)) {
                parents.append(parent);
            }
        }
        for (const QString& parent : parents) {
            syncDirectory(parent);
        }
    }

    const FileModelPtr& model_;
    const ItemPaths& paths_;
    const WalkProgress& callback_;
    WalkReport& report_;

private:
    struct Pending {
        std::unique_ptr<AtomicFileWriter> writer;
        WalkedFile file;
        qint64 counted = 0;
        AtomicFileWriter::Replace replace;
    };
    std::vector<Pending> batch_;
    qint64 pendingBytes_ = 0;
};

// An incomplete restore leaves nothing behind: the directories it made, when empty again.
void removeEmptyCreated(const WalkReport& report) {
    for (auto it = report.createdDirectories.crbegin(); it != report.createdDirectories.crend(); ++it) {
        ::rmdir(native(*it).constData());
    }
}

qint64 sizeOf(const QString& path) {
    qint64 size = 0;
    qint64 modified = 0;
    return statFile(path, size, modified) ? size : 0;
}

// A directory the walk could not handle counts as a failed file, so the item is never
// reported complete; the system's reason goes with it.
void failDirectory(Walker& w, const char* what, const QString& path) {
    ++w.report_.filesFailed;
    w.report_.problems.append(
        QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno))));
}

// The entries a walk visits: everything but the partial files of an interrupted earlier run.
bool listWalkable(const QString& directory, std::vector<Entry>& entries) {
    const bool listed = listDirectory(directory, entries);
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const Entry& e) { return AtomicFileWriter::isTemporaryName(e.name); }),
                  entries.end());
    return listed;
}

bool walkableEntries(Walker& w, const QString& directory, std::vector<Entry>& entries) {
    if (!listWalkable(directory, entries)) {
        failDirectory(w, "cannot list", directory);
        return false;
    }
    return true;
}

void storeDirectory(Walker& w, const storedfile::Frame& frame, const QString& relative, qint64 index) {
    const QString directory = w.paths_.plainPath + relative;
    const QString storedDirectory = relative.isEmpty() ? w.paths_.storedTop
                                                       : w.paths_.storedTop + QLatin1Char('/') + swappedName(relative);
    w.report_.visitedSourceDirectories.append(directory);
    if (!makeDirectory(storedDirectory, w.report_.createdDirectories)) {
        failDirectory(w, "cannot create", storedDirectory);
        return;
    }
    std::vector<Entry> entries;
    if (!walkableEntries(w, directory, entries)) {
        return;
    }
    for (const Entry& entry : entries) {
        if (w.cancelled()) {
            w.report_.cancelled = true;
            return;
        }
        const QString childRelative = relative + QLatin1Char('/') + entry.name;
        if (entry.isDirectory) {
            storeDirectory(w, frame, childRelative, index);
            if (w.report_.cancelled) {
                return;
            }
            continue;
        }
        ++index;
        const QString source = w.paths_.plainPath + childRelative;
        const QString target = w.paths_.storedTop + QLatin1Char('/') + swappedName(childRelative);
        const storedfile::Progress progress = w.progressFor(index);
        w.oneFile(source, target, sizeOf(source), [&](Durability d) {
            return storedfile::storeFile(source, target, w.paths_.itemClass, frame, progress, d);
        }, AtomicFileWriter::Replace::Existing);
    }
}

void restoreDirectory(Walker& w, const QString& temporaryTop, qint64 expectedHeader, const QString& relative,
                      qint64 index) {
    const QString storedDirectory = w.paths_.storedTop + relative;
    w.report_.visitedSourceDirectories.append(storedDirectory);
    std::vector<Entry> entries;
    if (!walkableEntries(w, storedDirectory, entries)) {
        return;
    }
    for (const Entry& entry : entries) {
        if (w.cancelled()) {
            w.report_.cancelled = true;
            return;
        }
        const QString childRelative = relative + QLatin1Char('/') + entry.name;
        const QString plainTarget = temporaryTop + QLatin1Char('/') + swappedName(childRelative);
        if (entry.isDirectory) {
            if (!makeDirectory(plainTarget, w.report_.createdDirectories)) {
                failDirectory(w, "cannot create", plainTarget);
                continue;
            }
            restoreDirectory(w, temporaryTop, expectedHeader, childRelative, index);
            if (w.report_.cancelled) {
                return;
            }
            continue;
        }
        ++index;
        const QString source = storedDirectory + QLatin1Char('/') + entry.name;
        const storedfile::Progress progress = w.progressFor(index);
        w.oneFile(source, plainTarget, sizeOf(source), [&](Durability d) {
            return storedfile::restoreFile(source, plainTarget, w.paths_.itemClass, expectedHeader, progress, d);
        }, AtomicFileWriter::Replace::Never);
    }
}

qint64 measureDirectory(FileModel& model, const QString& directory, qint64& index, const WalkProgress& progress) {
    logLine(QString::fromUtf8(loglines::kSizePassPath).arg(directory));
    std::vector<Entry> entries;
    listWalkable(directory, entries);
    for (const Entry& entry : entries) {
        const QString child = directory + QLatin1Char('/') + entry.name;
        if (entry.isDirectory) {
            qint64 inner = index;
            measureDirectory(model, child, inner, progress);
            continue;
        }
        model.fileSize += sizeOf(child);
        ++index;
        if (progress) {
            progress(index, static_cast<float>(model.fileSize.load()));
        }
    }
    return model.fileSize;
}

}  // namespace

storedfile::ItemClass classForItemName(const QString& itemPathOrName) {
    return iswenbenwenjian(itemPathOrName) ? storedfile::ItemClass::Text : storedfile::ItemClass::Binary;
}

QString vaultBaseFor(const FileModel& model) {
    if (Volumes::isOnVolume(model.path)) {
        return vaultpaths::AppRootMoveUpDirPath(Volumes::volumeNameOf(model.path), lastComponent(model.groupName));
    }
    return vaultpaths::AppRootDirKey();
}

QString itemContainerFor(const FileModel& model) { return joinPath(vaultBaseFor(model), model.encryptedPath); }

ItemPaths pathsForRecord(const FileModel& model) {
    const QString name = model.name.isEmpty() ? lastComponent(model.path) : model.name;
    return ItemPaths{model.path, joinPath(itemContainerFor(model), swappedName(name)), classForItemName(model.path)};
}

qint64 currentHeaderLength() {
    return aesCipherLength(stamp::getEncrtyptPassword().toUtf8().size());
}

qint64 measureItem(FileModel& model, const QString& plainPath, const WalkProgress& progress) {
    if (isRealDirectory(plainPath)) {
        qint64 index = 0;
        return measureDirectory(model, plainPath, index, progress);
    }
    logLine(QString::fromUtf8(loglines::kSizePassPath).arg(plainPath));
    if (!QFileInfo::exists(plainPath)) {
        return model.fileSize;
    }
    model.fileSize += sizeOf(plainPath);
    if (progress) {
        progress(1, static_cast<float>(model.fileSize.load()));
    }
    return model.fileSize;
}

WalkReport storeItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress,
                     const QString& ownerStamp) {
    WalkReport report;
    HelpClass::sharedInstance().setEditModel(model);
    // One stamp for the whole walk: the password cannot change while the walk runs, and
    // reading the settings once per file would cost more than small files take to store.
    const auto frame = storedfile::frameForStamp(ownerStamp.isEmpty() ? stamp::getEncrtyptPassword() : ownerStamp);
    if (!frame) {
        report.filesFailed = 1;
        report.problems.append(QStringLiteral("cannot build the owner stamp"));
        return report;
    }
    {
        Walker walker(model, paths, progress, report);
        if (isRealDirectory(paths.plainPath)) {
            storeDirectory(walker, *frame, QString(), 0);
        } else if (!existsNoFollow(paths.plainPath)) {
            report.filesFailed = 1;
            report.problems.append(QStringLiteral("%1 does not exist").arg(paths.plainPath));
        } else if (!model->isCancel.load()) {
            if (!makeDirectory(parentOf(paths.storedTop), report.createdDirectories)) {
                report.filesFailed = 1;
                report.problems.append(QStringLiteral("cannot create %1").arg(parentOf(paths.storedTop)));
            } else {
                const storedfile::Progress p = walker.progressFor(1);
                walker.oneFile(paths.plainPath, paths.storedTop, sizeOf(paths.plainPath), [&](Durability d) {
                    return storedfile::storeFile(paths.plainPath, paths.storedTop, paths.itemClass, *frame, p, d);
                }, AtomicFileWriter::Replace::Existing);
            }
        } else {
            report.cancelled = true;
        }
        walker.flush();
        walker.syncCreatedDirectories();
    }
    return report;
}

QString freeNameBeside(const QString& path) {
    const QString parent = parentOf(path);
    const QString name = lastComponent(path);
    const QString extension = nameExtension(name);
    const QString stem = extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    for (int n = 1;; ++n) {
        const QString mark = n == 1 ? QStringLiteral(" (restored)") : QStringLiteral(" (restored %1)").arg(n);
        const QString candidate =
            parent + QLatin1Char('/') + stem + mark + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
        if (!existsNoFollow(candidate)) {
            return candidate;
        }
    }
}

int removeLeftovers(const QString& directory, const QString& forName, bool recursive) {
    std::vector<Entry> entries;
    if (!listDirectory(directory, entries)) {
        return 0;
    }
    const QString ours = forName.isEmpty() ? QString() : AtomicFileWriter::temporaryPrefixFor(forName);
    int removed = 0;
    for (const Entry& entry : entries) {
        const QString path = directory + QLatin1Char('/') + entry.name;
        if (!AtomicFileWriter::isTemporaryName(entry.name)) {
            if (recursive && entry.isDirectory) {
                removed += removeLeftovers(path, QString(), true);
            }
            continue;
        }
        if (!ours.isEmpty() && !(entry.name.startsWith(ours) && entry.name.size() == ours.size() + 6)) {
            continue;
        }
        const bool ok = entry.isDirectory ? QDir(path).removeRecursively() : ::unlink(native(path).constData()) == 0;
        if (ok) {
            logLine(QString::fromUtf8(loglines::kLeftoverRemoved).arg(path));
            ++removed;
        }
    }
    return removed;
}

WalkReport restoreItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress) {
    WalkReport report;
    HelpClass::sharedInstance().setEditModel(model);
    const qint64 expectedHeader = currentHeaderLength();
    const QString parent = parentOf(paths.plainPath);
    Walker walker(model, paths, progress, report);
    if (!makeDirectory(parent, report.createdDirectories)) {
        report.filesFailed = 1;
        report.problems.append(QStringLiteral("cannot create %1").arg(parent));
        return report;
    }
    if (!existsNoFollow(paths.storedTop)) {
        report.filesFailed = 1;
        report.problems.append(QStringLiteral("%1 does not exist").arg(paths.storedTop));
        return report;
    }
    if (!isRealDirectory(paths.storedTop)) {
        if (model->isCancel.load()) {
            report.cancelled = true;
            return report;
        }
        QString target = paths.plainPath;
        if (existsNoFollow(target)) {
            target = freeNameBeside(target);
            report.restoredBeside = true;
        }
        const storedfile::Progress p = walker.progressFor(1);
        walker.oneFile(paths.storedTop, target, std::numeric_limits<qint64>::max(), [&](Durability d) {
            return storedfile::restoreFile(paths.storedTop, target, paths.itemClass, expectedHeader, p, d);
        }, AtomicFileWriter::Replace::Never);
        if (report.complete()) {
            report.restoredPath = target;
            if (report.restoredBeside) {
                logLine(QString::fromUtf8(loglines::kRestoredBeside).arg(target));
            }
        } else {
            removeEmptyCreated(report);
        }
        return report;
    }

    // A folder is put together out of sight and appears whole or not at all.
    const QString prefix = AtomicFileWriter::temporaryPrefixFor(lastComponent(paths.plainPath));
    QByteArray pattern = native(parent + QLatin1Char('/') + prefix + QStringLiteral("XXXXXX"));
    if (!::mkdtemp(pattern.data())) {
        report.filesFailed = 1;
        report.problems.append(QStringLiteral("cannot create a folder beside %1: %2")
                                   .arg(paths.plainPath, QString::fromLocal8Bit(std::strerror(errno))));
        return report;
    }
    const QString temporaryTop = QFile::decodeName(pattern);
    restoreDirectory(walker, temporaryTop, expectedHeader, QString(), 0);
    walker.flush();
    if (!report.complete()) {
        QDir(temporaryTop).removeRecursively();
        report.files.clear();
        removeEmptyCreated(report);
        return report;
    }
    walker.syncCreatedDirectories();
    syncDirectory(temporaryTop);
    QString target = paths.plainPath;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (existsNoFollow(target)) {
            target = freeNameBeside(paths.plainPath);
            report.restoredBeside = true;
        }
        QString error;
        if (renameNoReplace(temporaryTop, target, &error)) {
            syncDirectory(parent);
            report.restoredPath = target;
            if (report.restoredBeside) {
                logLine(QString::fromUtf8(loglines::kRestoredBeside).arg(target));
            }
            // The restored files now live under the final name.
            for (WalkedFile& f : report.files) {
                f.writtenPath = target + f.writtenPath.mid(temporaryTop.size());
            }
            return report;
        }
        if (existsNoFollow(target)) {
            continue;
        }
        report.problems.append(QStringLiteral("cannot move the restored folder to %1: %2").arg(target, error));
        break;
    }
    ++report.filesFailed;
    QDir(temporaryTop).removeRecursively();
    report.files.clear();
    removeEmptyCreated(report);
    return report;
}

}  // namespace tessaro::walk
