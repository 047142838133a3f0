// restore STORED DEST: brings a stored file or stored folder back as a plain item.
#include "tools/tessaro-vault/command.h"

#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "crypto/tree_walk.h"

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
    const QFileInfo stored(positional.at(0));
    if (!stored.exists()) {
        return fail(QStringLiteral("restore: %1 does not exist").arg(positional.at(0)));
    }
    // The stored name is the swapped item name; the item's class follows from the plain one.
    const QString plainName = swappedName(stored.fileName());
    QString target = QFileInfo(positional.at(1)).absoluteFilePath();
    if (QFileInfo(target).isDir() && !QFileInfo(target).isSymLink()) {
        target += QLatin1Char('/') + plainName;
    }
    auto model = std::make_shared<FileModel>();
    model->path = target;
    model->name = plainName;
    const walk::ItemPaths paths{target, stored.absoluteFilePath(), walk::classForItemName(plainName)};
    HideOptions options;
    options.removeSource = move;
    const ItemResult result = unhideItem(model, paths, {}, options);
    printProblems(result.problems);
    if (!result.complete) {
        return fail(QStringLiteral("restore: incomplete, nothing was put at %1").arg(target), 1);
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
