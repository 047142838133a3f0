// Drives the real tessaro-vault binary for init and list, and on catalogues whose records
// cannot be trusted.
#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "crypto/item_place.h"
#include "support/qt_printing.h"
#include "tool_vault.h"
#include "vault/item_operations.h"

#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::readTree;
using testing::runVaultTool;
using testing::settingOf;
using testing::TestEnvironment;
using testing::ToolRun;
using testing::Tree;

QStringList lines(const ToolRun& run) { return QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

// The password is kept as typed: spaces at both ends, text that is not ASCII, characters the
// settings file must escape, and nearly the longest allowed, thousands of bytes long.
TEST(VaultToolCatalogue, InitCreatesAVaultThatListShows) {
    TestEnvironment env(false);
    const QString wanted = env.base() + QStringLiteral("/Safe Place");
    const QString password = QStringLiteral("  s3cret 中文 a, b; c=d \\ \"e\" ") + QStringLiteral("🔐").repeated(960) + QStringLiteral("  ");
    const ToolRun init = runVaultTool(env, {"init", "--vault", wanted, "--hint", "the usual"}, password.toUtf8() + "\n");
    ASSERT_EQ(init.status, 0) << text(init);
    const QString root = wanted + QStringLiteral(".flp");  // the suffix is added as the guide does
    EXPECT_TRUE(QString::fromUtf8(init.out).contains(root));
    EXPECT_EQ(text(init).find("s3cret"), std::string::npos) << "the password is never printed";
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/Notes")).isDir());
    EXPECT_EQ((QStringList{settingOf(env, keys::kRootDirKey).toString(), settingOf(env, keys::kSOUREPASSWORD).toString(),
                           settingOf(env, keys::kPASSWORDHINTCONTENT).toString(), settingOf(env, keys::FirstRun).toString(),
                           settingOf(env, keys::mainWindowSizeWidth).toString(),
                           settingOf(env, keys::mainWindowSizeHeight).toString()}),
              (QStringList{root, password, "the usual", "true", "800", "500"}));

    // A drive vault, found on the mounted volume without being remembered yet.
    const QString drive = env.mountVolume(QStringLiteral("Stick")) + QStringLiteral("/Box.flp");
    const QString driveList = drive + QStringLiteral("/GroupMoveUPlist.plist");
    ASSERT_TRUE(QDir().mkpath(drive + QStringLiteral("/77-1767323000/555")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARO_FIXTURES_DIR "/catalogue/python_GroupMoveUPlist.plist"), driveList));
    const QByteArray driveBefore = TestEnvironment::readFile(driveList);
    const ToolRun list = runVaultTool(env, {"list"});
    ASSERT_EQ(list.status, 0) << text(list);
    const QString stick = env.volumesRoot() + QStringLiteral("/Stick");
    for (const QString& line :
         {QStringLiteral("systemDevicName\tgroup\t1\tAll Items\t0 items"), QStringLiteral("systemDevicNoteName\tgroup\t1\tAll Notes\t0 items"),
          QStringLiteral("Stick/Box.flp\tgroup\t1\tAll Items\t3 items"),
          "Stick/Box.flp\titem\t1.0\thidden\t4096 bytes\tSki 2025.jpg\t" + stick + "/Pictures/Ski 2025.jpg",
          "Stick/Box.flp\titem\t1.1\tshown-missing\t12 bytes\tÜber uns.txt\t" + stick + "/Notizen/Über uns.txt"}) {
        EXPECT_TRUE(lines(list).contains(line)) << line.toStdString() << "\nin:\n" << text(list);
    }
    // Listing writes nothing, not even on the drive.
    EXPECT_EQ(TestEnvironment::readFile(driveList), driveBefore);
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("/Thumb")));
}

