#include "vault/vault_controller.h"

#include "core/localized_text.h"
#include "core/log.h"
#include "core/record_check.h"
#include "crypto/help_class.h"
#include "crypto/stored_file.h"
#include "vault/bulk_order.h"
#include "vault/item_operations.h"
#include "vault/serial_worker.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "vault/drive_vaults.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>

#include <utility>

namespace tessaro::vault {

namespace {

QString extensionOf(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : name.mid(dot + 1);
}

int saveWhichFor(const FileModel& record) { return record.groupName == QLatin1String(kLocalListKey) ? 0 : 1; }

// A copy of the records of a catalogue that a worker may change freely; `originals` maps
// each copy back to the record the window holds.
struct CatalogueCopy {
    Catalogue catalogue;
    QHash<const FileModel*, FileModelPtr> originals;
};

FileModelPtr cloneRecord(const FileModel& r) {
    auto c = std::make_shared<FileModel>();
    c->isEncrtypt = r.isEncrtypt;
    c->name = r.name;
    c->path = r.path;
    c->createDate = r.createDate;
    c->addDate = r.addDate;
    c->fileSize = r.fileSize.load();
    c->groupIndex = r.groupIndex;
    c->groupName = r.groupName;
    c->fileIndex = r.fileIndex;
    c->macAddress = r.macAddress;
    c->encryptedPath = r.encryptedPath;
    return c;
}

RowList cloneRows(const RowList& rows, QHash<const FileModel*, FileModelPtr>& originals) {
    RowList out;
    for (const GroupModelPtr& row : rows) {
        auto copy = std::make_shared<GroupModel>(*row);
        if (row->fileModels) {
            copy->fileModels = std::make_shared<FileModelList>();
            for (const FileModelPtr& item : *row->fileModels) {
                FileModelPtr c = cloneRecord(*item);
                originals.insert(c.get(), item);
                copy->fileModels->append(c);
            }
        }
        out.append(copy);
    }
    return out;
}

}  // namespace

VaultController::VaultController(Catalogue& catalogue, Hooks hooks, QObject* parent)
    : QObject(parent), catalogue_(catalogue), hooks_(std::move(hooks)), worker_(std::make_unique<SerialWorker>()) {
    progressTimer_.setInterval(kProgressIntervalMs);
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (current_) {
            emit walkProgress(current_->record, current_->kind, current_->showsPanel);
        }
    });
}

VaultController::~VaultController() {
    if (current_) {
        current_->record->isCancel = true;
    }
    if (savesPending_ > 0) {
        // A catalogue write given is never dropped; the walk before it stops at its next chunk.
        worker_->waitForIdle();
    }
    worker_.reset();  // the running walk stops at its next chunk
}

bool VaultController::busy() const { return current_ || !waiting_.empty() || preparingAdds_ > 0; }

void VaultController::addPaths(const QStringList& paths, const QString& selectGroupName, qint64 selectGroupIndex) {
    if (paths.isEmpty() || whenStopped_) {
        return;
    }
    // Files on a drive go into the selected vault of that drive, the computer's into the
    // local vault; the window has chosen (or made) the drive vault before.
    const bool toDrive = catalogue_.UPLibrary.contains(selectGroupName) && Volumes::isOnVolume(paths.first());
    const AddTarget target = toDrive ? driveAddTarget(catalogue_, selectGroupName, selectGroupIndex)
                                     : addTargetFor(catalogue_, selectGroupName, selectGroupIndex);
    const QSet<QString> recorded = recordedPaths(catalogue_);
    const qint64 first = target.row && target.row->fileModels ? target.row->fileModels->size() : 0;
    // Icons come from the desktop's theme, which only the window's thread may ask; items of
    // one extension share their thumbnail, so one icon per extension is enough.
    QHash<QString, QImage> icons;
    if (hooks_.icons) {
        for (const QString& path : paths) {
            const QString extension = extensionOf(path);
            if (!icons.contains(extension)) {
                icons.insert(extension, hooks_.icons(path));
            }
        }
    }
    ++preparingAdds_;
    batchShowedPanel_ = true;
    emit preparing(static_cast<int>(paths.size()));
    worker_->submit([this, paths, recorded, target, first, icons] {
        const PreparedAdd prepared = prepareAdd(paths, recorded, target, first, [&icons](const QString& path) {
            return icons.value(extensionOf(path));
        });
        SerialWorker::post(this, [this, prepared, target] {
            --preparingAdds_;
            AddTarget into = target;
            const bool toDrive = into.saveWhich == 1;
            const RowList& list = toDrive ? catalogue_.UPLibrary.value(into.listKey) : catalogue_.groupDirList;
            if (!into.row || !list.contains(into.row)) {
                // The group went away meanwhile: its records go to the all-items group.
                into = toDrive ? driveAddTarget(catalogue_, into.listKey, 1)
                               : addTargetFor(catalogue_, QString::fromLatin1(kLocalListKey), 1);
            }
            // Another add may have taken a path while this one was prepared.
            const QSet<QString> now = recordedPaths(catalogue_);
            FileModelList records;
            for (const FileModelPtr& r : prepared.records) {
                if (!now.contains(r->path)) {
                    records.append(r);
                }
            }
            if (whenStopped_) {
                // Locking: the records are kept, as what they are on disk, and not hidden now.
                for (const FileModelPtr& r : records) {
                    r->isEncrtypt = false;
                }
            }
            commitAdd(into, records);
            if (!records.isEmpty()) {
                // A drive vault's file is written even if the selection moved on meanwhile.
                const QString selected = catalogue_.selectGroupName;
                if (toDrive) {
                    catalogue_.selectGroupName = into.listKey;
                }
                saveInOrder({SaveStep{{catalogue_.prepareSave(into.saveWhich)}, {}}});
                catalogue_.selectGroupName = selected;
                emit added(records, records.last()->groupIndex);
            }
            if (!prepared.refused.isEmpty()) {
                emit problems(QStringLiteral("addRefused.title"), prepared.refused);
            }
            std::deque<Task> tasks;
            if (!whenStopped_) {
                for (const FileModelPtr& r : records) {
                    tasks.push_back(Task{r, Kind::Hide, false, true, into.saveWhich, false, true});
                }
            }
            enqueue(std::move(tasks));
        });
    });
}

