// A catalogue record is a claim made by a file anyone may have written. One whose paths
// would lead out of the vault is listed as damaged, every command refuses it with the
// reason, and nothing outside the vault changes.
#include "core/catalogue.h"
#include "crypto/item_place.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"
#include "vault/item_operations.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::readTree;
using testing::runVaultTool;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::Tree;

// "$BASE" stands for the test's sandbox, beside the vault.
struct Variant {
    const char* name;
    bool hidden;
    QString path, itemName, encryptedPath;
    const char* reason;
    bool claimsAStoredPlace;  // the stored copy's container or name, not the plain path
};

std::ostream& operator<<(std::ostream& out, const Variant& v) { return out << v.name; }

// The victim tree beside the vault; "bus" is what a hidden item named "ubs" is stored as.
const Tree kVictim{{QStringLiteral("/a.txt"), "the user's a"}, {QStringLiteral("/bus/b.txt"), "the user's b"}};

const Variant kVariants[] = {
    {"StoredPlaceClimbsOut", true, "$BASE/plain/ubs", "ubs", "11-22/../../victim", "has a \"..\" component", true},
    {"StoredPlaceIsAbsolute", true, "$BASE/plain/ubs", "ubs", "$BASE/victim", "is not inside the vault", true},
    {"NameIsParent", false, "$BASE/victim/bus", "..", "11-22/33", "the name \"..\" is not a single file name", true},
    {"NameHoldsASlash", false, "$BASE/victim/a.txt", "a/b", "11-22/33", "the name \"a/b\" is not a single file name", true},
    {"PathIsRelative", false, "victim/a.txt", "a.txt", "11-22/33", "the path \"victim/a.txt\" is not absolute", false},
    {"PathClimbs", false, "$BASE/plain/../victim/a.txt", "a.txt", "11-22/33", "has a \"..\" component", false},
};

class HostileCatalogue : public ::testing::TestWithParam<Variant> {
protected:
    QString filled(QString text) const { return text.replace(QStringLiteral("$BASE"), env.base()); }

    // A vault whose catalogue holds the variant's record, the victim tree beside it.
    void SetUp() override {
        const Variant& v = GetParam();
        testing::writeTree(victim(), kVictim);
        QDir().mkpath(env.vaultRoot() + QStringLiteral("/11-22/33"));
        QDir().mkpath(env.base() + QStringLiteral("/plain"));
        Catalogue catalogue;
        ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
        auto record = std::make_shared<FileModel>();
        record->path = filled(v.path);
        record->name = v.itemName;
        record->encryptedPath = filled(v.encryptedPath);
        record->isEncrtypt = v.hidden;
        record->fileSize = 12;
        record->groupIndex = 1;
        record->macAddress = QString::fromLatin1(TestEnvironment::kMacAddress);
        catalogue.groupDirList[1]->fileModels->append(record);
        ASSERT_TRUE(catalogue.SaveGroupList(0));
        catalogueBytes = TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"));
    }

    ToolRun run(const QStringList& arguments) const {
        // From the sandbox, where a relative path would find the victim.
        return runVaultTool(env, arguments, passwordLine(), env.base());
    }
    QString victim() const { return env.base() + QStringLiteral("/victim"); }

    TestEnvironment env;
    QByteArray catalogueBytes;
};

