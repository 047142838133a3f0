// verify PATH...: checks every stored file below the given paths without writing anything.
#include "tools/tessaro-vault/command.h"

#include "core/vault_paths.h"
#include "crypto/item_attributes.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"
#include "crypto/tree_walk.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace tessaro::cli {

namespace {

// Group directories ("<hash>-<seconds>") and item containers ("<hash>") are made of digits;
// the first other name below the given path is the stored item, whose name decides the class.
storedfile::ItemClass classBelow(const QString& root, const QString& file) {
    static const QRegularExpression layout(QStringLiteral("^[0-9]+(-[0-9]+)?$"));
    const QStringList parts = file.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (!layout.match(part).hasMatch()) {
            return walk::classForItemName(swappedName(part));
        }
    }
    return storedfile::ItemClass::Binary;
}

// A vault directory also holds its catalogues, journal, notes and thumbnails, which are not
// stored files; they are recognised by the catalogue file beside them. Every file directly in
// a vault directory is the vault's own: stored files live in containers two levels down. An
// item's attribute file beside its stored top is not a stored file either.
bool isVaultOwnFile(const QString& file) {
    const QStringList catalogues{QLatin1String(vaultpaths::kGroupDirList), QLatin1String(vaultpaths::kGroupNotesList),
                                 QLatin1String(vaultpaths::kGroupMoveUPList)};
    auto isVaultDirectory = [&](const QDir& dir) {
        return std::any_of(catalogues.begin(), catalogues.end(), [&](const QString& name) {
            return dir.exists(name) || !dir.entryList({name + QStringLiteral(".damaged-*")}, QDir::Files).isEmpty();
        });
    };
    const QFileInfo info(file);
    if (walk::ItemAttributes::isAttributeFileIn(info.path(), info.fileName()) || isVaultDirectory(info.dir())) {
        return true;
    }
    QDir dir = info.dir();
    for (QString child = dir.dirName(); dir.cdUp(); child = dir.dirName()) {
        if ((child == QLatin1String(vaultpaths::kNotesDir) || child == QLatin1String(vaultpaths::kThumbDir)) &&
            isVaultDirectory(dir)) {
            return true;
        }
        if (dir.isRoot()) {
            break;
        }
    }
    return false;
}

int runVerify(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return fail(QStringLiteral("verify needs at least one PATH"));
    }
    const qint64 expectedHeader = walk::currentHeaderLength();
    int checked = 0;
    int damaged = 0;
    auto check = [&](const QString& path, storedfile::ItemClass itemClass) {
        ++checked;
        const QString reason = storedfile::verifyStoredFile(path, itemClass, expectedHeader);
        if (!reason.isEmpty()) {
            ++damaged;
            printLine(QStringLiteral("%1: %2").arg(path, reason));
        }
    };
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (!info.exists()) {
            return fail(QStringLiteral("verify: %1 does not exist").arg(argument));
        }
        const QString root = info.absoluteFilePath();
        if (!info.isDir()) {
            check(root, walk::classForItemName(swappedName(info.fileName())));
            continue;
        }
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (isVaultOwnFile(file)) {
                continue;
            }
            check(file, classBelow(root, file));
        }
    }
    std::fprintf(stderr, "%d stored files checked, %d damaged\n", checked, damaged);
    return damaged == 0 ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("verify"), QStringLiteral("verify PATH..."),
     QStringLiteral("check every stored file below PATH (a vault, group folder, item container or stored item): "
                    "header and footer agree, lengths fit, text-class bodies decrypt; one line per damaged file"),
     runVerify});

}  // namespace
}  // namespace tessaro::cli
