// hide ITEM|--all and unhide ITEM|--all: the window's toggle and its hide all / unhide all.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/record_check.h"
#include "core/vault_paths.h"
#include "vault/bulk_order.h"
#include "vault/drive_vaults.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

#include <algorithm>

namespace tessaro::cli {
namespace {

int run(const QStringList& arguments, bool hide) {
    const QString command = hide ? QStringLiteral("hide") : QStringLiteral("unhide");
    const std::optional<ParsedArguments> parsed = parseArguments(command, arguments, {QStringLiteral("--all")});
    if (!parsed) {
        return 2;
    }
    const bool all = parsed->has(QStringLiteral("--all"));
    if (all == (parsed->positional.size() == 1) || parsed->positional.size() > 1) {
        return fail(QStringLiteral("%1 needs one ITEM or --all").arg(command));
    }
    if (!confirmPassword(command)) {
        return 1;
    }
    auto vault = openVaultForChanges(command);
    if (!vault) {
        return 1;
    }
    FileModelList items;
    if (all) {
        for (const vault::FileVault& v : vault::fileVaults(vault->catalogue)) {
            items += hide ? vault::itemsToHide(*v.rows) : vault::itemsToUnhide(*v.rows);
        }
    } else {
        items = recordsNamed(vault->catalogue, parsed->positional.first(), command, true);
        if (items.isEmpty()) {
            return 2;
        }
        if (const auto damage = recordDamage(*items.first())) {
            return fail(damagedRecordRefusal(*items.first(), *damage, hide ? QStringLiteral("hidden")
                                                                              : QStringLiteral("shown")),
                        1);
        }
        if (items.first()->isEncrtypt == hide) {
            printLine(QStringLiteral("%1\t%2").arg(hide ? QStringLiteral("already hidden") : QStringLiteral("already shown"),
                                                  items.first()->path));
            return 0;
        }
    }
    int failed = 0;
    for (const FileModelPtr& item : items) {
        // Unhiding all keeps every container, as the window's unhide all does.
        const ItemResult result =
            hide ? vault::hideRecordJournaled(item) : vault::unhideRecordJournaled(item, {}, all);
        const vault::DiskState after = vault::diskStateOf(*item);
        hide ? vault::applyHideOutcome(*item, result, after) : vault::applyUnhideOutcome(*item, result, after);
        printProblems(result.problems);
        if (hide && result.complete && !result.hiddenAndGone()) {
            ++failed;
            printLine(QStringLiteral("hidden, but plain files are still there\t%1").arg(item->path));
        } else if (result.complete) {
            printLine(QStringLiteral("%1\t%2").arg(hide ? QStringLiteral("hidden") : QStringLiteral("shown"), item->path));
        } else {
            ++failed;
            printLine(QStringLiteral("%1\t%2").arg(hide ? QStringLiteral("not hidden") : QStringLiteral("not shown"),
                                                  item->path));
        }
    }
    // Each vault whose items were walked is saved, then its journal has done its work.
    for (const vault::FileVault& v : vault::fileVaults(vault->catalogue)) {
        const bool touched = std::any_of(items.cbegin(), items.cend(), [&](const FileModelPtr& item) {
            return item->groupName == v.key;
        });
        if (!touched) {
            continue;
        }
        const bool saved = v.isDrive() ? vault::saveDriveVault(vault->catalogue, v.key) : vault->save(0);
        if (!saved) {
            if (v.isDrive()) {
                fail(QStringLiteral("%1: the catalogue of %2 could not be saved: %3")
                         .arg(command, v.key, vault->catalogue.lastError), 1);
            }
            return 1;
        }
        vault::clearJournal(v.base);
    }
    return failed == 0 ? 0 : 1;
}

const bool hideRegistered = registerCommand(
    {QStringLiteral("hide"), QStringLiteral("hide ITEM|--all"),
     QStringLiteral("hide one item of the vault or of a mounted drive vault (its path or its name) or every "
                    "visible item of them (password from stdin)"),
     [](const QStringList& a) { return run(a, true); }});

const bool unhideRegistered = registerCommand(
    {QStringLiteral("unhide"), QStringLiteral("unhide ITEM|--all"),
     QStringLiteral("unhide one item of the vault or of a mounted drive vault (its path or its name) or every "
                    "hidden item of them; unhiding all keeps the containers (password from stdin)"),
     [](const QStringList& a) { return run(a, false); }});

}  // namespace
}  // namespace tessaro::cli
