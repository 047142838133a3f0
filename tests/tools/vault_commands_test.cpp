// tessaro-vault add, hide, unhide, recover, check, remove and group run as a user would run
// them, on the local vault and on vaults of removable drives (a folder of the test's volumes
// root is the drive), and every command's refusals.
#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/swapped_name.h"
#include "support/library_vault.h"
#include "tool_vault.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::readTree;
using testing::runVaultTool;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::Tree;
using Vault = testing::ToolVault;

bool journalEmpty(const Vault& v) { return QFileInfo(vault::journalPath(v.env.vaultRoot())).size() == 0; }

// Items of the computer and of a drive's vault (found again through the settings by the
// second add) are hidden by add, unhidden by name, path or --all, hidden again, and recovered
// with or without the local catalogue, the vaults left as they were.
TEST(VaultCommands, AddUnhideHideAndRecoverReachEveryItemHereAndOnADrive) {
    Vault v;
    const QString usb = v.env.mountVolume(QStringLiteral("USB"));
    const Tree local{{"/letter.txt", testing::patternBytes(30000, 1)},
                     {"/Folder.md/inside.txt", "inside"},
                     {"/Folder.md/deeper/more", testing::patternBytes(700000, 7)},
                     {"/Plain folder/x", "x"}};
    testing::writeTree(v.home, local);
    testing::writeTree(usb, {{"/a.txt", "first"}, {"/dir/b.md", "second"}});
    ASSERT_EQ(v.run({"add", v.home + "/letter.txt", v.home + "/Folder.md/", v.home + "/Plain folder"}).status, 0);
    for (const QString& onUsb : {usb + "/a.txt", usb + "/dir"}) {
        const ToolRun added = v.run({"add", "--drive", "USB/Box.flp", onUsb});
        ASSERT_EQ(added.status, 0) << text(added);
    }
    EXPECT_EQ(readTree(v.home), Tree());
    EXPECT_EQ(v.listed().count(QStringLiteral("\thidden\t")), 5) << v.listed().toStdString();
    EXPECT_TRUE(journalEmpty(v));

    ASSERT_EQ(v.run({"unhide", "Folder.md"}).status, 0);
    ASSERT_EQ(v.run({"unhide", usb + "/a.txt"}).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(usb + "/a.txt"), QByteArray("first"));
    ASSERT_EQ(v.run({"unhide", "--all"}).status, 0);
    EXPECT_EQ(readTree(v.home), local);
    EXPECT_EQ(TestEnvironment::readFile(usb + "/dir/b.md"), QByteArray("second"));
    const ToolRun all = v.run({"hide", "--all"});
    ASSERT_EQ(all.status, 0) << text(all);
    EXPECT_EQ(v.listed().count(QStringLiteral("\thidden\t")), 5);

    // A remembered key that climbs off its volume, to a copy of the drive vault without its
    // catalogue, is not followed: recover would write below DIR by the key.
    const QString beside = QFileInfo(usb + QStringLiteral("/../../beside")).absoluteFilePath();
    testing::writeTree(beside, readTree(usb + QStringLiteral("/Box.flp")));
    QFile::remove(beside + QStringLiteral("/GroupMoveUPlist.plist"));
    const QString remembered = QString::fromLatin1(keys::KUPNAMES);
    ASSERT_TRUE(SettingsStore::setValue(
        remembered, SettingsStore::stringList(remembered) << QStringLiteral("USB/../../beside")));
    // Each round loses one more catalogue: the local one, then the drive's (damaged).
    for (const int lost : {0, 1, 2}) {
        SCOPED_TRACE(lost);
        if (lost == 1) {
            QFile::remove(v.env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"));
        }
        if (lost == 2) {
            ASSERT_TRUE(TestEnvironment::writeFile(usb + QStringLiteral("/Box.flp/GroupMoveUPlist.plist"), "<plist"));
        }
        const Tree vaultsBefore = readTree(v.env.base());
        const QString out = v.at(QStringLiteral("out-%1").arg(lost));
        const ToolRun r = v.run({"recover", "--to", out});
        ASSERT_EQ(r.status, 0) << text(r);
        QStringList groups = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        // The drive vaults are remembered in the settings, not in the local catalogue.
        EXPECT_TRUE(groups.removeOne(QStringLiteral("USB"))) << text(r);
        ASSERT_EQ(groups.size(), 1) << text(r);
        EXPECT_TRUE(lost > 0 || groups.first() == QStringLiteral("All Items"));
        EXPECT_EQ(readTree(out + QLatin1Char('/') + groups.first()), local);
        QList<QByteArray> fromDrive = readTree(out + QStringLiteral("/USB/Box.flp")).values();
        std::sort(fromDrive.begin(), fromDrive.end());
        EXPECT_EQ(fromDrive, QList<QByteArray>({"first", "second"})) << text(r);
        EXPECT_EQ(r.out.contains("USB/Box.flp: the catalogue cannot be read"), lost == 2) << text(r);
        QDir(out).removeRecursively();
        EXPECT_EQ(readTree(v.env.base()), vaultsBefore);
    }
}

// A path that begins with "--" after "--", and names with line breaks and tabs in list's
// tab-separated lines.
TEST(VaultCommands, OddNamesPassThroughAddAndList) {
    Vault v;
    const QString dashed = v.file(QStringLiteral("--x"));
    TestEnvironment::writeFile(v.home + QStringLiteral("/two\nlines\tand\\slash/inner"), "o");
    const ToolRun added = runVaultTool(v.env, {"add", "--", "--x", "two\nlines\tand\\slash"}, passwordLine(), v.home);
    ASSERT_EQ(added.status, 0) << text(added);
    EXPECT_FALSE(QFileInfo::exists(dashed));
    const QStringList items = v.listed().split(QLatin1Char('\n')).filter(QStringLiteral("\titem\t"));
    ASSERT_EQ(items.size(), 2) << v.listed().toStdString();
    for (const QString& line : items) {
        EXPECT_EQ(line.count(QLatin1Char('\t')), 6) << line.toStdString();
    }
    EXPECT_TRUE(items.join(QLatin1Char(' ')).contains(QStringLiteral("two\\nlines\\tand\\\\slash")));
}

// A hide that cannot take the plain files away (a folder the user cannot change) is no
// success: it names what stayed and ends with 1. check names it and a journal line of a
// folder outside the vault, and --repair settles what is safe.
TEST(VaultCommands, CheckNamesWhatIsWrongAndRepairsOnlyWhatIsSafe) {
    Vault v;
    const QString folder = v.home + QStringLiteral("/Locked");
    TestEnvironment::writeFile(folder + QStringLiteral("/kept"), "k");
    ToolRun added;
    {
        const testing::UnremovableEntries locked(folder);
        ASSERT_TRUE(locked.ok());
        added = v.run({"add", folder});
    }
    EXPECT_EQ(added.status, 1) << text(added);
    EXPECT_TRUE(added.out.contains("hidden, but plain files are still there\t" + folder.toUtf8())) << text(added);
    EXPECT_TRUE(added.err.contains(folder.toUtf8() + "/kept")) << text(added);
    EXPECT_EQ(TestEnvironment::readFile(folder + QStringLiteral("/kept")), QByteArray("k"));
    ASSERT_TRUE(TestEnvironment::writeFile(
        vault::journalPath(v.env.vaultRoot()),
        QStringLiteral(R"({"operation":"hide","phase":"walking","plainPath":"/nowhere","storedTop":"%1/x","workDirectory":"Locked"})")
            .arg(v.home)
            .toUtf8()));

    const ToolRun seen = runVaultTool(v.env, {"check"});
    EXPECT_EQ(seen.status, 1);
    EXPECT_TRUE(seen.out.contains("repairable\t" + v.env.vaultRoot().toUtf8() + "/.tessaro-journal, line 1\t")) << text(seen);
    EXPECT_TRUE(seen.out.contains("left alone\tLocked\thidden, but plain files are still there")) << text(seen);
    EXPECT_TRUE(seen.err.contains("2 findings, 2 open")) << text(seen);
    // What only the user can settle stays open, and so the status stays 1.
    const ToolRun fixed = runVaultTool(v.env, {"check", "--repair"}, passwordLine());
    EXPECT_EQ(fixed.status, 1) << text(fixed);
    EXPECT_TRUE(fixed.err.contains("2 findings, 1 open")) << text(fixed);
    EXPECT_EQ(TestEnvironment::readFile(folder + QStringLiteral("/kept")), QByteArray("k"));
    EXPECT_EQ(v.groups(), "All Items: Locked*");
    EXPECT_TRUE(journalEmpty(v));
}

// Each command refuses what it cannot do before anything is written, says why on its error
// output, and never echoes what came on standard input. "$V" is a new vault's place, "$ROOT"
// the existing vault's, "$SRC" a file of the user's, "$DEST" a container that must not
// appear, "$BASE" the sandbox.
struct Refusal {
    const char* name;
    bool withVault;
    QStringList arguments;
    QByteArray input;
    int status;
    const char* says;  // nullptr: any reason
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

const QByteArray kRight = QByteArray(TestEnvironment::kPassword) + "\n";

const Refusal kRefusals[] = {
    {"init without a vault", false, {"init"}, "pw\n", 2, "--vault"},
    {"init without its value", false, {"init", "--vault"}, "pw\n", 2, "needs a value"},
    {"init with an extra argument", false, {"init", "--vault", "$V", "extra"}, "pw\n", 2, "unexpected argument"},
    {"init without a password", false, {"init", "--vault", "$V"}, "", 2, "no password"},
    {"init with an empty password", false, {"init", "--vault", "$V"}, "\n", 2, "no password"},
    {"init with a password not UTF-8", false, {"init", "--vault", "$V"}, "bad \xff\xfe utf8\n", 2, nullptr},
    {"init on a file", false, {"init", "--vault", "$BASE/a-file.flp"}, "pw\n", 1, nullptr},
    {"init of a vault that exists", true, {"init", "--vault", "$ROOT"}, "other\n", 1, "already"},
    {"list without a vault", false, {"list"}, "", 1, "names no vault"},
    {"an unknown command", false, {"frobnicate"}, "", 2, "unknown command"},
    {"store with a wrong password", true, {"store", "$SRC", "$DEST"}, "wrong password\n", 1, nullptr},
    {"store without a password", true, {"store", "$SRC", "$DEST"}, "", 2, nullptr},
    {"store of a missing source", true, {"store", "$BASE/missing", "$DEST"}, kRight, 2, nullptr},
    {"store of the root", true, {"store", "/", "$DEST"}, kRight, 2, nullptr},
    {"store of above the root", true, {"store", "/..", "$DEST"}, kRight, 2, nullptr},
    {"store of an empty path", true, {"store", "", "$DEST"}, kRight, 2, nullptr},
    {"store without a destination", true, {"store", "$SRC"}, kRight, 2, nullptr},
    {"restore of a missing stored item", true, {"restore", "$BASE/none", "$DEST"}, "", 2, nullptr},
    {"verify of nothing", true, {"verify"}, "", 2, nullptr},
    {"hide of an unknown item", true, {"hide", "nothing-like-it"}, kRight, 2, nullptr},
    {"hide with a wrong password", true, {"hide", "--all"}, "wrong password\n", 1, nullptr},
    {"remove of nothing", true, {"remove"}, kRight, 2, nullptr},
    {"remove of an unknown item", true, {"remove", "nothing"}, kRight, 2, nullptr},
    {"remove of all", true, {"remove", "--all"}, kRight, 2, nullptr},
    {"remove with a wrong password", true, {"remove", "a.bin"}, "wrong password\n", 1, nullptr},
    {"group with a wrong password", true, {"group", "new", "x"}, "wrong password\n", 1, nullptr},
    {"notes add with a wrong password", true, {"notes", "add", "T"}, "wrong password\nsecret text", 1, nullptr},
    {"notes show with a wrong password", true, {"notes", "show", "T"}, "wrong password\n", 1, nullptr},
};

class RefusedInvocation : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedInvocation, ChangesNothingAndSaysWhy) {
    const Refusal& r = GetParam();
    std::optional<Vault> vault;
    std::optional<TestEnvironment> bare;
    const TestEnvironment& env = r.withVault ? vault.emplace().env : bare.emplace(false);
    const QString src = env.base() + QStringLiteral("/home/a.bin");
    TestEnvironment::writeFile(src, "a");
    TestEnvironment::writeFile(env.base() + QStringLiteral("/a-file.flp"), "x");
    if (vault) {
        ASSERT_EQ(vault->run({"add", src}).status, 0);
        TestEnvironment::writeFile(src, "a");
    }
    const Tree before = readTree(env.base());
    QStringList arguments;
    for (QString a : r.arguments) {
        arguments.append(a.replace(QStringLiteral("$ROOT"), env.vaultRoot())
                             .replace(QStringLiteral("$V"), env.base() + QStringLiteral("/v.flp"))
                             .replace(QStringLiteral("$SRC"), src)
                             .replace(QStringLiteral("$DEST"), env.base() + QStringLiteral("/dest"))
                             .replace(QStringLiteral("$BASE"), env.base()));
    }
    const ToolRun run = runVaultTool(env, arguments, r.input);
    EXPECT_EQ(run.status, r.status) << text(run);
    EXPECT_TRUE(r.says ? run.err.contains(r.says) : !run.err.isEmpty()) << text(run);
    EXPECT_FALSE(run.err.contains("wrong password") || run.out.contains("secret text")) << text(run);
    EXPECT_EQ(readTree(env.base()), before);
}

INSTANTIATE_TEST_SUITE_P(Commands, RefusedInvocation, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

// What each refusal leaves alone, and that nothing on disk moves, is the library's to show;
// here the tool finds groups by name or "#row" and says what it did.
TEST(VaultListCommands, GroupsAreFoundByNameOrRowAndItemsRemovedOnlyOnceShown) {
    Vault v;
    for (const char* name : {"Taxes", "Trips", "Trips"}) {
        const ToolRun r = v.run({"group", "new", name});
        ASSERT_EQ(r.status, 0) << text(r);
    }
    ASSERT_EQ(v.run({"add", v.file(QStringLiteral("loose.txt"))}).status, 0);
    ASSERT_EQ(v.run({"add", "--group", "Taxes", v.file(QStringLiteral("2024.pdf")), v.file(QStringLiteral("2025.pdf"))}).status, 0);
    EXPECT_EQ(v.groups(), "All Items: loose.txt* | Taxes: 2024.pdf*, 2025.pdf* | Trips:  | Trips: ");
    const struct {
        QStringList arguments;
        int status;
        const char* says;
    } steps[] = {
        {{"rename", "Trips", "x"}, 2, "2 groups are named Trips"},
        {{"rename", "#4", " Summer %1 "}, 0, "renamed"},
        {{"rename", "All Items", "x"}, 2, "vault's own group"},
        {{"delete", "Nothing"}, 2, "no group of the vault is Nothing"},
        {{"frobnicate", "x"}, 2, "group needs"},
        {{"delete", "Taxes"}, 0, "2 items moved to All Items"},
    };
    for (const auto& step : steps) {
        const ToolRun r = v.run(QStringList{"group"} + step.arguments);
        EXPECT_EQ(r.status, step.status) << step.arguments.join(QLatin1Char(' ')).toStdString() << "\n" << text(r);
        EXPECT_NE(text(r).find(step.says), std::string::npos) << text(r);
    }
    EXPECT_EQ(v.groups(), "All Items: loose.txt*, 2024.pdf*, 2025.pdf* | Trips:  |  Summer %1 : ");

    // remove unhides a hidden item before it leaves the list; one whose unhide cannot complete
    // stays, and the tool says so with a failing status.
    ToolRun r = v.run({"remove", v.home + "/2024.pdf"});
    ASSERT_EQ(r.status, 0) << text(r);
    EXPECT_EQ(TestEnvironment::readFile(v.home + "/2024.pdf"), "2024.pdf bytes");
    QFile cut(v.storedFile(swappedName(QStringLiteral("2025.pdf"))));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite) && cut.resize(cut.size() / 2));
    cut.close();
    r = v.run({"remove", "2025.pdf"});
    EXPECT_EQ(r.status, 1) << text(r);
    EXPECT_NE(text(r).find("stays in the list"), std::string::npos) << text(r);
    EXPECT_FALSE(QFileInfo::exists(v.home + "/2025.pdf"));
    EXPECT_EQ(v.groups(), "All Items: loose.txt*, 2025.pdf* | Trips:  |  Summer %1 : ");
}

// Which paths a drive vault may take is the library's to decide; the tool says no before
// making the vault, naming the drive, and refuses a key that names no drive vault.
TEST(DriveTool, PathsOffTheDriveAndKeysOfNoDriveVaultAreRefused) {
    Vault v;
    const QString usb = v.env.mountVolume(QStringLiteral("USB"));
    const QString onUsb = usb + QStringLiteral("/z");
    TestEnvironment::writeFile(onUsb, "z");
    const QString local = v.file(QStringLiteral("y.txt"));
    const ToolRun refused = v.run({"add", "--drive", "USB/Box.flp", onUsb, local});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.err.contains("USB")) << text(refused);
    EXPECT_EQ(testing::entriesOf(usb), QStringList{"z"});
    EXPECT_TRUE(QFileInfo::exists(local));
    for (const char* key : {"USB/../Box.flp", "Box.flp", "USB/Box"}) {
        EXPECT_NE(v.run({"add", "--drive", key, onUsb}).status, 0) << key;
        EXPECT_EQ(testing::entriesOf(usb), QStringList{"z"});
    }
}

}  // namespace
}  // namespace tessaro
