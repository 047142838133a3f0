// Drives the real tessaro-vault binary for the catalogue subcommands.
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The shared runner, with texts; `fileSizeLimit` (bytes, 0 for none) caps every file the
// tool writes, as a full disk would.
ToolRun runTool(const TestEnvironment& env, const QStringList& arguments, const QByteArray& input = QByteArray(),
                rlim_t fileSizeLimit = 0) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    if (fileSizeLimit > 0) {
        // Only the soft limit, which the tool inherits and this process can raise again.
        const rlimit limited{fileSizeLimit, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    const testing::ToolRun run = testing::runVaultTool(env, arguments, input);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return {run.status, QString::fromUtf8(run.out), QString::fromUtf8(run.err)};
}

QVariant setting(const TestEnvironment& env, const char* key) {
    return QSettings(env.settingsFile(), QSettings::IniFormat).value(QString::fromLatin1(key));
}

TEST(VaultToolCatalogue, InitCreatesAVaultThatListShows) {
    TestEnvironment env(false);
    const QString wanted = env.base() + QStringLiteral("/Safe Place");
    const ToolRun init = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), wanted, QStringLiteral("--hint"),
                                   QStringLiteral("the usual")},
                             "s3cret pass\n");
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    const QString root = wanted + QStringLiteral(".flp");  // the suffix is added as the guide does
    EXPECT_TRUE(init.out.contains(root));
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/Notes")).isDir());
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/GroupDirlist.plist")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/GroupNoteslist.plist")));
    EXPECT_EQ(setting(env, keys::kRootDirKey).toString(), root);
    EXPECT_EQ(setting(env, keys::kSOUREPASSWORD).toString(), QStringLiteral("s3cret pass"));
    EXPECT_EQ(setting(env, keys::kPASSWORDHINTCONTENT).toString(), QStringLiteral("the usual"));
    EXPECT_TRUE(setting(env, keys::FirstRun).toBool());
    EXPECT_EQ(setting(env, keys::mainWindowSizeWidth).toInt(), 800);
    EXPECT_EQ(setting(env, keys::mainWindowSizeHeight).toInt(), 500);
    EXPECT_FALSE(setting(env, keys::remmenberBtnState).isValid());
    EXPECT_EQ(QFileInfo(env.settingsFile()).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              QFileDevice::Permissions());
    // The password never shows in what the tool prints.
    EXPECT_FALSE(init.out.contains(QStringLiteral("s3cret")));
    EXPECT_FALSE(init.err.contains(QStringLiteral("s3cret")));

    // A drive vault, found on the mounted volume without being remembered yet.
    const QString drive = env.mountVolume(QStringLiteral("Stick")) + QStringLiteral("/Box.flp");
    ASSERT_TRUE(QDir().mkpath(drive));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARO_FIXTURES_DIR "/catalogue/python_GroupMoveUPlist.plist"),
                            drive + QStringLiteral("/GroupMoveUPlist.plist")));
    ASSERT_TRUE(QDir().mkpath(drive + QStringLiteral("/77-1767323000/555")));
    const QByteArray driveBefore = TestEnvironment::readFile(drive + QStringLiteral("/GroupMoveUPlist.plist"));

    const ToolRun list = runTool(env, {QStringLiteral("list")});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const QStringList lines = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("systemDevicName\tgroup\t1\tAll Items\t0 items"))) << list.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("systemDevicNoteName\tgroup\t1\tAll Notes\t0 items")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Stick/Box.flp\tgroup\t1\tAll Items\t3 items")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Stick/Box.flp\titem\t1.0\thidden\t4096 bytes\tSki 2025.jpg\t") +
                               env.volumesRoot() + QStringLiteral("/Stick/Pictures/Ski 2025.jpg")))
        << list.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("Stick/Box.flp\titem\t1.1\tshown-missing\t12 bytes\tÜber uns.txt\t") +
                               env.volumesRoot() + QStringLiteral("/Stick/Notizen/Über uns.txt")));
    // Listing writes nothing, not even on the drive.
    EXPECT_EQ(TestEnvironment::readFile(drive + QStringLiteral("/GroupMoveUPlist.plist")), driveBefore);
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("/Thumb")));
}

