// Ordinary ways of calling tessaro-vault that must never cost a file: other spellings of a
// path, two writers at once, odd names and destinations.
#include "core/catalogue.h"
#include "core/vault_lock.h"
#include "crypto/swapped_name.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"

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

Tree lettersTree() {
    return {{QStringLiteral("/one"), "first letter"}, {QStringLiteral("/sub/two words"), QByteArray(70000, 'w')}};
}

struct Spelling {
    const char* name;
    // From the environment's base: the working directory and the path as typed.
    const char* workingDirectory;
    const char* typed;
};

class PathSpelling : public ::testing::TestWithParam<Spelling> {};

// Every spelling of a folder named like a text file stores the one item under its own
// name and class, and the stored copy, however it is spelled, restores to plain bytes.
TEST_P(PathSpelling, NamesTheSameItemOnBothSides) {
    TestEnvironment env;
    const QString home = env.base() + QStringLiteral("/home");
    const QString letters = home + QStringLiteral("/Letters.txt");
    writeTree(letters, lettersTree());
    QDir().mkpath(home + QStringLiteral("/elsewhere"));
    ASSERT_TRUE(QFile::link(home, env.base() + QStringLiteral("/linked home")));
    const QString dest = env.base() + QStringLiteral("/dest");
    const QString cwd = env.base() + QLatin1Char('/') + QString::fromLatin1(GetParam().workingDirectory);

    const ToolRun stored = runVaultTool(env, {QStringLiteral("store"), QStringLiteral("--move"),
                                              QString::fromLatin1(GetParam().typed), dest},
                                        passwordLine(), cwd);
    ASSERT_EQ(stored.status, 0) << text(stored);
    const QString top = dest + QStringLiteral("/eLttre.sxtt");
    EXPECT_EQ(QString::fromUtf8(stored.out.trimmed()), top);
    EXPECT_EQ(QDir(dest).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("eLttre.sxtt")});
    EXPECT_FALSE(QFileInfo::exists(letters));
    // Text class: no plain letter inside the stored copy.
    EXPECT_FALSE(TestEnvironment::readFile(top + QStringLiteral("/no")).contains("first letter"));

    const QString out = env.base() + QStringLiteral("/out");
    QDir().mkpath(out);
    const ToolRun restored = runVaultTool(env, {QStringLiteral("restore"), QStringLiteral("--move"),
                                                dest + QStringLiteral("//eLttre.sxtt/"), out});
    ASSERT_EQ(restored.status, 0) << text(restored);
    EXPECT_EQ(readTree(out + QStringLiteral("/Letters.txt")), lettersTree());
    EXPECT_FALSE(QFileInfo::exists(top));
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
                      Spelling{"linked parent", "linked home", "Letters.txt"}),
    [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

// Two processes storing same-named folders into one place: one wins, the other's folder
// stays where it was, and the stored copy is exactly the winner's.
TEST(VaultSafety, TwoWritersAtOnceLoseNothing) {
    TestEnvironment env;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const QString dest = env.base() + QStringLiteral("/dest%1").arg(round);
        QStringList sources;
        QList<Tree> trees;
        std::vector<std::future<int>> runs;
        for (int i = 0; i < 2; ++i) {
            sources.append(env.base() + QStringLiteral("/r%1/w%2/Box").arg(round).arg(i));
            Tree tree;
            for (int f = 0; f < 40; ++f) {
                tree.insert(QStringLiteral("/f%1").arg(f), testing::patternBytes(20000, static_cast<quint32>(i * 100 + f)));
            }
            trees.append(tree);
            writeTree(sources.last(), tree);
        }
        for (const QString& source : sources) {
            runs.push_back(std::async(std::launch::async, [&env, source, dest] {
                return runVaultTool(env, {"store", "--move", source, dest}, passwordLine()).status;
            }));
        }
        const QList<int> statuses{runs[0].get(), runs[1].get()};
        ASSERT_EQ(statuses.count(0), 1);
        const int winner = statuses.indexOf(0);
        EXPECT_FALSE(QFileInfo::exists(sources.at(winner)));
        EXPECT_EQ(readTree(sources.at(1 - winner)), trees.at(1 - winner));
        const QString out = env.base() + QStringLiteral("/out%1").arg(round);
        QDir().mkpath(out);
        ASSERT_EQ(runVaultTool(env, {"restore", dest + "/oBx", out}).status, 0);
        EXPECT_EQ(readTree(out + QStringLiteral("/Box")), trees.at(winner));
    }
}

