#pragma once

#include "core/catalogue.h"
#include "crypto/item_hiding.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

namespace tessaro::vault {

class SerialWorker;

// What the window asks of a vault while it is open: adding, hiding and unhiding, one item
// after another on one worker thread, so that the window's event loop never waits on the
// disk. The catalogue is only ever touched here, on the window's thread; the worker gets a
// record and hands back what its walk did. Progress is read from the record's counters a
// few dozen times a second, not pushed per chunk.
class VaultController : public QObject {
    Q_OBJECT
public:
    enum class Kind { Hide, Unhide };

    struct Hooks {
        // The file manager's icon of a path, for thumbnails (on the window's thread).
        IconSource icons;
    };

    VaultController(Catalogue& catalogue, Hooks hooks, QObject* parent = nullptr);
    // Cancels a running walk and waits for it to stop (a chunk at most), and for the
    // catalogue writes already given, which are never dropped.
    ~VaultController() override;

    // A walk runs, waits, or an add is being prepared: commands that would overlap it are
    // refused by the window.
    bool busy() const;
    // Catalogue writes wait on the worker: a lock or a quit goes through stopAll, which
    // waits for them, so that the next login reads what the window holds now.
    bool savesPending() const { return savesPending_ > 0; }
    FileModelPtr current() const { return current_ ? current_->record : nullptr; }
    // What the running walk does (Hide while nothing runs).
    Kind currentKind() const { return current_ ? current_->kind : Kind::Hide; }

    // Adds the paths to the selected group (or the local all-items group) and hides them.
    void addPaths(const QStringList& paths, const QString& selectGroupName, qint64 selectGroupIndex);
    // Hides a visible item, unhides a hidden one.
    void toggle(const FileModelPtr& item);
    // Every visible (hidden) item of a row list, in order; unhiding all keeps the containers.
    void hideAll(const RowList& rows, int saveWhich);
    void unhideAll(const RowList& rows, int saveWhich);
    // The visible items of one group from a position on, without the progress panel.
    void hideGroup(const RowList& rows, qint64 groupIndex, qint64 from, int saveWhich);
    // The cancel button: stops the running walk; the queue goes on with the next item.
    void cancelCurrent();
    // Stops everything safely (the running walk is cancelled, waiting items are dropped and
    // recorded as they are on disk), then calls `done` on this thread.
    void stopAll(std::function<void()> done);
    // Repairs what an interrupted walk left (journal and records against the disk), on the
    // worker; `repaired` tells the user.
    void recoverAtStart();

    // Tests and benchmarks: runs the event loop until nothing waits, catalogue writes included.
    void waitUntilIdle();

    static constexpr int kProgressIntervalMs = 33;

signals:
    // An add is being prepared (thumbnails, containers, sizes) for this many paths.
    void preparing(int count);
    // New records are in the catalogue (saved); the sidebar and the list should rebuild.
    void added(const FileModelList& records, qint64 groupIndex);
    void walkStarted(const FileModelPtr& item, Kind kind, bool showsPanel);
    void walkProgress(const FileModelPtr& item, Kind kind, bool showsPanel);
    void walkFinished(const FileModelPtr& item, Kind kind, const ItemResult& result, bool showsPanel);
    // The last waiting item is done.
    void allFinished(bool showedPanel);
    // Something the user must be told: a title key and the lines.
    void problems(const QString& titleKey, const QStringList& lines);
    void repaired(const QStringList& lines);
    // What the repair at start tried and could not do, each with its reason: the user must
    // know, since the vault is not yet as it should be.
    void repairFailed(const QStringList& lines);

private:
    struct Task {
        FileModelPtr record;
        Kind kind = Kind::Hide;
        bool keepStoredCopy = false;
        bool showsPanel = true;
        int saveWhich = 0;
        bool single = false;     // a toggle: saved at once
        bool justAdded = false;  // measured by its add: not measured again
    };

    void enqueue(std::deque<Task> tasks);
    void startNext();
    void finished(const Task& task, const ItemResult& result, bool missing, DiskState after);
    // Saves the catalogue files whose records changed; once a file is saved, the journal of
    // its vault has done its work and is cleared (on the worker, after every walk so far).
    void saveChanged();
    struct SaveStep {
        QList<Catalogue::PreparedSave> saves;
        // Cleared only when every save of the step is on disk: the journals' outcomes are in them.
        QStringList journalDirectories;
    };
    // The lists' bytes are taken now; the writes, then the journal clears of the writes that
    // succeeded, run on the worker after everything given so far. A failure is an alert.
    void saveInOrder(QList<SaveStep> steps);
    // Calls the stopAll callback once no walk, add or catalogue write is left.
    void finishStopIfSettled();

    Catalogue& catalogue_;
    Hooks hooks_;
    std::unique_ptr<SerialWorker> worker_;
    std::deque<Task> waiting_;
    std::unique_ptr<Task> current_;
    int preparingAdds_ = 0;
    int savesPending_ = 0;
    bool batchShowedPanel_ = false;
    QStringList batchProblems_;  // walks that did not complete, and why
    QStringList batchNotes_;     // walks that completed with something to say
    QList<int> changed_;  // SaveGroupList arguments of the files to save
    QList<int> walked_;   // ... of the vaults whose journal has lines since it was cleared
    QStringList drives_;  // the drive vaults among them, by key
    void noteDrive(const Task& task);
    QTimer progressTimer_;
    std::function<void()> whenStopped_;
};

}  // namespace tessaro::vault
