// tessaro-vault add, hide, unhide, recover and check, run as a user would run them.
#include "core/catalogue.h"
#include "crypto/item_paths.h"
#include "crypto/swapped_name.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"
#include "tool_vault.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::runVaultTool;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::readTree;
using testing::Tree;
using testing::writeTree;

using Vault = testing::ToolVault;

TEST(VaultCommands, AddHideAndUnhideGiveBackBytesTimesAndPermissions) {
    Vault v;
    const QString note = v.home + QStringLiteral("/note.txt");
    const QString photo = v.home + QStringLiteral("/photo.jpg");
    const QString data = v.home + QStringLiteral("/data.bin");
    const QString folder = v.home + QStringLiteral("/Project");
    TestEnvironment::writeFile(note, "a note");
    TestEnvironment::writeFile(photo, "not really a jpeg");
    TestEnvironment::writeFile(data, testing::patternBytes(700000, 3));
    TestEnvironment::writeFile(folder + QStringLiteral("/run.sh"), "#!/bin/sh\n");
    TestEnvironment::writeFile(folder + QStringLiteral("/docs/readme.md"), "# readme");
    const QByteArray script = QFile::encodeName(folder + QStringLiteral("/run.sh"));
    ASSERT_EQ(::chmod(script.constData(), 0750), 0);
    const timespec old[2] = {{1300000000, 0}, {1300000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, script.constData(), old, 0), 0);
    const Tree project = readTree(folder);
    const QByteArray dataBytes = TestEnvironment::readFile(data);

    const ToolRun added = v.run({QStringLiteral("add"), note, photo, data, folder + QLatin1Char('/'), note});
    ASSERT_EQ(added.status, 0) << text(added);
    for (const QString& p : {note, photo, data, folder}) {
        EXPECT_FALSE(QFileInfo::exists(p)) << p.toStdString();
    }
    EXPECT_EQ(v.listed().count(QStringLiteral("\thidden\t")), 4) << v.listed().toStdString();
    EXPECT_FALSE(QFileInfo(vault::journalPath(v.env.vaultRoot())).size() > 0);

    const ToolRun shown = v.run({QStringLiteral("unhide"), QStringLiteral("Project")});
    ASSERT_EQ(shown.status, 0) << text(shown);
    EXPECT_EQ(readTree(folder), project);
    struct stat st {};
    ASSERT_EQ(::stat(script.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 5);

    // Unhide all keeps every container; hide all takes the visible ones again.
    ASSERT_EQ(v.run({QStringLiteral("unhide"), QStringLiteral("--all")}).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(data), dataBytes);
    EXPECT_EQ(v.listed().count(QStringLiteral("\tshown\t")), 4);
    EXPECT_EQ(QDir(v.env.vaultRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 3);  // Notes, Thumb, group
    const ToolRun all = v.run({QStringLiteral("hide"), QStringLiteral("--all")});
    ASSERT_EQ(all.status, 0) << text(all);
    EXPECT_EQ(v.listed().count(QStringLiteral("\thidden\t")), 4);
    EXPECT_EQ(v.run({QStringLiteral("hide"), QStringLiteral("nothing-like-it")}).status, 2);
    EXPECT_EQ(runVaultTool(v.env, {QStringLiteral("hide"), QStringLiteral("--all")}, "wrong\n").status, 1);
}

TEST(VaultCommands, RecoverBringsBackEveryHiddenItemWithOrWithoutTheCatalogue) {
    Vault v;
    Tree expected;
    QStringList paths;
    for (const char* name : {"letter.txt", "picture.png", "Folder.md", "Plain folder"}) {
        const QString path = v.home + QLatin1Char('/') + QString::fromLatin1(name);
        paths.append(path);
        if (QByteArray(name).startsWith("Folder") || QByteArray(name).startsWith("Plain")) {
            TestEnvironment::writeFile(path + QStringLiteral("/inside.txt"), QByteArray(name) + " inside");
            TestEnvironment::writeFile(path + QStringLiteral("/deeper/more"), testing::patternBytes(90000, 7));
        } else {
            TestEnvironment::writeFile(path, testing::patternBytes(30000, static_cast<quint32>(qHash(QString::fromLatin1(name)))));
        }
        const Tree item = readTree(path);
        for (auto it = item.cbegin(); it != item.cend(); ++it) {
            expected.insert(QLatin1Char('/') + QString::fromLatin1(name) + it.key(), it.value());
        }
    }
    ASSERT_EQ(v.run(QStringList{QStringLiteral("add")} + paths).status, 0);

    for (const bool withCatalogue : {true, false}) {
        if (!withCatalogue) {
            QFile::remove(v.env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"));
        }
        const Tree vaultBefore = readTree(v.env.vaultRoot());
        const QString out = v.env.base() + (withCatalogue ? QStringLiteral("/out-a") : QStringLiteral("/out-b"));
        const ToolRun r = v.run({QStringLiteral("recover"), QStringLiteral("--to"), out});
        ASSERT_EQ(r.status, 0) << text(r);
        const QStringList groups = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        ASSERT_EQ(groups.size(), 1) << groups.join(QLatin1Char(',')).toStdString();
        if (withCatalogue) {
            EXPECT_EQ(groups.first(), QStringLiteral("All Items"));
        }
        EXPECT_EQ(readTree(out + QLatin1Char('/') + groups.first()), expected);
        // The vault is as it was.
        EXPECT_EQ(readTree(v.env.vaultRoot()), vaultBefore);
    }
}

// A hide that cannot take the plain files away (a folder the user cannot change) is no
// success: it names what stayed, ends with 1, and check finds the item afterwards.
TEST(VaultCommands, AHideThatLeavesPlainFilesFailsAndCheckSaysSo) {
    Vault v;
    const QString folder = v.home + QStringLiteral("/Locked");
    TestEnvironment::writeFile(folder + QStringLiteral("/kept"), "k");
    ToolRun added;
    {
        const testing::UnremovableEntries locked(folder);
        ASSERT_TRUE(locked.ok());
        added = v.run({QStringLiteral("add"), folder});
    }
    EXPECT_EQ(added.status, 1) << text(added);
    EXPECT_TRUE(added.out.contains("hidden, but plain files are still there\t" + folder.toUtf8())) << text(added);
    EXPECT_TRUE(added.err.contains(folder.toUtf8() + "/kept")) << text(added);
    EXPECT_EQ(TestEnvironment::readFile(folder + QStringLiteral("/kept")), QByteArray("k"));
    const ToolRun checked = runVaultTool(v.env, {QStringLiteral("check")});
    EXPECT_EQ(checked.status, 1);
    EXPECT_TRUE(checked.out.contains("hidden, but plain files are still there")) << text(checked);
}

// A path that begins with "--" after "--", names with line breaks and tabs in list's
// tab-separated lines, and verify of the healthy vault that holds them (with its own journal).
TEST(VaultCommands, OddNamesPassThroughAddListAndVerify) {
    Vault v;
    const QString dashed = v.home + QStringLiteral("/--x");
    const QString odd = v.home + QStringLiteral("/two\nlines\tand\\slash");
    TestEnvironment::writeFile(dashed, "d");
    TestEnvironment::writeFile(odd + QStringLiteral("/inner"), "o");
    const ToolRun added = runVaultTool(v.env, {QStringLiteral("add"), QStringLiteral("--"), QStringLiteral("--x"), odd},
                                       passwordLine(), v.home);
    ASSERT_EQ(added.status, 0) << text(added);
    EXPECT_FALSE(QFileInfo::exists(dashed));
    const QStringList lines = v.listed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList items = lines.filter(QStringLiteral("\titem\t"));
    ASSERT_EQ(items.size(), 2) << v.listed().toStdString();
    for (const QString& line : items) {
        EXPECT_EQ(line.count(QLatin1Char('\t')), 6) << line.toStdString();
    }
    EXPECT_TRUE(items.join(QLatin1Char(' ')).contains(QStringLiteral("two\\nlines\\tand\\\\slash")));
    EXPECT_TRUE(QFileInfo::exists(vault::journalPath(v.env.vaultRoot())));
    const ToolRun verified = runVaultTool(v.env, {QStringLiteral("verify"), v.env.vaultRoot()});
    EXPECT_EQ(verified.status, 0) << text(verified);
}

TEST(VaultCommands, CheckNamesWhatIsWrongAndRepairOnlyWhatIsSafe) {
    Vault v;
    const QString a = v.home + QStringLiteral("/a.bin");
    const QString b = v.home + QStringLiteral("/b.bin");
    TestEnvironment::writeFile(a, "a");
    TestEnvironment::writeFile(b, "b");
    ASSERT_EQ(v.run({QStringLiteral("add"), a, b}).status, 0);
    const ToolRun clean = runVaultTool(v.env, {QStringLiteral("check")});
    EXPECT_EQ(clean.status, 0) << text(clean);

    // A crash in the middle of hiding c: the catalogue lists it hidden, the journal says the
    // walk was assembling; the plain file is whole.
    const QString c = v.home + QStringLiteral("/c.bin");
    TestEnvironment::writeFile(c, "c");
    {
        Catalogue catalogue;
        ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
        const vault::AddTarget target = vault::addTargetFor(catalogue, QString::fromLatin1(kLocalListKey), 1);
        const vault::PreparedAdd prepared = vault::prepareAdd({c}, vault::recordedPaths(catalogue), target, 2, {});
        vault::commitAdd(target, prepared.records);
        ASSERT_TRUE(catalogue.SaveGroupList(0));
        vault::JournalEntry entry;
        entry.plainPath = c;
        entry.storedTop = walk::pathsForRecord(*prepared.records.first()).storedTop;
        entry.workDirectory = QStringLiteral(".tessaro-work-zzzzzz");
        QDir().mkpath(QFileInfo(entry.storedTop).path() + QLatin1Char('/') + entry.workDirectory);
        ASSERT_TRUE(vault::appendJournal(v.env.vaultRoot(), entry));
    }
    // b's stored copy goes missing while its plain file comes back.
    TestEnvironment::writeFile(b, "b");
    QString bStored;
    for (QDirIterator it(v.env.vaultRoot(), {swappedName(QStringLiteral("b.bin"))}, QDir::Files | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        bStored = it.next();
    }
    ASSERT_FALSE(bStored.isEmpty());
    QFile::remove(bStored);

    const ToolRun seen = runVaultTool(v.env, {QStringLiteral("check")});
    EXPECT_EQ(seen.status, 1);
    EXPECT_EQ(seen.out.count("repairable\t"), 2) << text(seen);
    EXPECT_TRUE(seen.out.contains("hiding was interrupted")) << text(seen);
    EXPECT_TRUE(seen.out.contains("only its plain copy")) << text(seen);
    EXPECT_TRUE(seen.err.contains("2 findings, 2 open")) << text(seen);

    const ToolRun fixed = runVaultTool(v.env, {QStringLiteral("check"), QStringLiteral("--repair")}, passwordLine());
    EXPECT_EQ(fixed.status, 0) << text(fixed);
    EXPECT_EQ(runVaultTool(v.env, {QStringLiteral("check")}).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(c), QByteArray("c"));
    EXPECT_EQ(v.listed().count(QStringLiteral("\tshown\t")), 2) << v.listed().toStdString();
    EXPECT_FALSE(QFileInfo(vault::journalPath(v.env.vaultRoot())).size() > 0);

    // A line naming a folder outside the vault is refused by name and line, and the repair
    // sets the journal aside instead of acting on it.
    ASSERT_TRUE(TestEnvironment::writeFile(
        vault::journalPath(v.env.vaultRoot()),
        QStringLiteral(R"({"operation":"hide","phase":"walking","plainPath":"/nowhere","storedTop":"%1/x","workDirectory":"c.bin"})")
            .arg(v.home)
            .toUtf8()));
    const ToolRun hostile = runVaultTool(v.env, {QStringLiteral("check")});
    EXPECT_EQ(hostile.status, 1);
    EXPECT_TRUE(hostile.out.contains(".tessaro-journal, line 1\t")) << text(hostile);
    EXPECT_TRUE(hostile.err.contains("1 finding, 1 open")) << text(hostile);
    EXPECT_EQ(runVaultTool(v.env, {QStringLiteral("check"), QStringLiteral("--repair")}, passwordLine()).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(c), QByteArray("c"));
    EXPECT_EQ(runVaultTool(v.env, {QStringLiteral("check")}).status, 0);
}

}  // namespace
}  // namespace tessaro