TEST(VaultToolCatalogue, BadInputIsRefusedWithAReason) {
    TestEnvironment env(false);
    const QString vault = env.base() + QStringLiteral("/v.flp");
    const struct {
        QStringList arguments;
        QByteArray input;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"init"}, "pw\n", 2, "--vault"},
        {{"init", "--vault"}, "pw\n", 2, "needs a value"},
        {{"init", "--vault", vault, "extra"}, "pw\n", 2, "unexpected argument"},
        {{"init", "--vault", vault}, "", 2, "no password"},
        {{"init", "--vault", vault}, "\n", 2, "no password"},
        {{"list"}, "", 1, "names no vault"},
        {{"frobnicate"}, "", 2, "unknown command"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool(env, c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.message))) << run.err.toStdString();
    }
    // Nothing was created by the refused attempts.
    EXPECT_FALSE(QFileInfo::exists(vault));
    EXPECT_FALSE(setting(env, keys::kRootDirKey).isValid());

    const QString file = env.base() + QStringLiteral("/a-file.flp");
    ASSERT_TRUE(TestEnvironment::writeFile(file, "x"));
    EXPECT_EQ(runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), file}, "pw\n").exitCode, 1);

    ASSERT_EQ(runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), vault}, "pw\n").exitCode, 0);
    const ToolRun twice = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), vault}, "other\n");
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.err.contains(QStringLiteral("already")));
    EXPECT_EQ(setting(env, keys::kSOUREPASSWORD).toString(), QStringLiteral("pw"));

    const ToolRun help = runTool(env, {QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("init --vault")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("list")));
}

TEST(VaultToolCatalogue, ListReportsADamagedCatalogueAndLeavesIt) {
    TestEnvironment env(false);
    const QString vault = env.base() + QStringLiteral("/v.flp");
    ASSERT_EQ(runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), vault}, "pw\n").exitCode, 0);
    const QByteArray damaged = "<plist version=\"1.0\"><array><dict>";
    ASSERT_TRUE(TestEnvironment::writeFile(vault + QStringLiteral("/GroupDirlist.plist"), damaged));
    const ToolRun list = runTool(env, {QStringLiteral("list")});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_TRUE(list.err.contains(QStringLiteral("GroupDirlist.plist cannot be read"))) << list.err.toStdString();
    // The notes are still listed.
    EXPECT_TRUE(list.out.contains(QStringLiteral("systemDevicNoteName\tgroup\t1\tAll Notes\t0 items")));
    EXPECT_EQ(TestEnvironment::readFile(vault + QStringLiteral("/GroupDirlist.plist")), damaged);
    EXPECT_EQ(QDir(vault).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).size(), 0);

    // One field that cannot be read: every item is still listed, and the field is named.
    const QString file = vault + QStringLiteral("/GroupDirlist.plist");
    const QByteArray oneBadField =
        "<plist version=\"1.0\"><array><dict><key>isHeader</key><true/></dict>"
        "<dict><key>name</key><string>All Items</string><key>FileModel</key><array>"
        "<dict><key>path</key><string>/nowhere/a.txt</string><key>name</key><string>a.txt</string>"
        "<key>encryptedPath</key><string>11-22/33</string><key>fileSize</key><integer>7</integer></dict>"
        "<dict><key>path</key><string>/nowhere/b.txt</string><key>name</key><string>b.txt</string>"
        "<key>encryptedPath</key><string>11-22/44</string><key>fileSize</key><string>big</string></dict>"
        "</array></dict><dict><key>isAddItem</key><true/></dict></array></plist>";
    ASSERT_TRUE(TestEnvironment::writeFile(file, oneBadField));
    const ToolRun partly = runTool(env, {QStringLiteral("list")});
    EXPECT_EQ(partly.exitCode, 1);
    const QStringList lines = partly.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("systemDevicName\tcatalogue\t%1\tdamaged\t1 groups, 2 items readable").arg(file)))
        << partly.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("systemDevicName\titem\t1.0\tshown-missing\t7 bytes\ta.txt\t/nowhere/a.txt")));
    EXPECT_TRUE(lines.contains(QStringLiteral("systemDevicName\titem\t1.1\tshown-missing\t0 bytes\tb.txt\t/nowhere/b.txt")));
    EXPECT_TRUE(partly.err.contains(QStringLiteral("%1 cannot be read in full: 1 groups and 2 items can be, 1 records or "
                                                   "fields cannot:").arg(file)))
        << partly.err.toStdString();
    EXPECT_TRUE(partly.err.contains(QStringLiteral("row 1 (\"All Items\"), item 1 (\"b.txt\"): \"fileSize\" could not be "
                                                   "read (expected a whole number, found the text \"big\"); set to 0")))
        << partly.err.toStdString();
    EXPECT_EQ(TestEnvironment::readFile(file), oneBadField);
    EXPECT_EQ(QDir(vault).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).size(), 0);
}

