// Drives the real tessaro-vault binary for init and list.
#include "core/settings_keys.h"
#include "tool_vault.h"

#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

namespace tessaro {
namespace {

using testing::runVaultTool;
using testing::settingOf;
using testing::TestEnvironment;
using testing::ToolRun;

QStringList lines(const ToolRun& run) { return QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

TEST(VaultToolCatalogue, InitCreatesAVaultThatListShows) {
    TestEnvironment env(false);
    const QString wanted = env.base() + QStringLiteral("/Safe Place");
    const ToolRun init =
        runVaultTool(env, {"init", "--vault", wanted, "--hint", "the usual"}, "s3cret pass\n");
    ASSERT_EQ(init.status, 0) << text(init);
    const QString root = wanted + QStringLiteral(".flp");  // the suffix is added as the guide does
    EXPECT_TRUE(QString::fromUtf8(init.out).contains(root));
    EXPECT_EQ(text(init).find("s3cret"), std::string::npos) << "the password is never printed";
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/Notes")).isDir());
    EXPECT_EQ((QStringList{settingOf(env, keys::kRootDirKey).toString(), settingOf(env, keys::kSOUREPASSWORD).toString(),
                           settingOf(env, keys::kPASSWORDHINTCONTENT).toString(), settingOf(env, keys::FirstRun).toString(),
                           settingOf(env, keys::mainWindowSizeWidth).toString(),
                           settingOf(env, keys::mainWindowSizeHeight).toString()}),
              (QStringList{root, "s3cret pass", "the usual", "true", "800", "500"}));

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

TEST(VaultToolCatalogue, InitKeepsThePasswordAsTyped) {
    const QString kept[] = {QStringLiteral("  spaced out  "), QStringLiteral("中文密码"), QStringLiteral("🔐").repeated(1000),
                            QString(1000, QLatin1Char('k')), QStringLiteral("a, b; c=d \\ \"e\"")};
    for (const QString& password : kept) {
        TestEnvironment env(false);
        const ToolRun init = runVaultTool(env, {"init", "--vault", env.base() + "/V"}, password.toUtf8() + "\n");
        ASSERT_EQ(init.status, 0) << text(init);
        EXPECT_EQ(settingOf(env, keys::kSOUREPASSWORD).toString(), password);
    }
}

}  // namespace
}  // namespace tessaro
