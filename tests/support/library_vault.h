#pragma once

// A local vault driven through the vault library the way the window and tessaro-vault drive
// it. Header only: the tests that use it link the vault library, the others need not.
#include "core/catalogue.h"
#include "crypto/item_paths.h"
#include "support/test_environment.h"
#include "vault/add_items.h"
#include "vault/drive_vaults.h"
#include "vault/item_operations.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tessaro::testing {

inline QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Every record of the local list as the saved catalogue has it, in list order.
inline FileModelList reloadedItems() {
    Catalogue again;
    again.setUp(std::nullopt, false);
    FileModelList all;
    for (const GroupModelPtr& row : again.groupDirList) {
        all.append(row->fileModels ? *row->fileModels : FileModelList());
    }
    return all;
}

struct LibraryVault {
    TestEnvironment env;
    Catalogue catalogue;
    QString home = env.base() + QStringLiteral("/home");

    LibraryVault() {
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        QDir().mkpath(home);
    }
    QString file(const QString& name, const QByteArray& bytes) const {
        const QString path = home + QLatin1Char('/') + name;
        TestEnvironment::writeFile(path, bytes);
        return path;
    }
    // Records the paths in a group of the local list, shown, and saves the catalogue, as an
    // add does before its walks.
    FileModelList add(const QStringList& paths, qint64 groupIndex = 1, QStringList* refused = nullptr) {
        const vault::AddTarget target = vault::addTargetFor(catalogue, QString::fromLatin1(kLocalListKey), groupIndex);
        const vault::PreparedAdd prepared = vault::prepareAdd(paths, vault::recordedPaths(catalogue), target,
                                                              target.row->fileModels->size(), {});
        if (refused) {
            *refused = prepared.refused;
        }
        for (const FileModelPtr& r : prepared.records) {
            r->isEncrtypt = false;
        }
        vault::commitAdd(target, prepared.records);
        EXPECT_TRUE(catalogue.SaveGroupList(0));
        return prepared.records;
    }
    // Hides or unhides a record through the journal, applies the outcome and saves.
    ItemResult toggle(const FileModelPtr& record, bool keepContainer = false) {
        const ItemResult r = walk(record, !record->isEncrtypt, {}, keepContainer);
        EXPECT_TRUE(r.complete) << r.problems.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(catalogue.SaveGroupList(0));
        vault::clearJournal(env.vaultRoot());
        return r;
    }
    FileModelList addAndHide(const QStringList& paths, qint64 groupIndex = 1, QStringList* refused = nullptr) {
        const FileModelList records = add(paths, groupIndex, refused);
        for (const FileModelPtr& r : records) {
            toggle(r);
        }
        return records;
    }
    // A journaled walk of one record and its outcome applied, without saving: what a drive
    // pulled or filled mid-walk leaves is what the test looks at.
    static ItemResult walk(const FileModelPtr& record, bool hide, const walk::WalkProgress& progress = {},
                           bool keepContainer = false) {
        const ItemResult r = hide ? vault::hideRecordJournaled(record, progress)
                                  : vault::unhideRecordJournaled(record, progress, keepContainer);
        hide ? vault::applyHideOutcome(*record, r, vault::diskStateOf(*record))
             : vault::applyUnhideOutcome(*record, r, vault::diskStateOf(*record));
        return r;
    }
    // A vault made on the mounted drive `volume` under the current password, and selected.
    QString makeDriveVault(const QString& volume, const QString& name = QStringLiteral("Box")) {
        const vault::DriveCreation made = vault::createDriveVault(catalogue, volume, name);
        EXPECT_TRUE(made.created) << made.reason.toStdString();
        catalogue.selectGroupName = made.vault.key();
        return made.vault.key();
    }
    // Records the paths in that drive vault (as hidden, as an add does) and saves it, without
    // walking yet.
    FileModelList addToDrive(const QString& key, const QStringList& paths) {
        const vault::AddTarget target = vault::driveAddTarget(catalogue, key, 1);
        const vault::PreparedAdd prepared = vault::prepareAdd(paths, vault::recordedPaths(catalogue), target, 0, {});
        EXPECT_TRUE(prepared.refused.isEmpty()) << prepared.refused.join(QLatin1Char('\n')).toStdString();
        vault::commitAdd(target, prepared.records);
        EXPECT_TRUE(vault::saveDriveVault(catalogue, key));
        return prepared.records;
    }
    QString storedTop(const FileModelPtr& record) const { return walk::pathsForRecord(*record).storedTop; }
    // What the next start does: load, repair, save, clear what was settled; this vault's
    // catalogue is the one loaded.
    vault::CheckReport nextStart() {
        catalogue = Catalogue();
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        const vault::CheckReport report = vault::checkVault(catalogue, true);
        EXPECT_TRUE(catalogue.SaveGroupList(0));
        for (const QString& settled : report.settledJournals) {
            vault::clearJournal(settled);
        }
        return report;
    }
    FileModelList records() const { return *catalogue.groupDirList.at(1)->fileModels; }
};

}  // namespace tessaro::testing
