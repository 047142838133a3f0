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
    ToolRun addToDrive(const QStringList& paths) const {
        return run(QStringList{QStringLiteral("add"), QStringLiteral("--drive"), QStringLiteral("USB/Box.flp")} + paths);
    }
};

TEST(DriveTool, AddCreatesTheVaultThenHideUnhideAndRecoverReachItsItems) {
    DriveToolVault v;
    const QString a = v.onUsb(QStringLiteral("a.txt"), "first");
    const QString b = v.onUsb(QStringLiteral("dir/b.md"), "second");
    const ToolRun created = v.addToDrive({a});
    ASSERT_EQ(created.status, 0) << text(created);
    EXPECT_TRUE(QFileInfo::exists(v.usb + QStringLiteral("/Box.flp/GroupMoveUPlist.plist")));
    // The second add finds the vault it made, remembered in the settings.
    const ToolRun again = v.addToDrive({v.usb + QStringLiteral("/dir")});
    ASSERT_EQ(again.status, 0) << text(again);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_TRUE(v.listed().contains(a)) << v.listed().toStdString();

    const ToolRun shown = v.run({QStringLiteral("unhide"), a});
    ASSERT_EQ(shown.status, 0) << text(shown);
    EXPECT_EQ(TestEnvironment::readFile(a), QByteArray("first"));
    const ToolRun hidden = v.run({QStringLiteral("hide"), a});
    ASSERT_EQ(hidden.status, 0) << text(hidden);
    EXPECT_FALSE(QFileInfo::exists(a));
    // The drive's catalogue says so: a fresh unhide of everything brings both back.
    const QString out = v.env.base() + QStringLiteral("/out");
    const ToolRun recovered = v.run({QStringLiteral("recover"), QStringLiteral("--to"), out});
    ASSERT_EQ(recovered.status, 0) << text(recovered);
    const Tree tree = readTree(out + QStringLiteral("/USB/Box.flp"));
    EXPECT_TRUE(tree.values().contains(QByteArray("first"))) << text(recovered);
    EXPECT_TRUE(tree.values().contains(QByteArray("second"))) << text(recovered);
    const ToolRun all = v.run({QStringLiteral("unhide"), QStringLiteral("--all")});
    ASSERT_EQ(all.status, 0) << text(all);
    EXPECT_EQ(TestEnvironment::readFile(b), QByteArray("second"));
}

TEST(DriveTool, PathsOffTheDriveAreRefusedBeforeAnythingIsMade) {
    DriveToolVault v;
    const QString other = v.env.mountVolume(QStringLiteral("Other")) + QStringLiteral("/x.txt");
    TestEnvironment::writeFile(other, "x");
    const QString local = v.file(QStringLiteral("y.txt"));
    for (const QStringList& paths : {QStringList{other}, QStringList{local}, QStringList{v.onUsb(QStringLiteral("z"), "z"), local}}) {
        const ToolRun refused = v.addToDrive(paths);
        EXPECT_NE(refused.status, 0);
        EXPECT_TRUE(QString::fromUtf8(refused.err).contains(QStringLiteral("USB"))) << text(refused);
    }
    EXPECT_FALSE(QFileInfo::exists(v.usb + QStringLiteral("/Box.flp")));
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_TRUE(QFileInfo::exists(local));
    for (const QString& key : {QStringLiteral("USB/../Box.flp"), QStringLiteral("Box.flp"), QStringLiteral("USB/Box")}) {
        EXPECT_EQ(v.run({QStringLiteral("add"), QStringLiteral("--drive"), key, v.onUsb(QStringLiteral("w"), "w")}).status == 0,
                  false)
            << key.toStdString();
    }
}

}  // namespace
}  // namespace tessaro::testing
