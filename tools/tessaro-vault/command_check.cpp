// check [--repair]: the catalogue against the containers and the plain items.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/localized_text.h"
#include "vault/vault_check.h"

namespace tessaro::cli {
namespace {

int runCheck(const QStringList& arguments) {
    const std::optional<ParsedArguments> parsed =
        parseArguments(QStringLiteral("check"), arguments, {QStringLiteral("--repair")});
    if (!parsed) {
        return 2;
    }
    if (!parsed->positional.isEmpty()) {
        return fail(QStringLiteral("check takes no arguments but --repair"));
    }
    const bool repair = parsed->has(QStringLiteral("--repair"));
    vault::CheckReport report;
    if (repair) {
        if (!confirmPassword(QStringLiteral("check"))) {
            return 1;
        }
        // The repair is this command's own report, not a step before it.
        auto vault = openVaultForChanges(QStringLiteral("check"), false);
        if (!vault) {
            return 1;
        }
        report = vault::checkVault(vault->catalogue, true);
        if (!vault->saveRepairs(report, QStringLiteral("check"))) {
            return 1;
        }
    } else {
        Catalogue catalogue;
        QString why;
        if (!loadCatalogueReadOnly(catalogue, &why)) {
            return fail(QStringLiteral("check: the catalogue cannot be read: %1").arg(why), 1);
        }
        report = vault::checkVault(catalogue, false);
    }
    int open = 0;
    for (const vault::Finding& f : report.findings) {
        const QString state = f.repaired ? QStringLiteral("repaired") : f.repairable ? QStringLiteral("repairable")
                                                                                    : QStringLiteral("left alone");
        // What could not be done is said with its reason, so that a repair never fails silently.
        const QString repair = f.failure.isEmpty() ? f.repair : QStringLiteral("%1 (%2)").arg(f.repair, f.failure);
        printLine(QStringLiteral("%1\t%2\t%3\t%4").arg(state, f.subject, f.problem, repair));
        if (!f.repaired) {
            ++open;
        }
    }
    const qsizetype count = report.findings.size();
    const QString summary =
        count == 1 ? LanguageBundle::localizedStringForKey(QStringLiteral("check.summaryOne"),
                                                           QStringLiteral("1 finding, %1 open"))
                         .arg(open)
                   : LanguageBundle::localizedStringForKey(QStringLiteral("check.summaryMany"),
                                                           QStringLiteral("%1 findings, %2 open"))
                         .arg(count)
                         .arg(open);
    std::fprintf(stderr, "%s\n", summary.toLocal8Bit().constData());
    return open == 0 ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("check"), QStringLiteral("check [--repair]"),
     QStringLiteral("compare the catalogue with the containers and the plain items: half-done walks, records whose "
                    "copies disagree with their state, copies no record names; --repair sets right what can be "
                    "without losing anything (password from stdin)"),
     runCheck});

}  // namespace
}  // namespace tessaro::cli
