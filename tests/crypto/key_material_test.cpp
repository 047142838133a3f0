#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/hardware_address.h"
#include "crypto/help_class.h"
#include "crypto/owner_stamp.h"
#include "crypto/thumbnail_path.h"
#include "support/test_environment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

void setPassword(const QString& password) {
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), password);
}

// "1.0.0_<address>_tsro_<password padded with '0' to 30>", lengths in UTF-16 units; the
// stamp follows the password in force.
TEST(OwnerStamp, LayoutAndLengths) {
    TestEnvironment env;
    setPassword(QStringLiteral("abc"));
    EXPECT_EQ(HelpClass::getEncrtyptPassword(), QStringLiteral("1.0.0_a4:83:e7:12:34:56_tsro_abc000000000000000000000000000"));
    const struct {
        QString password;
        int stampLength;
        int zeros;
    } cases[] = {{QString(29, 'p'), 59, 1}, {QString(30, 'p'), 59, 0}, {QString(31, 'p'), 60, 0},
                 {QString(45, 'p'), 74, 0}, {QStringLiteral("密码"), 59, 28}, {QStringLiteral("abc"), 59, 27}};
    for (const auto& c : cases) {
        setPassword(c.password);
        const QString s = HelpClass::getEncrtyptPassword();
        EXPECT_EQ(s.size(), c.stampLength) << c.password.toStdString();
        EXPECT_EQ(stamp::bodyKeyFromStamp(s), c.password + QString(c.zeros, QLatin1Char('0')));
    }
}

// A fake /sys/class/net: each interface a directory with "type", "address" and, for
// hardware, a "device" entry.
void addInterface(const QString& root, const QString& name, const char* type, const char* address, bool device) {
    TestEnvironment::writeFile(root + QLatin1Char('/') + name + QStringLiteral("/type"), QByteArray(type) + '\n');
    TestEnvironment::writeFile(root + QLatin1Char('/') + name + QStringLiteral("/address"), QByteArray(address) + '\n');
    if (device) {
        QDir().mkpath(root + QLatin1Char('/') + name + QStringLiteral("/device"));
    }
}

TEST(HardwareAddress, PrefersAStablePhysicalInterface) {
    TestEnvironment env;
    const QString net = env.base() + QStringLiteral("/net");
    addInterface(net, QStringLiteral("lo"), "772", "00:00:00:00:00:00", false);
    addInterface(net, QStringLiteral("docker0"), "1", "02:42:ac:11:00:02", false);
    addInterface(net, QStringLiteral("wlp2s0"), "1", "3C:22:FB:01:02:03", true);
    addInterface(net, QStringLiteral("enp0s31f6"), "1", "54:e1:ad:aa:bb:cc", true);
    addInterface(net, QStringLiteral("tun0"), "65534", "", false);
    // Two physical, globally administered ones: the lowest name wins; case is normalised.
    EXPECT_EQ(readHardwareAddressFrom(net), QStringLiteral("54:e1:ad:aa:bb:cc"));
    QDir(net + QStringLiteral("/enp0s31f6")).removeRecursively();
    EXPECT_EQ(readHardwareAddressFrom(net), QStringLiteral("3c:22:fb:01:02:03"));
    QDir(net + QStringLiteral("/wlp2s0")).removeRecursively();
    EXPECT_EQ(readHardwareAddressFrom(net), QStringLiteral("02:42:ac:11:00:02"));
    QDir(net + QStringLiteral("/docker0")).removeRecursively();
    EXPECT_FALSE(readHardwareAddressFrom(net));
    EXPECT_FALSE(readHardwareAddressFrom(env.base() + QStringLiteral("/missing")));
}

TEST(HardwareAddress, ReadOnceAndPlaceholderWhenUnreadable) {
    TestEnvironment env;
    int reads = 0;
    setHardwareAddressSource([&reads] {
        ++reads;
        return std::optional<QString>(QStringLiteral("a4:83:e7:00:00:01"));
    });
    EXPECT_EQ(getMacAddress(), QStringLiteral("a4:83:e7:00:00:01"));
    EXPECT_EQ(getMacAddress(), QStringLiteral("a4:83:e7:00:00:01"));
    EXPECT_EQ(reads, 1);

    LogCapture log;
    setHardwareAddressSource([] { return std::optional<QString>(); });
    EXPECT_EQ(getMacAddress(), QString::fromLatin1(kPlaceholderMacAddress));
    EXPECT_EQ(getMacAddress(), QString::fromLatin1(kPlaceholderMacAddress));
    EXPECT_EQ(log.lines().count(QStringLiteral("获取MAC地址失败")), 1);
}

TEST(VaultPaths, ARootWithATrailingSlashAndADriveCatalogueOfNoSideEffect) {
    TestEnvironment env;
    const QString root = env.vaultRoot();
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), root + QLatin1Char('/'));
    EXPECT_EQ(HelpClass::AppGroupDirListPath(), root + QStringLiteral("/GroupDirlist.plist"));
    const QString drive = env.mountVolume(QStringLiteral("USB Stick"));
    EXPECT_EQ(HelpClass::AppRootMoveUpDirPath(QStringLiteral("USB Stick"), QStringLiteral("Box.flp")), drive + "/Box.flp");
    EXPECT_FALSE(QFileInfo::exists(drive + QStringLiteral("/Box.flp")));
}

TEST(VaultPaths, ThumbnailNames) {
    TestEnvironment env;
    const QString root = env.vaultRoot();
    const QString drive = env.mountVolume(QStringLiteral("USB"));
    const QString localPicture = root + QStringLiteral("/Photos/a.PNG");
    const QByteArray localDigest = QCryptographicHash::hash(localPicture.toUtf8(), QCryptographicHash::Md5).toHex();
    const std::pair<QString, QString> cases[] = {
        // md5("Photos/a.PNG"): the name relative to the drive vault, computed independently.
        {drive + QStringLiteral("/Box.flp/Photos/a.PNG"),
         drive + QStringLiteral("/Box.flp/Thumb/DCEA79106318C1DFCE07E052ECFEA4AE.jpg")},
        {drive + QStringLiteral("/Box.flp/doc.pdf"), drive + QStringLiteral("/Box.flp/Thumb/pdfjpg")},
        {drive + QStringLiteral("/Box.flp/README"), drive + QStringLiteral("/Box.flp/Thumb/jpg")},
        // The picture test ignores case; the shared name keeps the extension's case.
        {QStringLiteral("/home/u/doc.PDF"), root + QStringLiteral("/Thumb/PDF.jpg")},
        {QStringLiteral("/home/u/Makefile"), root + QStringLiteral("/Thumb/.jpg")},
        {localPicture, root + QStringLiteral("/Thumb/") + QString::fromLatin1(localDigest.toUpper()) + ".jpg"},
    };
    for (const auto& [item, expected] : cases) {
        EXPECT_EQ(HelpClass::getFileThumbImagePath(item, QStringLiteral("Box.flp")), expected) << item.toStdString();
    }
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/Thumb")).isDir());
    EXPECT_TRUE(QFileInfo(drive + QStringLiteral("/Box.flp/Thumb")).isDir());
}

}  // namespace
}  // namespace tessaro
