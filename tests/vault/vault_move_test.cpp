// Moving the vault root: by rename or by copy, the setting names a complete vault at every
// moment, failures and kills leave the old vault working, and a later start cleans up.
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "support/test_environment.h"
#include "support/vault_move_steps.h"
#include "vault/vault_move.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::Tree;
using vault::MoveProblem;

QString key(const char* k) { return QString::fromLatin1(k); }

QByteArray notesList(const QString& notePath) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<array>\n\t<dict>\n"
           "\t\t<key>fileModels</key>\n\t\t<array>\n\t\t\t<dict>\n\t\t\t\t<key>path</key>\n\t\t\t\t<string>" +
           notePath.toUtf8() +
           "</string>\n\t\t\t\t<key>name</key>\n\t\t\t\t<string>Plans</string>\n\t\t\t</dict>\n\t\t</array>\n"
           "\t</dict>\n</array>\n</plist>\n";
}

// A vault of a few megabytes, so that a copy takes several chunks, and a note whose record
// holds its absolute path.
struct MoveFixture : ::testing::Test {
    TestEnvironment env;
    QString root;
    Tree original;

    void SetUp() override {
        root = env.vaultRoot();
        original = {
            {QStringLiteral("/GroupDirlist.plist"), "<plist/>"},
            {QStringLiteral("/Notes/Plans/TXT.rtf"), "{\\rtf1 plans}"},
            {QStringLiteral("/Thumb/pdf.jpg"), testing::patternBytes(900, 2)},
            {QStringLiteral("/1-2/3/elttre.sxt"), testing::patternBytes(3 * 1024 * 1024 + 17, 3)},
            {QStringLiteral("/1-2/4/e.mpty"), QByteArray()},
            {QStringLiteral("/GroupNoteslist.plist"), notesList(root + QStringLiteral("/Notes/Plans"))},
        };
        testing::writeTree(root, original);
    }

    QString rootSetting() const { return SettingsStore::stringValue(key(keys::kRootDirKey)); }

    // Neither the record of a move nor a half copy beside the destination is left.
    static void expectNoMoveLeft(const QString& destination) {
        EXPECT_FALSE(SettingsStore::contains(key(keys::kVAULTMOVEINPROGRESS)));
        const QDir parent(QFileInfo(destination).absolutePath());
        EXPECT_TRUE(parent.entryList({QStringLiteral(".tessaro-move-*")}, QDir::AllEntries | QDir::Hidden).isEmpty());
    }

    // The old vault is as it was, named by the setting, and nothing of the move is left.
    void expectUntouched(const QString& destination) const {
        EXPECT_EQ(rootSetting(), root);
        EXPECT_TRUE(testing::readTree(root) == original);
        EXPECT_TRUE(testing::readTree(destination).isEmpty());
        expectNoMoveLeft(destination);
    }

    // The vault is at `destination` byte for byte, its note records point there.
    void expectMovedTo(const QString& given) const {
        const QString destination = QDir::cleanPath(given);
        EXPECT_EQ(rootSetting(), destination);
        EXPECT_FALSE(QFileInfo::exists(root));
        Tree moved = testing::readTree(destination);
        const QByteArray notes = moved.take(QStringLiteral("/GroupNoteslist.plist"));
        EXPECT_TRUE(notes.contains("<string>" + destination.toUtf8() + "/Notes/Plans</string>")) << notes.toStdString();
        EXPECT_FALSE(notes.contains(root.toUtf8()));
        Tree expected = original;
        expected.remove(QStringLiteral("/GroupNoteslist.plist"));
        EXPECT_EQ(moved.keys(), expected.keys());
        EXPECT_TRUE(moved == expected);
        expectNoMoveLeft(destination);
    }
};

int crossDevice(const QByteArray&, const QByteArray&) {
    errno = EXDEV;
    return -1;
}

struct MoveCase {
    const char* name;
    bool acrossFileSystems;
    bool destinationExists;  // an empty folder is there already
    const char* destination;
};

class VaultMoves : public MoveFixture, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(VaultMoves, TheWholeVaultArrivesAndTheSettingFollows) {
    const MoveCase& c = GetParam();
    const QString destination = env.base() + QLatin1String(c.destination);
    if (c.destinationExists) {
        ASSERT_TRUE(QDir().mkpath(destination));
    }
    vault::MoveOptions options;
    if (c.acrossFileSystems) {
        options.rename = &crossDevice;
    }
    qint64 lastDone = 0;
    qint64 lastTotal = 0;
    options.progress = [&](qint64 done, qint64 total) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        lastTotal = total;
    };
    const vault::MoveResult result = vault::moveVault(destination, options);
    ASSERT_TRUE(result.moved) << result.detail.toStdString();
    EXPECT_EQ(result.copied, c.acrossFileSystems);
    EXPECT_TRUE(result.leftBehind.isEmpty());
    expectMovedTo(destination);
    if (c.acrossFileSystems) {
        EXPECT_EQ(lastDone, lastTotal);  // copied and compared, every byte
    }
}

