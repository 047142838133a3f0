#include "crypto/item_place.h"

#include "core/clean_path.h"
#include "core/record_check.h"
#include "core/localized_text.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/swapped_name.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#define TESSARO_HAVE_OPENAT2 1
#endif

namespace tessaro::walk {

namespace {

QString text(const char* key, const char* english) {
    return LanguageBundle::localizedStringForKey(QString::fromLatin1(key), QString::fromUtf8(english));
}

PlaceCheck refusedPlace(const QString& reason) { return PlaceCheck{std::nullopt, reason}; }

#ifdef TESSARO_HAVE_OPENAT2
// -1 with errno ENOSYS where the kernel (or a sandbox's filter) has no openat2.
int openat2Beneath(int base, const QByteArray& relative) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, base, relative.constData(), &how, sizeof how));
}
#endif

}  // namespace

bool isSingleComponent(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

fs::Handle openFolderBeneath(int base, const QString& relative) {
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!isSingleComponent(part)) {
            errno = EXDEV;
            return fs::Handle();
        }
    }
#ifdef TESSARO_HAVE_OPENAT2
    static bool kernelHasIt = true;
    if (kernelHasIt && !parts.isEmpty()) {
        const int fd = openat2Beneath(base, parts.join(QLatin1Char('/')).toUtf8());
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG)) {
            return fs::Handle(fd);
        }
        kernelHasIt = false;
    }
#endif
    // One component at a time, each opened without following a link.
    fs::Handle current(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    for (const QString& part : parts) {
        if (!current) {
            break;
        }
        current = fs::openDirectoryAt(current.get(), part.toUtf8());
    }
    return current;
}

QString ItemPlace::storedName() const { return lastPathComponent(storedTop_); }

fs::Handle ItemPlace::openContainer() const {
    fs::Handle base = fs::openDirectory(vaultBase_);
    return base ? openFolderBeneath(base.get(), containerRelative_) : fs::Handle();
}

PlaceCheck placeOf(const FileModel& record, const QString& listVault) {
    // The catalogue's own rule first, so that a record it marks damaged is never walked,
    // whoever holds it; what follows binds the record to its vault on disk.
    if (const std::optional<QString> damage = recordDamage(record)) {
        PlaceCheck refusal = refusedPlace(*damage);
        refusal.damagedRecord = true;
        return refusal;
    }
    ItemPlace place;
    const QString path = record.path;
    if (!path.startsWith(QLatin1Char('/')) || path == QLatin1String("/") || QDir::cleanPath(path) != path) {
        return refusedPlace(text("itemPlace.pathNotClean", "its path \"%1\" is not an absolute, clean path").arg(path));
    }
    const QString name = record.name.isEmpty() ? lastPathComponent(path) : record.name;
    if (!isSingleComponent(name)) {
        return refusedPlace(text("itemPlace.nameNotOneComponent", "its name \"%1\" is not one file name").arg(name));
    }
    if (Volumes::isOnVolume(path)) {
        // A drive vault's folder is named by the drive in the path and the vault folder in
        // the group name; both must be plain names, or the base would be some other folder.
        const QString volume = Volumes::volumeNameOf(path);
        const QString directory = lastPathComponent(record.groupName);
        if (!isSingleComponent(volume) || !isSingleComponent(directory)) {
            return refusedPlace(text("itemPlace.driveVaultUnnamed", "its drive vault \"%1\" is not a vault folder")
                                    .arg(record.groupName));
        }
        place.vaultBase_ = vaultpaths::AppRootMoveUpDirPath(volume, directory);
    } else {
        place.vaultBase_ = vaultpaths::AppRootDirKey();
    }
    if (place.vaultBase_.isEmpty()) {
        return refusedPlace(text("itemPlace.noVault", "no vault folder is chosen"));
    }
    if (!listVault.isEmpty() && QDir::cleanPath(listVault) != QDir::cleanPath(place.vaultBase_)) {
        return refusedPlace(text("itemPlace.otherVault", "its path %1 belongs to another vault than %2")
                                .arg(path, listVault));
    }
    const QStringList parts = record.encryptedPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    bool confined = !parts.isEmpty();
    for (const QString& part : parts) {
        confined = confined && isSingleComponent(part);
    }
    if (!confined) {
        return refusedPlace(text("itemPlace.containerOutside", "its stored copy's folder \"%1\" lies outside the vault")
                                .arg(record.encryptedPath));
    }
    place.containerRelative_ = parts.join(QLatin1Char('/'));
    place.container_ = joinPath(place.vaultBase_, place.containerRelative_);
    place.storedTop_ = joinPath(place.container_, swappedName(name));
    place.plainPath_ = path;
    place.itemClass_ = classForItemName(path);

    // Whatever of the way exists must be real folders: a link on the way would carry every
    // later step somewhere else. What does not exist yet is made by the walk, in place.
    fs::Handle base = fs::openDirectory(place.vaultBase_);
    if (base) {
        fs::Handle folder(::fcntl(base.get(), F_DUPFD_CLOEXEC, 0));
        for (const QString& part : parts) {
            const auto st = fs::statAt(folder.get(), part.toUtf8());
            if (!st) {
                folder = fs::Handle();
                break;
            }
            if (!S_ISDIR(st->st_mode)) {
                return refusedPlace(text("itemPlace.linkOnTheWay",
                                         "%1 is a symbolic link or a file where the vault keeps a folder")
                                        .arg(place.container_));
            }
            folder = fs::openDirectoryAt(folder.get(), part.toUtf8());
            if (!folder) {
                break;
            }
        }
        if (folder) {
            const auto top = fs::statAt(folder.get(), swappedName(name).toUtf8());
            if (top && !S_ISDIR(top->st_mode) && !S_ISREG(top->st_mode)) {
                return refusedPlace(text("itemPlace.storedTopNotOurs",
                                         "its stored copy %1 is a symbolic link or special file")
                                        .arg(place.storedTop_));
            }
        }
    }
    PlaceCheck check;
    check.place = std::move(place);
    return check;
}

}  // namespace tessaro::walk
