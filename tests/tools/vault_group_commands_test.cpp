// tessaro-vault remove and group, run as a user would run them.
#include "core/catalogue.h"
#include "crypto/swapped_name.h"
#include "tool_vault.h"

#include <QFile>
#include <QFileInfo>

namespace tessaro {
namespace {

using testing::readTree;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::Tree;

using Vault = testing::ToolVault;

TEST(VaultGroupCommands, NewRenameAndDeleteGroupsAndNothingOnDiskChanges) {
    Vault v;
    for (const char* name : {"Taxes", "Trips", "Trips"}) {
        const ToolRun r = v.run({QStringLiteral("group"), QStringLiteral("new"), QString::fromLatin1(name)});
        ASSERT_EQ(r.status, 0) << text(r);
    }
    ASSERT_EQ(v.run({QStringLiteral("add"), v.file(QStringLiteral("loose.txt"))}).status, 0);
    ASSERT_EQ(v.run({QStringLiteral("add"), QStringLiteral("--group"), QStringLiteral("Taxes"),
                     v.file(QStringLiteral("2024.pdf")), v.file(QStringLiteral("2025.pdf"))})
                  .status,
              0);
    EXPECT_EQ(v.groups(), "All Items: loose.txt* | Taxes: 2024.pdf*, 2025.pdf* | Trips:  | Trips: ");

    const struct {
        QStringList arguments;
        int status;
        const char* says;
    } steps[] = {
        {{QStringLiteral("rename"), QStringLiteral("Trips"), QStringLiteral("x")}, 2, "2 groups are named Trips"},
        {{QStringLiteral("rename"), QStringLiteral("#4"), QStringLiteral(" Summer %1 ")}, 0, "renamed"},
        {{QStringLiteral("rename"), QStringLiteral("All Items"), QStringLiteral("x")}, 2, "vault's own group"},
        {{QStringLiteral("rename"), QStringLiteral("#0"), QStringLiteral("x")}, 2, "no group"},
        {{QStringLiteral("rename"), QStringLiteral("Taxes"), QString()}, 2, "needs a name"},
        {{QStringLiteral("delete"), QStringLiteral("Nothing")}, 2, "no group of the vault is Nothing"},
        {{QStringLiteral("delete"), QStringLiteral("#5")}, 2, "no group"},  // the add row
        {{QStringLiteral("new"), QStringLiteral("  ")}, 2, "needs a name"},
        {{QStringLiteral("frobnicate"), QStringLiteral("x")}, 2, "group needs"},
        {{QStringLiteral("delete"), QStringLiteral("Taxes")}, 0, "2 items moved to All Items"},
    };
    const Tree disk = readTree(v.env.vaultRoot());
    for (const auto& step : steps) {
        const ToolRun r = v.run(QStringList{QStringLiteral("group")} + step.arguments);
        EXPECT_EQ(r.status, step.status) << step.arguments.join(QLatin1Char(' ')).toStdString() << "\n" << text(r);
        EXPECT_NE(text(r).find(step.says), std::string::npos) << text(r);
    }
    EXPECT_EQ(v.groups(), "All Items: loose.txt*, 2024.pdf*, 2025.pdf* | Trips:  |  Summer %1 : ");
    // Only the catalogue changed; every container is where it was.
    Tree after = readTree(v.env.vaultRoot());
    Tree before = disk;
    for (Tree* t : {&before, &after}) {
        t->remove(QStringLiteral("/GroupDirlist.plist"));
        t->remove(QStringLiteral("/.tessaro-journal"));
    }
    EXPECT_EQ(after, before);
    const ToolRun shown = v.run({QStringLiteral("unhide"), QStringLiteral("2025.pdf")});
    EXPECT_EQ(shown.status, 0) << text(shown);
    EXPECT_EQ(TestEnvironment::readFile(v.home + QStringLiteral("/2025.pdf")), "2025.pdf bytes");
}

TEST(VaultRemoveCommand, ShownItemsLeaveTheListHiddenOnesAreUnhiddenFirstOrKept) {
    Vault v;
    const QString kept = v.file(QStringLiteral("kept.txt"));
    const QString hidden = v.file(QStringLiteral("hidden.md"));
    const QString stuck = v.file(QStringLiteral("stuck.txt"));
    ASSERT_EQ(v.run({QStringLiteral("add"), kept, hidden, stuck}).status, 0);
    ASSERT_EQ(v.run({QStringLiteral("unhide"), kept}).status, 0);

    ToolRun r = v.run({QStringLiteral("remove"), QStringLiteral("kept.txt")});
    ASSERT_EQ(r.status, 0) << text(r);
    EXPECT_EQ(TestEnvironment::readFile(kept), "kept.txt bytes");

    r = v.run({QStringLiteral("remove"), hidden});
    ASSERT_EQ(r.status, 0) << text(r);
    EXPECT_EQ(TestEnvironment::readFile(hidden), "hidden.md bytes");
    EXPECT_EQ(v.groups(), "All Items: stuck.txt*");

    // The unhide cannot complete (its stored file is cut short): the record stays, hidden.
    QFile cut(v.storedFile(swappedName(QStringLiteral("stuck.txt"))));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    cut.close();
    r = v.run({QStringLiteral("remove"), QStringLiteral("stuck.txt")});
    EXPECT_EQ(r.status, 1) << text(r);
    EXPECT_NE(text(r).find("stays in the list"), std::string::npos) << text(r);
    EXPECT_FALSE(QFileInfo::exists(stuck));
    EXPECT_EQ(v.groups(), "All Items: stuck.txt*");
}

}  // namespace
}  // namespace tessaro
