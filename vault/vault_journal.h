#pragma once

#include <QList>
#include <QString>

namespace tessaro::vault {

// What the walks over a vault's items did, written down as they go, so that after a crash
// or power cut the next start (or `tessaro-vault check --repair`) knows which items were
// half-done, which temporary names are their own, and what the catalogue has not been told
// yet. The file is "<vault directory>/.tessaro-journal": one JSON object per line, appended
// and synced at each step of a walk. It is emptied once the catalogue holding the outcomes
// has been saved; the last line about an item is what counts.
struct JournalEntry {
    enum class Operation { Hide, Unhide };
    // Hide: Walking (stored copy being assembled; the plain item untouched) -> Stored (the
    // stored copy is complete and in place; the plain item is being removed, or is gone).
    // Unhide: Walking (the item being assembled beside its plain location) -> Placed (the
    // item is complete and durable and is being moved to `restoredPath`, or is there; the
    // stored copy is being removed, or is gone, or is kept).
    enum class Phase { Walking, Stored, Placed };

    Operation operation = Operation::Hide;
    Phase phase = Phase::Walking;
    QString plainPath;       // where the plain item is (hide) or goes (unhide)
    QString storedTop;       // the stored top, absolute: names the item
    QString workDirectory;   // hide: the work directory's name inside the container
    QString temporary;       // unhide: the temporary's name beside the plain location
    QString restoredPath;    // unhide, once placed: where the item is moved
    bool keepStoredCopy = false;  // unhide all keeps the containers
    qint64 startedMs = 0;
};

inline constexpr char kJournalFileName[] = ".tessaro-journal";

QString journalPath(const QString& vaultDirectory);
// The latest entry of each item, in the order the items were first written down. A line
// cut short by a crash is passed over; `error` says why when the file cannot be read.
QList<JournalEntry> readJournal(const QString& vaultDirectory, QString* error = nullptr);
// Appends the entry and syncs it before returning.
[[nodiscard]] bool appendJournal(const QString& vaultDirectory, const JournalEntry& entry, QString* error = nullptr);
// After the catalogue that holds every outcome was saved.
bool clearJournal(const QString& vaultDirectory);

}  // namespace tessaro::vault