// While someone holds a vault, a writer says who after a short wait and changes nothing;
// reading commands go on working.
TEST(VaultSafety, AHeldVaultRefusesWritersAndServesReaders) {
    TestEnvironment env;
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    const QString dest = env.vaultRoot() + QStringLiteral("/123-456/789");
    const QString source = env.base() + QStringLiteral("/note.md");
    TestEnvironment::writeFile(source, "# note");
    ASSERT_EQ(runVaultTool(env, {QStringLiteral("store"), source, dest}, passwordLine()).status, 0);

    QString refusal;
    const auto held = VaultLock::acquire(env.vaultRoot(), QStringLiteral("the test's window"), 0, &refusal);
    ASSERT_TRUE(held) << refusal.toStdString();
    const QString other = env.base() + QStringLiteral("/other.bin");
    TestEnvironment::writeFile(other, "other");
    const ToolRun refused =
        runVaultTool(env, {QStringLiteral("store"), QStringLiteral("--move"), other, dest}, passwordLine());
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains("the test's window")) << text(refused);
    EXPECT_TRUE(refused.err.contains(QByteArray::number(QCoreApplication::applicationPid()))) << text(refused);
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_FALSE(QFileInfo::exists(dest + QLatin1Char('/') + swappedName(QStringLiteral("other.bin"))));
    const QString storedNote = dest + QLatin1Char('/') + swappedName(QStringLiteral("note.md"));
    const ToolRun moved =
        runVaultTool(env, {QStringLiteral("restore"), QStringLiteral("--move"), storedNote, env.base()});
    EXPECT_EQ(moved.status, 1) << text(moved);
    EXPECT_TRUE(QFileInfo::exists(storedNote));

    EXPECT_EQ(runVaultTool(env, {QStringLiteral("verify"), env.vaultRoot()}).status, 0);
    EXPECT_EQ(runVaultTool(env, {QStringLiteral("list")}).status, 0);
    const QString copy = env.base() + QStringLiteral("/copy");
    QDir().mkpath(copy);
    const ToolRun read = runVaultTool(env, {QStringLiteral("restore"), storedNote, copy});
    EXPECT_EQ(read.status, 0) << text(read);
    EXPECT_EQ(TestEnvironment::readFile(copy + QStringLiteral("/note.md")), QByteArray("# note"));
}

// An item near the system's path length limit comes back to where it was.
TEST(VaultSafety, AnItemNearThePathLimitComesBackWhereItWas) {
    TestEnvironment env;
    QString parent = env.base();
    while (parent.toUtf8().size() < 4040) {
        parent += QLatin1Char('/') + QString(std::min<qsizetype>(200, 4040 - parent.toUtf8().size() + 1), QLatin1Char('d'));
    }
    ASSERT_TRUE(QDir().mkpath(parent));
    const QString item = parent + QStringLiteral("/x");
    ASSERT_TRUE(TestEnvironment::writeFile(item + QStringLiteral("/f"), "deep"));
    ASSERT_GT(QString(item + QStringLiteral("/f")).toUtf8().size(), 4040);
    const QString dest = env.base() + QStringLiteral("/dest");
    ASSERT_EQ(runVaultTool(env, {QStringLiteral("store"), QStringLiteral("--move"), item, dest}, passwordLine()).status,
              0);
    ASSERT_FALSE(QFileInfo::exists(item));
    const ToolRun back = runVaultTool(env, {QStringLiteral("restore"), QStringLiteral("--move"),
                                            dest + QStringLiteral("/x"), parent});
    ASSERT_EQ(back.status, 0) << text(back);
    EXPECT_EQ(TestEnvironment::readFile(item + QStringLiteral("/f")), QByteArray("deep"));
    EXPECT_EQ(QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"x"});
}

// A destination given as a link to a folder is that folder, on both sides.
TEST(VaultSafety, ALinkGivenAsTheDestinationFolderIsFollowed) {
    TestEnvironment env;
    const QString real = env.base() + QStringLiteral("/real");
    QDir().mkpath(real + QStringLiteral("/vault"));
    QDir().mkpath(real + QStringLiteral("/out"));
    ASSERT_TRUE(QFile::link(real + QStringLiteral("/vault"), env.base() + QStringLiteral("/vault link")));
    ASSERT_TRUE(QFile::link(real + QStringLiteral("/out"), env.base() + QStringLiteral("/out link")));
    const QString source = env.base() + QStringLiteral("/report.pdf");
    TestEnvironment::writeFile(source, "%PDF");
    const ToolRun stored = runVaultTool(
        env, {QStringLiteral("store"), QStringLiteral("--move"), source, env.base() + QStringLiteral("/vault link")},
        passwordLine());
    ASSERT_EQ(stored.status, 0) << text(stored);
    EXPECT_TRUE(QFileInfo::exists(real + QStringLiteral("/vault/eroptrp.fd")));
    const ToolRun restored = runVaultTool(env, {QStringLiteral("restore"), real + QStringLiteral("/vault/eroptrp.fd"),
                                                env.base() + QStringLiteral("/out link")});
    ASSERT_EQ(restored.status, 0) << text(restored);
    EXPECT_EQ(TestEnvironment::readFile(real + QStringLiteral("/out/report.pdf")), QByteArray("%PDF"));
    EXPECT_TRUE(QFileInfo(env.base() + QStringLiteral("/out link")).isSymLink());
}

