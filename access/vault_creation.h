#pragma once

#include "access/password_rules.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <utility>

// Creating the local vault: the one way the first-run guide and `tessaro-vault init` make a
// vault root and point the settings at it.
namespace tessaro::access {

struct NewVault {
    QString chosenPath;  // as the user chose it; ".flp" is appended when missing
    QString password;
    QString hint;        // may be empty
    bool remember = false;
};

// The vault root for a chosen location: made absolute and clean (no trailing "/", no
// ".."), with ".flp" appended unless it already ends so (case-sensitive).
QString vaultRootForChosenPath(const QString& chosenPath);

// Why a vault root cannot be used, or empty: something that is not a directory is in the
// way. An existing directory is accepted and becomes the vault root with its contents.
QString refusalForVaultRoot(const QString& root);

// The settings that make a vault known, in the order they are written. An invalid value
// means the key is removed, so that a hint or a remember flag left by an earlier,
// unfinished set-up does not survive.
QList<std::pair<QString, QVariant>> vaultCreationSettings(const QString& root, const NewVault& vault);

struct VaultCreation {
    bool ok = false;
    QString root;
    bool existed = false;     // the root directory was there before
    PasswordRefusal passwordRefusal = PasswordRefusal::None;
    QString message;          // for the user when !ok
};

// Creates the vault root (mode 0700), its "Notes" and "Thumb" directories (0700) and the
// default catalogues where they are missing, and only when all of that is in place writes
// the settings in one atomic write. On any failure nothing of this call is left behind
// (what it created is removed again; nothing that was there is touched) and "FirstRun"
// stays as it was.
[[nodiscard]] VaultCreation createVault(const NewVault& vault);

}  // namespace tessaro::access
