// tessaro-vault on vaults of removable drives: a folder of the test's volumes root is the drive.
#include "tools/tool_vault.h"

#include <QDir>
#include <QFileInfo>

namespace tessaro::testing {
namespace {

struct DriveToolVault : ToolVault {
    QString usb = env.mountVolume(QStringLiteral("USB"));
    QString onUsb(const QString& relative, const QByteArray& bytes) const {
        const QString path = usb + QLatin1Char('/') + relative;
        TestEnvironment::writeFile(path, bytes);
        return path;
    }
    ToolRun addToDrive(const QStringList& paths, const QString& key = QStringLiteral("USB/Box.flp")) const {
        return run(QStringList{"add", "--drive", key} + paths);
    }
};

TEST(DriveTool, AddCreatesTheVaultThenHideUnhideAndRecoverReachItsItems) {
    DriveToolVault v;
    const QString a = v.onUsb(QStringLiteral("a.txt"), "first");
    const QString b = v.onUsb(QStringLiteral("dir/b.md"), "second");
    const ToolRun created = v.addToDrive({a});
    ASSERT_EQ(created.status, 0) << text(created);
    // The second add finds the vault it made, remembered in the settings.
    const ToolRun again = v.addToDrive({v.usb + QStringLiteral("/dir")});
    ASSERT_EQ(again.status, 0) << text(again);
    EXPECT_FALSE(QFileInfo::exists(a) || QFileInfo::exists(b));

    const ToolRun shown = v.run({"unhide", a});
    ASSERT_EQ(shown.status, 0) << text(shown);
    EXPECT_EQ(TestEnvironment::readFile(a), QByteArray("first"));
    const ToolRun hidden = v.run({"hide", a});
    ASSERT_EQ(hidden.status, 0) << text(hidden);
    EXPECT_FALSE(QFileInfo::exists(a));
    // The drive's catalogue says so: recovering everything brings both back.
    const ToolRun recovered = v.run({"recover", "--to", v.env.base() + "/out"});
    ASSERT_EQ(recovered.status, 0) << text(recovered);
    const QList<QByteArray> bytes = readTree(v.env.base() + QStringLiteral("/out/USB/Box.flp")).values();
    EXPECT_TRUE(bytes.contains("first") && bytes.contains("second")) << text(recovered);
    ASSERT_EQ(v.run({"unhide", "--all"}).status, 0);
    EXPECT_EQ(TestEnvironment::readFile(b), QByteArray("second"));
}

// Which paths a drive vault may take is the library's to decide; the tool says no before
// making the vault, naming the drive, and refuses a key that names no drive vault.
TEST(DriveTool, PathsOffTheDriveAndKeysOfNoDriveVaultAreRefused) {
    DriveToolVault v;
    const QString local = v.file(QStringLiteral("y.txt"));
    const ToolRun refused = v.addToDrive({v.onUsb(QStringLiteral("z"), "z"), local});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.err.contains("USB")) << text(refused);
    EXPECT_FALSE(QFileInfo::exists(v.usb + QStringLiteral("/Box.flp")));
    EXPECT_TRUE(QFileInfo::exists(local));
    for (const QString& key : {QStringLiteral("USB/../Box.flp"), QStringLiteral("Box.flp"), QStringLiteral("USB/Box")}) {
        EXPECT_NE(v.addToDrive({v.onUsb(QStringLiteral("w"), "w")}, key).status, 0) << key.toStdString();
    }
}

}  // namespace
}  // namespace tessaro::testing
