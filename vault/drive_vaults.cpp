#include "vault/drive_vaults.h"

#include "core/catalogue_format.h"
#include "core/clean_path.h"
#include "core/log.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"
#include "crypto/item_place.h"
#include "crypto/md5.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace tessaro::vault {

namespace {

constexpr char kVaultSuffix[] = ".flp";

bool endsInVaultSuffix(const QString& name) {
    return name.endsWith(QLatin1String(kVaultSuffix), Qt::CaseInsensitive) &&
           name.size() > static_cast<qsizetype>(sizeof(kVaultSuffix) - 1);
}

QString catalogueFileOf(const DriveVault& vault) {
    return vault.path() + QLatin1Char('/') + QString::fromLatin1(vaultpaths::kGroupMoveUPList);
}

// What every file section has: header, all-items group, add row. A catalogue without them
// was not written by this program, and the window would have no all-items group to show.
QString shapeProblem(const RowList& rows) {
    if (rows.isEmpty()) {
        return QStringLiteral("its catalogue lists nothing, not even the vault's own header");
    }
    if (rows.size() < 3 || !rows.first()->isHeader || rows[1]->isHeader || rows[1]->isAddItem ||
        !rows.last()->isAddItem) {
        return QStringLiteral("its catalogue lacks the header, all-items group or add row every vault has");
    }
    return QString();
}

}  // namespace

QString DriveVault::path() const { return Volumes::pathFor(key()); }

std::optional<DriveVault> driveVaultAt(const QString& pathOrKey) {
    DriveVault vault;
    const CleanPath clean = cleanItemPath(pathOrKey);
    if (clean.ok() && Volumes::isOnVolume(clean.path)) {
        vault.volume = Volumes::volumeNameOf(clean.path);
        const QString mountPoint = Volumes::pathFor(vault.volume);
        const QString rest = clean.path.mid(mountPoint.size() + 1);
        // Directly on the volume: a ".flp" folder deeper down is an item, not a vault.
        if (!clean.path.startsWith(mountPoint + QLatin1Char('/')) || rest.contains(QLatin1Char('/'))) {
            return std::nullopt;
        }
        vault.directory = rest;
    } else if (!pathOrKey.startsWith(QLatin1Char('/')) && pathOrKey.count(QLatin1Char('/')) == 1) {
        vault.volume = pathOrKey.section(QLatin1Char('/'), 0, 0);
        vault.directory = pathOrKey.section(QLatin1Char('/'), 1, 1);
    } else {
        return std::nullopt;
    }
    if (!walk::isSingleComponent(vault.volume) || !walk::isSingleComponent(vault.directory) ||
        !endsInVaultSuffix(vault.directory)) {
        return std::nullopt;
    }
    return vault;
}

bool driveVaultMounted(const QString& vaultKey) {
    const std::optional<DriveVault> vault = driveVaultAt(vaultKey);
    return vault && QFileInfo(vault->path()).isDir();
}

