#include "vault/item_operations.h"

#include "core/file_system.h"
#include "core/record_check.h"
#include "crypto/item_paths.h"
#include "crypto/item_place.h"
#include "crypto/stored_file.h"
#include "vault/vault_journal.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace tessaro::vault {

namespace {

ItemResult refused(const QString& why) {
    ItemResult r;
    r.problems.append(why);
    return r;
}

// The first line about a walk, written down before it starts; false (and `refusal` set) when
// the journal cannot be written, and then the walk must not start.
bool beginJournal(const QString& vault, JournalEntry& entry, JournalEntry::Operation operation,
                  const walk::ItemPaths& paths, ItemResult& refusal) {
    entry.operation = operation;
    entry.plainPath = paths.plainPath;
    entry.storedTop = paths.storedTop;
    // What the walk makes carries its token, so that a line can name nothing another walk made.
    entry.token = newWalkToken();
    const bool hide = operation == JournalEntry::Operation::Hide;
    entry.workDirectory = hide ? QString::fromLatin1(walk::kWorkDirectoryPrefix) + entry.token : QString();
    entry.temporary = hide ? QString() : QString::fromLatin1(walk::kRestoreTemporaryPrefix) + entry.token;
    entry.startedMs = storedfile::nowMilliseconds();
    QString error;
    if (appendJournal(vault, entry, &error)) {
        return true;
    }
    refusal = refused(QStringLiteral("%1 was not %2: the vault's journal cannot be written (%3)")
                          .arg(paths.plainPath,
                               operation == JournalEntry::Operation::Hide ? QStringLiteral("hidden")
                                                                         : QStringLiteral("unhidden"),
                               error));
    return false;
}

// A record's proven place, or the refusal that names why it has none. A damaged record is
// refused before anything of it is looked at on disk, journal included, in the catalogue's
// own words.
std::optional<walk::ItemPlace> placeOrRefusal(const FileModel& record, const char* done, const char* notDone,
                                              ItemResult& refusal) {
    walk::PlaceCheck check = walk::placeOf(record);
    if (!check.place) {
        refusal = refused(check.damagedRecord
                              ? damagedRecordRefusal(record, check.reason, QString::fromLatin1(done))
                              : QStringLiteral("%1 was not %2: %3")
                                    .arg(record.path, QString::fromLatin1(notDone), check.reason));
    }
    return std::move(check.place);
}

}  // namespace

QString vaultDirectoryOf(const FileModel& record) { return walk::vaultBaseFor(record); }

ItemResult hideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress, bool sizeJustMeasured) {
    ItemResult refusal;
    const std::optional<walk::ItemPlace> place = placeOrRefusal(*record, "hidden", "hidden", refusal);
    if (!place) {
        return refusal;
    }
    const QString vault = place->vaultBase();
    const walk::ItemPaths paths = place->paths();
    JournalEntry entry;
    if (!beginJournal(vault, entry, JournalEntry::Operation::Hide, paths, refusal)) {
        return refusal;
    }
    HideOptions options;
    options.sizeJustMeasured = sizeJustMeasured;
    options.workDirectoryName = entry.workDirectory;
    // A stored copy already in this record's own container is the item's earlier copy,
    // left by unhiding all or by an interrupted hide: the new one takes its place whole.
    options.replaceExisting = QFileInfo::exists(paths.storedTop) || QFileInfo(paths.storedTop).isSymLink();
    options.beforeRemovingSource = [&](const QString&) {
        entry.phase = JournalEntry::Phase::Stored;
        return appendJournal(vault, entry);
    };
    ItemResult result = hideItem(record, paths, progress, options);
    if (result.complete && entry.phase != JournalEntry::Phase::Stored) {
        result.problems.append(QStringLiteral("%1 is stored, but was kept in place: the vault's journal cannot be "
                                              "written")
                                   .arg(paths.plainPath));
    }
    return result;
}

ItemResult unhideRecordJournaled(const FileModelPtr& record, const walk::WalkProgress& progress, bool keepStoredCopy) {
    ItemResult refusal;
    const std::optional<walk::ItemPlace> place = placeOrRefusal(*record, "shown", "unhidden", refusal);
    if (!place) {
        return refusal;
    }
    const QString vault = place->vaultBase();
    const walk::ItemPaths paths = place->paths();
    JournalEntry entry;
    entry.keepStoredCopy = keepStoredCopy;
    if (!beginJournal(vault, entry, JournalEntry::Operation::Unhide, paths, refusal)) {
        return refusal;
    }
    HideOptions options;
    options.temporaryName = entry.temporary;
    options.removeSource = !keepStoredCopy;
    // The move into place is recorded before it happens: after a crash the journal says
    // where the complete item went, or still sits, whichever side of the move it came.
    options.beforePlacing = [&](const QString& target) {
        entry.phase = JournalEntry::Phase::Placed;
        entry.restoredPath = target;
        return appendJournal(vault, entry);
    };
    return unhideItem(record, paths, progress, options);
}

DiskState diskStateOf(const FileModel& record) {
    // What a damaged record names is not the item's: neither copy is known.
    if (recordDamage(record)) {
        return {};
    }
    auto exists = [](const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); };
    return DiskState{exists(record.path), exists(walk::pathsForRecord(record).storedTop)};
}

namespace {

bool setHidden(FileModel& record, bool hidden) {
    const bool changed = record.isEncrtypt != hidden;
    record.isEncrtypt = hidden;
    return changed;
}

}  // namespace

bool applyHideOutcome(FileModel& record, const ItemResult& result, const DiskState& after) {
    // Nothing was done to a damaged record, and it is kept as it was read.
    if (recordDamage(record)) {
        return false;
    }
    if (result.complete) {
        return setHidden(record, true);
    }
    return setHidden(record, after.stored && !after.plain);
}

bool applyUnhideOutcome(FileModel& record, const ItemResult& result, const DiskState& after) {
    if (recordDamage(record)) {
        return false;
    }
    if (!result.complete) {
        return setHidden(record, !(after.plain && !after.stored));
    }
    bool changed = setHidden(record, false);
    if (!result.restoredPath.isEmpty() && result.restoredPath != record.path) {
        record.path = result.restoredPath;
        changed = true;
    }
    return changed;
}

}  // namespace tessaro::vault
