// tessaro-vault init: creates a vault root the way the first-run guide does, without the
// window: the directory, the settings that name it and hold the password, the "Notes"
// directory and the default catalogues.
#include "tools/tessaro-vault/command.h"

#include "core/catalogue.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"

#include <QDir>
#include <QFileInfo>

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

bool store(const char* key, const QVariant& value, QString* error) {
    if (SettingsStore::setValue(QString::fromLatin1(key), value)) {
        return true;
    }
    *error = QStringLiteral("cannot write the settings file %1").arg(SettingsStore::filePath());
    return false;
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
    QString root = QFileInfo(options->vault).absoluteFilePath();
    if (!root.endsWith(QLatin1String(vaultpaths::kVaultSuffix))) {
        root += QLatin1String(vaultpaths::kVaultSuffix);
    }
    const QFileInfo rootInfo(root);
    if (rootInfo.exists() && !rootInfo.isDir()) {
        return fail(QStringLiteral("%1 exists and is not a directory").arg(root), 1);
    }
    const bool existed = rootInfo.exists();

    const auto password = askPassword(&error);
    if (!password) {
        return fail(error);
    }
    if (!existed && !QDir().mkpath(root)) {
        return fail(QStringLiteral("cannot create the directory %1").arg(root), 1);
    }
    if (!store(keys::kRootDirKey, root, &error) || !store(keys::mainWindowSizeWidth, 800, &error) ||
        !store(keys::mainWindowSizeHeight, 500, &error) ||
        (!options->hint.isEmpty() && !store(keys::kPASSWORDHINTCONTENT, options->hint, &error)) ||
        !store(keys::FirstRun, true, &error) || !store(keys::kSOUREPASSWORD, *password, &error)) {
        return fail(error, 1);
    }

    Catalogue catalogue;
    const bool ok = catalogue.setUp(std::nullopt, false);
    for (const QString& aside : catalogue.damagedFiles) {
        printLine(QStringLiteral("a damaged catalogue was kept as %1").arg(aside));
    }
    if (!ok) {
        return fail(QStringLiteral("the catalogue could not be written: %1").arg(catalogue.lastError), 1);
    }
    printLine(existed ? QStringLiteral("Vault set up in the existing directory %1").arg(root)
                      : QStringLiteral("Vault created at %1").arg(root));
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