// Whatever stops it (a file where a folder must go, settings that cannot be written, a disk
// that fills up), init says so, exits non-zero, leaves no vault behind and "FirstRun"
// unset, so that the next attempt starts clean.
TEST(VaultToolCatalogue, InitThatCannotFinishLeavesNoVaultAndFirstRunUnset) {
    const struct {
        const char* name;
        std::function<QString(const TestEnvironment&)> prepare;  // the --vault argument
        rlim_t fileSizeLimit;
        const char* message;
    } cases[] = {
        {"file in place of a parent",
         [](const TestEnvironment& env) {
             TestEnvironment::writeFile(env.base() + QStringLiteral("/Videos"), "a file");
             return env.base() + QStringLiteral("/Videos/Vault");
         },
         0, "could not be created"},
        {"settings cannot be written",
         [](const TestEnvironment& env) {
             QFile::remove(env.settingsFile());
             QDir().mkpath(env.settingsFile());
             return env.base() + QStringLiteral("/Vault");
         },
         0, "could not be written"},
        {"disk full",
         [](const TestEnvironment& env) { return env.base() + QStringLiteral("/Vault"); },
         // No file of the tool may grow beyond 100 bytes: every catalogue write fails.
         100, "could not be written"},
    };
    for (const auto& c : cases) {
        TestEnvironment env(false);
        const QString vault = c.prepare(env);
        const ToolRun init = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), vault}, "pw\n", c.fileSizeLimit);
        EXPECT_EQ(init.exitCode, 1) << c.name;
        EXPECT_TRUE(init.err.contains(QString::fromLatin1(c.message))) << c.name << ": " << init.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(vault + QStringLiteral(".flp"))) << c.name;
        EXPECT_FALSE(setting(env, keys::FirstRun).toBool()) << c.name;
        EXPECT_FALSE(setting(env, keys::kSOUREPASSWORD).isValid()) << c.name;
    }
}

TEST(VaultToolCatalogue, InitKeepsThePasswordAsTypedOrRefusesIt) {
    QString emoji;
    for (int i = 0; i < 1000; ++i) {
        emoji += QStringLiteral("🔐");
    }
    const QString kept[] = {QStringLiteral("  spaced out  "), QStringLiteral("中文密码"), emoji,
                            QString(1000, QLatin1Char('k')), QStringLiteral("a, b; c=d \\ \"e\"")};
    for (const QString& password : kept) {
        TestEnvironment env(false);
        const ToolRun init = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), env.base() + QStringLiteral("/V")},
                                     password.toUtf8() + "\n");
        ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
        // Read back as the window will read it, by a process that did not write it.
        EXPECT_EQ(setting(env, keys::kSOUREPASSWORD).toString(), password);
    }
    const QByteArray refused[] = {QByteArray("tab\there\n"), QByteArray(1001, 'x') + "\n", QByteArray("bad \xff\xfe utf8\n")};
    for (const QByteArray& input : refused) {
        TestEnvironment env(false);
        const ToolRun init = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), env.base() + QStringLiteral("/V")}, input);
        EXPECT_EQ(init.exitCode, 2) << input.left(20).toStdString();
        EXPECT_FALSE(init.err.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/V.flp")));
        EXPECT_FALSE(setting(env, keys::FirstRun).isValid());
    }
}

// init on a folder that already exists and is open to all, under any umask: the catalogue
// files, which name every hidden item, are the owner's alone.
TEST(VaultToolCatalogue, InitOnAnOpenFolderWritesOwnerOnlyCatalogues) {
    for (const mode_t mask : {mode_t{000}, mode_t{022}}) {
        SCOPED_TRACE(mask);
        TestEnvironment env(false);
        const QString vault = env.base() + QStringLiteral("/Open.flp");
        ASSERT_TRUE(QDir().mkpath(vault));
        ::chmod(QFile::encodeName(vault).constData(), 0755);
        const mode_t previous = ::umask(mask);
        const ToolRun init = runTool(env, {QStringLiteral("init"), QStringLiteral("--vault"), vault}, "pw\n");
        ::umask(previous);
        ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
        for (const char* file : {"/GroupDirlist.plist", "/GroupNoteslist.plist"}) {
            EXPECT_EQ(TestEnvironment::modeOf(vault + QLatin1String(file)), 0600) << file;
        }
        EXPECT_EQ(TestEnvironment::modeOf(QFileInfo(env.settingsFile()).path()), 0700);
        EXPECT_EQ(TestEnvironment::modeOf(env.settingsFile()), 0600);
    }
}

}  // namespace
}  // namespace tessaro
