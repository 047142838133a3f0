// store SRC DESTDIR: hides a file or folder into an item container, as the window does.
#include "tools/tessaro-vault/command.h"

#include "access/password_rules.h"
#include "core/clean_path.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/hardware_address.h"
#include "crypto/item_hiding.h"
#include "crypto/owner_stamp.h"
#include "crypto/swapped_name.h"
#include "crypto/item_paths.h"

#include <QDir>
#include <QFileInfo>

namespace tessaro::cli {

namespace {

int runStore(const QStringList& arguments) {
    const std::optional<ParsedArguments> parsed =
        parseArguments(QStringLiteral("store"), arguments, {QStringLiteral("--move")});
    if (!parsed) {
        return 2;
    }
    const QStringList& positional = parsed->positional;
    const bool move = parsed->has(QStringLiteral("--move"));
    if (positional.size() != 2) {
        return fail(QStringLiteral("store needs SRC and DESTDIR (see store --help)"));
    }
    // Every spelling of the item ("Letters.txt/", ".", "a/../b", a linked folder) is the one
    // item under its clean name, which also decides its class and its stored name.
    const CleanPath source = cleanItemPath(positional.at(0));
    if (!source.ok()) {
        return fail(QStringLiteral("store: %1").arg(source.error));
    }
    const QFileInfo sourceInfo(source.path);
    if (!sourceInfo.exists() && !sourceInfo.isSymLink()) {
        return fail(QStringLiteral("store: %1 does not exist").arg(positional.at(0)));
    }
    const QString sourcePath = source.path;
    // A destination given as a link to a folder means that folder.
    const CleanPath destination = cleanFolderPath(positional.at(1));
    const QString container = destination.path;
    if (container == sourcePath || container.startsWith(sourcePath + QLatin1Char('/'))) {
        return fail(QStringLiteral("store: DESTDIR must not lie inside SRC"));
    }
    const std::optional<QString> password = readPassword(QStringLiteral("Password: "));
    if (!password || password->isEmpty()) {
        return fail(QStringLiteral("store: no password on standard input"));
    }
    // A vault with a password of its own must not get copies made under a mistyped one.
    const QString key = QString::fromLatin1(keys::kSOUREPASSWORD);
    if (SettingsStore::contains(key) && !access::passwordMatches(SettingsStore::stringValue(key), *password)) {
        return fail(QStringLiteral("store: the password is not the vault's password"), 1);
    }
    if (!QDir().mkpath(container)) {
        return fail(QStringLiteral("store: cannot create %1").arg(container), 1);
    }
    const auto lock = lockVault(container, QStringLiteral("store"));
    if (!lock) {
        return 1;
    }

    auto model = std::make_shared<FileModel>();
    model->path = sourcePath;
    model->name = source.name();
    const walk::ItemPaths paths{sourcePath, container + QLatin1Char('/') + swappedName(model->name),
                                walk::classForItemName(model->name)};
    HideOptions options;
    options.removeSource = move;
    options.ownerStamp = stamp::buildOwnerStamp(*password, getMacAddress());
    const ItemResult result = hideItem(model, paths, {}, options);
    printProblems(result.problems);
    if (!result.complete) {
        return fail(result.cancelled ? QStringLiteral("store: cancelled, %1 was left as it was").arg(sourcePath)
                                     : QStringLiteral("store: %1 was not stored and was left as it was").arg(sourcePath),
                    1);
    }
    printLine(paths.storedTop);
    if (move && !result.sourceRemoved) {
        return fail(QStringLiteral("store: stored, but %1 was not removed completely").arg(sourcePath), 1);
    }
    return 0;
}

const bool registered = registerCommand(
    {QStringLiteral("store"), QStringLiteral("store [--move] SRC DESTDIR"),
     QStringLiteral("store the file or folder SRC as an item into DESTDIR (password from stdin); --move removes "
                    "SRC once every file is stored and synced"),
     runStore});

}  // namespace
}  // namespace tessaro::cli