DriveOpening openDriveVault(const QString& path, const QString& currentPassword,
                            const std::optional<QString>& typedPassword) {
    DriveOpening opening;
    const std::optional<DriveVault> vault = driveVaultAt(path);
    if (!vault) {
        opening.reason = QStringLiteral("%1 is not a vault folder on a drive").arg(path);
        return opening;
    }
    opening.vault = *vault;
    if (!QFileInfo(Volumes::pathFor(vault->volume)).isDir()) {
        opening.status = DriveOpening::Status::NotMounted;
        return opening;
    }
    // Read as it is: a missing or damaged catalogue is refused, and left exactly as found.
    const catalogue::ListSource source{catalogue::ListKind::Removable, vault->key(), getMacAddress(), vault->volume,
                                       vault->path()};
    catalogue::ListRead read = catalogue::readRowListFile(catalogueFileOf(*vault), source);
    switch (read.status) {
    case catalogue::FileRead::Status::Missing:
        opening.reason = QStringLiteral("%1 holds no vault catalogue").arg(vault->path());
        return opening;
    case catalogue::FileRead::Status::Damaged:
    case catalogue::FileRead::Status::Unreadable:
        opening.reason = QStringLiteral("the catalogue of %1 cannot be read (%2); it was left as it is")
                             .arg(vault->path(), read.reason);
        return opening;
    case catalogue::FileRead::Status::Read: break;
    }
    RowList rows = read.rows ? std::move(*read.rows) : RowList();
    const QString shape = shapeProblem(rows);
    if (!shape.isEmpty()) {
        opening.reason = QStringLiteral("%1 cannot be opened: %2").arg(vault->path(), shape);
        return opening;
    }
    const GroupModel& header = *rows.first();
    const bool ours = driveVaultIsOurs(rows, currentPassword);
    opening.foreign = !ours;
    if (!ours) {
        if (!typedPassword) {
            opening.status = DriveOpening::Status::NeedsPassword;
            return opening;
        }
        if (!isDigestOf(header.password, *typedPassword)) {
            opening.status = DriveOpening::Status::WrongPassword;
            return opening;
        }
    }
    for (const GroupModelPtr& row : rows) {
        if (!row->isHeader && !row->isAddItem && !row->fileModels) {
            row->fileModels = std::make_shared<FileModelList>();
        }
    }
    opening.rows = std::move(rows);
    opening.status = DriveOpening::Status::Opened;
    return opening;
}

bool driveVaultIsOurs(const RowList& rows, const QString& currentPassword) {
    return !rows.isEmpty() && rows.first() && rows.first()->macAddress == getMacAddress() &&
           isDigestOf(rows.first()->password, currentPassword);
}

void enterDriveVault(Catalogue& catalogue, const DriveOpening& opened) {
    if (opened.status == DriveOpening::Status::Opened) {
        catalogue.UPLibrary.insert(opened.vault.key(), opened.rows);
    }
}

QString driveVaultName(const QString& typed, const QString& fallback) {
    const QString name = typed.trimmed().isEmpty() ? fallback : typed.trimmed();
    return name.endsWith(QLatin1String(kVaultSuffix)) ? name : name + QLatin1String(kVaultSuffix);
}

DriveCreation createDriveVault(Catalogue& catalogue, const QString& volume, const QString& name) {
    DriveCreation creation;
    const std::optional<DriveVault> vault = driveVaultAt(volume + QLatin1Char('/') + driveVaultName(name));
    if (!vault) {
        creation.reason = QStringLiteral("\"%1\" cannot name a vault folder on %2").arg(name, volume);
        return creation;
    }
    creation.vault = *vault;
    if (!QFileInfo(Volumes::pathFor(volume)).isDir()) {
        creation.reason = QStringLiteral("the drive %1 is not mounted").arg(volume);
        return creation;
    }
    const QFileInfo there(vault->path());
    if (there.exists() || there.isSymLink()) {
        creation.reason = QStringLiteral("%1 exists already; open it to use it").arg(vault->path());
        return creation;
    }
    // moveUpList makes the folder, its "Thumb" and the default rows (digest and address in
    // the header), and writes them.
    const QString before = catalogue.lastError;
    catalogue.lastError.clear();
    catalogue.moveUpList(volume, vault->key());
    if (!catalogue.lastError.isEmpty() || !QFileInfo::exists(catalogueFileOf(*vault))) {
        creation.reason = QStringLiteral("%1 could not be created (is the drive read-only or full?): %2")
                              .arg(vault->path(), catalogue.lastError);
        catalogue.UPLibrary.remove(vault->key());
        // Only what this call made goes, and only while it is empty.
        QDir(vault->path()).rmdir(QString::fromLatin1(vaultpaths::kThumbDir));
        QDir(Volumes::pathFor(volume)).rmdir(vault->directory);
        catalogue.lastError = before;
        return creation;
    }
    catalogue.lastError = before;
    creation.created = true;
    return creation;
}

