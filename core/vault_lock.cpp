#include "core/vault_lock.h"

#include "core/atomic_file.h"
#include "core/file_system.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

// Locks this process holds, by directory identity.
QHash<QString, std::weak_ptr<VaultLock>>& registry() {
    static QHash<QString, std::weak_ptr<VaultLock>> table;
    return table;
}

QString identityOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return QString();
    }
    return QStringLiteral("%1-%2").arg(static_cast<qulonglong>(st.st_dev)).arg(static_cast<qulonglong>(st.st_ino));
}

// A note is a few short lines; anything longer was not written by us and is cut.
constexpr qint64 kMaxNoteBytes = 512;
constexpr qsizetype kMaxNoteField = 120;

// Whether a folder may hold notes: a real folder (not a link), ours, closed to everyone
// else. Another user able to write there could plant a note that names anyone, or a FIFO.
bool isPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

// The folder of the notes, made owner-only when missing; empty when no folder passes the
// checks, and then no note is kept. Read each time: tests move the runtime folder.
QString noteFolder() {
    // Read directly: Qt's own lookup warns on stderr when the variable is missing.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString base;
    if (!runtime.isEmpty() && runtime.startsWith(QLatin1Char('/')) && isPrivateFolder(QFile::encodeName(runtime))) {
        base = runtime;
    } else {
        // Without a runtime folder of our own, a per-user folder in the shared temporary
        // folder, where anyone may have put something of that name first.
        base = QDir::tempPath() + QStringLiteral("/tessaro-%1").arg(::geteuid());
        ::mkdir(QFile::encodeName(base).constData(), 0700);
        if (!isPrivateFolder(QFile::encodeName(base))) {
            return QString();
        }
    }
    const QString folder = base + QStringLiteral("/tessaro-locks");
    const QByteArray native = QFile::encodeName(folder);
    // mkdir's mode passes through the umask, which can only take bits away.
    ::mkdir(native.constData(), 0700);
    return isPrivateFolder(native) ? folder : QString();
}

QString notePath(const QString& key) {
    const QString folder = noteFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + key;
}

void writeNote(const QString& key, const QString& who) {
    const QString path = notePath(key);
    if (path.isEmpty()) {
        return;
    }
    const QString text = QStringLiteral("%1\n%2\n%3\n")
                             .arg(QCoreApplication::applicationPid())
                             .arg(who, QDateTime::currentDateTime().toString(Qt::ISODate));
    // The rename replaces whatever stands at the name (a planted link or FIFO) without
    // following it.
    writeFileAtomically(path, text.toUtf8(), nullptr, 0600);
}

// A field of a note as it may be shown: control characters (a terminal's escape sequences
// among them) as \xNN, and cut to a line's length.
QString shownField(const QString& field) {
    QString shown;
    for (const QChar c : field.left(kMaxNoteField)) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            shown += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return field.size() > kMaxNoteField ? shown + QChar(0x2026) : shown;
}

std::optional<VaultLock::Holder> readNote(const QString& key) {
    const QString path = notePath(key);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    // Never waits for a FIFO's writer and never follows a link; only a regular file of ours
    // is a note.
    fs::Handle fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        return std::nullopt;
    }
    QByteArray bytes(kMaxNoteBytes, Qt::Uninitialized);
    const ssize_t n = ::read(fd.get(), bytes.data(), static_cast<size_t>(bytes.size()));
    if (n <= 0) {
        return std::nullopt;
    }
    bytes.truncate(n);
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (lines.size() < 3) {
        return std::nullopt;
    }
    bool numeric = false;
    const qint64 pid = lines.at(0).toLongLong(&numeric);
    if (!numeric || pid <= 0) {
        return std::nullopt;
    }
    return VaultLock::Holder{pid, shownField(lines.at(1)), shownField(lines.at(2))};
}

QString describe(const std::optional<VaultLock::Holder>& holder) {
    if (!holder) {
        return QStringLiteral("another Tessaro program");
    }
    // One arg() call: a field that holds "%2" is not filled in again.
    return QStringLiteral("%1 (process %2, since %3)").arg(holder->who, QString::number(holder->pid), holder->since);
}

}  // namespace

VaultLock::VaultLock(QString directory, QString key, int fd)
    : directory_(std::move(directory)), key_(std::move(key)), fd_(fd) {}

VaultLock::~VaultLock() {
    {
        std::lock_guard guard(registryMutex());
        registry().remove(key_);
    }
    if (const QString note = notePath(key_); !note.isEmpty()) {
        ::unlink(QFile::encodeName(note).constData());
    }
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
}

std::shared_ptr<VaultLock> VaultLock::acquire(const QString& vaultDirectory, const QString& who, int waitMs,
                                              QString* refusal) {
    fs::Handle dir = fs::openDirectory(vaultDirectory);
    if (!dir) {
        if (refusal) {
            *refusal = QStringLiteral("cannot open the vault %1: %2").arg(vaultDirectory, fs::errorText(errno));
        }
        return nullptr;
    }
    const QString key = identityOf(dir.get());
    {
        std::lock_guard guard(registryMutex());
        if (auto held = registry().value(key).lock()) {
            return held;
        }
    }
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + std::max(waitMs, 0);
    while (::flock(dir.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (refusal) {
                *refusal = QStringLiteral("cannot lock the vault %1: %2").arg(vaultDirectory, fs::errorText(errno));
            }
            return nullptr;
        }
        if (QDateTime::currentMSecsSinceEpoch() >= deadline) {
            if (refusal) {
                *refusal = QStringLiteral("the vault %1 is being changed by %2; try again when it has finished")
                               .arg(vaultDirectory, describe(readNote(key)));
            }
            return nullptr;
        }
        QThread::msleep(50);
    }
    writeNote(key, who);
    std::shared_ptr<VaultLock> lock(new VaultLock(vaultDirectory, key, dir.release()));
    std::lock_guard guard(registryMutex());
    registry().insert(key, lock);
    return lock;
}

std::optional<VaultLock::Holder> VaultLock::holderOf(const QString& vaultDirectory) {
    fs::Handle dir = fs::openDirectory(vaultDirectory);
    if (!dir) {
        return std::nullopt;
    }
    const QString key = identityOf(dir.get());
    if (::flock(dir.get(), LOCK_SH | LOCK_NB) == 0) {
        ::flock(dir.get(), LOCK_UN);
        return std::nullopt;
    }
    const auto note = readNote(key);
    return note ? note : std::optional<Holder>(Holder{0, QStringLiteral("another Tessaro program"), QString()});
}

}  // namespace tessaro
