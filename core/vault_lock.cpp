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

QString notePath(const QString& key) {
    // Read directly: Qt's own lookup warns on stderr when the variable is missing.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QFileInfo(runtime).isDir()) {
        runtime = QDir::tempPath() + QStringLiteral("/tessaro-%1").arg(::getuid());
    }
    return runtime + QStringLiteral("/tessaro-locks/") + key;
}

void writeNote(const QString& key, const QString& who) {
    const QString path = notePath(key);
    fs::makePath(path.left(path.lastIndexOf(QLatin1Char('/'))), 0700);
    const QString text = QStringLiteral("%1\n%2\n%3\n")
                             .arg(QCoreApplication::applicationPid())
                             .arg(who, QDateTime::currentDateTime().toString(Qt::ISODate));
    writeFileAtomically(path, text.toUtf8());
}

std::optional<VaultLock::Holder> readNote(const QString& key) {
    QFile file(notePath(key));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.size() < 3) {
        return std::nullopt;
    }
    return VaultLock::Holder{lines.at(0).toLongLong(), lines.at(1), lines.at(2)};
}

QString describe(const std::optional<VaultLock::Holder>& holder) {
    if (!holder) {
        return QStringLiteral("another Tessaro program");
    }
    return QStringLiteral("%1 (process %2, since %3)").arg(holder->who).arg(holder->pid).arg(holder->since);
}

}  // namespace

VaultLock::VaultLock(QString directory, QString key, int fd)
    : directory_(std::move(directory)), key_(std::move(key)), fd_(fd) {}

VaultLock::~VaultLock() {
    {
        std::lock_guard guard(registryMutex());
        registry().remove(key_);
    }
    QFile::remove(notePath(key_));
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
