// recover --to DIR: every hidden item of the vault restored into DIR, the vault unchanged.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/clean_path.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "vault/drive_vaults.h"
#include "vault/recover_items.h"

#include <QDir>
#include <QFileInfo>

namespace tessaro::cli {
namespace {

int runRecover(const QStringList& arguments) {
    if (arguments.size() != 2 || arguments.first() != QLatin1String("--to")) {
        return fail(QStringLiteral("recover needs --to DIR"));
    }
    const QString root = vaultpaths::AppRootDirKey();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        return fail(QStringLiteral("recover: the settings file names no vault"), 1);
    }
    const QString destination = cleanFolderPath(arguments.at(1)).path;
    if (destination == root || destination.startsWith(root + QLatin1Char('/'))) {
        return fail(QStringLiteral("recover: DIR must lie outside the vault"));
    }
    if (!confirmPassword(QStringLiteral("recover"))) {
        return 1;
    }
    if (!QDir().mkpath(destination)) {
        return fail(QStringLiteral("recover: cannot create %1").arg(destination), 1);
    }
    // A damaged or missing catalogue only loses the groups' names: the containers are walked.
    Catalogue catalogue;
    QString why;
    QList<std::pair<QString, QString>> unreadableDrives;
    std::optional<RowList> rows;
    if (loadCatalogueReadOnly(catalogue, &why, &unreadableDrives)) {
        rows = catalogue.groupDirList;
    } else {
        printLine(QStringLiteral("the catalogue cannot be read (%1); recovering from the containers alone").arg(why));
    }
    vault::RecoverReport report = vault::recoverEveryItem(root, rows, destination);
    // Each mounted drive vault into a folder of its own, named by its key.
    const auto recoverDrive = [&](const QString& key, const QString& base, const std::optional<RowList>& driveRows) {
        if (destination == base || destination.startsWith(base + QLatin1Char('/'))) {
            report.problems.append(QStringLiteral("%1: DIR lies inside this vault, so it is not recovered").arg(key));
            return;
        }
        const vault::RecoverReport part =
            vault::recoverEveryItem(base, driveRows, destination + QLatin1Char('/') + key);
        report.recovered += part.recovered;
        report.skipped += part.skipped;
        report.problems += part.problems;
    };
    for (const vault::FileVault& drive : vault::fileVaults(catalogue)) {
        if (drive.isDrive()) {
            recoverDrive(drive.key, drive.base, *drive.rows);
        }
    }
    for (const auto& [key, reason] : unreadableDrives) {
        printLine(QStringLiteral("%1: the catalogue cannot be read (%2); recovering from the containers alone")
                      .arg(key, reason));
        recoverDrive(key, Volumes::pathFor(key), std::nullopt);
    }
    for (const QString& line : report.recovered) {
        printLine(QStringLiteral("recovered\t%1").arg(line));
    }
    for (const QString& line : report.skipped) {
        printLine(QStringLiteral("skipped\t%1").arg(line));
    }
    printProblems(report.problems);
    std::fprintf(stderr, "%lld recovered, %lld skipped, %lld failed\n", static_cast<long long>(report.recovered.size()),
                 static_cast<long long>(report.skipped.size()), static_cast<long long>(report.problems.size()));
    return report.problems.isEmpty() ? 0 : 1;
}

const bool registered = registerCommand(
    {QStringLiteral("recover"), QStringLiteral("recover --to DIR"),
     QStringLiteral("restore every hidden item of the vault into DIR (one folder per group), and those of each "
                    "mounted drive vault into DIR/VOLUME/NAME.flp, without changing the vaults; works from the "
                    "containers when the catalogue is missing or damaged (password from stdin)"),
     runRecover});

}  // namespace
}  // namespace tessaro::cli
