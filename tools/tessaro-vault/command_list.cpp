// tessaro-vault list: every group and item of the local catalogue, the notes and the vaults
// on mounted drives, one per line. Reads only: nothing is created, mended or rewritten, so
// it is safe on a vault that is in trouble.
#include "tools/tessaro-vault/command.h"

#include "core/catalogue_format.h"
#include "core/group_model.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"

#include <QDir>
#include <QFileInfo>

namespace tessaro::cli {
namespace {

using catalogue::FileRead;
using catalogue::ListKind;

// A text as one tab-separated field: a backslash, a tab, a line break or any other control
// character in a name would split the line or the field, so they are written as escapes.
QString field(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    return out;
}

// What the catalogue says, checked against what is on disk.
QString itemState(const FileModel& item, const QString& vaultBase, bool notes) {
    if (notes) {
        return QFileInfo::exists(item.path) ? QStringLiteral("note") : QStringLiteral("note-missing");
    }
    if (item.isEncrtypt) {
        const bool stored = !item.encryptedPath.isEmpty() && QFileInfo::exists(joinPath(vaultBase, item.encryptedPath));
        return stored ? QStringLiteral("hidden") : QStringLiteral("hidden-container-missing");
    }
    return QFileInfo::exists(item.path) ? QStringLiteral("shown") : QStringLiteral("shown-missing");
}

void printRows(const RowList& rows, const QString& vaultBase, bool notes) {
    for (const GroupModelPtr& row : rows) {
        if (row->isHeader || row->isAddItem) {
            continue;
        }
        const qsizetype count = row->fileModels ? row->fileModels->size() : 0;
        // One arg() call: a name that holds "%1" must not be filled in again.
        printLine(QStringLiteral("%1\tgroup\t%2\t%3\t%4 items")
                      .arg(field(row->groupName), QString::number(row->index), field(row->name), QString::number(count)));
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& item : *row->fileModels) {
            // A damaged record's paths are not looked at; the reason ends its line.
            const bool damaged = !item->damage.isEmpty();
            const QString line = QStringLiteral("%1\titem\t%2.%3\t%4\t%5 bytes\t%6\t%7")
                                     .arg(field(item->groupName), QString::number(item->groupIndex),
                                          QString::number(item->fileIndex),
                                          damaged ? QStringLiteral("damaged") : itemState(*item, vaultBase, notes),
                                          QString::number(item->fileSize.load()), field(item->name), field(item->path));
            printLine(damaged ? line + QLatin1Char('\t') + field(item->damage) : line);
        }
    }
}

// Prints one catalogue file; false when it exists but cannot be read in full. Of a damaged
// file it prints what can be read, and on the error output everything that cannot.
bool listFile(const QString& path, ListKind kind, const QString& listKey, const QString& vaultBase,
              const QString& volume, bool required) {
    const catalogue::ListSource source{kind, listKey, getMacAddress(), volume,
                                       kind == ListKind::Notes ? QString() : vaultBase};
    const catalogue::ListRead read = catalogue::readRowListFile(path, source);
    switch (read.status) {
    case FileRead::Status::Read:
        printLine(QStringLiteral("%1\tcatalogue\t%2").arg(field(listKey), field(path)));
        printRows(*read.rows, vaultBase, kind == ListKind::Notes);
        return true;
    case FileRead::Status::Missing:
        if (required) {
            fail(QStringLiteral("%1: no catalogue file").arg(path), 1);
            return false;
        }
        printLine(QStringLiteral("%1\tcatalogue\t%2\tmissing").arg(field(listKey), field(path)));
        return true;
    case FileRead::Status::Damaged: {
        if (!read.rows) {
            break;
        }
        const catalogue::DamageReport& damage = read.damage;
        printLine(QStringLiteral("%1\tcatalogue\t%2\tdamaged\t%3 groups, %4 items readable")
                      .arg(field(listKey), field(path), QString::number(damage.groupsKept), QString::number(damage.itemsKept)));
        printRows(*read.rows, vaultBase, kind == ListKind::Notes);
        fail(QStringLiteral("%1 cannot be read in full: %2 groups and %3 items can be, %4 records or fields cannot:")
                 .arg(path, QString::number(damage.groupsKept), QString::number(damage.itemsKept),
                      QString::number(damage.unreadable.size())),
             1);
        printProblems(damage.unreadable);
        return false;
    }
    case FileRead::Status::Unreadable: break;
    }
    printLine(QStringLiteral("%1\tcatalogue\t%2\tunreadable").arg(field(listKey), field(path)));
    fail(QStringLiteral("%1 cannot be read: %2").arg(path, read.reason), 1);
    return false;
}

// Vault keys of the drives that are mounted now: the remembered ones, then any ".flp"
// directory with a catalogue at the top of a mounted volume.
QStringList mountedVaultKeys() {
    QStringList keys;
    for (const QString& key : SettingsStore::stringList(QString::fromLatin1(keys::KUPNAMES))) {
        if (!key.isEmpty() && QFileInfo(Volumes::pathFor(key)).isDir() && !keys.contains(key)) {
            keys.append(key);
        }
    }
    const QDir root(Volumes::root());
    for (const QString& volume : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir drive(root.filePath(volume));
        for (const QString& dir : drive.entryList({QStringLiteral("*.flp")}, QDir::Dirs | QDir::Hidden, QDir::Name)) {
            const QString key = volume + QLatin1Char('/') + dir;
            if (!keys.contains(key) &&
                QFileInfo::exists(joinPath(drive.filePath(dir), QString::fromLatin1(vaultpaths::kGroupMoveUPList)))) {
                keys.append(key);
            }
        }
    }
    return keys;
}

int runList(const QStringList& arguments) {
    LanguageBundle::setLanguage();
    if (!arguments.isEmpty()) {
        return fail(QStringLiteral("list takes no arguments"));
    }
    const QString root = vaultpaths::AppRootDirKey();
    if (root.isEmpty()) {
        return fail(QStringLiteral("the settings file %1 names no vault (see init)").arg(SettingsStore::filePath()), 1);
    }
    bool ok = listFile(vaultpaths::AppGroupDirListPath(), ListKind::Local, QString::fromLatin1(kLocalListKey), root,
                       QString(), true);
    ok = listFile(vaultpaths::AppGroupNotesListPath(), ListKind::Notes, QString::fromLatin1(kNotesListKey), root,
                  QString(), false) &&
         ok;
    for (const QString& key : mountedVaultKeys()) {
        const QString base = Volumes::pathFor(key);
        const QString volume = key.section(QLatin1Char('/'), 0, 0);
        ok = listFile(joinPath(base, QString::fromLatin1(vaultpaths::kGroupMoveUPList)), ListKind::Removable, key, base,
                      volume, false) &&
             ok;
    }
    return ok ? 0 : 1;
}

[[maybe_unused]] const bool registered = registerCommand(Command{
    QStringLiteral("list"),
    QStringLiteral("list"),
    QStringLiteral("print every group and item of the vault and of mounted drive vaults, with its state, one "
                   "tab-separated line each; in names and paths a backslash is written \\\\, a tab \\t, a line "
                   "break \\n, a carriage return \\r and any other control character \\xNN"),
    runList,
});

}  // namespace
}  // namespace tessaro::cli
