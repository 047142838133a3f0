// The size pass: how many bytes an item holds, from the file system's sizes.
#include "crypto/tree_walk.h"
#include "core/clean_path.h"

#include "core/file_system.h"
#include "core/log.h"
#include "core/log_lines.h"

#include <sys/stat.h>

namespace tessaro::walk {

namespace {


qint64 sizeAt(int directory, const QByteArray& name) {
    // A single-file item given as a link is stored as what it points to.
    struct stat st {};
    return ::fstatat(directory, name.constData(), &st, 0) == 0 ? st.st_size : 0;
}

void measureDirectory(FileModel& model, int directory, const QString& path, qint64 index, const WalkProgress& progress) {
    logLine(QString::fromUtf8(loglines::kSizePassPath).arg(path));
    std::vector<fs::Entry> entries;
    fs::listDirectory(directory, entries);
    for (const fs::Entry& entry : entries) {
        const QString child = path + QLatin1Char('/') + fs::displayName(entry.name);
        if (entry.isDirectory) {
            fs::Handle inner = fs::openDirectoryAt(directory, entry.name);
            if (inner) {
                measureDirectory(model, inner.get(), child, index, progress);
            }
            continue;
        }
        if (entry.isLink) {
            continue;  // a link inside a folder is kept as a link: no bytes of its own
        }
        model.fileSize += sizeAt(directory, entry.name);
        ++index;
        if (progress) {
            progress(index, static_cast<float>(model.fileSize.load()));
        }
    }
}

}  // namespace

qint64 measureItem(FileModel& model, const QString& plainPath, const WalkProgress& progress) {
    fs::Handle parent = fs::openDirectory(parentOfPath(plainPath));
    const QByteArray name = plainPath.mid(plainPath.lastIndexOf(QLatin1Char('/')) + 1).toUtf8();
    const auto st = parent ? fs::statAt(parent.get(), name) : std::nullopt;
    if (st && S_ISDIR(st->st_mode)) {
        fs::Handle top = fs::openDirectoryAt(parent.get(), name);
        if (top) {
            measureDirectory(model, top.get(), plainPath, 0, progress);
        }
        return model.fileSize;
    }
    logLine(QString::fromUtf8(loglines::kSizePassPath).arg(plainPath));
    if (!st) {
        return model.fileSize;
    }
    model.fileSize += sizeAt(parent.get(), name);
    if (progress) {
        progress(1, static_cast<float>(model.fileSize.load()));
    }
    return model.fileSize;
}

}  // namespace tessaro::walk
