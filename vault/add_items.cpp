#include "vault/add_items.h"

#include "core/atomic_file.h"
#include "core/clean_path.h"
#include "core/file_system.h"
#include "core/log.h"
#include "core/record_check.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"
#include "crypto/item_inspection.h"
#include "crypto/item_paths.h"
#include "crypto/stored_file.h"
#include "crypto/thumbnail_path.h"
#include "crypto/tree_walk.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::vault {

namespace {

QString localKey() { return QString::fromLatin1(kLocalListKey); }

bool isPicture(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString e = dot <= 0 ? QString() : name.mid(dot + 1).toLower();
    return e == QLatin1String("jpg") || e == QLatin1String("jpeg") || e == QLatin1String("png") ||
           e == QLatin1String("tiff");
}

bool within(const QString& path, const QString& folder) {
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')));
}

// Why a clean path cannot become an item, or empty.
QString refusalFor(const QString& path, const QString& vaultRoot, const QString& driveVolume,
                   const QSet<QString>& recorded) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return QStringLiteral("%1 does not exist").arg(path);
    }
    if (info.isSymLink() && info.isDir()) {
        return QStringLiteral("%1 is a link to a folder; add the folder itself").arg(path);
    }
    if (!fs::isValidUtf8Name(QFile::encodeName(path))) {
        return QStringLiteral("the name of %1 is not valid UTF-8 and cannot be kept in the catalogue").arg(path);
    }
    // Records and containers of one item stay on one disk: a drive's items go into a vault
    // on that drive, the computer's into the local vault.
    if (driveVolume.isEmpty() && Volumes::isOnVolume(path)) {
        return QStringLiteral("%1 is on the removable drive %2; add it to a vault on that drive").arg(path, Volumes::volumeNameOf(path));
    }
    if (!driveVolume.isEmpty() && Volumes::volumeNameOf(path) != driveVolume) {
        return QStringLiteral("%1 is not on the drive %2, so it cannot go into a vault there").arg(path, driveVolume);
    }
    if (within(path, vaultRoot) || within(vaultRoot, path)) {
        return QStringLiteral("%1 is the vault itself or holds it").arg(path);
    }
    for (const QString& other : recorded) {
        if (within(path, other) || within(other, path)) {
            return QStringLiteral("%1 lies inside, or holds, the item %2 that is already in the vault").arg(path, other);
        }
    }
    return QString();
}

qint64 creationSeconds(const QString& path) {
    const QFileInfo info(path);
    QDateTime born = info.birthTime();
    if (!born.isValid()) {
        born = info.lastModified();
    }
    return born.isValid() ? born.toSecsSinceEpoch() : 0;
}

QByteArray tiffBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    return writer.write(image) ? bytes : QByteArray();
}

}  // namespace

AddTarget addTargetFor(Catalogue& catalogue, const QString& selectGroupName, qint64 selectGroupIndex) {
    AddTarget target;
    target.listKey = localKey();
    RowList& rows = catalogue.groupDirList;
    if (rows.size() < 3) {
        return target;
    }
    // Local files go into the selected group of the local vault, or into its all-items
    // group when another section (notes, a drive) is selected.
    qint64 position = 1;
    if (selectGroupName == localKey() && selectGroupIndex >= 1 && selectGroupIndex < rows.size() - 1) {
        position = selectGroupIndex;
    }
    target.row = rows.at(position);
    if (!target.row->fileModels) {
        target.row->fileModels = std::make_shared<FileModelList>();
    }
    target.saveWhich = 0;
    return target;
}

QSet<QString> recordedPaths(const Catalogue& catalogue) {
    QSet<QString> paths;
    auto collect = [&](const RowList& rows) {
        for (const GroupModelPtr& row : rows) {
            if (row->fileModels) {
                for (const FileModelPtr& item : *row->fileModels) {
                    paths.insert(item->path);
                }
            }
        }
    };
    collect(catalogue.groupDirList);
    for (auto it = catalogue.UPLibrary.cbegin(); it != catalogue.UPLibrary.cend(); ++it) {
        if (QFileInfo::exists(Volumes::pathFor(it.key()))) {
            collect(it.value());
        }
    }
    return paths;
}