INSTANTIATE_TEST_SUITE_P(
    , VaultMoves,
    ::testing::Values(MoveCase{"rename_to_a_new_folder", false, false, "/elsewhere/Vault"},
                      MoveCase{"rename_onto_an_empty_folder", false, true, "/Empty Vault"},
                      MoveCase{"copy_to_a_new_folder", true, false, "/other disk/deep/Vault.flp"},
                      MoveCase{"copy_onto_an_empty_folder", true, true, "/Empty Vault"},
                      MoveCase{"trailing_slash", false, false, "/Vault2/"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    // Below the test's base; "@" stands for the vault root.
    const char* destination;
    MoveProblem expected;
};

class VaultMoveRefusals : public MoveFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(VaultMoveRefusals, NothingChanges) {
    const RefusalCase& c = GetParam();
    TestEnvironment::writeFile(env.base() + QStringLiteral("/full/somebody's.txt"), "theirs");
    TestEnvironment::writeFile(env.base() + QStringLiteral("/a file"), "theirs");
    ASSERT_EQ(::symlink(root.toUtf8().constData(), (env.base() + QStringLiteral("/link to vault")).toUtf8().constData()), 0);
    QString destination = QString::fromUtf8(c.destination);
    destination.replace(QLatin1Char('@'), root);
    if (destination.startsWith(QLatin1Char('/')) && !destination.startsWith(root)) {
        destination = env.base() + destination;
    }
    const vault::MoveResult result = vault::moveVault(destination, {});
    EXPECT_EQ(result.problem, c.expected) << result.detail.toStdString();
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(rootSetting(), root);
    EXPECT_TRUE(testing::readTree(root) == original);
    EXPECT_EQ(TestEnvironment::readFile(env.base() + QStringLiteral("/full/somebody's.txt")), "theirs");
}

INSTANTIATE_TEST_SUITE_P(
    , VaultMoveRefusals,
    ::testing::Values(RefusalCase{"the_vault_itself", "@", MoveProblem::InsideVault},
                      RefusalCase{"inside_the_vault", "@/Notes/new", MoveProblem::InsideVault},
                      RefusalCase{"inside_through_dot_dot", "@/../My Vault.flp/x", MoveProblem::InsideVault},
                      RefusalCase{"inside_through_a_link", "/link to vault/x", MoveProblem::InsideVault},
                      RefusalCase{"a_folder_with_files", "/full", MoveProblem::NotEmpty},
                      RefusalCase{"a_file", "/a file", MoveProblem::NotEmpty},
                      RefusalCase{"a_relative_path", "elsewhere/Vault", MoveProblem::NotAbsolute}),
    [](const auto& info) { return std::string(info.param.name); });

// What stops a move before it starts: a folder that cannot be written, another program
// changing the vault, an unfinished walk whose journal names the vault where it is.
TEST_F(MoveFixture, AMoveThatCannotStartChangesNothing) {
    const QString locked = env.base() + QStringLiteral("/locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    {
        testing::UnremovableEntries guard(locked);
        ASSERT_TRUE(guard.ok());
        EXPECT_EQ(vault::moveVault(locked + QStringLiteral("/Vault"), {}).problem, MoveProblem::NotWritable);
    }
    expectUntouched(locked + QStringLiteral("/Vault"));

    const QString destination = env.base() + QStringLiteral("/Vault");
    const int fd = ::open(root.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    vault::MoveOptions options;
    options.lockWaitMs = 50;
    EXPECT_EQ(vault::moveVault(destination, options).problem, MoveProblem::VaultInUse);
    ::close(fd);
    expectUntouched(destination);

    TestEnvironment::writeFile(root + QStringLiteral("/.tessaro-journal"),
                               R"({"version":1,"operation":"hide","phase":"walking","plainPath":"/home/li/Letters",)"
                               R"("storedTop":")" + root.toUtf8() + R"(/1-2/3/eLttres","workDirectory":".tessaro-work-Ab12Cd34Ef56",)"
                               R"("temporary":"","restoredPath":"","keepStoredCopy":false,"started":1765000000000,"token":"Ab12Cd34Ef56"})"
                               "\n");
    EXPECT_EQ(vault::moveVault(destination, {}).problem, MoveProblem::UnfinishedWork);
    EXPECT_EQ(rootSetting(), root);
}

// What stops a copy before the switch: the user, a full disk, the process being killed.
// Afterwards (and after the next start, for a kill) the old vault is all there is.
enum class Stop { Cancel, DiskFull, KillMidCopy, KillBeforeRename };

struct StopCase {
    const char* name;
    Stop stop;
};

class InterruptedCopies : public MoveFixture, public ::testing::WithParamInterface<StopCase> {};

TEST_P(InterruptedCopies, LeaveTheOldVaultWorking) {
    const QString destination = env.base() + QStringLiteral("/other disk/Vault");
    std::atomic<bool> cancel{false};
    vault::MoveOptions options;
    options.rename = &crossDevice;
    options.cancel = &cancel;
    switch (GetParam().stop) {
    case Stop::Cancel: {
        options.progress = [&](qint64 done, qint64) { cancel = done > 0; };
        const vault::MoveResult result = vault::moveVault(destination, options);
        EXPECT_EQ(result.problem, MoveProblem::Cancelled);
        break;
    }
    case Stop::DiskFull: {
        const int status = testing::runChild(
            [&] { return static_cast<int>(vault::moveVault(destination, options).problem); }, -1, 512 * 1024);
        EXPECT_EQ(status, static_cast<int>(MoveProblem::CopyFailed));
        break;
    }
    case Stop::KillMidCopy:
        options.progress = [](qint64 done, qint64) {
            if (done > 1024 * 1024) {
                ::raise(SIGKILL);
            }
        };
        [[fallthrough]];
    case Stop::KillBeforeRename:
        if (GetParam().stop == Stop::KillBeforeRename) {
            options.rename = [](const QByteArray&, const QByteArray&) { return ::raise(SIGKILL); };
        }
        ASSERT_EQ(testing::runChild([&] { return static_cast<int>(vault::moveVault(destination, options).problem); }), -1);
        EXPECT_TRUE(SettingsStore::contains(key(keys::kVAULTMOVEINPROGRESS)));
        EXPECT_EQ(vault::finishInterruptedMove().outcome, vault::MoveRecovery::Outcome::StayedAtOld);
        break;
    }
    expectUntouched(destination);
    EXPECT_EQ(vault::finishInterruptedMove().outcome, vault::MoveRecovery::Outcome::None);
}

INSTANTIATE_TEST_SUITE_P(, InterruptedCopies,
                         ::testing::Values(StopCase{"cancelled", Stop::Cancel}, StopCase{"disk_full", Stop::DiskFull},
                                           StopCase{"killed_mid_copy", Stop::KillMidCopy},
                                           StopCase{"killed_before_the_rename", Stop::KillBeforeRename}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MoveFixture, AKillRightAfterTheRenameIsFinishedAtTheNextStart) {
    const QString destination = env.base() + QStringLiteral("/Vault");
    ASSERT_TRUE(testing::moveKilledRightAfterRename(destination));
    EXPECT_EQ(rootSetting(), root);  // the setting had not been switched yet
    EXPECT_EQ(vault::finishInterruptedMove().outcome, vault::MoveRecovery::Outcome::MovedToNew);
    expectMovedTo(destination);
}

TEST_F(MoveFixture, ARecordOfAMoveThatIsNotOursTouchesNothing) {
    const QString victim = env.base() + QStringLiteral("/precious");
    TestEnvironment::writeFile(victim + QStringLiteral("/data"), "keep");
    for (const QString& record :
         {QStringLiteral(R"({"phase":"copying","from":"%1","to":"%2","token":"AAAAAAAAAAAA"})").arg(root, victim),
          QStringLiteral(R"({"phase":"removing","from":"%2","to":"%1","token":"../../../etc"})").arg(root, victim),
          QStringLiteral("not json at all")}) {
        ASSERT_TRUE(SettingsStore::setValue(key(keys::kVAULTMOVEINPROGRESS), record));
        EXPECT_NE(vault::finishInterruptedMove().outcome, vault::MoveRecovery::Outcome::None);
        EXPECT_EQ(TestEnvironment::readFile(victim + QStringLiteral("/data")), "keep");
        expectUntouched(victim + QStringLiteral("/none"));
    }
}

}  // namespace
}  // namespace tessaro
