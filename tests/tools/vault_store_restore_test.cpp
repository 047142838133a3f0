// tessaro-vault store / restore / verify, run as a user would run them.
#include "support/test_environment.h"
#include "support/vault_tool.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace tessaro {
namespace {

using testing::TestEnvironment;

using testing::passwordLine;
using testing::ToolRun;

ToolRun vault(const TestEnvironment& env, const QStringList& arguments, const QByteArray& input = {}) {
    return testing::runVaultTool(env, arguments, input);
}

TEST(VaultTool, StoreVerifyRestoreRoundTripWithoutShowingThePassword) {
    TestEnvironment env;
    const QString src = env.base() + QStringLiteral("/Letters.txt");
    TestEnvironment::writeFile(src + QStringLiteral("/one"), "first letter");
    TestEnvironment::writeFile(src + QStringLiteral("/sub/two words"), QByteArray(600000, 'w'));
    const QString dest = env.base() + QStringLiteral("/container");

    const ToolRun stored = vault(env, {QStringLiteral("store"), src, dest}, passwordLine());
    ASSERT_EQ(stored.status, 0) << stored.err.toStdString();
    const QString top = QString::fromUtf8(stored.out.trimmed());
    EXPECT_EQ(top, dest + QStringLiteral("/eLttre.sxtt"));
    EXPECT_TRUE(QFileInfo::exists(src));  // kept without --move

    const ToolRun verified = vault(env, {QStringLiteral("verify"), dest});
    EXPECT_EQ(verified.status, 0) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.isEmpty());

    const QString out = env.base() + QStringLiteral("/out");
    const ToolRun restored = vault(env, {QStringLiteral("restore"), top, out});
    ASSERT_EQ(restored.status, 0) << restored.err.toStdString();
    EXPECT_EQ(TestEnvironment::readFile(out + QStringLiteral("/sub/two words")), QByteArray(600000, 'w'));
    EXPECT_EQ(TestEnvironment::readFile(out + QStringLiteral("/one")), QByteArray("first letter"));

    for (const ToolRun& r : {stored, verified, restored}) {
        EXPECT_FALSE(r.out.contains(TestEnvironment::kPassword));
        EXPECT_FALSE(r.err.contains(TestEnvironment::kPassword));
    }
}

TEST(VaultTool, VerifyNamesEachDamagedFileWhateverItsName) {
    TestEnvironment env;
    const QString src = env.base() + QStringLiteral("/box");
    TestEnvironment::writeFile(src + QStringLiteral("/good"), "fine");
    TestEnvironment::writeFile(src + QStringLiteral("/bad"), "soon damaged");
    const QString dest = env.base() + QStringLiteral("/vault/123-456/789");
    ASSERT_EQ(vault(env, {QStringLiteral("store"), src, dest}, passwordLine()).status, 0);
    const QString bad = dest + QStringLiteral("/obx/abd");
    QByteArray bytes = TestEnvironment::readFile(bad);
    ASSERT_FALSE(bytes.isEmpty());
    bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 1);
    TestEnvironment::writeFile(bad, bytes);
    // A name like a temporary file's is checked like any other: it may be a stored file.
    const QString oddName = dest + QStringLiteral("/obx/.tessaro-partial-x-ABCDEF");
    TestEnvironment::writeFile(oddName, "half");
    // The vault's own files are not stored files and are not reported.
    const QString vaultDir = env.base() + QStringLiteral("/vault");
    TestEnvironment::writeFile(vaultDir + QStringLiteral("/GroupDirlist.plist"), "<plist/>");
    TestEnvironment::writeFile(vaultDir + QStringLiteral("/GroupNoteslist.plist.damaged-1700000000"), "x");
    TestEnvironment::writeFile(vaultDir + QStringLiteral("/Notes/1.rtfd/TXT.rtf"), "{\\rtf1}");
    TestEnvironment::writeFile(vaultDir + QStringLiteral("/Thumb/pdf.jpg"), "jpeg");
    const ToolRun r = vault(env, {QStringLiteral("verify"), env.base() + QStringLiteral("/vault")});
    EXPECT_EQ(r.status, 1);
    QList<QByteArray> lines = r.out.trimmed().split('\n');
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(lines.at(0).startsWith(oddName.toUtf8() + ":")) << r.out.toStdString();
    EXPECT_TRUE(lines.at(1).startsWith(bad.toUtf8() + ":")) << r.out.toStdString();
    // Restoring the damaged item puts nothing in place and keeps the stored copy.
    const ToolRun restored = vault(env, {QStringLiteral("restore"), dest + QStringLiteral("/obx"), env.base() + QStringLiteral("/back")});
    EXPECT_EQ(restored.status, 1);
    EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/back")));
    EXPECT_EQ(TestEnvironment::readFile(bad), bytes);
}

TEST(VaultTool, MoveRemovesSourcesOnlyAfterSuccessAndTakenPlacesAreKept) {
    TestEnvironment env;
    const QString src = env.base() + QStringLiteral("/photo.jpg");
    TestEnvironment::writeFile(src, "pixels");
    const QString dest = env.base() + QStringLiteral("/c");
    ASSERT_EQ(vault(env, {QStringLiteral("store"), QStringLiteral("--move"), src, dest}, passwordLine()).status, 0);
    EXPECT_FALSE(QFileInfo::exists(src));
    TestEnvironment::writeFile(src, "a new photo");
    const ToolRun r = vault(env, {QStringLiteral("restore"), QStringLiteral("--move"), dest + QStringLiteral("/hpto.opjg"), env.base()});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out.trimmed()), env.base() + QStringLiteral("/photo (restored).jpg"));
    EXPECT_EQ(TestEnvironment::readFile(src), QByteArray("a new photo"));
    EXPECT_EQ(TestEnvironment::readFile(env.base() + QStringLiteral("/photo (restored).jpg")), QByteArray("pixels"));
    EXPECT_FALSE(QFileInfo::exists(dest + QStringLiteral("/hpto.opjg")));
}

// Refused before anything is written: no container appears, and a wrong password is never
// echoed back.
TEST(VaultTool, RefusedInvocationsWriteNothing) {
    TestEnvironment env;
    const QString src = env.base() + QStringLiteral("/a.bin");
    TestEnvironment::writeFile(src, "x");
    const QString dest = env.base() + QStringLiteral("/c");
    const struct {
        const char* name;
        QStringList arguments;
        QByteArray input;
        int status;
    } cases[] = {
        {"wrong password", {QStringLiteral("store"), src, dest}, "wrong password\n", 1},
        {"no password", {QStringLiteral("store"), src, dest}, {}, 2},
        {"missing source", {QStringLiteral("store"), env.base() + QStringLiteral("/missing"), dest}, passwordLine(), 2},
        {"the root", {QStringLiteral("store"), QStringLiteral("/"), dest}, passwordLine(), 2},
        {"above the root", {QStringLiteral("store"), QStringLiteral("/.."), dest}, passwordLine(), 2},
        {"an empty path", {QStringLiteral("store"), QString(), dest}, passwordLine(), 2},
        {"no destination", {QStringLiteral("store"), src}, passwordLine(), 2},
        {"missing stored item", {QStringLiteral("restore"), env.base() + QStringLiteral("/none"), dest}, {}, 2},
        {"verify of nothing", {QStringLiteral("verify")}, {}, 2},
    };
    for (const auto& c : cases) {
        const ToolRun r = vault(env, c.arguments, c.input);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_FALSE(QFileInfo::exists(dest)) << c.name;
        EXPECT_FALSE(r.err.contains("wrong password")) << c.name;
    }
}

}  // namespace
}  // namespace tessaro
