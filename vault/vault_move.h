#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

namespace tessaro::vault {

// Moving the local vault root to another folder, as a whole.
//
// Where both places share a file system the root is renamed. Otherwise it is copied into a
// hidden sibling of the destination (".tessaro-move-<token>"), synced, compared byte for
// byte with the original, renamed into place, and only then does "kRootDirKey" name it and
// the original go. The setting never names an incomplete vault: whatever fails, is
// cancelled or is killed on the way, the vault at the old place is untouched and goes on
// working.
//
// What a crash could leave half done is written down before it is done: the setting
// "kVAULTMOVEINPROGRESS" (phase, both places, a token) and a file ".tessaro-moving" holding
// the token in the root being moved, so that its copy carries it too. The next start
// (finishInterruptedMove) finishes a rename that happened, and otherwise removes the copy,
// but only a tree that carries the token.
//
// The note records of the notes catalogue hold absolute paths into the root; those are
// rewritten to the new place. Thumbnails and item containers are named relative to the
// root (or after the items' own plain paths) and need nothing.

enum class MoveProblem {
    None,
    NoVault,         // no vault root is set, or it is not a folder
    NotAbsolute,     // the destination is not an absolute path
    InsideVault,     // the destination is the vault or lies inside it
    NotEmpty,        // something other than an empty folder is at the destination
    NotWritable,     // the destination (or its parent) cannot be written
    VaultInUse,      // another program holds the vault's writer lock (detail: who)
    UnfinishedWork,  // the vault's journal holds a walk that was never finished
    CopyFailed,      // reading, writing or comparing failed (detail: the file and why)
    Cancelled,
    SettingsNotWritten,  // the new place could not be recorded; the vault stays where it was
};

struct MoveResult {
    MoveProblem problem = MoveProblem::None;
    // The file or the reason behind the problem, for the message.
    QString detail;
    // The vault now lives at `newRoot` and "kRootDirKey" says so.
    bool moved = false;
    // Copied across file systems rather than renamed.
    bool copied = false;
    QString newRoot;
    // Moved, but the old copy could not be removed in full: where it is.
    QString leftBehind;
};

struct MoveOptions {
    // Bytes copied and compared so far, of `total`; called on the moving thread.
    std::function<void(qint64 done, qint64 total)> progress;
    // Checked between chunks; a cancelled move removes its copy and changes nothing else.
    const std::atomic<bool>* cancel = nullptr;
    // How a folder is renamed: 0, or -1 with errno set (tests stand in a file system
    // boundary with EXDEV).
    std::function<int(const QByteArray& from, const QByteArray& to)> rename;
    // The writer lock is waited for this long.
    int lockWaitMs = 3000;
};

// Why the destination cannot take the vault now, checked without changing anything.
MoveResult checkMoveDestination(const QString& vaultRoot, const QString& destination);

// Moves the vault named by "kRootDirKey" to `destination`, holding the vault's writer lock.
// Blocks: run it on a worker.
MoveResult moveVault(const QString& destination, const MoveOptions& options = {});

struct MoveRecovery {
    enum class Outcome {
        None,         // no move was pending
        StayedAtOld,  // the move had not switched: the vault is at `root`, the copy at `other` is gone
        MovedToNew,   // the move had switched (or renamed): it was finished, the vault is at `root`
        Unsettled,    // the places do not say what happened: nothing was removed; `root`, `other`
        Postponed,    // another program holds the vault: left for a later start
        Dropped,      // the record was not one of ours: dropped, nothing acted on
    };
    Outcome outcome = Outcome::None;
    QString root;
    QString other;
    QString leftBehind;  // MovedToNew: an old copy that could not be removed
    QString log;         // one line of what was done
};

// At start, before anything opens the vault: finishes or undoes a move that was cut short.
MoveRecovery finishInterruptedMove();

// Rewrites the note records' paths below `oldRoot` to lie below `newRoot`, in the notes
// catalogue kept in `vaultFolder`. A catalogue that is missing or cannot be read in full is left
// as it is (the notes are found by their package name alone). False when it could not
// be written.
bool rewriteNotePaths(const QString& vaultFolder, const QString& oldRoot, const QString& newRoot, QString* error);

}  // namespace tessaro::vault
