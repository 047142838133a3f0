#include "tools/tessaro-vault/vault_session.h"

#include "access/password_rules.h"
#include "core/catalogue_format.h"
#include "core/clean_path.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_lock.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "vault/drive_vaults.h"
#include "crypto/hardware_address.h"
#include "tools/tessaro-vault/command.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <QFileInfo>

namespace tessaro::cli {

bool OpenVault::save(int which) {
    if (catalogue.SaveGroupList(which)) {
        return true;
    }
    fail(QStringLiteral("the catalogue could not be written: %1").arg(catalogue.lastError), 1);
    return false;
}

bool OpenVault::saveRepairs(const vault::CheckReport& report, const QString& command) {
    if (report.localChanged && !save(0)) {
        return false;
    }
    for (const QString& key : report.changedRemovableVaults) {
        if (!vault::saveDriveVault(catalogue, key)) {
            fail(QStringLiteral("%1: the catalogue of %2 could not be saved: %3").arg(command, key, catalogue.lastError), 1);
            return false;
        }
    }
    for (const QString& directory : report.settledJournals) {
        vault::clearJournal(directory);
    }
    return true;
}

std::unique_ptr<OpenVault> openVaultForChanges(const QString& command, bool repairFirst) {
    LanguageBundle::setLanguage();
    const QString root = vaultpaths::AppRootDirKey();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        fail(QStringLiteral("%1: the settings file %2 names no vault (see init)").arg(command, SettingsStore::filePath()),
             1);
        return nullptr;
    }
    auto vault = std::make_unique<OpenVault>();
    vault->lock = lockVault(root, command);
    if (!vault->lock) {
        return nullptr;
    }
    if (!vault->catalogue.setUp(std::nullopt, false)) {
        fail(QStringLiteral("%1: the catalogue could not be written: %2").arg(command, vault->catalogue.lastError), 1);
        return nullptr;
    }
    for (const QString& aside : vault->catalogue.damagedFiles) {
        printLine(QStringLiteral("a damaged catalogue was kept as %1").arg(aside));
    }
    if (!repairFirst) {
        return vault;
    }
    const vault::CheckReport repaired = vault::checkVault(vault->catalogue, true);
    for (const QString& line : repaired.repairedLines()) {
        printLine(QStringLiteral("repaired: %1").arg(line));
    }
    for (const QString& line : repaired.unfinishedLines()) {
        printLine(QStringLiteral("not repaired: %1").arg(line));
    }
    return vault->saveRepairs(repaired, command) ? std::move(vault) : nullptr;
}

namespace {

QString whyUnread(const catalogue::ListRead& read) {
    return read.status == catalogue::FileRead::Status::Missing ? QStringLiteral("there is no catalogue file")
                                                              : read.reason;
}

}  // namespace

bool loadCatalogueReadOnly(Catalogue& catalogue, QString* why, QList<std::pair<QString, QString>>* unreadableDrives) {
    // The drive vaults are remembered in the settings, not in the local catalogue: a lost
    // local catalogue must not hide them from the commands that read. Only a key that names a
    // vault directly on a volume is followed: recover writes below DIR by the key.
    for (const QString& key : SettingsStore::stringList(QString::fromLatin1(keys::KUPNAMES))) {
        const std::optional<vault::DriveVault> named = vault::driveVaultAt(key);
        const QString base = Volumes::pathFor(key);
        if (!named || named->key() != key || !QFileInfo(base).isDir()) {
            continue;
        }
        const catalogue::ListRead drive =
            catalogue::readRowListFile(joinPath(base, QString::fromLatin1(vaultpaths::kGroupMoveUPList)),
                                       {catalogue::ListKind::Removable, key, getMacAddress(),
                                        key.section(QLatin1Char('/'), 0, 0), base});
        if (drive.rows) {
            catalogue.UPLibrary.insert(key, *drive.rows);
        } else if (unreadableDrives) {
            unreadableDrives->append({key, whyUnread(drive)});
        }
    }
    const catalogue::ListRead local = catalogue::readRowListFile(
        vaultpaths::AppGroupDirListPath(), {catalogue::ListKind::Local, QString::fromLatin1(kLocalListKey),
                                            getMacAddress(), QString(), vaultpaths::AppRootDirKey()});
    if (!local.rows) {
        if (why) {
            *why = whyUnread(local);
        }
        return false;
    }
    catalogue.groupDirList = *local.rows;
    return true;
}

bool confirmPassword(const QString& command) {
    const std::optional<QString> typed = readPassword(QStringLiteral("Password: "));
    if (!typed || typed->isEmpty()) {
        fail(QStringLiteral("%1: no password on standard input").arg(command));
        return false;
    }
    const QString key = QString::fromLatin1(keys::kSOUREPASSWORD);
    const std::optional<QString> stored =
        SettingsStore::contains(key) ? std::optional<QString>(SettingsStore::stringValue(key)) : std::nullopt;
    if (!access::passwordMatches(stored, *typed)) {
        fail(QStringLiteral("%1: the password is not the vault's password").arg(command), 1);
        return false;
    }
    return true;
}

FileModelList recordsNamed(const Catalogue& catalogue, const QString& argument, const QString& command,
                           bool withDrives) {
    const QString clean = cleanItemPath(argument).path;
    FileModelList byPath;
    FileModelList byName;
    RowList rows = catalogue.groupDirList;
    if (withDrives) {
        // A drive item is named by where it is now, on the drive's current mount.
        for (auto it = catalogue.UPLibrary.cbegin(); it != catalogue.UPLibrary.cend(); ++it) {
            if (vault::driveVaultMounted(it.key())) {
                rows.append(it.value());
            }
        }
    }
    for (const GroupModelPtr& row : std::as_const(rows)) {
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& item : *row->fileModels) {
            if (item->path == clean && !byPath.contains(item)) {
                byPath.append(item);
            } else if (item->name == argument && !byName.contains(item)) {
                byName.append(item);
            }
        }
    }
    if (!byPath.isEmpty()) {
        return byPath;
    }
    if (byName.size() == 1) {
        return byName;
    }
    if (byName.isEmpty()) {
        fail(QStringLiteral("%1: no item of the vault is %2 (see list)").arg(command, argument));
    } else {
        fail(QStringLiteral("%1: %2 items are named %3; give the item's path instead (see list)")
                 .arg(command)
                 .arg(byName.size())
                 .arg(argument));
    }
    return {};
}

}  // namespace tessaro::cli