void VaultController::toggle(const FileModelPtr& item) {
    if (!item || busy() || whenStopped_) {
        return;
    }
    std::deque<Task> tasks;
    tasks.push_back(Task{item, item->isEncrtypt ? Kind::Unhide : Kind::Hide, false, true, saveWhichFor(*item), true});
    batchShowedPanel_ = true;
    enqueue(std::move(tasks));
}

void VaultController::hideAll(const RowList& rows, int saveWhich) {
    if (busy() || whenStopped_) {
        return;
    }
    std::deque<Task> tasks;
    for (const FileModelPtr& item : itemsToHide(rows)) {
        tasks.push_back(Task{item, Kind::Hide, false, true, saveWhich, false});
    }
    batchShowedPanel_ = true;
    enqueue(std::move(tasks));
}

void VaultController::unhideAll(const RowList& rows, int saveWhich) {
    if (busy() || whenStopped_) {
        return;
    }
    std::deque<Task> tasks;
    for (const FileModelPtr& item : itemsToUnhide(rows)) {
        tasks.push_back(Task{item, Kind::Unhide, true, true, saveWhich, false});
    }
    batchShowedPanel_ = true;
    enqueue(std::move(tasks));
}

void VaultController::hideGroup(const RowList& rows, qint64 groupIndex, qint64 from, int saveWhich) {
    if (busy() || whenStopped_) {
        return;
    }
    std::deque<Task> tasks;
    for (const FileModelPtr& item : groupItemsToHide(rows, groupIndex, from)) {
        tasks.push_back(Task{item, Kind::Hide, false, false, saveWhich, false});
    }
    batchShowedPanel_ = false;
    enqueue(std::move(tasks));
}

void VaultController::enqueue(std::deque<Task> tasks) {
    for (Task& t : tasks) {
        waiting_.push_back(std::move(t));
    }
    startNext();
}

void VaultController::startNext() {
    if (current_) {
        return;
    }
    if (waiting_.empty()) {
        progressTimer_.stop();
        if (preparingAdds_ == 0) {
            saveChanged();
            if (!batchProblems_.isEmpty()) {
                emit problems(QStringLiteral("walkFailed.title"), std::exchange(batchProblems_, {}));
            }
            if (!batchNotes_.isEmpty()) {
                emit problems(QStringLiteral("walkNotes.title"), std::exchange(batchNotes_, {}));
            }
            emit allFinished(batchShowedPanel_);
            finishStopIfSettled();
        }
        return;
    }
    current_ = std::make_unique<Task>(std::move(waiting_.front()));
    waiting_.pop_front();
    const Task task = *current_;
    FileModel& record = *task.record;
    record.currentEncryptSize = 0;
    record.isCancel = false;
    record.startEncryptDate = storedfile::nowMilliseconds();
    record.encryptDuration = record.startEncryptDate;
    HelpClass::sharedInstance().setEditModel(task.record);
    emit walkStarted(task.record, task.kind, task.showsPanel);
    progressTimer_.start();
    worker_->submit([this, task] {
        ItemResult result;
        bool missing = false;
        if (task.kind == Kind::Hide) {
            const QFileInfo plain(task.record->path);
            // A damaged record is refused by the hide itself, with its reason.
            if (!recordDamage(*task.record) && !plain.exists() && !plain.isSymLink()) {
                missing = true;
                result.problems.append(task.record->path);
            } else {
                result = hideRecordJournaled(task.record, {}, task.justAdded);
            }
        } else {
            result = unhideRecordJournaled(task.record, {}, task.keepStoredCopy);
        }
        const DiskState after = diskStateOf(*task.record);
        SerialWorker::post(this, [this, task, result, missing, after] { finished(task, result, missing, after); });
    });
}

