// HelpClass forwards for stored files and walks; the work lives in stored_file, tree_walk
// and swapped_name.
#include "crypto/help_class.h"

#include "core/vault_paths.h"
#include "crypto/owner_stamp.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"
#include "crypto/item_paths.h"
#include "crypto/tree_walk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace tessaro {

namespace {

QString itemName(const FileModel& model) { return QFileInfo(model.path).fileName(); }

storedfile::Progress progressOf(const FileModelPtr& model, const ProgressBlock& block) {
    return storedfile::Progress{model.get(), block};
}

// The item's paths narrowed to a part of it (a relative path, "/" first).
walk::ItemPaths narrowed(const FileModel& model, const QString& plainRelative, const QString& storedRelative) {
    walk::ItemPaths paths = walk::pathsForRecord(model);
    if (!plainRelative.isEmpty()) {
        paths.plainPath = joinPath(paths.plainPath, plainRelative);
        paths.storedTop = joinPath(paths.storedTop, storedRelative);
    }
    return paths;
}

}  // namespace

QString HelpClass::AESPath(const QString& relativePath) { return swappedName(relativePath); }

bool HelpClass::iswenbenwenjian(const QString& path) { return tessaro::iswenbenwenjian(path); }

bool HelpClass::isDirectory(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

qint64 HelpClass::jiami(const FileModelPtr& model, const QString& itemPath, bool isDir, const ProgressBlock& progress) {
    const QString source = joinPath(model->path, itemPath);
    const QString destination =
        joinPath(walk::itemContainerFor(*model), swappedName(joinPath(itemName(*model), itemPath)));
    if (isDir) {
        QDir().mkpath(destination);
        return 0;
    }
    QDir().mkpath(QFileInfo(destination).absolutePath());
    const auto frame = storedfile::frameForStamp(stamp::getEncrtyptPassword());
    if (!frame) {
        return 0;
    }
    const auto result = storedfile::storeFile(source, destination, walk::classForItemName(model->path), *frame,
                                              progressOf(model, progress));
    return result.done() ? result.plainBytes : 0;
}

void HelpClass::jiemi(const FileModelPtr& model, const QString& itemPath, bool isDir, const ProgressBlock& progress) {
    if (isDir) {
        QDir().mkpath(joinPath(QFileInfo(model->path).absolutePath(), swappedName(itemPath)));
        return;
    }
    QString destination = joinPath(model->path, swappedName(itemPath));
    const QString source = joinPath(walk::pathsForRecord(*model).storedTop, itemPath);
    QDir().mkpath(QFileInfo(destination).absolutePath());
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink()) {
        destination = walk::freeNameBeside(destination);
    }
    storedfile::restoreFile(source, destination, walk::classForItemName(model->path), walk::currentHeaderLength(),
                            progressOf(model, progress));
}

qint64 HelpClass::EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 fileSize,
                                        qint64 currentIndex, const ProgressBlock& progress) {
    Q_UNUSED(currentIndex);
    const QString relative = itemPath.isEmpty() || itemPath.startsWith(QLatin1Char('/')) ? itemPath
                                                                                          : QLatin1Char('/') + itemPath;
    walk::storeItem(model, narrowed(*model, relative, swappedName(relative)), progress);
    return fileSize;
}

void HelpClass::EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath,
                                      const ProgressBlock& progress) {
    model->currentEncryptSize = 0;
    EncryptAESAtFilemodel(model, itemPath, 0, 0, progress);
}

void HelpClass::EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath) {
    EncryptAESAtFilemodel(model, itemPath, ProgressBlock());
}

void HelpClass::DeCodeAESAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 currentIndex,
                                     const ProgressBlock& progress) {
    Q_UNUSED(currentIndex);
    const QString relative = itemPath.isEmpty() || itemPath.startsWith(QLatin1Char('/')) ? itemPath
                                                                                          : QLatin1Char('/') + itemPath;
    walk::restoreItem(model, narrowed(*model, swappedName(relative), relative), progress);
}

void HelpClass::DeCodeAESAtFilemodel(const FileModelPtr& model, const QString& itemPath) {
    model->currentEncryptSize = 0;
    DeCodeAESAtFilemodel(model, itemPath, 0, ProgressBlock());
}

qint64 HelpClass::FileSizeAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 fileSize,
                                      qint64 currentIndex, const ProgressBlock& progress) {
    Q_UNUSED(currentIndex);
    const QString working = joinPath(model->path, itemPath);
    if (!QFileInfo::exists(working) && !QFileInfo(working).isSymLink()) {
        return fileSize;
    }
    return walk::measureItem(*model, working, progress);
}

qint64 HelpClass::fileSizeAtFilemodel(const FileModelPtr& model) {
    return FileSizeAtFilemodel(model, QString(), 0, 0, ProgressBlock());
}

void HelpClass::fileSizeForModel(const FileModelPtr& model, const QString& itemPath, bool isDir) {
    const QString source = joinPath(model->path, itemPath);
    const QString stored = joinPath(walk::itemContainerFor(*model), swappedName(joinPath(itemName(*model), itemPath)));
    if (isDir) {
        QDir().mkpath(stored);
        return;
    }
    QDir().mkpath(QFileInfo(stored).absolutePath());
    model->fileSize += QFileInfo(source).size();
}

void HelpClass::createDir(const FileModelPtr& model, const QString& itemPath) {
    Q_UNUSED(itemPath);
    const QString top = joinPath(walk::itemContainerFor(*model), swappedName(itemName(*model)));
    if (!QFileInfo::exists(top)) {
        QDir().mkpath(top);
        vaultpaths::chmodPath(top);
    }
}

void HelpClass::createDeDir(const FileModelPtr& model, const QString& itempath) {
    const QString target = joinPath(QFileInfo(model->path).absolutePath(), swappedName(itempath));
    if (!QFileInfo::exists(target)) {
        QDir().mkpath(target);
    }
}

}  // namespace tessaro