// A name that is not UTF-8 cannot be kept in the catalogue: said so, nothing removed.
TEST(VaultSafety, NamesThatAreNotUtf8AreRefusedWithTheReason) {
    TestEnvironment env;
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
    QDir().mkpath(QFile::decodeName(folder));
    TestEnvironment::writeFile(QFile::decodeName(folder + "/fine"), "fine");
    ASSERT_EQ(std::rename(odd.constData(), (folder + "/caf\xe9.txt").constData()), 0);
    const ToolRun inside = testing::runVaultToolRaw(env, {"store", "--move", folder, base + "/dest"}, passwordLine());
    EXPECT_EQ(inside.status, 1);
    EXPECT_TRUE(inside.err.contains("not valid UTF-8")) << inside.err.toStdString();
    EXPECT_TRUE(inside.err.contains("caf\\xe9.txt")) << inside.err.toStdString();
    struct stat st {};
    EXPECT_EQ(::stat((folder + "/caf\xe9.txt").constData(), &st), 0);
    EXPECT_EQ(TestEnvironment::readFile(QFile::decodeName(folder + "/fine")), QByteArray("fine"));
    // Qt cannot name this file to remove it with the sandbox, which would stay behind.
    ::unlink((folder + "/caf\xe9.txt").constData());
}

TEST(VaultTool, StoreVerifyRestoreAndMoveWithoutShowingThePassword) {
    TestEnvironment env;
    const QString src = env.base() + QStringLiteral("/Letters.txt");
    writeTree(src, {{"/one", "first letter"}, {"/sub/two words", QByteArray(600000, 'w')}});
    const Tree letters = readTree(src);
    const QString dest = env.base() + QStringLiteral("/container");
    const ToolRun stored = runVaultTool(env, {"store", src, dest}, passwordLine());
    ASSERT_EQ(stored.status, 0) << text(stored);
    const QString top = QString::fromUtf8(stored.out.trimmed());
    EXPECT_EQ(top, dest + QStringLiteral("/eLttre.sxtt"));
    EXPECT_EQ(readTree(src), letters) << "kept without --move";
    const ToolRun verified = runVaultTool(env, {"verify", dest});
    EXPECT_EQ(verified.status, 0) << text(verified);
    EXPECT_TRUE(verified.out.isEmpty());
    // Restored with --move onto a place that is taken: beside it, the stored copy gone.
    const ToolRun restored = runVaultTool(env, {"restore", "--move", top, env.base()});
    ASSERT_EQ(restored.status, 0) << text(restored);
    const QString beside = env.base() + QStringLiteral("/Letters (restored).txt");
    EXPECT_EQ(QString::fromUtf8(restored.out.trimmed()), beside);
    EXPECT_EQ(readTree(beside), letters);
    EXPECT_EQ(readTree(src), letters);
    EXPECT_FALSE(QFileInfo::exists(top));
    for (const ToolRun& r : {stored, verified, restored}) {
        EXPECT_EQ(text(r).find(TestEnvironment::kPassword), std::string::npos);
    }
}

TEST(VaultTool, VerifyNamesEachDamagedFileWhateverItsName) {
    TestEnvironment env;
    const QString vaultDir = env.base() + QStringLiteral("/vault");
    const QString dest = vaultDir + QStringLiteral("/123-456/789");
    writeTree(env.base() + QStringLiteral("/box"), {{"/good", "fine"}, {"/bad", "soon damaged"}});
    ASSERT_EQ(runVaultTool(env, {"store", env.base() + "/box", dest}, passwordLine()).status, 0);
    const QString bad = dest + QStringLiteral("/obx/abd");
    QByteArray bytes = TestEnvironment::readFile(bad);
    ASSERT_FALSE(bytes.isEmpty());
    bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 1);
    TestEnvironment::writeFile(bad, bytes);
    // A name like a temporary file's is checked like any other: it may be a stored file.
    // The vault's own files are not stored files and are not reported.
    const QString oddName = dest + QStringLiteral("/obx/.tessaro-partial-x-ABCDEF");
    writeTree(vaultDir, {{"/123-456/789/obx/.tessaro-partial-x-ABCDEF", "half"},
                         {"/GroupDirlist.plist", "<plist/>"},
                         {"/GroupNoteslist.plist.damaged-1700000000", "x"},
                         {"/Notes/1.rtfd/TXT.rtf", "{\\rtf1}"},
                         {"/Thumb/pdf.jpg", "jpeg"}});
    const ToolRun r = runVaultTool(env, {"verify", vaultDir});
    EXPECT_EQ(r.status, 1);
    QStringList named;
    for (const QByteArray& line : r.out.trimmed().split('\n')) {
        named.append(QString::fromUtf8(line.left(line.indexOf(':'))));
    }
    named.sort();
    EXPECT_EQ(named, (QStringList{oddName, bad})) << text(r);
    // Restoring the damaged item puts nothing in place and keeps the stored copy.
    const ToolRun restored = runVaultTool(env, {"restore", dest + "/obx", env.base() + "/back"});
    EXPECT_EQ(restored.status, 1);
    EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/back")));
    EXPECT_EQ(TestEnvironment::readFile(bad), bytes);
}

}  // namespace
}  // namespace tessaro