void VaultController::finished(const Task& task, const ItemResult& result, bool missing, DiskState after) {
    FileModel& record = *task.record;
    const QString pathBefore = record.path;
    const bool changed = task.kind == Kind::Hide ? applyHideOutcome(record, result, after)
                                                 : applyUnhideOutcome(record, result, after);
    if (missing) {
        emit problems(QStringLiteral("fileRemovedMessage"), {pathBefore});
    } else if ((!result.complete && !result.cancelled) || (result.complete && !result.leftBehind.isEmpty())) {
        batchProblems_.append(result.problems);
    } else if (result.complete && !result.problems.isEmpty()) {
        // Done, with something to say: files kept because they changed, a taken location.
        // The taken location is said in the reader's language; the walk names it in English.
        for (const QString& line : result.problems) {
            if (!result.restoredBeside || !line.contains(result.restoredPath)) {
                batchNotes_.append(line);
            }
        }
        if (result.restoredBeside) {
            batchNotes_.append(LanguageBundle::localizedStringForKey(QStringLiteral("restoredBeside.note"))
                                   .arg(pathBefore, result.restoredPath));
        }
    }
    // A record that ends as the catalogue already had it (an added item, hidden) needs no
    // save; its journal lines are cleared all the same once the rest is saved.
    if (changed && !changed_.contains(task.saveWhich)) {
        changed_.append(task.saveWhich);
    }
    if (!walked_.contains(task.saveWhich)) {
        walked_.append(task.saveWhich);
    }
    noteDrive(task);
    if (task.single) {
        saveChanged();
    }
    current_.reset();
    emit walkFinished(task.record, task.kind, result, task.showsPanel);
    startNext();
}

void VaultController::noteDrive(const Task& task) {
    if (task.saveWhich == 1 && catalogue_.UPLibrary.contains(task.record->groupName) &&
        !drives_.contains(task.record->groupName)) {
        drives_.append(task.record->groupName);
    }
}

void VaultController::saveChanged() {
    const QList<int> which = std::exchange(changed_, {});
    const QList<int> walked = std::exchange(walked_, {});
    QStringList drives = std::exchange(drives_, {});
    if (drives.isEmpty() && (which.contains(1) || walked.contains(1)) && catalogue_.UPLibrary.contains(catalogue_.selectGroupName)) {
        drives.append(catalogue_.selectGroupName);
    }
    QList<SaveStep> steps;
    QList<int> done;
    for (int w : which + walked) {
        if (done.contains(w)) {
            continue;
        }
        done.append(w);
        SaveStep step;
        if (w == 1) {
            // Each drive vault a walk touched is written, whichever row is selected now: a
            // selection moved elsewhere during the walk must not leave its catalogue behind.
            for (const QString& key : std::as_const(drives)) {
                SaveStep drive;
                if (which.contains(w)) {
                    const QString selected = std::exchange(catalogue_.selectGroupName, key);
                    drive.saves.append(catalogue_.prepareSave(1));
                    catalogue_.selectGroupName = selected;
                }
                if (walked.contains(w)) {
                    drive.journalDirectories.append(Volumes::pathFor(key));
                }
                steps.append(std::move(drive));
            }
            continue;
        }
        if (which.contains(w)) {
            step.saves.append(catalogue_.prepareSave(w));
        }
        if (walked.contains(w)) {
            step.journalDirectories.append(vaultpaths::AppRootDirKey());
        }
        steps.append(std::move(step));
    }
    saveInOrder(std::move(steps));
}

