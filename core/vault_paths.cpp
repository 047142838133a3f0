#include "core/vault_paths.h"

#include "core/log.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tessaro {

QString joinPath(const QString& base, const QString& component) {
    if (base.isNull()) {
        return {};
    }
    QString a = base;
    while (a.size() > 1 && a.endsWith(QLatin1Char('/'))) {
        a.chop(1);
    }
    QString b = component;
    while (b.startsWith(QLatin1Char('/'))) {
        b.remove(0, 1);
    }
    while (b.endsWith(QLatin1Char('/'))) {
        b.chop(1);
    }
    if (b.isEmpty()) {
        return a;
    }
    if (a.isEmpty()) {
        return b;
    }
    if (a.endsWith(QLatin1Char('/'))) {
        return a + b;
    }
    return a + QLatin1Char('/') + b;
}

namespace vaultpaths {

QString AppRootDirKey() { return SettingsStore::stringValue(QString::fromLatin1(keys::kRootDirKey)); }

namespace {
QString underRoot(const char* name) {
    const QString root = AppRootDirKey();
    return root.isEmpty() ? QString() : joinPath(root, QString::fromLatin1(name));
}
}  // namespace

QString AppRootNoteDirPath() { return underRoot(kNotesDir); }
QString AppGroupDirListPath() { return underRoot(kGroupDirList); }
QString AppGroupNotesListPath() { return underRoot(kGroupNotesList); }

QString AppRootMoveUpDirPath(const QString& volume, const QString& directory) {
    return joinPath(Volumes::pathFor(volume), directory);
}

bool ensureDirectory(const QString& path, const char* createdLine, const char* failedLine) {
    // No path is no failure of the disk (the root before the first vault exists): nothing
    // to create and nothing to log.
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        return info.isDir();
    }
    if (QDir().mkpath(path)) {
        // The vault's own directories are for their owner's eyes only.
        ::chmod(QFile::encodeName(path).constData(), 0700);
        logLine(QString::fromUtf8(createdLine));
        return true;
    }
    logLine(QString::fromUtf8(failedLine).arg(QString::fromLocal8Bit(std::strerror(errno))));
    return false;
}

QString AppGroupMoveUPListPath(const QString& volume, const QString& directory) {
    const QString vaultDir = AppRootMoveUpDirPath(volume, directory);
    if (!QFileInfo::exists(vaultDir)) {
        ensureDirectory(vaultDir, loglines::kRootCreated, loglines::kRootCreateFailed);
        ensureDirectory(joinPath(vaultDir, QString::fromLatin1(kThumbDir)), loglines::kThumbCreated,
                        loglines::kThumbCreateFailed);
    }
    const QString listPath = joinPath(vaultDir, QString::fromLatin1(kGroupMoveUPList));
    // The catalogue on a drive is kept executable, as drives written by earlier versions
    // have it. A missing file is fine: the permission is set again on the next call.
    struct stat st {};
    const QByteArray native = QFile::encodeName(listPath);
    if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::chmod(native.constData(), (st.st_mode & 07777) | S_IXUSR | S_IXGRP | S_IXOTH);
    }
    return listPath;
}

QString vaultDirectoryContaining(const QString& path) {
    const QString root = AppRootDirKey();
    const QString cleanRoot = root.isEmpty() ? QString() : QDir::cleanPath(root);
    for (QString dir = QDir::cleanPath(path); !dir.isEmpty(); dir = dir.left(std::max<qsizetype>(dir.lastIndexOf(QLatin1Char('/')), 0))) {
        if (dir == cleanRoot || QFileInfo::exists(joinPath(dir, QString::fromLatin1(kGroupDirList))) ||
            QFileInfo::exists(joinPath(dir, QString::fromLatin1(kGroupMoveUPList)))) {
            return dir;
        }
        if (dir == QLatin1String("/")) {
            break;
        }
    }
    return QString();
}

void chmodPath(const QString&) {}

}  // namespace vaultpaths
}  // namespace tessaro
