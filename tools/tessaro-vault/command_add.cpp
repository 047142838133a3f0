// add [--group NAME | --drive VOLUME/NAME.flp] PATH...: adds files and folders to the vault,
// or to a vault on a drive, and hides them, as a drop on the window does.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/vault_paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "vault/add_items.h"
#include "vault/drive_vaults.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

#include "core/volumes.h"

#include <QFileInfo>

namespace tessaro::cli {
namespace {

// The local vault's group of that name: its position, or absent after a message.
std::optional<qint64> groupNamed(const Catalogue& catalogue, const QString& name) {
    const RowList& rows = catalogue.groupDirList;
    QStringList names;
    for (qsizetype i = 1; i + 1 < rows.size(); ++i) {
        if (rows.at(i)->name == name) {
            return i;
        }
        names.append(rows.at(i)->name);
    }
    fail(QStringLiteral("add: the vault has no group named \"%1\" (groups: %2)").arg(name, names.join(QStringLiteral(", "))));
    return std::nullopt;
}

// The drive vault `key`, open in the catalogue: already open, opened (its password must be the
// one typed), or created. Absent after a message.
std::optional<QString> driveVaultFor(Catalogue& catalogue, const QString& key) {
    const std::optional<vault::DriveVault> drive = vault::driveVaultAt(key);
    if (!drive) {
        fail(QStringLiteral("add: --drive needs VOLUME/NAME.flp, not %1").arg(key));
        return std::nullopt;
    }
    if (catalogue.UPLibrary.contains(drive->key()) && vault::driveVaultMounted(drive->key())) {
        return drive->key();
    }
    const QString password = SettingsStore::stringValue(QString::fromLatin1(keys::kSOUREPASSWORD));
    if (QFileInfo::exists(drive->path())) {
        // The typed password was confirmed as this vault's; a drive vault made elsewhere
        // opens when it was made with the same one.
        const vault::DriveOpening opened = vault::openDriveVault(drive->path(), password, password);
        if (opened.status != vault::DriveOpening::Status::Opened) {
            fail(QStringLiteral("add: %1").arg(opened.status == vault::DriveOpening::Status::WrongPassword
                                                   ? QStringLiteral("the password does not open %1").arg(drive->path())
                                                   : opened.reason.isEmpty() ? QStringLiteral("%1 is not mounted").arg(drive->path())
                                                                             : opened.reason),
                 1);
            return std::nullopt;
        }
        vault::enterDriveVault(catalogue, opened);
        return drive->key();
    }
    catalogue.selectGroupName = drive->key();
    const vault::DriveCreation made = vault::createDriveVault(catalogue, drive->volume, drive->directory);
    if (!made.created) {
        fail(QStringLiteral("add: %1").arg(made.reason), 1);
        return std::nullopt;
    }
    printLine(QStringLiteral("created\t%1").arg(drive->path()));
    return drive->key();
}

int runAdd(const QStringList& arguments) {
    QStringList paths;
    QString group;
    QString drive;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--group")) {
            if (i + 1 >= arguments.size()) {
                return fail(QStringLiteral("add: --group needs a name"));
            }
            group = arguments.at(++i);
        } else if (arguments.at(i) == QLatin1String("--drive")) {
            if (i + 1 >= arguments.size()) {
                return fail(QStringLiteral("add: --drive needs VOLUME/NAME.flp"));
            }
            drive = arguments.at(++i);
        } else if (arguments.at(i) == QLatin1String("--")) {
            paths.append(arguments.mid(i + 1));
            break;
        } else if (arguments.at(i).startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("add: unknown option %1").arg(arguments.at(i)));
        } else {
            paths.append(arguments.at(i));
        }
    }
    if (paths.isEmpty()) {
        return fail(QStringLiteral("add needs at least one PATH"));
    }
    if (!drive.isEmpty() && !group.isEmpty()) {
        return fail(QStringLiteral("add: --group and --drive cannot be given together"));
    }
    if (!confirmPassword(QStringLiteral("add"))) {
        return 1;
    }
    auto vault = openVaultForChanges(QStringLiteral("add"));
    if (!vault) {
        return 1;
    }
    qint64 groupIndex = 1;
    if (!group.isEmpty()) {
        const auto found = groupNamed(vault->catalogue, group);
        if (!found) {
            return 2;
        }
        groupIndex = *found;
    }
    vault::AddTarget target;
    if (!drive.isEmpty()) {
        // Checked before the vault is made: nothing is created for a batch that cannot go in.
        const std::optional<vault::DriveVault> named = vault::driveVaultAt(drive);
        const QString refusal = named ? vault::driveAddRefusal(paths, named->key()) : QString();
        if (!refusal.isEmpty()) {
            return fail(QStringLiteral("add: %1").arg(refusal), 1);
        }
        const std::optional<QString> key = driveVaultFor(vault->catalogue, drive);
        if (!key) {
            return 1;
        }
        vault->catalogue.selectGroupName = *key;
        target = vault::driveAddTarget(vault->catalogue, *key, 1);
    } else {
        target = vault::addTargetFor(vault->catalogue, QString::fromLatin1(kLocalListKey), groupIndex);
    }
    const vault::PreparedAdd prepared =
        vault::prepareAdd(paths, vault::recordedPaths(vault->catalogue), target,
                          target.row && target.row->fileModels ? target.row->fileModels->size() : 0, {});
    printProblems(prepared.refused);
    vault::commitAdd(target, prepared.records);
    if (!prepared.records.isEmpty() && !vault->save(target.saveWhich)) {
        return 1;
    }
    int failed = 0;
    bool changed = false;
    for (const FileModelPtr& record : prepared.records) {
        const ItemResult result = vault::hideRecordJournaled(record, {}, true);
        changed = vault::applyHideOutcome(*record, result, vault::diskStateOf(*record)) || changed;
        printProblems(result.problems);
        if (result.complete && !result.hiddenAndGone()) {
            ++failed;
            printLine(QStringLiteral("hidden, but plain files are still there\t%1").arg(record->path));
        } else if (result.complete) {
            printLine(QStringLiteral("hidden\t%1").arg(record->path));
        } else {
            ++failed;
            printLine(QStringLiteral("not hidden\t%1").arg(record->path));
        }
    }
    // The catalogue lists every added item as hidden already; only a hide that did not
    // complete changes it.
    if (changed && !vault->save(target.saveWhich)) {
        return 1;
    }
    // Every outcome is in the saved catalogue: the journal has done its work.
    vault::clearJournal(drive.isEmpty() ? vaultpaths::AppRootDirKey() : Volumes::pathFor(target.listKey));
    return failed == 0 && prepared.refused.isEmpty() ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("add"), QStringLiteral("add [--group NAME | --drive VOLUME/NAME.flp] [--] PATH..."),
     QStringLiteral("add files and folders to the vault (its all-items group, or the group NAME) and hide them "
                    "(password from stdin); paths already in the vault are left out. With --drive, items on the "
                    "drive VOLUME go into the vault NAME.flp on that drive, created when missing; a path on "
                    "another disk is refused"),
     runAdd});

}  // namespace
}  // namespace tessaro::cli