void VaultController::saveInOrder(QList<SaveStep> steps) {
    if (steps.isEmpty()) {
        return;
    }
    ++savesPending_;
    worker_->submit([this, steps = std::move(steps)] {
        QStringList failures;
        for (const SaveStep& step : steps) {
            bool saved = true;
            for (const Catalogue::PreparedSave& save : step.saves) {
                QString error;
                if (!Catalogue::writePrepared(save, &error)) {
                    failures.append(error);
                    saved = false;
                }
            }
            if (!saved) {
                continue;  // the journal stays: the next start repairs from it
            }
            for (const QString& directory : step.journalDirectories) {
                clearJournal(directory);
            }
        }
        SerialWorker::post(this, [this, failures] {
            --savesPending_;
            if (!failures.isEmpty()) {
                const QString message = LanguageBundle::localizedStringForKey(QStringLiteral("catalogueSaveFailed.message"));
                emit problems(QStringLiteral("catalogueSaveFailed.title"), {message.arg(failures.join(QLatin1Char('\n')))});
            }
            finishStopIfSettled();
        });
    });
}

void VaultController::finishStopIfSettled() {
    if (!whenStopped_ || busy() || savesPending_ > 0) {
        return;
    }
    auto done = std::move(whenStopped_);
    whenStopped_ = nullptr;
    done();
}

void VaultController::cancelCurrent() {
    if (current_) {
        current_->record->isCancel = true;
    }
}

void VaultController::stopAll(std::function<void()> done) {
    // A second request (a quit while a lock waits) runs after the first, not instead of it.
    if (whenStopped_ && done) {
        whenStopped_ = [first = std::move(whenStopped_), then = std::move(done)] {
            first();
            then();
        };
    } else {
        whenStopped_ = std::move(done);
    }
    // Items still waiting were never touched: each is recorded as it is on disk.
    QList<int> toSave;
    for (const Task& t : waiting_) {
        if (t.kind == Kind::Hide && t.record->isEncrtypt) {
            t.record->isEncrtypt = false;
            if (!toSave.contains(t.saveWhich)) {
                toSave.append(t.saveWhich);
            }
            noteDrive(t);
        }
    }
    waiting_.clear();
    for (int which : toSave) {
        if (!changed_.contains(which)) {
            changed_.append(which);
        }
    }
    saveChanged();
    cancelCurrent();
    if (!busy()) {
        startNext();
    }
}

void VaultController::recoverAtStart() {
    auto copy = std::make_shared<CatalogueCopy>();
    copy->catalogue.groupDirList = cloneRows(catalogue_.groupDirList, copy->originals);
    for (auto it = catalogue_.UPLibrary.cbegin(); it != catalogue_.UPLibrary.cend(); ++it) {
        copy->catalogue.UPLibrary.insert(it.key(), cloneRows(it.value(), copy->originals));
    }
    // Not counted as busy: a command given meanwhile is queued behind the check on the same
    // worker, and the check's corrections of the records arrive before its outcome does.
    worker_->submit([this, copy] {
        const CheckReport report = checkVault(copy->catalogue, true);
        SerialWorker::post(this, [this, copy, report] {
            bool changed = false;
            for (auto it = copy->originals.cbegin(); it != copy->originals.cend(); ++it) {
                FileModel& original = *it.value();
                if (original.isEncrtypt != it.key()->isEncrtypt || original.path != it.key()->path) {
                    original.isEncrtypt = it.key()->isEncrtypt;
                    original.path = it.key()->path;
                    changed = true;
                }
            }
            SaveStep step{{}, report.settledJournals};
            if (report.localChanged || changed) {
                step.saves.append(catalogue_.prepareSave(0));
            }
            // Each drive vault the repair changed, selected or not, before its journal is cleared.
            for (const QString& key : report.changedRemovableVaults) {
                const QString selected = std::exchange(catalogue_.selectGroupName, key);
                step.saves.append(catalogue_.prepareSave(1));
                catalogue_.selectGroupName = selected;
            }
            saveInOrder({std::move(step)});
            const QStringList lines = report.repairedLines();
            if (!lines.isEmpty()) {
                emit repaired(lines);
            }
            // What could not be set right is said once, with its reason, apart from what was.
            QStringList failed = report.unfinishedLines();
            for (const Finding& f : report.findings) {
                if (f.repairable && !f.repaired && f.failure.isEmpty()) {
                    failed.append(QStringLiteral("%1: %2; %3").arg(f.subject, f.problem, f.repair));
                }
            }
            if (!failed.isEmpty()) {
                emit repairFailed(failed);
            }
        });
    });
}

void VaultController::waitUntilIdle() {
    while (busy() || savesPending_ > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        worker_->waitForIdle();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace tessaro::vault
