// tessaro-vault init: creates a vault root the way the first-run guide does, without the
// window, through the same library function: the directory with "Notes", "Thumb" and the
// default catalogues, then the settings that name it and hold the password.
#include "tools/tessaro-vault/command.h"

#include "access/vault_creation.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"

#include <unistd.h>

namespace tessaro::cli {
namespace {

struct InitOptions {
    QString vault;
    QString hint;
};
std::optional<InitOptions> parseOptions(const QStringList& arguments, QString* error) {
    InitOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if ((a == QLatin1String("--vault") || a == QLatin1String("--hint")) && i + 1 < arguments.size()) {
            (a == QLatin1String("--vault") ? options.vault : options.hint) = arguments[++i];
        } else if (a == QLatin1String("--vault") || a == QLatin1String("--hint")) {
            *error = QStringLiteral("%1 needs a value").arg(a);
            return std::nullopt;
        } else {
            *error = QStringLiteral("unexpected argument \"%1\" (usage: init --vault DIR.flp [--hint TEXT])").arg(a);
            return std::nullopt;
        }
    }
    if (options.vault.isEmpty()) {
        *error = QStringLiteral("init needs --vault DIR.flp");
        return std::nullopt;
    }
    return options;
}

std::optional<QString> askPassword(QString* error) {
    const auto password = readPassword(QStringLiteral("New password: "));
    if (!password || password->isEmpty()) {
        *error = QStringLiteral("no password given (it is read from standard input)");
        return std::nullopt;
    }
    const access::PasswordRefusal refusal = access::refusalForNewPassword(*password);
    if (refusal != access::PasswordRefusal::None) {
        *error = access::describeRefusal(refusal);
        return std::nullopt;
    }
    // On a terminal the password is typed twice, as in the guide; piped input gives it once.
    if (::isatty(STDIN_FILENO)) {
        const auto again = readPassword(QStringLiteral("Repeat the password: "));
        if (!again || *again != *password) {
            *error = QStringLiteral("the two passwords differ");
            return std::nullopt;
        }
    }
    return password;
}

int runInit(const QStringList& arguments) {
    // Default names are written in the language the settings choose, as in the window.
    LanguageBundle::setLanguage();
    QString error;
    const auto options = parseOptions(arguments, &error);
    if (!options) {
        return fail(error);
    }
    if (SettingsStore::boolValue(QString::fromLatin1(keys::FirstRun))) {
        return fail(QStringLiteral("the settings file %1 already belongs to the vault %2; use another --settings file")
                        .arg(SettingsStore::filePath(), vaultpaths::AppRootDirKey()),
                    1);
    }
    // The location is checked before the password is asked for, and again when creating.
    const QString refusal = access::refusalForVaultRoot(access::vaultRootForChosenPath(options->vault));
    if (!refusal.isEmpty()) {
        return fail(refusal, 1);
    }
    const auto password = askPassword(&error);
    if (!password) {
        return fail(error);
    }
    const access::VaultCreation created = access::createVault({options->vault, *password, options->hint, false});
    if (!created.ok) {
        return fail(created.message, 1);
    }
    printLine(created.existed ? QStringLiteral("Vault set up in the existing directory %1").arg(created.root)
                              : QStringLiteral("Vault created at %1").arg(created.root));
    return 0;
}

[[maybe_unused]] const bool registered = registerCommand(Command{
    QStringLiteral("init"),
    QStringLiteral("init --vault DIR.flp [--hint TEXT]"),
    QStringLiteral("create a vault (password from standard input) and point the settings at it"),
    runInit,
});

}  // namespace
}  // namespace tessaro::cli
