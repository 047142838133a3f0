#include "crypto/item_hiding.h"

#include "core/atomic_file.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "crypto/stored_file.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }
QString parentOf(const QString& path) { return QFileInfo(path).absolutePath(); }

bool unchangedSince(const walk::WalkedFile& file) {
    struct stat st {};
    if (::stat(native(file.sourcePath).constData(), &st) != 0) {
        return false;
    }
    const qint64 modified = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return st.st_size == file.sourceSize && modified == file.sourceModifiedNs;
}

// Removes the walked sources that are unchanged, then every visited directory that is
// empty by then (deepest first). True when nothing of the source is left.
bool removeWalkedSources(const walk::WalkReport& report, const QString& top, QStringList& problems) {
    bool all = true;
    QStringList parents;
    for (const walk::WalkedFile& file : report.files) {
        if (!unchangedSince(file)) {
            logLine(QString::fromUtf8(loglines::kPlainKept).arg(file.sourcePath));
            problems.append(QStringLiteral("%1 changed after it was copied and was kept").arg(file.sourcePath));
            all = false;
            continue;
        }
        if (::unlink(native(file.sourcePath).constData()) != 0) {
            problems.append(QStringLiteral("cannot remove %1").arg(file.sourcePath));
            all = false;
            continue;
        }
        const QString parent = parentOf(file.sourcePath);
        if (!parents.contains(parent)) {
            parents.append(parent);
        }
    }
    for (auto it = report.visitedSourceDirectories.crbegin(); it != report.visitedSourceDirectories.crend(); ++it) {
        if (::rmdir(native(*it).constData()) != 0) {
            all = false;
        }
        const QString parent = parentOf(*it);
        if (!parents.contains(parent)) {
            parents.append(parent);
        }
    }
    for (const QString& parent : parents) {
        syncDirectory(parent);
    }
    QFileInfo left(top);
    return all && !left.exists() && !left.isSymLink();
}

// Takes back what an incomplete store wrote: stored files that replaced nothing, then the
// directories it created, when empty.
void rollBackStore(const walk::WalkReport& report) {
    for (const walk::WalkedFile& file : report.files) {
        if (!file.replacedExisting) {
            ::unlink(native(file.writtenPath).constData());
        }
    }
    for (auto it = report.createdDirectories.crbegin(); it != report.createdDirectories.crend(); ++it) {
        ::rmdir(native(*it).constData());
    }
}

}  // namespace

ItemResult hideItem(const FileModelPtr& model, const walk::ItemPaths& paths, const walk::WalkProgress& progress,
                    HideOptions options) {
    ItemResult result;
    // Partial files of an earlier, interrupted store of this item are ours to clear away.
    walk::removeLeftovers(parentOf(paths.storedTop), QFileInfo(paths.storedTop).fileName());
    if (QFileInfo(paths.storedTop).isDir()) {
        walk::removeLeftovers(paths.storedTop, QString(), true);
    }
    model->fileSize = 0;
    walk::measureItem(*model, paths.plainPath);
    model->currentEncryptSize = 0;
    model->isCancel = false;
    model->startEncryptDate = storedfile::nowMilliseconds();
    const walk::WalkReport report = walk::storeItem(model, paths, progress, options.ownerStamp);
    result.cancelled = report.cancelled;
    result.problems = report.problems;
    result.complete = report.complete() && model->currentEncryptSize.load() >= model->fileSize.load();
    if (!result.complete) {
        rollBackStore(report);
        return result;
    }
    if (options.removeSource) {
        result.sourceRemoved = removeWalkedSources(report, paths.plainPath, result.problems);
    }
    return result;
}

ItemResult unhideItem(const FileModelPtr& model, const walk::ItemPaths& paths, const walk::WalkProgress& progress,
                      HideOptions options) {
    ItemResult result;
    walk::removeLeftovers(parentOf(paths.plainPath), QFileInfo(paths.plainPath).fileName());
    model->currentEncryptSize = 0;
    model->isCancel = false;
    model->startEncryptDate = storedfile::nowMilliseconds();
    const walk::WalkReport report = walk::restoreItem(model, paths, progress);
    result.cancelled = report.cancelled;
    result.problems = report.problems;
    result.restoredPath = report.restoredPath;
    result.restoredBeside = report.restoredBeside;
    if (result.restoredBeside) {
        result.problems.append(QStringLiteral("%1 was taken; restored as %2").arg(paths.plainPath, report.restoredPath));
    }
    result.complete = report.complete() && !report.restoredPath.isEmpty() &&
                      model->currentEncryptSize.load() >= model->fileSize.load();
    if (!result.complete || !options.removeSource) {
        return result;
    }
    // The stored copy goes only now, file by file; the container itself when empty.
    // The walk recorded each stored file as its source, with its size and time when read.
    result.sourceRemoved = removeWalkedSources(report, paths.storedTop, result.problems);
    if (result.sourceRemoved && ::rmdir(native(parentOf(paths.storedTop)).constData()) == 0) {
        syncDirectory(parentOf(parentOf(paths.storedTop)));
    }
    return result;
}

ItemResult hideRecord(const FileModelPtr& model, const walk::WalkProgress& progress) {
    return hideItem(model, walk::pathsForRecord(*model), progress);
}

ItemResult unhideRecord(const FileModelPtr& model, const walk::WalkProgress& progress) {
    return unhideItem(model, walk::pathsForRecord(*model), progress);
}

}  // namespace tessaro