AddTarget driveAddTarget(Catalogue& catalogue, const QString& vaultKey, qint64 groupIndex) {
    AddTarget target;
    target.listKey = vaultKey;
    target.saveWhich = 1;
    auto it = catalogue.UPLibrary.find(vaultKey);
    if (it == catalogue.UPLibrary.end() || it.value().size() < 3) {
        return target;
    }
    RowList& rows = it.value();
    const qint64 position = groupIndex >= 1 && groupIndex < rows.size() - 1 && !rows[groupIndex]->isHeader &&
                                    !rows[groupIndex]->isAddItem
                                ? groupIndex
                                : 1;
    target.row = rows.at(position);
    if (!target.row->fileModels) {
        target.row->fileModels = std::make_shared<FileModelList>();
    }
    return target;
}

QString driveAddRefusal(const QStringList& paths, const QString& vaultKey) {
    const std::optional<DriveVault> vault = driveVaultAt(vaultKey);
    if (!vault) {
        return QStringLiteral("%1 is not a vault on a drive").arg(vaultKey);
    }
    QStringList elsewhere;
    for (const QString& path : paths) {
        const CleanPath clean = cleanItemPath(path);
        if (!clean.ok() || Volumes::volumeNameOf(clean.path) != vault->volume) {
            elsewhere.append(path);
        }
    }
    if (elsewhere.isEmpty()) {
        return QString();
    }
    return QStringLiteral("the vault %1 keeps only items of the drive %2; not on it: %3")
        .arg(vault->key(), vault->volume, elsewhere.join(QStringLiteral(", ")));
}

QStringList vaultsToOffer(const QString& mountPoint, const QString& volumeName, const QStringList& openKeys) {
    QStringList offered;
    const QFileInfoList entries =
        QDir(mountPoint).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QFileInfo& entry : entries) {
        // A link could point anywhere, the local vault included.
        if (entry.isSymLink() || !endsInVaultSuffix(entry.fileName())) {
            continue;
        }
        if (!openKeys.contains(volumeName + QLatin1Char('/') + entry.fileName())) {
            offered.append(entry.absoluteFilePath());
        }
    }
    return offered;
}

QStringList closeUnmountedVaults(Catalogue& catalogue, const VaultMountedTest& isMounted) {
    QStringList closed;
    for (auto it = catalogue.UPLibrary.begin(); it != catalogue.UPLibrary.end();) {
        if (isMounted && isMounted(it.key())) {
            ++it;
        } else {
            closed.append(it.key());
            it = catalogue.UPLibrary.erase(it);
        }
    }
    return closed;
}

QList<FileVault> fileVaults(Catalogue& catalogue) {
    QList<FileVault> vaults{FileVault{QString::fromLatin1(kLocalListKey), vaultpaths::AppRootDirKey(), &catalogue.groupDirList}};
    for (auto it = catalogue.UPLibrary.begin(); it != catalogue.UPLibrary.end(); ++it) {
        if (driveVaultMounted(it.key())) {
            vaults.append(FileVault{it.key(), Volumes::pathFor(it.key()), &it.value()});
        }
    }
    return vaults;
}

bool saveDriveVault(Catalogue& catalogue, const QString& vaultKey) {
    // The catalogue's own save passes over a vault that is not there; here that is a failure.
    if (!catalogue.UPLibrary.contains(vaultKey) || !driveVaultMounted(vaultKey)) {
        catalogue.lastError = vaultKey + QStringLiteral(": the drive is not mounted, so its catalogue was not saved");
        return false;
    }
    const QString selected = std::exchange(catalogue.selectGroupName, vaultKey);
    const bool saved = catalogue.SaveGroupList(1);
    catalogue.selectGroupName = selected;
    return saved;
}

FileModelList recordsAtPath(Catalogue& catalogue, const QString& path) {
    FileModelList found;
    for (const FileVault& vault : fileVaults(catalogue)) {
        for (const GroupModelPtr& row : *vault.rows) {
            if (row && row->fileModels) {
                for (const FileModelPtr& item : *row->fileModels) {
                    if (item->path == path && !found.contains(item)) {
                        found.append(item);
                    }
                }
            }
        }
    }
    return found;
}

}  // namespace tessaro::vault
