// tessaro-vault remove and group, run as a user would run them.
#include "core/catalogue.h"
#include "crypto/swapped_name.h"
#include "tool_vault.h"

#include <QFile>
#include <QFileInfo>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::ToolRun;

using Vault = testing::ToolVault;

// What each refusal leaves alone, and that nothing on disk moves, is the library's to show;
// here the tool finds groups by name or "#row" and says what it did.
TEST(VaultGroupCommands, GroupsAreFoundByNameOrRowAndAmbiguousNamesRefused) {
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
}

// A hidden item is unhidden and leaves the list; one whose unhide cannot complete stays, and
// the tool says so with a failing status.
TEST(VaultRemoveCommand, HiddenItemsAreUnhiddenFirstOrKept) {
    Vault v;
    const QString hidden = v.file(QStringLiteral("hidden.md"));
    const QString stuck = v.file(QStringLiteral("stuck.txt"));
    ASSERT_EQ(v.run({"add", hidden, stuck}).status, 0);
    ToolRun r = v.run({"remove", hidden});
    ASSERT_EQ(r.status, 0) << text(r);
    EXPECT_EQ(TestEnvironment::readFile(hidden), "hidden.md bytes");
    QFile cut(v.storedFile(swappedName(QStringLiteral("stuck.txt"))));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite) && cut.resize(cut.size() / 2));
    cut.close();
    r = v.run({"remove", "stuck.txt"});
    EXPECT_EQ(r.status, 1) << text(r);
    EXPECT_NE(text(r).find("stays in the list"), std::string::npos) << text(r);
    EXPECT_FALSE(QFileInfo::exists(stuck));
    EXPECT_EQ(v.groups(), "All Items: stuck.txt*");
}

}  // namespace
}  // namespace tessaro
