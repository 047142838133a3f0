#include "access/password_change.h"

#include "access/log_lines.h"
#include "access/login_attempts.h"
#include "access/password_strength.h"

#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/md5.h"

namespace tessaro::access {

namespace {

QString text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }

// Steps 2 to 4, shared by both targets once the old password has passed.
PasswordChangeCheck checkNewPassword(const PasswordChangeInput& input) {
    if (input.newPassword.isEmpty()) {
        return {PasswordChangeRefusal::EmptyNewPassword};
    }
    // A password that cannot be stored whole, or whose stamp no reader would find, would
    // lock the user out of everything hidden under it.
    if (const PasswordRefusal unusable = refusalForNewPassword(input.newPassword); unusable != PasswordRefusal::None) {
        return {PasswordChangeRefusal::UnusableNewPassword, unusable};
    }
    if (input.confirmation != input.newPassword) {
        return {PasswordChangeRefusal::ConfirmationDiffers};
    }
    if (input.hint.isEmpty()) {
        return {PasswordChangeRefusal::EmptyHint};
    }
    return {};
}

PasswordChangeResult refused(PasswordChangeCheck check) {
    PasswordChangeResult result;
    result.check = check;
    return result;
}

PasswordChangeResult failed(const QString& message, const QString& reason) {
    logLine(QString::fromUtf8(loglines::kPasswordNotChanged).arg(reason));
    PasswordChangeResult result;
    result.message = message;
    return result;
}

}  // namespace

PasswordChangeCheck checkVaultPasswordChange(const PasswordChangeInput& input) {
    if (!passwordMatches(storedPassword(), input.oldPassword)) {
        return {PasswordChangeRefusal::WrongOldPassword};
    }
    return checkNewPassword(input);
}

PasswordChangeCheck checkDrivePasswordChange(const QString& storedDigest, const PasswordChangeInput& input) {
    if (!isDigestOf(storedDigest, input.oldPassword)) {
        return {PasswordChangeRefusal::WrongOldPassword};
    }
    return checkNewPassword(input);
}

PasswordChangeResult changeVaultPassword(const PasswordChangeInput& input) {
    const PasswordChangeCheck check = checkVaultPasswordChange(input);
    if (!check.passed()) {
        return refused(check);
    }
    // One write for both: a hint that describes another password than the one in force
    // would mislead the user at the next login.
    if (!SettingsStore::setValues({{QString::fromLatin1(keys::kPASSWORDHINTCONTENT), input.hint},
                                   {QString::fromLatin1(keys::kSOUREPASSWORD), input.confirmation}})) {
        return failed(text("passwordChange.notSaved").arg(SettingsStore::filePath()), SettingsStore::filePath());
    }
    logLine(QString::fromUtf8(loglines::kPasswordChanged));
    PasswordChangeResult result;
    result.ok = true;
    result.weak = passwordLevel(input.confirmation) == 0;
    return result;
}

std::optional<QString> driveVaultDigest(const Catalogue& catalogue, const QString& vaultKey) {
    const auto it = catalogue.UPLibrary.constFind(vaultKey);
    if (it == catalogue.UPLibrary.constEnd()) {
        return std::nullopt;
    }
    return it->isEmpty() ? QString() : it->first()->password;
}

PasswordChangeResult changeDrivePassword(Catalogue& catalogue, const QString& vaultKey,
                                         const PasswordChangeInput& input) {
    const QString name = vaultKey.section(QLatin1Char('/'), -1, -1);
    const std::optional<QString> digest = driveVaultDigest(catalogue, vaultKey);
    if (!digest) {
        return failed(text("passwordChange.driveMissing").arg(name), vaultKey);
    }
    const PasswordChangeCheck check = checkDrivePasswordChange(*digest, input);
    if (!check.passed()) {
        return refused(check);
    }
    const QString newDigest = MD5_32BitUpper(input.confirmation);
    if (!catalogue.saveUpListForName(vaultKey, newDigest)) {
        return failed(text("passwordChange.driveNotSaved").arg(name, catalogue.lastError), catalogue.lastError);
    }
    // Rows are shared with every copy of the library (the one kept across a lock too).
    for (const GroupModelPtr& row : std::as_const(catalogue.UPLibrary[vaultKey])) {
        row->password = newDigest;
    }
    logLine(QString::fromUtf8(loglines::kDrivePasswordChanged).arg(vaultKey));
    PasswordChangeResult result;
    result.ok = true;
    result.weak = passwordLevel(input.confirmation) == 0;
    return result;
}

}  // namespace tessaro::access
