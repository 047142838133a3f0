#pragma once

#include <QString>
#include <QMap>
#include <QTemporaryDir>

#include <functional>

#include <string>

namespace tessaro::testing {

// A private world for one test: its own settings file, vault root, volumes root and
// hardware address, all below a fresh temporary directory that is removed afterwards.
// English texts unless the test switches.
class TestEnvironment {
public:
    static constexpr char kMacAddress[] = "a4:83:e7:12:34:56";
    static constexpr char kPassword[] = "correct horse";

    // With `createVault` the vault root directory exists, "kRootDirKey" points at it and
    // the password is stored; without it the settings are empty (first run).
    explicit TestEnvironment(bool createVault = true);
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString base() const { return dir_.path(); }
    QString settingsFile() const;
    QString vaultRoot() const;   // <base>/My Vault.flp
    QString volumesRoot() const; // <base>/media
    // Makes a mounted volume (a directory under the volumes root) and returns its path.
    QString mountVolume(const QString& name) const;
    // Writes a file with the given bytes, creating parent directories.
    static bool writeFile(const QString& path, const QByteArray& bytes);
    static QByteArray readFile(const QString& path);
    // The permission bits of a path (0700, 0600, ...), or -1 when it does not exist.
    static int modeOf(const QString& path);

private:
    QTemporaryDir dir_;
    // The runtime folder (lock notes) before this environment put its own in place.
    QByteArray savedRuntime_;
    bool runtimeWasSet_ = false;
};

// Every file below a folder by its path relative to it ("/sub/name"), or the file itself
// under "" when `root` is a file; with `withFolders` every folder too, as "<dir>". Nothing at
// all gives an empty map.
using Tree = QMap<QString, QByteArray>;
Tree readTree(const QString& root, bool withFolders = false);
// Writes each file of `tree` below `root`, and makes each "<dir>", creating folders.
void writeTree(const QString& root, const Tree& tree);

// Runs `work` in a forked child (its exit status is `work`'s result), killed after
// `killAfterUs` microseconds unless that is negative, with file writes limited to
// `fileSizeLimit` bytes unless 0. The exit status, or -1 when the child was killed.
int runChild(const std::function<int()>& work, int killAfterUs = -1, qint64 fileSizeLimit = 0);

// A folder whose entries cannot be removed while the object lives, even by root (the
// immutable flag; for others its write bits are taken away).
class UnremovableEntries {
public:
    explicit UnremovableEntries(const QString& folder);
    ~UnremovableEntries();
    UnremovableEntries(const UnremovableEntries&) = delete;
    UnremovableEntries& operator=(const UnremovableEntries&) = delete;
    bool ok() const { return ok_; }

private:
    QByteArray folder_;
    bool ok_ = false;
};

// A reproducible pseudo-random buffer.
QByteArray patternBytes(qint64 size, quint32 seed = 1);

// The moment, in microseconds, of kill number `round` (1 to `rounds`) of a walk that takes
// `fullUs` when left alone: spread evenly over the whole walk and a little beyond, each
// shifted at random within its share, so that every stage is hit however fast the machine.
int spreadMoment(int round, int rounds, qint64 fullUs, quint32 randomBits);

// A test name GoogleTest accepts made from any text ("cut in the body" -> "cut_in_the_body"):
// parameterized cases are reported, and selected with ctest -R, by it.
std::string readableName(const QString& text);

}  // namespace tessaro::testing
