// add PATH... [--group NAME]: adds files and folders to the vault and hides them, as a drop
// on the window does.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/vault_paths.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

namespace tessaro::cli {
namespace {

// The local vault's group of that name: its position, or absent after a message.
std::optional<qint64> groupNamed(const Catalogue& catalogue, const QString& name) {
    const RowList& rows = catalogue.groupDirList;
    QStringList names;
    for (qsizetype i = 1; i + 1 < rows.size(); ++i) {
        if (rows.at(i)->name == name) {
            return i;
        }
        names.append(rows.at(i)->name);
    }
    fail(QStringLiteral("add: the vault has no group named \"%1\" (groups: %2)").arg(name, names.join(QStringLiteral(", "))));
    return std::nullopt;
}

int runAdd(const QStringList& arguments) {
    QStringList paths;
    QString group;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--group")) {
            if (i + 1 >= arguments.size()) {
                return fail(QStringLiteral("add: --group needs a name"));
            }
            group = arguments.at(++i);
        } else if (arguments.at(i) == QLatin1String("--")) {
            paths.append(arguments.mid(i + 1));
            break;
        } else if (arguments.at(i).startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("add: unknown option %1").arg(arguments.at(i)));
        } else {
            paths.append(arguments.at(i));
        }
    }
    if (paths.isEmpty()) {
        return fail(QStringLiteral("add needs at least one PATH"));
    }
    if (!confirmPassword(QStringLiteral("add"))) {
        return 1;
    }
    auto vault = openVaultForChanges(QStringLiteral("add"));
    if (!vault) {
        return 1;
    }
    qint64 groupIndex = 1;
    if (!group.isEmpty()) {
        const auto found = groupNamed(vault->catalogue, group);
        if (!found) {
            return 2;
        }
        groupIndex = *found;
    }
    const vault::AddTarget target =
        vault::addTargetFor(vault->catalogue, QString::fromLatin1(kLocalListKey), groupIndex);
    const vault::PreparedAdd prepared =
        vault::prepareAdd(paths, vault::recordedPaths(vault->catalogue), target,
                          target.row && target.row->fileModels ? target.row->fileModels->size() : 0, {});
    printProblems(prepared.refused);
    vault::commitAdd(target, prepared.records);
    if (!prepared.records.isEmpty() && !vault->save(target.saveWhich)) {
        return 1;
    }
    int failed = 0;
    bool changed = false;
    for (const FileModelPtr& record : prepared.records) {
        const ItemResult result = vault::hideRecordJournaled(record, {}, true);
        changed = vault::applyHideOutcome(*record, result, vault::diskStateOf(*record)) || changed;
        printProblems(result.problems);
        if (result.complete && !result.hiddenAndGone()) {
            ++failed;
            printLine(QStringLiteral("hidden, but plain files are still there\t%1").arg(record->path));
        } else if (result.complete) {
            printLine(QStringLiteral("hidden\t%1").arg(record->path));
        } else {
            ++failed;
            printLine(QStringLiteral("not hidden\t%1").arg(record->path));
        }
    }
    // The catalogue lists every added item as hidden already; only a hide that did not
    // complete changes it.
    if (changed && !vault->save(target.saveWhich)) {
        return 1;
    }
    // Every outcome is in the saved catalogue: the journal has done its work.
    vault::clearJournal(vaultpaths::AppRootDirKey());
    return failed == 0 && prepared.refused.isEmpty() ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("add"), QStringLiteral("add [--group NAME] [--] PATH..."),
     QStringLiteral("add files and folders to the vault (its all-items group, or the group NAME) and hide them "
                    "(password from stdin); paths already in the vault are left out"),
     runAdd});

}  // namespace
}  // namespace tessaro::cli
