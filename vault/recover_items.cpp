#include "vault/recover_items.h"

#include "core/record_check.h"
#include "crypto/item_attributes.h"
#include "crypto/item_hiding.h"
#include "crypto/item_paths.h"
#include "crypto/swapped_name.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace tessaro::vault {

namespace {

QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A folder name for a group that is safe as one path component.
QString folderNameFor(const QString& name) {
    QString safe = name;
    safe.replace(QLatin1Char('/'), QLatin1Char('_'));
    return safe.isEmpty() || safe == QLatin1String(".") || safe == QLatin1String("..") ? QStringLiteral("_") : safe;
}

}  // namespace

RecoverReport recoverEveryItem(const QString& vaultDirectory, const std::optional<RowList>& catalogueRows,
                               const QString& destination) {
    RecoverReport report;
    QHash<QString, QString> groupNames;  // group folder -> group name
    QSet<QString> shown;                 // stored tops of items the catalogue shows as visible
    if (catalogueRows) {
        for (const GroupModelPtr& row : *catalogueRows) {
            if (!row->path.isEmpty()) {
                groupNames.insert(row->path, row->name);
            }
            if (row->fileModels) {
                for (const FileModelPtr& item : *row->fileModels) {
                    // A damaged record vouches for nothing: whatever stored copy it meant
                    // is found in the containers like any other.
                    if (const auto damage = recordDamage(*item)) {
                        report.skipped.append(damagedRecordRefusal(*item, *damage, QStringLiteral("used")));
                    } else if (!item->isEncrtypt) {
                        shown.insert(vaultDirectory + QLatin1Char('/') + item->encryptedPath + QLatin1Char('/') +
                                     walk::storedNameFor(*item));
                    }
                }
            }
        }
    }
    // What a walk in flight had made is not an item.
    QSet<QString> inFlight;
    for (const JournalEntry& entry : readJournal(vaultDirectory).entries) {
        if (!entry.workDirectory.isEmpty()) {
            inFlight.insert(QFileInfo(entry.storedTop).path() + QLatin1Char('/') + entry.workDirectory);
        }
    }
    for (const QString& group : entriesOf(vaultDirectory)) {
        const QString groupPath = vaultDirectory + QLatin1Char('/') + group;
        const QFileInfo info(groupPath);
        // The vault's own folders hold no containers.
        if (!info.isDir() || info.isSymLink() || group == QLatin1String("Notes") || group == QLatin1String("Thumb")) {
            continue;
        }
        const QString folder = destination + QLatin1Char('/') + folderNameFor(groupNames.value(group, group));
        for (const QString& container : entriesOf(groupPath)) {
            const QString containerPath = groupPath + QLatin1Char('/') + container;
            if (!QFileInfo(containerPath).isDir()) {
                continue;
            }
            for (const QString& stored : entriesOf(containerPath)) {
                const QString storedTop = containerPath + QLatin1Char('/') + stored;
                if (walk::ItemAttributes::isAttributeFileIn(containerPath, stored)) {
                    continue;  // the links and attributes of the stored top beside it
                }
                if (inFlight.contains(storedTop)) {
                    report.skipped.append(QStringLiteral("%1: left by an interrupted walk").arg(storedTop));
                    continue;
                }
                if (shown.contains(storedTop)) {
                    report.skipped.append(QStringLiteral("%1: the item is shown, its plain copy is in place").arg(storedTop));
                    continue;
                }
                const QString plainName = swappedName(stored);
                const QString target = folder + QLatin1Char('/') + plainName;
                auto model = std::make_shared<FileModel>();
                model->path = target;
                model->name = plainName;
                HideOptions keep;
                keep.removeSource = false;
                const ItemResult r =
                    unhideItem(model, {target, storedTop, walk::classForItemName(plainName)}, {}, keep);
                if (r.complete) {
                    report.recovered.append(QStringLiteral("%1 -> %2").arg(storedTop, r.restoredPath));
                } else {
                    report.problems.append(QStringLiteral("%1 could not be recovered: %2")
                                               .arg(storedTop, r.problems.join(QStringLiteral("; "))));
                }
            }
        }
    }
    return report;
}

}  // namespace tessaro::vault