TEST(VaultToolCatalogue, ListReportsADamagedCatalogueAndLeavesIt) {
    testing::ToolVault v;
    const QString file = v.env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QByteArray damaged = "<plist version=\"1.0\"><array><dict>";
    // One field that cannot be read: every item is still listed, and the field is named.
    const QByteArray oneBadField =
        "<plist version=\"1.0\"><array><dict><key>isHeader</key><true/></dict>"
        "<dict><key>name</key><string>All Items</string><key>FileModel</key><array>"
        "<dict><key>path</key><string>/nowhere/a.txt</string><key>name</key><string>a.txt</string>"
        "<key>encryptedPath</key><string>11-22/33</string><key>fileSize</key><integer>7</integer></dict>"
        "<dict><key>path</key><string>/nowhere/b.txt</string><key>name</key><string>b.txt</string>"
        "<key>encryptedPath</key><string>11-22/44</string><key>fileSize</key><string>big</string></dict>"
        "</array></dict><dict><key>isAddItem</key><true/></dict></array></plist>";
    const struct {
        QByteArray bytes;
        QStringList listed;
        QStringList said;
    } cases[] = {
        {damaged, {"systemDevicNoteName\tgroup\t1\tAll Notes\t0 items"}, {"GroupDirlist.plist cannot be read"}},
        {oneBadField,
         {"systemDevicName\tcatalogue\t" + file + "\tdamaged\t1 groups, 2 items readable",
          "systemDevicName\titem\t1.0\tshown-missing\t7 bytes\ta.txt\t/nowhere/a.txt",
          "systemDevicName\titem\t1.1\tshown-missing\t0 bytes\tb.txt\t/nowhere/b.txt"},
         {file + " cannot be read in full: 1 groups and 2 items can be, 1 records or fields cannot:",
          "row 1 (\"All Items\"), item 1 (\"b.txt\"): \"fileSize\" could not be read (expected a whole number, "
          "found the text \"big\"); set to 0"}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(TestEnvironment::writeFile(file, c.bytes));
        const ToolRun list = runVaultTool(v.env, {"list"});
        EXPECT_EQ(list.status, 1);
        for (const QString& line : c.listed) {
            EXPECT_TRUE(lines(list).contains(line)) << line.toStdString() << "\nin:\n" << text(list);
        }
        for (const QString& said : c.said) {
            EXPECT_TRUE(QString::fromUtf8(list.err).contains(said)) << said.toStdString() << "\nin:\n" << text(list);
        }
        EXPECT_EQ(TestEnvironment::readFile(file), c.bytes);
        EXPECT_EQ(QDir(v.env.vaultRoot()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files), QStringList());
    }
}

// A disk that fills up mid-init (no file of the tool may grow beyond 100 bytes, so every
// catalogue write fails): init says so, exits 1, leaves no vault behind and "FirstRun"
// unset, so that the next attempt starts clean. The other ways init can fail are the
// library's, tested there.
TEST(VaultToolCatalogue, InitOnAFullDiskLeavesNoVaultAndFirstRunUnset) {
    TestEnvironment env(false);
    const QString vault = env.base() + QStringLiteral("/Vault");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    // Only the soft limit, which the tool inherits and this process can raise again.
    const rlimit limited{100, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limited);
    const ToolRun init = runVaultTool(env, {"init", "--vault", vault}, "pw\n");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(init.status, 1);
    EXPECT_TRUE(init.err.contains("could not be written")) << text(init);
    EXPECT_FALSE(QFileInfo::exists(vault + QStringLiteral(".flp")));
    EXPECT_FALSE(settingOf(env, keys::FirstRun).toBool());
    EXPECT_FALSE(settingOf(env, keys::kSOUREPASSWORD).isValid());
}

// A catalogue record is a claim made by a file anyone may have written. One whose paths
// would lead out of the vault is listed as damaged, every command refuses it with the
// reason, and nothing outside the vault changes. "$BASE" stands for the test's sandbox,
// beside the vault.
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

// Commands run from the sandbox, where a relative path would find the victim.
class HostileCatalogue : public ::testing::TestWithParam<Variant>, protected testing::ToolVault {
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

    QString victim() const { return env.base() + QStringLiteral("/victim"); }

    QByteArray catalogueBytes;
};

// The library's own entry points refuse before anything is done on disk, journal included,
// and leave the record as it was; the tool lists it as damaged and each command says why.
TEST_P(HostileCatalogue, IsRefusedEverywhereAndNothingOutsideTheVaultChanges) {
    const Variant& v = GetParam();
    const QString reason = QString::fromUtf8(v.reason);
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    const FileModelPtr record = catalogue.groupDirList[1]->fileModels->first();
    ASSERT_FALSE(record->damage.isEmpty());
    const ItemResult result = v.hidden ? vault::unhideRecordJournaled(record) : vault::hideRecordJournaled(record);
    EXPECT_FALSE(result.complete);
    ASSERT_EQ(result.problems.size(), 1);
    EXPECT_TRUE(result.problems.first().contains(reason)) << result.problems.first().toStdString();
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

    const ToolRun list = run({"list"}, env.base());
    EXPECT_EQ(list.status, 0) << text(list);
    EXPECT_TRUE(list.out.contains("\tdamaged\t12 bytes\t")) << text(list);
    EXPECT_TRUE(QString::fromUtf8(list.out).contains(reason)) << text(list);
    const QString one = v.hidden ? QStringLiteral("unhide") : QStringLiteral("hide");
    for (const QStringList& command : {QStringList{one, v.itemName}, QStringList{one, "--all"}}) {
        const ToolRun refused = run(command, env.base());
        EXPECT_EQ(refused.status, 1) << command.join(' ').toStdString() << "\n" << text(refused);
        EXPECT_TRUE(QString::fromUtf8(refused.err).contains(reason)) << text(refused);
        EXPECT_TRUE(refused.err.contains("its catalogue record is damaged")) << text(refused);
    }
    const ToolRun rescue = run({"recover", "--to", env.base() + "/rescue"}, env.base());
    EXPECT_TRUE(QString::fromUtf8(rescue.out).contains(reason)) << text(rescue);

    EXPECT_EQ(readTree(victim()), kVictim);
    EXPECT_TRUE(QDir(env.base() + QStringLiteral("/plain")).isEmpty());
    // The record is kept as it was read.
    EXPECT_EQ(TestEnvironment::readFile(env.vaultRoot() + QStringLiteral("/GroupDirlist.plist")).toStdString(),
              catalogueBytes.toStdString());
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