void writeThumbnail(const FileModel& record, const IconSource& icons) {
    const QString destination = getFileThumbImagePath(record.path, record.groupName.section(QLatin1Char('/'), -1));
    if (destination.isEmpty()) {
        return;
    }
    QImage source;
    // Only a regular file is read: a FIFO named like a picture would block the reader for
    // ever, and with it the writer's lock. It is opened without blocking, and checked again
    // once open, in case something else took its name in between.
    struct stat st {};
    const QByteArray native = QFile::encodeName(record.path);
    const bool regular = ::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode);
    if (isPicture(record.path)) {
        QFile file;
        const int fd = regular ? ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW) : -1;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
                        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))) {
            ::close(fd);
        }
        if (file.isOpen()) {
            QImageReader reader(&file);
            reader.setAutoTransform(true);
            source = reader.read();
        }
    } else if (!QFileInfo::exists(destination) && icons && (regular || S_ISDIR(st.st_mode))) {
        source = icons(record.path);
    } else {
        return;
    }
    if (source.isNull()) {
        return;  // no picture to show: the list shows the desktop's icon instead
    }
    const QByteArray bytes = tiffBytes(inspection::resizeImage(source, QSizeF(200, 200)));
    QString error;
    if (bytes.isEmpty() || !writeFileAtomically(destination, bytes, &error, 0600)) {
        logLine(QStringLiteral("thumbnail not written for %1: %2")
                    .arg(record.path, bytes.isEmpty() ? QStringLiteral("the image cannot be encoded") : error));
    }
}

PreparedAdd prepareAdd(const QStringList& paths, const QSet<QString>& alreadyRecorded, const AddTarget& target,
                       qint64 firstPosition, const IconSource& icons) {
    PreparedAdd prepared;
    if (!target.row) {
        prepared.refused.append(QStringLiteral("the vault has no group to add to"));
        return prepared;
    }
    const bool toDrive = target.listKey != localKey();
    const QString driveVolume = toDrive ? target.listKey.section(QLatin1Char('/'), 0, 0) : QString();
    const QString vaultRoot = toDrive ? cleanFolderPath(Volumes::pathFor(target.listKey)).path
                                      : cleanFolderPath(vaultpaths::AppRootDirKey()).path;
    QSet<QString> recorded = alreadyRecorded;
    const QString macAddress = getMacAddress();
    for (const QString& spelled : paths) {
        const CleanPath clean = cleanItemPath(spelled);
        if (!clean.ok()) {
            prepared.refused.append(QStringLiteral("%1: %2").arg(spelled, clean.error));
            continue;
        }
        // Already in the vault, or twice in this batch: left out without a word.
        if (recorded.contains(clean.path)) {
            continue;
        }
        const QString refusal = refusalFor(clean.path, vaultRoot, driveVolume, recorded);
        if (!refusal.isEmpty()) {
            prepared.refused.append(refusal);
            continue;
        }
        recorded.insert(clean.path);

        // The fields in the order the catalogue has always set them.
        auto record = std::make_shared<FileModel>();
        record->path = clean.path;
        record->fileIndex = firstPosition + prepared.records.size();
        record->groupIndex = target.row->index;
        record->groupName = target.row->groupName;
        record->name = clean.name();
        record->isEncrtypt = true;
        record->isCancel = false;
        record->macAddress = macAddress;
        record->createDate = creationSeconds(clean.path);
        record->addDate = QDateTime::currentSecsSinceEpoch();
        record->encryptedPath = target.row->path + QLatin1Char('/') + QString::number(stableHash(clean.path));
        // The group's folder comes from the catalogue: one that would put the container
        // outside the vault takes nothing in, before anything is made for it.
        if (const auto damage = recordDamage(*record)) {
            prepared.refused.append(damagedRecordRefusal(*record, *damage, QStringLiteral("added")));
            continue;
        }

        writeThumbnail(*record, icons);
        const QString container = walk::itemContainerFor(*record);
        if (!fs::makePath(container, 0700)) {
            logLine(QStringLiteral("container not created for %1: %2").arg(record->path, fs::errorText(errno)));
        }
        record->fileSize = 0;
        walk::measureItem(*record, record->path);
        record->startEncryptDate = storedfile::nowMilliseconds();
        logLine(QStringLiteral("当前目录下文件总大小:%1").arg(record->fileSize.load()));
        prepared.records.append(record);
    }
    return prepared;
}

void commitAdd(const AddTarget& target, const FileModelList& records) {
    if (!target.row || records.isEmpty()) {
        return;
    }
    FileModelList list = target.row->fileModels ? *target.row->fileModels : FileModelList();
    for (const FileModelPtr& record : records) {
        record->fileIndex = list.size();
        record->groupIndex = target.row->index;
        list.append(record);
    }
    target.row->fileModels = std::make_shared<FileModelList>(std::move(list));
}

}  // namespace tessaro::vault
