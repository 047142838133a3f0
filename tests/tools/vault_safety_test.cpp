// Ordinary ways of calling tessaro-vault that must never cost a file: other spellings of a
// path, two writers at once, odd names and destinations.
#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_lock.h"
#include "crypto/swapped_name.h"
#include "support/vault_move_steps.h"
#include "tools/tool_vault.h"
#include "vault/vault_move.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::runVaultTool;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::readTree;
using testing::Tree;
using testing::writeTree;

const Tree kLetters{{QStringLiteral("/one"), "first letter"}, {QStringLiteral("/sub/two words"), QByteArray(70000, 'w')}};

// The tool's commands in a sandbox, beside a vault.
struct Sandbox : ::testing::Test, testing::ToolVault {};

struct Spelling {
    const char* name;
    // From the environment's base: the working directory and the path as typed.
    const char* workingDirectory;
    const char* typed;
    // The destination and the restore folder given as links to folders, which are followed.
    bool linkedDestinations = false;
};

void PrintTo(const Spelling& spelling, std::ostream* os) { *os << spelling.name; }

class PathSpelling : public Sandbox, public ::testing::WithParamInterface<Spelling> {};

// Every spelling of a folder named like a text file stores the one item under its own
// name and class, and the stored copy, however it is spelled, restores to plain bytes.
TEST_P(PathSpelling, NamesTheSameItemOnBothSides) {
    const QString letters = home + QStringLiteral("/Letters.txt");
    writeTree(letters, kLetters);
    QDir().mkpath(home + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(home, at("linked home")));
    const QString dest = at("dest");
    const QString out = at("out");
    if (GetParam().linkedDestinations) {
        QDir().mkpath(at("real/dest"));
        QDir().mkpath(at("real/out"));
        ASSERT_TRUE(QFile::link(at("real/dest"), dest) && QFile::link(at("real/out"), out));
    } else {
        QDir().mkpath(out);
    }

    const ToolRun stored = run({"store", "--move", GetParam().typed, dest}, at(GetParam().workingDirectory));
    ASSERT_EQ(stored.status, 0) << text(stored);
    // A linked destination is followed: the stored copy is named where it really is.
    const QString top = QFileInfo(dest).canonicalFilePath() + QStringLiteral("/eLttre.sxtt");
    EXPECT_EQ(QString::fromUtf8(stored.out.trimmed()), top);
    EXPECT_EQ(text(stored).find(TestEnvironment::kPassword), std::string::npos);
    EXPECT_EQ(QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("eLttre.sxtt")});
    EXPECT_FALSE(QFileInfo::exists(letters));
    // Text class: no plain letter inside the stored copy.
    EXPECT_FALSE(TestEnvironment::readFile(top + QStringLiteral("/no")).contains("first letter"));

    const ToolRun restored = run({"restore", "--move", dest + QStringLiteral("//eLttre.sxtt/"), out});
    ASSERT_EQ(restored.status, 0) << text(restored);
    EXPECT_EQ(readTree(out + QStringLiteral("/Letters.txt")), kLetters);
    EXPECT_FALSE(QFileInfo::exists(top));
    EXPECT_EQ(QFileInfo(dest).isSymLink() && QFileInfo(out).isSymLink(), GetParam().linkedDestinations);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, PathSpelling,
    ::testing::Values(Spelling{"clean", "home", "Letters.txt"},
                      Spelling{"trailing slash", "home", "Letters.txt/"},
                      Spelling{"doubled slashes", "home", ".//Letters.txt//"},
                      Spelling{"dot at the end", "home", "Letters.txt/."},
                      Spelling{"dot dot inside", "home/elsewhere", "../Letters.txt"},
                      Spelling{"dot from inside", "home/Letters.txt", "."},
                      Spelling{"dot dot from below", "home/Letters.txt/sub", ".."},
                      Spelling{"linked parent", "linked home", "Letters.txt"},
                      Spelling{"linked destinations", "home", "Letters.txt", true}),
    [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

using VaultSafety = Sandbox;

// Two processes storing same-named folders into one place: one wins, the other's folder
// stays where it was, and the stored copy is exactly the winner's.
TEST_F(VaultSafety, TwoWritersAtOnceLoseNothing) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QString dest = at(QStringLiteral("dest%1").arg(round));
        QStringList sources;
        QList<Tree> trees;
        std::vector<std::future<int>> runs;
        for (int i = 0; i < 2; ++i) {
            sources.append(at(QStringLiteral("r%1/w%2/Box").arg(round).arg(i)));
            Tree tree;
            for (int f = 0; f < 40; ++f) {
                tree.insert(QStringLiteral("/f%1").arg(f), testing::patternBytes(20000, static_cast<quint32>(i * 100 + f)));
            }
            trees.append(tree);
            writeTree(sources.last(), tree);
        }
        for (const QString& source : sources) {
            runs.push_back(std::async(std::launch::async, [this, source, dest] {
                return run({"store", "--move", source, dest}).status;
            }));
        }
        const QList<int> statuses{runs[0].get(), runs[1].get()};
        ASSERT_EQ(statuses.count(0), 1);
        const int winner = statuses.indexOf(0);
        EXPECT_FALSE(QFileInfo::exists(sources.at(winner)));
        EXPECT_EQ(readTree(sources.at(1 - winner)), trees.at(1 - winner));
        const QString out = at(QStringLiteral("out%1").arg(round));
        QDir().mkpath(out);
        ASSERT_EQ(run({"restore", dest + "/oBx", out}).status, 0);
        EXPECT_EQ(readTree(out + QStringLiteral("/Box")), trees.at(winner));
    }
}

