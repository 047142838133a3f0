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

// The temporary folder points into the test's sandbox, and comes back after; the runtime
// folder is the test environment's own.
class LockNote : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(temporary());
        qputenv("TMPDIR", native(temporary()));
    }
    void TearDown() override { savedWasSet_ ? qputenv("TMPDIR", saved_) : qunsetenv("TMPDIR"); }

    QString runtime() const { return env.base() + QStringLiteral("/runtime"); }
    QString temporary() const { return env.base() + QStringLiteral("/tmp"); }
    QString fallback() const { return temporary() + QStringLiteral("/tessaro-%1").arg(::geteuid()); }
    QString notePath(const QString& folder) const {
        struct stat st {};
        ::stat(native(env.vaultRoot()).constData(), &st);
        return folder + QStringLiteral("/tessaro-locks/%1-%2")
                            .arg(static_cast<qulonglong>(st.st_dev))
                            .arg(static_cast<qulonglong>(st.st_ino));
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
    const bool savedWasSet_ = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray saved_ = qgetenv("TMPDIR");
};

TEST_F(LockNote, ANoteThatIsNoPlainFileOfOursIsNeverBelievedOrWaitedOn) {
    const QString elsewhere = env.base() + QStringLiteral("/elsewhere");
    enum class Plant { Fifo, LinkElsewhere, File };
    const struct {
        const char* name;
        Plant plant;
        QByteArray content;  // of the note, or of the note elsewhere it links to
        const char* shown;   // what the refusal says about the holder
    } cases[] = {
        {"FIFO", Plant::Fifo, {}, "another Tessaro program"},
        {"link to a note elsewhere", Plant::LinkElsewhere, "4242\nthe impostor\nnow\n", "another Tessaro program"},
        {"terminal escapes", Plant::File, "4242\nevil\x1b]0;owned\x07\x1b[2J\r\nsince\x9b\n",
         "evil\\x1b]0;owned\\x07\\x1b[2J\\x0d (process 4242, since"},
        {"too long", Plant::File, "4242\n" + QByteArray(100000, 'w') + "\nnow\n", "another Tessaro program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString note = notePath(runtime());
        ::mkdir(native(QFileInfo(note).path()).constData(), 0700);
        QFile::remove(note);
        if (c.plant == Plant::Fifo) {
            ::mkfifo(native(note).constData(), 0600);
        } else {
            TestEnvironment::writeFile(c.plant == Plant::File ? note : elsewhere, c.content);
        }
        if (c.plant == Plant::LinkElsewhere) {
            QFile::link(elsewhere, note);
        }
        const int held = holdElsewhere();
        const auto check = [&] {
            const QString refusal = refusalFor(env.vaultRoot()) + QLatin1Char('|') +
                                    VaultLock::holderOf(env.vaultRoot()).value_or(VaultLock::Holder{}).who;
            const bool escaped = !refusal.contains(QChar(0x1b)) && !refusal.contains(QChar(0x9b));
            return refusal.contains(QString::fromUtf8(c.shown)) && escaped && refusal.size() < 600 ? 0 : 1;
        };
        // A FIFO without a writer blocks a plain open: in a child, killed when it hangs.
        const int status = c.plant == Plant::Fifo ? testing::runChild(check, 2'000'000) : check();
        EXPECT_EQ(status, 0) << "-1: hung on the note; 1: the refusal shows the note's claim as it stands";
        ::close(held);
    }
}

// A note goes only into a folder of our own: without a runtime folder, into a per-user folder
// made owner-only whatever the umask, and the holder is named from it. A folder that is not
// ours alone is not used: the lock still works, without a note, and nothing is written there.
TEST_F(LockNote, ANoteGoesOnlyIntoAFolderOfOurOwn) {
    const QString elsewhere = env.base() + QStringLiteral("/elsewhere");
    ::mkdir(native(elsewhere).constData(), 0700);
    const QString locks = runtime() + QStringLiteral("/tessaro-locks");
    const struct {
        const char* name;
        bool runtimeSet;
        QString folder;  // the folder that must stay empty, or gets the note
        mode_t mode;     // 0: the per-user temporary folder is a link to it; 1: made by the lock
        bool theirs = false;
    } cases[] = {
        {"per-user temporary folder made for the note", false, fallback(), 1},
        {"lock folder open to all", true, locks, 0777},
        {"per-user temporary folder open to the group", false, fallback(), 0770},
        {"per-user temporary folder is a link", false, elsewhere, 0},
        {"lock folder of another user", true, locks, 0700, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.theirs && ::geteuid() != 0) {
            std::printf("skipped \"%s\": only root can give a folder to another user\n", c.name);
            continue;
        }
        QDir(locks).removeRecursively();
        QFile::remove(fallback());
        QDir(fallback()).removeRecursively();
        c.runtimeSet ? qputenv("XDG_RUNTIME_DIR", native(runtime())) : qunsetenv("XDG_RUNTIME_DIR");
        if (c.mode == 0) {
            QFile::link(c.folder, fallback());
        } else if (c.mode != 1) {
            ::mkdir(native(c.folder).constData(), c.mode);
            ::chmod(native(c.folder).constData(), c.mode);
        }
        if (c.theirs) {
            ASSERT_EQ(::chown(native(c.folder).constData(), 54321, 54321), 0);
        }
        {
            QString refusal;
            const mode_t previous = ::umask(0);
            const auto lock = VaultLock::acquire(env.vaultRoot(), QStringLiteral("the test's window"), 0, &refusal);
            ::umask(previous);
            ASSERT_TRUE(lock) << refusal.toStdString();
            if (c.mode == 1) {
                EXPECT_EQ(TestEnvironment::modeOf(c.folder), 0700);
                EXPECT_EQ(TestEnvironment::modeOf(c.folder + QStringLiteral("/tessaro-locks")), 0700);
                EXPECT_EQ(TestEnvironment::modeOf(notePath(c.folder)), 0600);
                EXPECT_EQ(VaultLock::holderOf(env.vaultRoot()).value_or(VaultLock::Holder{}).who,
                          QStringLiteral("the test's window"));
            } else {
                EXPECT_TRUE(QDir(c.folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
            }
        }
        const int held = holdElsewhere();
        EXPECT_TRUE(refusalFor(env.vaultRoot()).contains(QStringLiteral("another Tessaro program")));
        ::close(held);
    }
}

}  // namespace
}  // namespace tessaro
