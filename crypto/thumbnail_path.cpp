#include "crypto/thumbnail_path.h"

#include "core/file_system.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/md5.h"

#include <QDir>
#include <QFileInfo>

namespace tessaro {

namespace {

bool isPictureExtension(const QString& extension) {
    const QString e = extension.toLower();
    return e == QLatin1String("jpg") || e == QLatin1String("jpeg") || e == QLatin1String("png") ||
           e == QLatin1String("tiff");
}

// The extension as the path-extension operation gives it: after the last "." of the last
// component, empty when there is none or the name starts with its only dot.
QString extensionOf(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : name.mid(dot + 1);
}

// The vault keeps binary-class files unencrypted: its folders are the owner's only.
void makeDirectoryQuietly(const QString& path) {
    if (!QFileInfo::exists(path)) {
        fs::makePath(path, 0700);
    }
}

}  // namespace

QString getFileThumbImagePath(const QString& itemPath, const QString& directoryName) {
    const QString extension = extensionOf(itemPath);
    if (Volumes::isOnVolume(itemPath)) {
        const QString base =
            Volumes::pathFor(Volumes::volumeNameOf(itemPath)) + QLatin1Char('/') + directoryName + QLatin1Char('/');
        QString relative = itemPath;
        relative.replace(base, QString());
        const QString thumbDir = base + QLatin1String(vaultpaths::kThumbDir);
        makeDirectoryQuietly(thumbDir);
        if (isPictureExtension(extension)) {
            return joinPath(thumbDir, MD5_32BitUpper(relative) + QStringLiteral(".jpg"));
        }
        return joinPath(thumbDir, extension + QStringLiteral("jpg"));
    }
    const QString thumbDir = joinPath(vaultpaths::AppRootDirKey(), QLatin1String(vaultpaths::kThumbDir));
    makeDirectoryQuietly(thumbDir);
    if (isPictureExtension(extension)) {
        return joinPath(thumbDir, MD5_32BitUpper(itemPath) + QStringLiteral(".jpg"));
    }
    return joinPath(thumbDir, extension + QStringLiteral(".jpg"));
}

}  // namespace tessaro