// While someone holds a vault, a writer says who after a short wait and changes nothing;
// reading commands go on working.
TEST_F(VaultSafety, AHeldVaultRefusesWritersAndServesReaders) {
    const QString dest = env.vaultRoot() + QStringLiteral("/123-456/789");
    TestEnvironment::writeFile(at("note.md"), "# note");
    ASSERT_EQ(run({"store", at("note.md"), dest}).status, 0);

    QString refusal;
    const auto held = VaultLock::acquire(env.vaultRoot(), QStringLiteral("the test's window"), 0, &refusal);
    ASSERT_TRUE(held) << refusal.toStdString();
    TestEnvironment::writeFile(at("other.bin"), "other");
    const ToolRun refused = run({"store", "--move", at("other.bin"), dest});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("the test's window")) << text(refused);
    EXPECT_TRUE(refused.err.contains(QByteArray::number(QCoreApplication::applicationPid()))) << text(refused);
    EXPECT_TRUE(QFileInfo::exists(at("other.bin")));
    EXPECT_FALSE(QFileInfo::exists(dest + QLatin1Char('/') + swappedName(QStringLiteral("other.bin"))));
    const QString storedNote = dest + QLatin1Char('/') + swappedName(QStringLiteral("note.md"));
    const ToolRun moved = run({"restore", "--move", storedNote, env.base()});
    EXPECT_EQ(moved.status, 1) << text(moved);
    EXPECT_TRUE(QFileInfo::exists(storedNote));

    EXPECT_EQ(run({"verify", env.vaultRoot()}).status, 0);
    EXPECT_EQ(run({"list"}).status, 0);
    // Restored onto its own place, which is taken: beside it, under the name the output gives.
    const ToolRun read = run({"restore", storedNote, env.base()});
    EXPECT_EQ(read.status, 0) << text(read);
    EXPECT_EQ(QString::fromUtf8(read.out.trimmed()), at("note (restored).md"));
    EXPECT_EQ(TestEnvironment::readFile(at("note (restored).md")), QByteArray("# note"));
}

// An item near the system's path length limit comes back to where it was.
TEST_F(VaultSafety, AnItemNearThePathLimitComesBackWhereItWas) {
    QString parent = env.base();
    while (parent.toUtf8().size() < 4040) {
        parent += QLatin1Char('/') + QString(std::min<qsizetype>(200, 4040 - parent.toUtf8().size() + 1), QLatin1Char('d'));
    }
    const QString item = parent + QStringLiteral("/x");
    ASSERT_TRUE(TestEnvironment::writeFile(item + QStringLiteral("/f"), "deep"));
    ASSERT_GT(QString(item + QStringLiteral("/f")).toUtf8().size(), 4040);
    ASSERT_EQ(run({"store", "--move", item, at("dest")}).status, 0);
    ASSERT_FALSE(QFileInfo::exists(item));
    const ToolRun back = run({"restore", "--move", at("dest/x"), parent});
    ASSERT_EQ(back.status, 0) << text(back);
    EXPECT_EQ(TestEnvironment::readFile(item + QStringLiteral("/f")), QByteArray("deep"));
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"x"});
}

