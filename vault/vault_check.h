#pragma once

#include "core/catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tessaro::vault {

// The catalogue held against what is on disk: half-done walks (from the journal), records
// whose copies disagree with their state, containers and folders no record names. With
// `repair`, what can be set right without losing anything is set right:
// - a hide that was still assembling its stored copy: the plain item is kept and the item is
//   visible; the unfinished copy is removed;
// - a hide whose stored copy was complete and in place: the hide is finished, removing only
//   plain files whose bytes equal their stored copy; any other file is kept and named;
// - an unhide that was still assembling: the stored copy is kept and the item is hidden; the
//   unfinished plain copy is removed;
// - an unhide whose plain item was complete and in place: the item is visible there and
//   what is left of its stored copy is removed (kept when all items were being unhidden);
// - a record marked hidden with only its plain copy (its hide never ran): visible;
// - a record marked visible with only its stored copy: hidden.
// Everything else (a lost item, a container nobody names, an unexpected file) is reported
// and left alone.
struct Finding {
    QString subject;      // the item or path concerned
    QString problem;      // what is wrong
    QString repair;       // what --repair does, or "left alone: ..." when it does nothing
    bool repairable = false;
    bool repaired = false;
    QString failure;          // why the repair could not be done, when it was tried and failed
    bool refusedLine = false; // a journal line not acted on: the journal was (or is to be) set aside
};

struct CheckReport {
    QList<Finding> findings;
    // Which catalogue files changed (SaveGroupList arguments); the caller saves them.
    bool localChanged = false;
    QStringList changedRemovableVaults;
    // Vault directories whose journal has been fully acted on: the caller clears them
    // (clearJournal) once the changed catalogues are saved.
    QStringList settledJournals;
    QStringList repairedLines() const;
    // Repairs tried that could not be done, each with its reason.
    QStringList unfinishedLines() const;
};

CheckReport checkVault(Catalogue& catalogue, bool repair);

}  // namespace tessaro::vault
