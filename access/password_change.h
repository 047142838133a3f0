#pragma once

#include "access/password_rules.h"
#include "core/catalogue.h"

#include <QString>

#include <optional>

// Replacing a password: the vault's own ("kSOUREPASSWORD", with its hint) or one removable-
// drive vault's (the digest on every row of its list file). The window and
// `tessaro-vault passwd` both come through here. Nothing stored is re-encrypted: every
// stored copy carries the stamp it was made under, and restoring reads the stamp.
namespace tessaro::access {

struct PasswordChangeInput {
    QString oldPassword;
    QString newPassword;
    QString confirmation;
    QString hint;
};

// Why a change was refused. The checks run in this order and stop at the first refusal; the
// window shakes the field each one names.
enum class PasswordChangeRefusal {
    None,
    WrongOldPassword,     // the old password field, with an alert
    EmptyNewPassword,     // the new password field
    UnusableNewPassword,  // the new password field, with an alert saying why (`unusable`)
    ConfirmationDiffers,  // the confirmation field
    EmptyHint,            // the hint field
};

struct PasswordChangeCheck {
    PasswordChangeRefusal refusal = PasswordChangeRefusal::None;
    // Why the new password cannot be used, for UnusableNewPassword.
    PasswordRefusal unusable = PasswordRefusal::None;
    bool passed() const { return refusal == PasswordChangeRefusal::None; }
};

// The old password against the vault's stored one (an absent stored password never matches).
PasswordChangeCheck checkVaultPasswordChange(const PasswordChangeInput& input);
// The old password's digest against a drive vault's digest (an empty digest never matches).
PasswordChangeCheck checkDrivePasswordChange(const QString& storedDigest, const PasswordChangeInput& input);

struct PasswordChangeResult {
    bool ok = false;
    PasswordChangeCheck check;
    // The new password rates level 0; the vault-password window says so after the change.
    bool weak = false;
    // For the user when a check passed but the write failed; the old password still works.
    QString message;
};

// Checks again (the settings may have changed since the window checked) and stores the hint
// and the new password in one atomic settings write: both or neither.
[[nodiscard]] PasswordChangeResult changeVaultPassword(const PasswordChangeInput& input);

// The digest a drive vault's password is checked against: the `password` of its first row.
// Absent when the vault is not in the catalogue's removable-drive library.
std::optional<QString> driveVaultDigest(const Catalogue& catalogue, const QString& vaultKey);

// Checks, then writes the new digest into every row of the vault's list file (atomically)
// and, once that is on disk, into the rows in memory, so that a later save from memory does
// not bring the old digest back. On a failed write the file and the rows keep the old one.
[[nodiscard]] PasswordChangeResult changeDrivePassword(Catalogue& catalogue, const QString& vaultKey,
                                                       const PasswordChangeInput& input);

}  // namespace tessaro::access
