#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace tessaro {

// One writer per vault. Whoever changes a vault (a command of tessaro-vault, or the window
// while the vault is unlocked) holds an advisory lock, flock(LOCK_EX), on the vault's
// directory. Who holds it is written to a small note in the user's runtime directory, so
// that a refused writer can say who is in the way. Read-only commands take no lock.
//
// The notes live in "<runtime>/tessaro-locks", runtime being $XDG_RUNTIME_DIR or else
// "<temporary folder>/tessaro-<uid>"; each folder must be a real folder owned by the user
// with no access for others, or no note is kept and the holder is "another Tessaro
// program". A note is read only when it is a regular file of the user's (never through a
// link, never waiting on a FIFO), at most a few hundred bytes, its control characters shown
// escaped.
//
// Within one process the lock is shared: acquiring it again while it is held returns the
// same lock, so the window's own worker does not lock itself out.
class VaultLock {
public:
    struct Holder {
        qint64 pid = 0;
        QString who;  // "tessaro-vault hide", "the Tessaro window", ...
        QString since;
    };

    ~VaultLock();
    VaultLock(const VaultLock&) = delete;
    VaultLock& operator=(const VaultLock&) = delete;

    // Waits up to `waitMs` for the lock. Absent when it stays taken or the directory cannot
    // be opened; `refusal` then says why, naming the holder when known.
    static std::shared_ptr<VaultLock> acquire(const QString& vaultDirectory, const QString& who, int waitMs,
                                              QString* refusal);
    // Who holds the lock of a vault now; absent when nobody does.
    static std::optional<Holder> holderOf(const QString& vaultDirectory);

    QString directory() const { return directory_; }

    static constexpr int kDefaultWaitMs = 3000;

private:
    VaultLock(QString directory, QString key, int fd);
    QString directory_;
    QString key_;
    int fd_ = -1;
};

}  // namespace tessaro