TEST_P(HostileCatalogue, IsListedDamagedRefusedByEveryCommandAndTouchesNothingOutside) {
    const Variant& v = GetParam();
    const QString reason = QString::fromUtf8(v.reason);

    const ToolRun list = run({"list"});
    EXPECT_EQ(list.status, 0) << text(list);
    EXPECT_TRUE(list.out.contains("\tdamaged\t12 bytes\t")) << text(list);
    EXPECT_TRUE(QString::fromUtf8(list.out).contains(reason)) << text(list);

    const QString one = v.hidden ? QStringLiteral("unhide") : QStringLiteral("hide");
    for (const QStringList& command : {QStringList{one, v.itemName}, QStringList{one, "--all"}}) {
        const ToolRun refused = run(command);
        EXPECT_EQ(refused.status, 1) << command.join(' ').toStdString() << "\n" << text(refused);
        EXPECT_TRUE(QString::fromUtf8(refused.err).contains(reason)) << text(refused);
        EXPECT_TRUE(refused.err.contains("its catalogue record is damaged")) << text(refused);
    }
    const ToolRun rescue = run({"recover", "--to", env.base() + "/rescue"});
    EXPECT_TRUE(QString::fromUtf8(rescue.out).contains(reason)) << text(rescue);

    EXPECT_EQ(readTree(victim()), kVictim);
    EXPECT_TRUE(QDir(env.base() + QStringLiteral("/plain")).isEmpty());
    // The record is kept as it was read.
    EXPECT_EQ(TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist")).toStdString(),
              catalogueBytes.toStdString());
}

// The library's own entry points refuse before anything is done on disk, journal included,
// and leave the record as it was.
TEST_P(HostileCatalogue, TheVaultLibraryRefusesBeforeTouchingTheDisk) {
    const Variant& v = GetParam();
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    const FileModelPtr record = catalogue.groupDirList[1]->fileModels->first();
    ASSERT_FALSE(record->damage.isEmpty());
    const ItemResult result = v.hidden ? vault::unhideRecordJournaled(record) : vault::hideRecordJournaled(record);
    EXPECT_FALSE(result.complete);
    ASSERT_EQ(result.problems.size(), 1);
    EXPECT_TRUE(result.problems.first().contains(QString::fromUtf8(v.reason))) << result.problems.first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(env.vaultRoot() + QStringLiteral("/.tessaro-journal")));
    const vault::DiskState after = vault::diskStateOf(*record);
    EXPECT_FALSE(v.hidden ? vault::applyUnhideOutcome(*record, result, after)
                          : vault::applyHideOutcome(*record, result, after));
    EXPECT_EQ(record->isEncrtypt, v.hidden);
    // A record whose damage was never noted still has no place outside the vault, and a
    // walk of it says which item it refused.
    if (v.claimsAStoredPlace) {
        record->damage.clear();
        EXPECT_FALSE(walk::placeOf(*record).place);
        const ItemResult walked = v.hidden ? vault::unhideRecordJournaled(record) : vault::hideRecordJournaled(record);
        EXPECT_FALSE(walked.complete);
        EXPECT_TRUE(walked.problems.value(0).contains(record->path)) << walked.problems.join(' ').toStdString();
    }
    EXPECT_EQ(readTree(victim()), kVictim);
}

INSTANTIATE_TEST_SUITE_P(Record, HostileCatalogue, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// A group whose folder, as the catalogue gives it, lies outside the vault takes no item in:
// nothing is made for it anywhere, and the file to add stays where it is.
TEST(HostileGroup, AGroupFolderOutsideTheVaultTakesNothingIn) {
    TestEnvironment env;
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    GroupModelPtr evil = makeGroupRow(QStringLiteral("Evil"), QString::fromLatin1(kLocalListKey), false, 1700000000);
    evil->path = QStringLiteral("../outside");
    catalogue.groupDirList.insert(2, evil);
    renumberRowList(catalogue.groupDirList);
    ASSERT_TRUE(catalogue.SaveGroupList(0));
    const QByteArray before = TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"));
    const QString file = env.base() + QStringLiteral("/letter.txt");
    ASSERT_TRUE(TestEnvironment::writeFile(file, "dear"));

    const ToolRun add = runVaultTool(env, {"add", "--group", "Evil", file}, passwordLine());
    EXPECT_EQ(add.status, 1) << text(add);
    EXPECT_TRUE(add.err.contains("cannot be added: its catalogue record is damaged")) << text(add);
    EXPECT_TRUE(add.err.contains("has a \"..\" component")) << text(add);
    EXPECT_EQ(TestEnvironment::readFile(file), QByteArray("dear"));
    EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/outside")));
    EXPECT_EQ(TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist")), before);
}

}  // namespace
}  // namespace tessaro
