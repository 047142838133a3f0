// tessaro-vault passwd: changes the vault's password, or a drive vault's, through the same
// library and the same checks as the window. The current password comes on the first line
// of standard input and the new one on the second (on a terminal the new one is asked twice).
#include "tools/tessaro-vault/command.h"

#include "access/password_change.h"
#include "core/catalogue.h"
#include "core/catalogue_format.h"
#include "access/login_attempts.h"
#include "core/localized_text.h"
#include "core/settings_store.h"
#include "core/vault_lock.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"

#include <QFileInfo>

#include <unistd.h>

namespace tessaro::cli {
namespace {

constexpr char kUsage[] = "passwd [--drive VOLUME/NAME.flp] [--hint TEXT]";

struct PasswdOptions {
    QString driveKey;
    std::optional<QString> hint;
};

std::optional<PasswdOptions> parseOptions(const QStringList& arguments, QString* error) {
    PasswdOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool takesValue = a == QLatin1String("--drive") || a == QLatin1String("--hint");
        if (takesValue && i + 1 < arguments.size()) {
            if (a == QLatin1String("--drive")) {
                options.driveKey = arguments[++i];
            } else {
                options.hint = arguments[++i];
            }
        } else if (takesValue) {
            *error = QStringLiteral("%1 needs a value").arg(a);
            return std::nullopt;
        } else {
            *error = QStringLiteral("unexpected argument \"%1\" (usage: %2)").arg(a, QString::fromLatin1(kUsage));
            return std::nullopt;
        }
    }
    return options;
}

// A vault key names one directory on one volume: "VOLUME/NAME.flp", nothing that climbs out.
bool isVaultKey(const QString& key) {
    const QStringList pieces = key.split(QLatin1Char('/'));
    if (pieces.size() != 2) {
        return false;
    }
    for (const QString& piece : pieces) {
        if (piece.isEmpty() || piece == QLatin1String(".") || piece == QLatin1String("..")) {
            return false;
        }
    }
    return pieces[1].endsWith(QLatin1String(vaultpaths::kVaultSuffix));
}

std::optional<access::PasswordChangeInput> readPasswords(QString* error) {
    access::PasswordChangeInput input;
    const auto current = readPassword(QStringLiteral("Current password: "));
    if (!current) {
        *error = QStringLiteral("no current password on the first line of standard input");
        return std::nullopt;
    }
    input.oldPassword = *current;
    input.newPassword = readPassword(QStringLiteral("New password: ")).value_or(QString());
    // On a terminal the new password is typed twice, as in the window; piped input gives it once.
    input.confirmation = ::isatty(STDIN_FILENO) ? readPassword(QStringLiteral("Repeat the new password: ")).value_or(QString())
                                                : input.newPassword;
    return input;
}

int report(const access::PasswordChangeResult& result) {
    using access::PasswordChangeRefusal;
    switch (result.check.refusal) {
    case PasswordChangeRefusal::None: break;
    case PasswordChangeRefusal::WrongOldPassword:
        return fail(QStringLiteral("passwd: the current password is not correct"), 1);
    case PasswordChangeRefusal::EmptyNewPassword:
        return fail(QStringLiteral("passwd: no new password on the second line of standard input"));
    case PasswordChangeRefusal::UnusableNewPassword:
        return fail(QStringLiteral("passwd: %1").arg(access::describeRefusal(result.check.unusable)));
    case PasswordChangeRefusal::ConfirmationDiffers:
        return fail(QStringLiteral("passwd: the two new passwords differ"), 1);
    case PasswordChangeRefusal::EmptyHint:
        return fail(QStringLiteral("passwd: a hint is needed (--hint TEXT)"));
    }
    if (!result.ok) {
        return fail(QStringLiteral("passwd: the password was not changed. %1").arg(result.message), 1);
    }
    printLine(QStringLiteral("Password changed."));
    if (result.weak) {
        printLine(QStringLiteral("The new password is weak: a strong one is at least ten characters long and mixes "
                                 "upper- and lower-case letters, digits and symbols."));
    }
    return 0;
}

int changeVaultPassword(const PasswdOptions& options) {
    const QString root = vaultpaths::AppRootDirKey();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        return fail(QStringLiteral("passwd: the settings file %1 names no vault (see init)").arg(SettingsStore::filePath()),
                    1);
    }
    const auto lock = lockVault(root, QStringLiteral("passwd"));
    if (!lock) {
        return 1;
    }
    // Without --hint the hint in force stays, as long as there is one.
    const QString hint = options.hint.value_or(access::storedHint().value_or(QString()));
    QString error;
    auto input = readPasswords(&error);
    if (!input) {
        return fail(error);
    }
    input->hint = hint;
    return report(access::changeVaultPassword(*input));
}

int changeDrivePassword(const PasswdOptions& options) {
    const QString key = options.driveKey;
    if (!isVaultKey(key)) {
        return fail(QStringLiteral("passwd: --drive takes VOLUME/NAME.flp, not \"%1\"").arg(key));
    }
    const QString directory = Volumes::pathFor(key);
    const QString listPath = joinPath(directory, QString::fromLatin1(vaultpaths::kGroupMoveUPList));
    if (!QFileInfo(directory).isDir() || !QFileInfo(listPath).isFile()) {
        return fail(QStringLiteral("passwd: there is no drive vault %1 (is the drive mounted?)").arg(directory), 1);
    }
    const auto lock = lockVault(directory, QStringLiteral("passwd"));
    if (!lock) {
        return 1;
    }
    const QString volume = key.section(QLatin1Char('/'), 0, 0);
    catalogue::ListRead read = catalogue::readRowListFile(
        listPath, {catalogue::ListKind::Removable, key, getMacAddress(), volume, directory});
    // Rewriting a list that could not be read in full would drop what could not be read.
    if (read.status != catalogue::FileRead::Status::Read || !read.rows) {
        return fail(QStringLiteral("passwd: the list of %1 cannot be read (%2); see check").arg(key, read.reason), 1);
    }
    Catalogue catalogue;
    catalogue.UPLibrary.insert(key, *read.rows);
    QString error;
    auto input = readPasswords(&error);
    if (!input) {
        return fail(error);
    }
    // A drive vault keeps no hint; the window asks for one all the same, the tool does not.
    input->hint = options.hint.value_or(key);
    return report(access::changeDrivePassword(catalogue, key, *input));
}

int runPasswd(const QStringList& arguments) {
    LanguageBundle::setLanguage();
    QString error;
    const auto options = parseOptions(arguments, &error);
    if (!options) {
        return fail(error);
    }
    return options->driveKey.isEmpty() ? changeVaultPassword(*options) : changeDrivePassword(*options);
}

[[maybe_unused]] const bool registered = registerCommand(Command{
    QStringLiteral("passwd"),
    QString::fromLatin1(kUsage),
    QStringLiteral("change the vault's password (or a drive vault's): the current one on the first line of "
                   "standard input, the new one on the second; without --hint the hint in force stays"),
    runPasswd,
});

}  // namespace
}  // namespace tessaro::cli