// A name that is not UTF-8 cannot be kept in the catalogue: said so, nothing removed.
TEST_F(VaultSafety, NamesThatAreNotUtf8AreRefusedWithTheReason) {
    const QByteArray base = QFile::encodeName(env.base());
    const QByteArray odd = base + "/caf\xe9.txt";
    {
        FILE* f = std::fopen(odd.constData(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("latin-1 name", f);
        std::fclose(f);
    }
    const ToolRun direct = testing::runVaultToolRaw(env, {"store", "--move", odd, base + "/dest"}, passwordLine());
    EXPECT_EQ(direct.status, 2);
    EXPECT_TRUE(direct.err.contains("not valid UTF-8")) << direct.err.toStdString();

    const QByteArray folder = base + "/Folder";
    TestEnvironment::writeFile(QFile::decodeName(folder + "/fine"), "fine");
    ASSERT_EQ(std::rename(odd.constData(), (folder + "/caf\xe9.txt").constData()), 0);
    const ToolRun inside = run({"store", "--move", at("Folder"), at("dest")});
    EXPECT_EQ(inside.status, 1);
    EXPECT_TRUE(inside.err.contains("not valid UTF-8")) << inside.err.toStdString();
    EXPECT_TRUE(inside.err.contains("caf\\xe9.txt")) << inside.err.toStdString();
    struct stat st {};
    EXPECT_EQ(::stat((folder + "/caf\xe9.txt").constData(), &st), 0);
    EXPECT_EQ(TestEnvironment::readFile(at("Folder/fine")), QByteArray("fine"));
    // Qt cannot name this file to remove it with the sandbox, which would stay behind.
    ::unlink((folder + "/caf\xe9.txt").constData());
}

TEST_F(VaultSafety, VerifyNamesEachDamagedFileWhateverItsName) {
    const QString vaultDir = at("vault");
    const QString dest = vaultDir + QStringLiteral("/123-456/789");
    writeTree(at("box"), {{"/good", "fine"}, {"/bad", "soon damaged"}});
    ASSERT_EQ(run({"store", at("box"), dest}).status, 0);
    EXPECT_EQ(readTree(at("box")), (Tree{{"/good", "fine"}, {"/bad", "soon damaged"}})) << "kept without --move";
    const ToolRun healthy = run({"verify", vaultDir});
    EXPECT_EQ(healthy.status, 0) << text(healthy);
    EXPECT_TRUE(healthy.out.isEmpty()) << text(healthy);
    const QString bad = dest + QStringLiteral("/obx/abd");
    QByteArray bytes = TestEnvironment::readFile(bad);
    ASSERT_FALSE(bytes.isEmpty());
    bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 1);
    TestEnvironment::writeFile(bad, bytes);
    // A name like a temporary file's is checked like any other: it may be a stored file.
    // The vault's own files are not stored files and are not reported.
    writeTree(vaultDir, {{"/123-456/789/obx/.tessaro-partial-x-ABCDEF", "half"},
                         {"/GroupDirlist.plist", "<plist/>"},
                         {"/.tessaro-journal", R"({"operation":"hide","phase":"walking","plainPath":"/x","storedTop":"/y"})"},
                         {"/GroupNoteslist.plist.damaged-1700000000", "x"},
                         {"/Notes/1.rtfd/TXT.rtf", "{\\rtf1}"},
                         {"/Thumb/pdf.jpg", "jpeg"}});
    const ToolRun r = run({"verify", vaultDir});
    EXPECT_EQ(r.status, 1);
    QStringList named;
    for (const QByteArray& line : r.out.trimmed().split('\n')) {
        named.append(QString::fromUtf8(line.left(line.indexOf(':'))));
    }
    named.sort();
    EXPECT_EQ(named, (QStringList{dest + QStringLiteral("/obx/.tessaro-partial-x-ABCDEF"), bad})) << text(r);
    // Restoring the damaged item puts nothing in place and keeps the stored copy.
    const ToolRun restored = run({"restore", dest + "/obx", at("back")});
    EXPECT_EQ(restored.status, 1);
    EXPECT_FALSE(QFileInfo::exists(at("back")));
    EXPECT_EQ(TestEnvironment::readFile(bad), bytes);
}

// A move of the vault killed right after its rename, before the setting followed: the next
// command finishes it, says so, and finds the items at the new place.
TEST(InterruptedMove, IsFinishedBeforeTheNextCommand) {
    testing::ToolVault v;
    ASSERT_EQ(v.run({"add", v.file(QStringLiteral("kept.txt"))}).status, 0);
    const QString destination = v.at(QStringLiteral("Moved"));
    ASSERT_TRUE(testing::moveKilledRightAfterRename(destination));
    const ToolRun listed = v.run({"list"});
    ASSERT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.err.contains("an interrupted move of the vault was finished")) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains("kept.txt")) << listed.out.toStdString();
    EXPECT_EQ(SettingsStore::stringValue(QString::fromLatin1(keys::kRootDirKey)), destination);
    ASSERT_EQ(v.run({"unhide", "kept.txt"}).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(v.home + QStringLiteral("/kept.txt")), QByteArray("kept.txt bytes"));
}

}  // namespace
}  // namespace tessaro
