#include "crypto/help_class.h"
#include "crypto/item_inspection.h"

#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

TEST(ItemInspection, SizeTextsUseBinaryUnitsStartingAboveEachMultiple) {
    TestEnvironment env;
    const struct {
        qint64 size;
        const char* text;
    } cases[] = {
        {0, "0.00 B,Hidden"},
        {1, "1.00 B,Hidden"},
        {1024, "1024.00 B,Hidden"},
        {1025, "1.00 KB,Hidden"},
        {1536, "1.50 KB,Hidden"},
        {1048576, "1024.00 KB,Hidden"},
        {1048577, "1.00 MB,Hidden"},
        {1073741824, "1024.00 MB,Hidden"},
        // In single precision these are still exactly 2^30, so not above it.
        {1073741824 + 64, "1024.00 MB,Hidden"},
        {1073741824 + 65, "1.00 GB,Hidden"},
        {2147483648LL, "2.00 GB,Hidden"},
        {5LL * 1024 * 1024 * 1024 * 1024, "5120.00 GB,Hidden"},
    };
    for (const auto& c : cases) {
        FileModel item;
        item.fileSize = c.size;
        EXPECT_EQ(HelpClass::contentSizeForPath(item), QString::fromUtf8(c.text)) << c.size;
    }
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 1);
    EXPECT_EQ(inspection::contentSizeText(1025), QStringLiteral("1.00 KB,已隐藏"));
}

TEST(ItemInspection, ResizedImageCopiesPixelsWithoutBlending) {
    QImage source(400, 100, QImage::Format_ARGB32);
    source.fill(QColor(255, 0, 0));
    for (int y = 0; y < 100; ++y) {
        for (int x = 200; x < 400; ++x) {
            source.setPixelColor(x, y, QColor(0, 0, 255, 128));
        }
    }
    const QImage out = HelpClass::resizeImage(source, QSizeF(200, 200));
    ASSERT_EQ(out.size(), QSize(200, 50));
    EXPECT_EQ(out.pixelColor(10, 25), QColor(255, 0, 0));
    EXPECT_EQ(out.pixelColor(190, 25), QColor(0, 0, 255, 128));  // copied, not drawn over anything
    // Nothing to scale, or no room to scale into: no picture rather than a division by zero.
    EXPECT_TRUE(HelpClass::resizeImage(QImage(), QSizeF(200, 200)).isNull());
    EXPECT_FALSE(inspection::thumbnailGeometry(QSize(0, 10), QSizeF(200, 200)));
    EXPECT_FALSE(inspection::thumbnailGeometry(QSize(10, 10), QSizeF(0, 0)));
}

// Out of range a weekday has no name and a month counts as December, as the dates of old
// catalogues need; both follow the language in force.
TEST(ItemInspection, WeekdaysAndMonthsByNumberAndLanguage) {
    TestEnvironment env;
    EXPECT_EQ((QStringList{HelpClass::weekDay(1), HelpClass::weekDay(0), HelpClass::weekDay(9), HelpClass::monthWithNum(3),
                           HelpClass::monthWithNum(0), HelpClass::monthWithNum(13), HelpClass::monthWithNum(-1)}),
              (QStringList{"Sunday", "", "", "March", "December", "December", "December"}));
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 1);
    EXPECT_EQ(HelpClass::weekDay(1) + HelpClass::monthWithNum(0), QStringLiteral("星期日十二月"));
    // A moment given in UTC is broken down in local time.
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 2);
    const QDateTime moment(QDate(2026, 3, 1), QTime(9, 5, 7), Qt::LocalTime);
    const QHash<QString, QString> expected{{"year", "2026"},   {"month", "March"},  {"day", "01"},        {"hour", "09"},
                                           {"minute", "05"}, {"second", "07"}, {"weekday", "Sunday"}};
    EXPECT_EQ(HelpClass::getTimeInThisTimeZoneAfter(moment), expected);
    EXPECT_EQ(HelpClass::getTimeInThisTimeZoneAfter(moment.toUTC()), expected);
}

TEST(ItemInspection, SizesComeFromTheFileSystemWithoutReading) {
    TestEnvironment env;
    const QString folder = env.base() + QStringLiteral("/item");
    ASSERT_TRUE(TestEnvironment::writeFile(folder + QStringLiteral("/a.txt"), QByteArray(10, 'a')));
    ASSERT_TRUE(TestEnvironment::writeFile(folder + QStringLiteral("/.hidden"), QByteArray(20, 'b')));
    ASSERT_TRUE(TestEnvironment::writeFile(folder + QStringLiteral("/sub/深/c"), QByteArray(5, 'c')));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/empty")));
    const QString outside = env.base() + QStringLiteral("/outside");
    ASSERT_TRUE(TestEnvironment::writeFile(outside + QStringLiteral("/big"), QByteArray(1000, 'x')));
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(folder + QStringLiteral("/link-to-file")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(folder + QStringLiteral("/link-to-dir")).constData()), 0);
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(folder + QStringLiteral("/dangling")).constData()), 0);
    // Files, the link to a file as the file it names; the linked folder is not entered.
    EXPECT_EQ(inspection::fileSystemSize(folder), 10 + 20 + 5 + 10);
    EXPECT_EQ(inspection::fileSystemSize(folder + QStringLiteral("/a.txt")), 10);
    EXPECT_EQ(inspection::fileSystemSize(folder + QStringLiteral("/empty")), 0);
    EXPECT_FALSE(inspection::fileSystemSize(folder + QStringLiteral("/missing")));

    // A sparse 6 GiB file is measured at once: nothing is read.
    const QString sparse = env.base() + QStringLiteral("/sparse.bin");
    ASSERT_TRUE(TestEnvironment::writeFile(sparse, {}));
    ASSERT_TRUE(QFile::resize(sparse, 6LL << 30));
    EXPECT_EQ(inspection::fileSystemSize(sparse), 6LL << 30);
}

}  // namespace
}  // namespace tessaro
