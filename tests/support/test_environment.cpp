#include "support/test_environment.h"

#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"

#include <QDir>
#include <QFile>
#include <QDirIterator>
#include <QFileInfo>

#include <random>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro::testing {

TestEnvironment::TestEnvironment(bool createVault) {
    // The writer's lock notes, of this process and of the tools it starts, stay in the
    // sandbox too.
    runtimeWasSet_ = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray runtime = QFile::encodeName(base() + QStringLiteral("/runtime"));
    ::mkdir(runtime.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime);
    SettingsStore::useFile(settingsFile());
    Volumes::setRoot(volumesRoot());
    QDir().mkpath(volumesRoot());
    setHardwareAddressSource([] { return std::optional<QString>(QString::fromLatin1(kMacAddress)); });
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 2);
    LanguageBundle::setLanguage();
    if (createVault) {
        QDir().mkpath(vaultRoot());
        SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), vaultRoot());
        SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QString::fromLatin1(kPassword));
        SettingsStore::setValue(QString::fromLatin1(keys::FirstRun), true);
    }
}

TestEnvironment::~TestEnvironment() {
    // Point the process at a path that does not exist, so that a stray access after the
    // test cannot reach a real file.
    SettingsStore::useFile(base() + QStringLiteral("/gone/settings.conf"));
    Volumes::setRoot(base() + QStringLiteral("/gone/media"));
    setHardwareAddressSource(nullptr);
    LanguageBundle::resetLanguage();
    runtimeWasSet_ ? qputenv("XDG_RUNTIME_DIR", savedRuntime_) : qunsetenv("XDG_RUNTIME_DIR");
}

QString TestEnvironment::settingsFile() const { return base() + QStringLiteral("/config/Tessaro.conf"); }
QString TestEnvironment::vaultRoot() const { return base() + QStringLiteral("/My Vault.flp"); }
QString TestEnvironment::volumesRoot() const { return base() + QStringLiteral("/media"); }

QString TestEnvironment::mountVolume(const QString& name) const {
    const QString path = volumesRoot() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

bool TestEnvironment::writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray TestEnvironment::readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int TestEnvironment::modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

QByteArray patternBytes(qint64 size, quint32 seed) {
    QByteArray out(size, Qt::Uninitialized);
    std::mt19937 rng(seed);
    for (qint64 i = 0; i < size; ++i) {
        out[i] = static_cast<char>(rng() & 0xff);
    }
    return out;
}

Tree readTree(const QString& root, bool withFolders) {
    Tree tree;
    if (QFileInfo(root).isFile()) {
        tree.insert(QString(), TestEnvironment::readFile(root));
        return tree;
    }
    const QDir::Filters kinds = withFolders ? QDir::AllEntries | QDir::NoDotAndDotDot : QDir::Files;
    QDirIterator it(root, kinds | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        tree.insert(file.mid(root.size()), it.fileInfo().isDir() ? QByteArray("<dir>") : TestEnvironment::readFile(file));
    }
    return tree;
}

void writeTree(const QString& root, const Tree& tree) {
    QDir().mkpath(root);
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        it.value() == "<dir>" ? void(QDir().mkpath(root + it.key())) : void(TestEnvironment::writeFile(root + it.key(), it.value()));
    }
}

int runChild(const std::function<int()>& work, int killAfterUs, qint64 fileSizeLimit) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (fileSizeLimit > 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::_exit(work());
    }
    if (killAfterUs >= 0) {
        ::usleep(static_cast<useconds_t>(killAfterUs));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int spreadMoment(int round, int rounds, qint64 fullUs, quint32 randomBits) {
    const double share = 1.2 * static_cast<double>(fullUs) / std::max(rounds, 1);
    return static_cast<int>(share * (round - 1) + share * (randomBits % 1000) / 1000.0);
}

std::string readableName(const QString& text) {
    std::string out;
    for (const QChar c : text) {
        const char ascii = c.toLatin1();
        if ((ascii >= 'a' && ascii <= 'z') || (ascii >= 'A' && ascii <= 'Z') || (ascii >= '0' && ascii <= '9')) {
            out.push_back(ascii);
        } else if (ascii == '.') {
            out += "_dot_";
        } else if (c.unicode() > 0x7f && !c.isSpace()) {
            out += QStringLiteral("u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toStdString();
        } else if (!out.empty() && out.back() != '_') {
            out.push_back('_');
        }
    }
    while (!out.empty() && out.back() == '_') {
        out.pop_back();
    }
    return out.empty() ? std::string("unnamed") : out;
}

namespace {

// Sets or clears the immutable flag of a folder; root may remove entries of any other.
bool setImmutable(const QByteArray& folder, bool on) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool done = false;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

}  // namespace

UnremovableEntries::UnremovableEntries(const QString& folder) : folder_(QFile::encodeName(folder)) {
    ok_ = ::geteuid() == 0 ? setImmutable(folder_, true) : ::chmod(folder_.constData(), 0555) == 0;
}

UnremovableEntries::~UnremovableEntries() {
    ::geteuid() == 0 ? void(setImmutable(folder_, false)) : void(::chmod(folder_.constData(), 0755));
}

}  // namespace tessaro::testing
