// The writer's lock notes live in a folder anyone on the machine may have prepared: a note
// that is no regular file of ours, or a folder that is not ours alone, is never trusted,
// followed or waited on.
#include "core/vault_lock.h"

#include "support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

QByteArray native(const QString& path) { return QFile::encodeName(path); }

// The runtime and temporary folders point into the test's sandbox, and come back after.
class LockNote : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
            saved_.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        }
        ::mkdir(native(runtime()).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", native(runtime()));
        QDir().mkpath(temporary());
        qputenv("TMPDIR", native(temporary()));
    }
    void TearDown() override {
        for (const auto& [name, wasSet, value] : saved_) {
            wasSet ? qputenv(name, value) : qunsetenv(name);
        }
    }

    QString runtime() const { return env.base() + QStringLiteral("/run"); }
    QString temporary() const { return env.base() + QStringLiteral("/tmp"); }
    QString fallback() const { return temporary() + QStringLiteral("/tessaro-%1").arg(::geteuid()); }
    static QString noteName(const QString& vault) {
        struct stat st {};
        ::stat(native(vault).constData(), &st);
        return QStringLiteral("%1-%2").arg(static_cast<qulonglong>(st.st_dev)).arg(static_cast<qulonglong>(st.st_ino));
    }
    QString notePath(const QString& folder) const {
        return folder + QStringLiteral("/tessaro-locks/") + noteName(env.vaultRoot());
    }
    // Another process's lock: a descriptor of our own, locked, that VaultLock does not know.
    int holdElsewhere() const {
        const int fd = ::open(native(env.vaultRoot()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        return fd;
    }
    static QString refusalFor(const QString& vault) {
        QString refusal;
        EXPECT_FALSE(VaultLock::acquire(vault, QStringLiteral("test"), 0, &refusal));
        return refusal;
    }

    TestEnvironment env;

private:
    struct Saved {
        const char* name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> saved_;
};

TEST_F(LockNote, ANoteThatIsNoPlainFileOfOursIsNeverBelievedOrWaitedOn) {
    const QString elsewhere = env.base() + QStringLiteral("/elsewhere");
    const struct {
        const char* name;
        std::function<void(const QString& note)> plant;
        const char* shown;  // what the refusal says about the holder
        bool mayHang = false;
    } cases[] = {
        {"FIFO", [](const QString& note) { ::mkfifo(native(note).constData(), 0600); }, "another Tessaro program",
         true},
        {"link to a note elsewhere",
         [&elsewhere](const QString& note) {
             TestEnvironment::writeFile(elsewhere, "4242\nthe impostor\nnow\n");
             QFile::link(elsewhere, note);
         },
         "another Tessaro program"},
        {"terminal escapes",
         [](const QString& note) {
             TestEnvironment::writeFile(note, "4242\nevil\x1b]0;owned\x07\x1b[2J\r\nsince\x9b\n");
         },
         "evil\\x1b]0;owned\\x07\\x1b[2J\\x0d (process 4242, since"},
        {"too long",
         [](const QString& note) { TestEnvironment::writeFile(note, "4242\n" + QByteArray(100000, 'w') + "\nnow\n"); },
         "another Tessaro program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString note = notePath(runtime());
        ::mkdir(native(QFileInfo(note).path()).constData(), 0700);
        QFile::remove(note);
        c.plant(note);
        const int held = holdElsewhere();
        const QString vault = env.vaultRoot();
        const QByteArray shown = c.shown;
        const auto check = [vault, shown] {
            const QString refusal = refusalFor(vault) + QLatin1Char('|') +
                                    VaultLock::holderOf(vault).value_or(VaultLock::Holder{}).who;
            const bool escaped = !refusal.contains(QChar(0x1b)) && !refusal.contains(QChar(0x9b));
            return refusal.contains(QString::fromUtf8(shown)) && escaped && refusal.size() < 600 ? 0 : 1;
        };
        // A FIFO without a writer blocks a plain open: in a child, killed when it hangs.
        const int status = c.mayHang ? testing::runChild(check, 2'000'000) : check();
        EXPECT_EQ(status, 0) << "-1: hung on the note; 1: the refusal shows the note's claim as it stands";
        ::close(held);
    }
}

// A folder for notes that is not ours alone is not used: the lock still works, without a
// note, and nothing is written into the folder.
TEST_F(LockNote, AFolderNotOursAloneGetsNoNote) {
    const QString elsewhere = env.base() + QStringLiteral("/elsewhere");
    ::mkdir(native(elsewhere).constData(), 0700);
    const struct {
        const char* name;
        bool runtimeSet;
        std::function<QString()> prepare;  // the folder that must stay empty
        bool needsRoot = false;
    } cases[] = {
        {"lock folder open to all",
         true,
         [this] {
             const QString folder = runtime() + QStringLiteral("/tessaro-locks");
             ::mkdir(native(folder).constData(), 0777);
             ::chmod(native(folder).constData(), 0777);
             return folder;
         }},
        {"per-user temporary folder open to the group",
         false,
         [this] {
             ::mkdir(native(fallback()).constData(), 0770);
             ::chmod(native(fallback()).constData(), 0770);
             return fallback();
         }},
        {"per-user temporary folder is a link",
         false,
         [this, elsewhere] {
             QFile::link(elsewhere, fallback());
             return elsewhere;
         }},
        {"lock folder of another user",
         true,
         [this] {
             const QString folder = runtime() + QStringLiteral("/tessaro-locks");
             ::mkdir(native(folder).constData(), 0700);
             EXPECT_EQ(::chown(native(folder).constData(), 54321, 54321), 0);
             return folder;
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) {
            std::printf("skipped \"%s\": only root can give a folder to another user\n", c.name);
            continue;
        }
        QDir(runtime() + QStringLiteral("/tessaro-locks")).removeRecursively();
        QFile::remove(fallback());
        QDir(fallback()).removeRecursively();
        c.runtimeSet ? qputenv("XDG_RUNTIME_DIR", native(runtime())) : qunsetenv("XDG_RUNTIME_DIR");
        const QString folder = c.prepare();
        {
            QString refusal;
            const auto lock = VaultLock::acquire(env.vaultRoot(), QStringLiteral("test"), 0, &refusal);
            ASSERT_TRUE(lock) << refusal.toStdString();
            EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
            EXPECT_TRUE(QDir(folder + QStringLiteral("/tessaro-locks")).isEmpty(QDir::AllEntries | QDir::Hidden |
                                                                                 QDir::NoDotAndDotDot));
        }
        const int held = holdElsewhere();
        EXPECT_TRUE(refusalFor(env.vaultRoot()).contains(QStringLiteral("another Tessaro program")));
        ::close(held);
    }
}

// Without a runtime folder the notes go to a per-user folder made owner-only, whatever the
// umask; the holder is named from it.
TEST_F(LockNote, WithoutARuntimeFolderANoteGoesToAPrivateFolderOfItsOwn) {
    qunsetenv("XDG_RUNTIME_DIR");
    const mode_t previous = ::umask(0);
    QString refusal;
    const auto lock = VaultLock::acquire(env.vaultRoot(), QStringLiteral("the test's window"), 0, &refusal);
    ::umask(previous);
    ASSERT_TRUE(lock) << refusal.toStdString();
    EXPECT_EQ(TestEnvironment::modeOf(fallback()), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(fallback() + QStringLiteral("/tessaro-locks")), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(notePath(fallback())), 0600);
    const auto holder = VaultLock::holderOf(env.vaultRoot());
    ASSERT_TRUE(holder);
    EXPECT_EQ(holder->who, QStringLiteral("the test's window"));
}

}  // namespace
}  // namespace tessaro
