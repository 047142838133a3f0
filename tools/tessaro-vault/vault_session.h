#pragma once

#include "core/catalogue.h"

#include <QString>

#include <memory>

namespace tessaro {
class VaultLock;
}

namespace tessaro::vault {
struct CheckReport;
}

namespace tessaro::cli {

// The vault of the settings file, opened for a command that changes it: the writer's lock
// held, the catalogue loaded, and (with `repairFirst`) whatever an interrupted walk left
// repaired first, and said.
struct OpenVault {
    std::shared_ptr<VaultLock> lock;
    Catalogue catalogue;
    // Stores one catalogue file; prints the reason when it cannot.
    bool save(int which);
    // Stores what a repair changed (the local list, every drive vault it touched, selected
    // or not) and only then clears the journals it settled; false after a message.
    bool saveRepairs(const vault::CheckReport& report, const QString& command);
};

// Absent after a message on stderr.
std::unique_ptr<OpenVault> openVaultForChanges(const QString& command, bool repairFirst = true);

// The catalogue as the files have it, for commands that only read: nothing is created, set
// aside or rewritten. False (local rows left empty) when the local catalogue cannot be read;
// `why` then says so. The mounted drive vaults are read either way; those whose catalogue
// cannot be read are named in `unreadableDrives` with the reason.
bool loadCatalogueReadOnly(Catalogue& catalogue, QString* why,
                           QList<std::pair<QString, QString>>* unreadableDrives = nullptr);

// Reads the password from standard input and holds it against the vault's; false after a
// message when it is missing or wrong.
bool confirmPassword(const QString& command);

// The records of the local vault (and, `withDrives`, of the mounted drive vaults) an
// argument names: its path (any spelling) or its name when that is unique. Empty after a
// message when none or several match.
FileModelList recordsNamed(const Catalogue& catalogue, const QString& argument, const QString& command,
                           bool withDrives = false);

}  // namespace tessaro::cli
