// remove ITEM: the window's "Remove from List". A shown item's record goes and the item
// stays where it is; a hidden item is unhidden first, and its record goes only when that
// completed, so that no file is left where nothing leads to it.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/vault_paths.h"
#include "vault/list_commands.h"
#include "vault/vault_journal.h"

namespace tessaro::cli {
namespace {

int run(const QStringList& arguments) {
    const QString command = QStringLiteral("remove");
    const std::optional<ParsedArguments> parsed = parseArguments(command, arguments, {});
    if (!parsed) {
        return 2;
    }
    if (parsed->positional.size() != 1) {
        return fail(QStringLiteral("remove needs one ITEM"));
    }
    if (!confirmPassword(command)) {
        return 1;
    }
    auto vault = openVaultForChanges(command);
    if (!vault) {
        return 1;
    }
    const FileModelList items = recordsNamed(vault->catalogue, parsed->positional.first(), command);
    if (items.isEmpty()) {
        return 2;
    }
    int kept = 0;
    bool changed = false;
    bool walked = false;
    for (const FileModelPtr& item : items) {
        const bool wasHidden = item->isEncrtypt;
        const vault::RemoveOutcome outcome = vault::removeFromList(vault->catalogue.groupDirList, item);
        walked = walked || outcome.unhid;
        // An unhide that did not complete may still have changed what the record says.
        changed = changed || outcome.removed || outcome.unhid || item->isEncrtypt != wasHidden;
        printProblems(outcome.unhide.problems);
        if (outcome.unhid && outcome.unhide.complete) {
            printLine(QStringLiteral("shown\t%1").arg(item->path));
        }
        if (outcome.removed) {
            printLine(QStringLiteral("removed\t%1").arg(item->path));
        } else {
            ++kept;
            fail(QStringLiteral("remove: %1").arg(outcome.refusal), 1);
            printLine(QStringLiteral("kept\t%1").arg(item->path));
        }
    }
    if (changed && !vault->save(0)) {
        return 1;
    }
    if (walked) {
        // Every outcome is in the saved catalogue: the journal has done its work.
        vault::clearJournal(vaultpaths::AppRootDirKey());
    }
    return kept == 0 ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("remove"), QStringLiteral("remove ITEM"),
     QStringLiteral("take an item (its path or its name) off the vault's list, leaving its files where they are; a "
                    "hidden item is unhidden first and stays listed if that does not complete (password from stdin)"),
     run});

}  // namespace
}  // namespace tessaro::cli
