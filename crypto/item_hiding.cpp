#include "crypto/item_hiding.h"
#include "core/clean_path.h"

#include "core/atomic_file.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/file_system.h"
#include "crypto/item_attributes.h"
#include "crypto/item_place.h"
#include "crypto/stored_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {


// Whether the entry is still the file the walk read: same inode, size and time.
bool unchangedSince(int directory, const QByteArray& name, const walk::WalkedFile& file) {
    struct stat st {};
    if (::fstatat(directory, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    const qint64 modified = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return st.st_dev == file.device && st.st_ino == file.inode && st.st_size == file.size &&
           modified == file.modifiedNs;
}

// Opens a folder inside the item by its relative path, one component at a time.
fs::Handle openInside(int top, const QString& relativeDirectory) {
    fs::Handle current(::fcntl(top, F_DUPFD_CLOEXEC, 0));
    for (const QString& part : relativeDirectory.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (!current) {
            break;
        }
        current = fs::openDirectoryAt(current.get(), part.toUtf8());
    }
    return current;
}

// Removes the walked sources that are unchanged, then every visited directory that is
// empty by then (deepest first). True when nothing of the source is left. The removals are
// not synced one by one: should a crash undo some of them, the journal's repair finds those
// files beside their complete stored copy and removes them again.
bool removeWalkedSources(const walk::WalkReport& report, const QString& top, QStringList& problems) {
    fs::Handle parent = fs::openDirectory(parentOfPath(top));
    const QByteArray topName = lastPathComponent(top).toUtf8();
    if (!parent) {
        problems.append(QStringLiteral("cannot remove %1: %2").arg(top, fs::errorText(errno)));
        return false;
    }
    auto removeOne = [&](int directory, const QByteArray& name, const walk::WalkedFile& file, const QString& path) {
        if (!unchangedSince(directory, name, file)) {
            logLine(QString::fromUtf8(loglines::kPlainKept).arg(path));
            problems.append(QStringLiteral("%1 changed after it was copied and was kept").arg(path));
            return false;
        }
        if (::unlinkat(directory, name.constData(), 0) != 0) {
            problems.append(QStringLiteral("cannot remove %1: %2").arg(path, fs::errorText(errno)));
            return false;
        }
        return true;
    };
    bool all = true;
    if (report.sourceDirectories.isEmpty()) {
        for (const walk::WalkedFile& file : report.files) {
            all = removeOne(parent.get(), topName, file, top) && all;
        }
        return all && !fs::existsAt(parent.get(), topName);
    }
    fs::Handle topDir = fs::openDirectoryAt(parent.get(), topName);
    if (!topDir) {
        problems.append(QStringLiteral("cannot remove %1: %2").arg(top, fs::errorText(errno)));
        return false;
    }
    // The walk lists a folder's files together, so one open folder serves a run of them.
    QString openRelative;
    fs::Handle directory;
    for (const walk::WalkedFile& file : report.files) {
        const qsizetype slash = file.relativePath.lastIndexOf(QLatin1Char('/'));
        const QString relativeDirectory = file.relativePath.left(slash);
        if (!directory || relativeDirectory != openRelative) {
            directory = openInside(topDir.get(), relativeDirectory);
            openRelative = relativeDirectory;
        }
        if (!directory) {
            all = false;
            continue;
        }
        all = removeOne(directory.get(), file.relativePath.mid(slash + 1).toUtf8(), file, top + file.relativePath) &&
              all;
    }
    directory = fs::Handle();
    // Deepest first: the visits were recorded in pre-order.
    for (auto it = report.sourceDirectories.crbegin(); it != report.sourceDirectories.crend(); ++it) {
        if (it->isEmpty()) {
            continue;
        }
        const qsizetype slash = it->lastIndexOf(QLatin1Char('/'));
        fs::Handle parentOfIt = openInside(topDir.get(), it->left(slash));
        if (!parentOfIt || ::unlinkat(parentOfIt.get(), it->mid(slash + 1).toUtf8().constData(), AT_REMOVEDIR) != 0) {
            all = false;
        }
    }
    topDir = fs::Handle();
    if (::unlinkat(parent.get(), topName.constData(), AT_REMOVEDIR) != 0) {
        all = false;
    }
    return all && !fs::existsAt(parent.get(), topName);
}

// Everything still at the plain location, innermost names first within each folder: files,
// links, and folders that are empty but could not be removed.
void listLeft(int directory, const QString& path, QStringList& left, int depth) {
    std::vector<fs::Entry> entries;
    if (depth > 256 || !fs::listDirectory(directory, entries)) {
        left.append(path);
        return;
    }
    if (entries.empty()) {
        left.append(path);
    }
    for (const fs::Entry& entry : entries) {
        const QString child = path + QLatin1Char('/') + fs::displayName(entry.name);
        fs::Handle inner = entry.isDirectory ? fs::openDirectoryAt(directory, entry.name) : fs::Handle();
        if (inner) {
            listLeft(inner.get(), child, left, depth + 1);
        } else {
            left.append(child);
        }
    }
}

QStringList whatIsLeft(const QString& plainPath) {
    QStringList left;
    fs::Handle parent = fs::openDirectory(parentOfPath(plainPath));
    const QByteArray name = lastPathComponent(plainPath).toUtf8();
    const auto st = parent ? fs::statAt(parent.get(), name) : std::nullopt;
    if (!st) {
        return left;
    }
    fs::Handle top = S_ISDIR(st->st_mode) ? fs::openDirectoryAt(parent.get(), name) : fs::Handle();
    if (top) {
        listLeft(top.get(), plainPath, left, 0);
    } else {
        left.append(plainPath);
    }
    return left;
}

ItemResult resultOf(const walk::WalkReport& report) {
    ItemResult result;
    result.cancelled = report.cancelled;
    result.outOfSpace = report.outOfSpace;
    result.problems = report.problems;
    return result;
}

}  // namespace

ItemResult hideItem(const FileModelPtr& model, const walk::ItemPaths& paths, const walk::WalkProgress& progress,
                    HideOptions options) {
    if (!options.sizeJustMeasured) {
        model->fileSize = 0;
        walk::measureItem(*model, paths.plainPath);
    }
    model->currentEncryptSize = 0;
    model->startEncryptDate = storedfile::nowMilliseconds();
    walk::StoreOptions store;
    store.ownerStamp = options.ownerStamp;
    store.replaceExisting = options.replaceExisting;
    store.workDirectoryName = options.workDirectoryName;
    const walk::WalkReport report = walk::storeItem(model, paths, progress, store);
    ItemResult result = resultOf(report);
    result.complete = report.complete() && model->currentEncryptSize.load() >= model->fileSize.load();
    if (!result.complete || (options.beforeRemovingSource && !options.beforeRemovingSource(QString()))) {
        return result;
    }
    // What was stored is the item's size now (files may have grown since it was measured).
    model->fileSize = model->currentEncryptSize.load();
    if (options.removeSource) {
        result.sourceRemoved = removeWalkedSources(report, paths.plainPath, result.problems);
        if (!result.sourceRemoved) {
            result.leftBehind = whatIsLeft(paths.plainPath);
            constexpr qsizetype kNamed = 20;
            QStringList named = result.leftBehind.mid(0, kNamed);
            if (result.leftBehind.size() > kNamed) {
                named.append(QStringLiteral("and %1 more").arg(result.leftBehind.size() - kNamed));
            }
            result.problems.append(QStringLiteral("%1 is hidden, but plain files are still there: %2")
                                       .arg(paths.plainPath, named.join(QStringLiteral(", "))));
        }
    }
    return result;
}

ItemResult unhideItem(const FileModelPtr& model, const walk::ItemPaths& paths, const walk::WalkProgress& progress,
                      HideOptions options) {
    model->currentEncryptSize = 0;
    model->startEncryptDate = storedfile::nowMilliseconds();
    walk::RestoreOptions restore;
    restore.temporaryName = options.temporaryName;
    restore.beforePlacing = options.beforePlacing;
    const walk::WalkReport report = walk::restoreItem(model, paths, progress, restore);
    ItemResult result = resultOf(report);
    result.restoredPath = report.restoredPath;
    result.restoredBeside = report.restoredBeside;
    if (result.restoredBeside) {
        result.problems.append(QStringLiteral("something else is at %1 now, so the item was put back beside it as %2").arg(paths.plainPath, report.restoredPath));
    }
    // Every stored file restored and the item in place: that is complete, whatever size the
    // catalogue remembers (an old or damaged record may remember a wrong one).
    result.complete = report.complete() && !report.restoredPath.isEmpty();
    if (result.complete) {
        model->fileSize = model->currentEncryptSize.load();
    }
    if (!result.complete || (options.beforeRemovingSource && !options.beforeRemovingSource(result.restoredPath)) ||
        !options.removeSource) {
        return result;
    }
    // The stored copy goes only now, file by file; the container itself when empty.
    result.sourceRemoved = removeWalkedSources(report, paths.storedTop, result.problems);
    // The links and attributes go with the copy they belong to.
    const QByteArray attributes =
        QFile::encodeName(parentOfPath(paths.storedTop)) + '/' +
        walk::ItemAttributes::fileNameFor(lastPathComponent(paths.storedTop).toUtf8());
    if (result.sourceRemoved && ::unlink(attributes.constData()) != 0 && errno != ENOENT) {
        result.problems.append(QStringLiteral("cannot remove %1: %2").arg(QFile::decodeName(attributes), fs::errorText(errno)));
    }
    if (result.sourceRemoved && ::rmdir(QFile::encodeName(parentOfPath(paths.storedTop)).constData()) == 0) {
        syncDirectory(parentOfPath(parentOfPath(paths.storedTop)));
    }
    return result;
}

// A record is a claim read from the vault: it is walked only at the place its check proves.
ItemResult hideRecord(const FileModelPtr& model, const walk::WalkProgress& progress) {
    const walk::PlaceCheck check = walk::placeOf(*model);
    if (!check.place) {
        ItemResult refused;
        refused.problems.append(check.reason);
        return refused;
    }
    return hideItem(model, check.place->paths(), progress);
}

ItemResult unhideRecord(const FileModelPtr& model, const walk::WalkProgress& progress) {
    const walk::PlaceCheck check = walk::placeOf(*model);
    if (!check.place) {
        ItemResult refused;
        refused.problems.append(check.reason);
        return refused;
    }
    return unhideItem(model, check.place->paths(), progress);
}

}  // namespace tessaro
