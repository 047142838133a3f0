#pragma once

// The journal's side of the vault check: each line proven against the catalogue before
// anything acts on it, and the four repairs, each acting only through a proven place.

#include "core/group_model.h"
#include "crypto/item_place.h"
#include "vault/vault_journal.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro::vault::detail {

// A line proven to be about one record, with the place the walk acted on.
struct LineProof {
    FileModelPtr record;
    std::optional<walk::ItemPlace> place;
    QString refusal;  // why the line is not acted on; empty when proven
};

// The records of one list by their plain path, built once per check.
using RecordsByPath = QMultiHash<QString, FileModelPtr>;
RecordsByPath recordsByPath(const RowList& rows);

// A line is acted on only when it names a record of this vault (by the path it was
// unhidden to, or to be), that record's own stored top, and names of our own pattern for
// what its walk made: the work folder in the record's container, the temporary as a
// direct child of the plain item's folder, the restored path beside the plain item. The
// record's place must lie in `vaultDirectory`, the vault whose journal this is.
LineProof proveLine(const JournalEntry& entry, const RecordsByPath& records, const QString& vaultDirectory);

struct RepairStep {
    bool ok = false;
    QString failure;      // why it could not be done (ok false)
    bool refused = false; // what the disk holds does not prove the line: nothing was done
    bool hidden = false;  // the item's state afterwards
    QString placedAt;     // unhide: where the item now is
    QStringList kept;     // finished hide: plain files that stay
};

RepairStep undoHide(const walk::ItemPlace& place, const JournalEntry& entry);
RepairStep finishHide(const walk::ItemPlace& place, const JournalEntry& entry);
RepairStep undoUnhide(const walk::ItemPlace& place, const JournalEntry& entry);
RepairStep finishUnhide(const walk::ItemPlace& place, const JournalEntry& entry);

// Why the plain item at `plain` is not a complete copy of the stored copy: a link, a
// missing file or folder, or a file of another length. Empty when every stored file
// has its plain file with the stored length.
QString incompleteAgainst(const QString& plain, const walk::ItemPlace& place);

}  // namespace tessaro::vault::detail
