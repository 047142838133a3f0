#pragma once

#include "core/catalogue.h"
#include "core/group_model.h"
#include "core/list_composition.h"
#include "vault/add_items.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro::vault {

// Vaults on removable drives: opening one (with the ownership check), creating one while
// adding, and what a mount or an unmount changes. No widgets: the window and tessaro-vault
// make the same calls. A drive is a folder anyone may have written, so nothing here writes
// to a drive vault that was not accepted, and a catalogue that cannot be read is refused,
// never replaced.

// A vault directory on a mounted volume, named as the catalogue names it.
struct DriveVault {
    QString volume;     // the volume's name
    QString directory;  // "<name>.flp", directly on the volume
    QString key() const { return volume + QLatin1Char('/') + directory; }
    // Where it is now (below the volume's mount point).
    QString path() const;
};
// The vault a path names: a ".flp" entry (any case) directly on a mounted volume's top
// directory, or a vault key "volume/name.flp". Absent for anything else.
std::optional<DriveVault> driveVaultAt(const QString& pathOrKey);

struct DriveOpening {
    enum class Status {
        Opened,         // rows hold the vault, ready for UPLibrary
        NeedsPassword,  // made on another computer, by another program, or under another password
        WrongPassword,  // the typed password is not the vault's
        NotMounted,     // its volume is not there: nothing to open, nothing to say
        Refused,        // not a vault this program can open; `reason` says why
    };
    Status status = Status::Refused;
    DriveVault vault;
    RowList rows;
    // The vault was not made here under the current password: until its password is given
    // it stays closed, and nothing on it is written or repaired.
    bool foreign = false;
    QString reason;
};

// Reads and checks the vault at `path` without writing anything. The header row's hardware
// address must be this machine's and its password digest that of `currentPassword`;
// otherwise `typedPassword` must match the digest (a second call, after the prompt).
// Every item's path is moved onto the volume's current name.
[[nodiscard]] DriveOpening openDriveVault(const QString& path, const QString& currentPassword,
                                          const std::optional<QString>& typedPassword = std::nullopt);

// Whether a vault's header says it was made on this machine under `currentPassword`.
bool driveVaultIsOurs(const RowList& rows, const QString& currentPassword);

// Puts an opened vault into the catalogue's table (replacing an entry of that key).
void enterDriveVault(Catalogue& catalogue, const DriveOpening& opened);

struct DriveCreation {
    bool created = false;
    DriveVault vault;
    QString reason;  // why not, for the user
};
// A new vault `name` (".flp" appended unless there) on the mounted volume `volume`: its
// directory, "Thumb" and a catalogue whose header carries the digest of `currentPassword`
// and this machine's address; entered into UPLibrary and "KUPNAMES". A directory of that
// name that already exists is refused: it may be someone's vault, opened only through
// openDriveVault.
[[nodiscard]] DriveCreation createDriveVault(Catalogue& catalogue, const QString& volume, const QString& name);

// The vault name of the prompt: the typed text, or `fallback` when empty, ending in ".flp".
QString driveVaultName(const QString& typed, const QString& fallback = QStringLiteral("Vault.flp"));

// Where new records of the open vault `vaultKey` go: the row at `groupIndex` when it is a
// group, otherwise the all-items group. No row when the vault is not open.
AddTarget driveAddTarget(Catalogue& catalogue, const QString& vaultKey, qint64 groupIndex);

// Why `paths` cannot be added to the drive vault `vaultKey`: a path that is not on that
// vault's volume would split records and containers across two disks. Empty when all are.
QString driveAddRefusal(const QStringList& paths, const QString& vaultKey);

// The vault directories on a volume just mounted (at `mountPoint`, named `volumeName`) that
// are not open yet, in name order; the window opens the first of them.
QStringList vaultsToOffer(const QString& mountPoint, const QString& volumeName, const QStringList& openKeys);

// Takes out of UPLibrary every vault whose volume is gone; their keys. Nothing on a drive
// is touched.
QStringList closeUnmountedVaults(Catalogue& catalogue, const VaultMountedTest& isMounted);

// The file vaults a command walks over: the local vault first, then every open drive vault
// whose drive is mounted, in key order. `rows` points into the catalogue.
struct FileVault {
    QString key;       // "systemDevicName" or the drive vault's key
    QString base;      // the vault root, or the vault's folder on its drive
    RowList* rows = nullptr;
    bool isDrive() const { return key != QLatin1String(kLocalListKey); }
};
QList<FileVault> fileVaults(Catalogue& catalogue);

// Writes one drive vault's catalogue, whichever row is selected, and remembers it in
// "KUPNAMES". False, with the reason in the catalogue's lastError, when it was not written.
[[nodiscard]] bool saveDriveVault(Catalogue& catalogue, const QString& vaultKey);

// Every record of the local vault and the mounted drive vaults whose path is `path`.
FileModelList recordsAtPath(Catalogue& catalogue, const QString& path);

// Whether a vault's directory is there now.
bool driveVaultMounted(const QString& vaultKey);

}  // namespace tessaro::vault
