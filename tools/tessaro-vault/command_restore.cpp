// restore STORED DEST: brings a stored file or stored folder back as a plain item.
#include "tools/tessaro-vault/command.h"

#include "core/clean_path.h"
#include "core/vault_lock.h"
#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "crypto/item_paths.h"

#include <QFileInfo>

namespace tessaro::cli {

namespace {

int runRestore(const QStringList& arguments) {
    const std::optional<ParsedArguments> parsed =
        parseArguments(QStringLiteral("restore"), arguments, {QStringLiteral("--move")});
    if (!parsed) {
        return 2;
    }
    const QStringList& positional = parsed->positional;
    const bool move = parsed->has(QStringLiteral("--move"));
    if (positional.size() != 2) {
        return fail(QStringLiteral("restore needs STORED and DEST (see restore --help)"));
    }
    const CleanPath stored = cleanItemPath(positional.at(0));
    if (!stored.ok()) {
        return fail(QStringLiteral("restore: %1").arg(stored.error));
    }
    if (!QFileInfo::exists(stored.path)) {
        return fail(QStringLiteral("restore: %1 does not exist").arg(positional.at(0)));
    }
    // The stored name is the swapped item name; the item's class follows from the plain one.
    const QString plainName = swappedName(stored.name());
    // Into DEST when it is a folder (a link to a folder included), else as DEST.
    const CleanPath folder = cleanFolderPath(positional.at(1));
    QString target = QFileInfo(folder.path).isDir() ? folder.path + QLatin1Char('/') + plainName
                                                    : cleanItemPath(positional.at(1)).path;
    if (target.isEmpty() || target == stored.path || target.startsWith(stored.path + QLatin1Char('/'))) {
        return fail(QStringLiteral("restore: DEST must not lie inside STORED"));
    }
    std::shared_ptr<VaultLock> lock;
    if (move) {
        lock = lockVault(QFileInfo(stored.path).absolutePath(), QStringLiteral("restore"));
        if (!lock) {
            return 1;
        }
    }
    auto model = std::make_shared<FileModel>();
    model->path = target;
    model->name = plainName;
    const walk::ItemPaths paths{target, stored.path, walk::classForItemName(plainName)};
    HideOptions options;
    options.removeSource = move;
    const ItemResult result = unhideItem(model, paths, {}, options);
    printProblems(result.problems);
    if (!result.complete) {
        return fail(result.cancelled ? QStringLiteral("restore: cancelled, nothing was put at %1").arg(target)
                                     : QStringLiteral("restore: nothing was put at %1; the stored copy was kept").arg(target),
                    1);
    }
    printLine(result.restoredPath);
    if (move && !result.sourceRemoved) {
        return fail(QStringLiteral("restore: restored, but the stored copy was not removed completely"), 1);
    }
    return 0;
}

const bool registered = registerCommand(
    {QStringLiteral("restore"), QStringLiteral("restore [--move] STORED DEST"),
     QStringLiteral("restore a stored file or stored folder to DEST (into DEST when it is a folder; beside it "
                    "under a new name when taken); --move removes the stored copy once complete"),
     runRestore});

}  // namespace
}  // namespace tessaro::cli
