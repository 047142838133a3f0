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
    // Random, one per walk, and part of the names of the work folder and the temporary the
    // walk makes, so that a line can only name what that same walk made. Lines written
    // before the token existed have none; their names are checked by pattern alone.
    QString token;
    int line = 0;     // where in the file the entry stands (from 1), for reports
    QString damage;   // a line that is well-formed JSON but no entry we write: why
};

inline constexpr char kJournalFileName[] = ".tessaro-journal";
inline constexpr char kRejectedJournalPrefix[] = ".tessaro-journal.rejected-";
// No honest journal comes near this: it holds a few lines per item of one command.
inline constexpr qint64 kLongestJournal = 1 << 20;

struct JournalRead {
    // The latest entry of each item, in the order the items were first written down. A line
    // cut short by a crash is passed over.
    QList<JournalEntry> entries;
    QString error;     // the file is there but cannot be read
    QString refusal;   // the file is not to be read at all (a link, not ours, too large)
    qint64 size = 0;
};

QString journalPath(const QString& vaultDirectory);
// Reads the journal in one pass, time linear in its size. The file is opened without
// following a symbolic link and must be a regular file of this user no longer than
// kLongestJournal; otherwise nothing is read and `refusal` says why.
JournalRead readJournal(const QString& vaultDirectory);
// Appends the entry and syncs it before returning, through a descriptor checked as above.
[[nodiscard]] bool appendJournal(const QString& vaultDirectory, const JournalEntry& entry, QString* error = nullptr);
// After the catalogue that holds every outcome was saved: empties the checked file (a link
// or someone else's file there is left alone and false returned).
bool clearJournal(const QString& vaultDirectory);
// Moves the journal aside as ".tessaro-journal.rejected-<seconds>" (never over anything),
// so that it is kept for a look but never acted on again. The new path, or empty.
QString setJournalAside(const QString& vaultDirectory, QString* error = nullptr);

// A fresh token for one walk.
QString newWalkToken();
// Whether `name` is a name the walk with this token made: `prefix` followed by the token,
// or, for a line without a token, by a random part of our own alphabet.
bool isWalkMadeName(const QString& name, const char* prefix, const QString& token);

}  // namespace tessaro::vault
