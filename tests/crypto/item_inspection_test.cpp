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

TEST(ItemInspection, ThumbnailGeometry) {
    const struct {
        QSize image;
        QSize target;
        QRect source;
    } cases[] = {
        {{400, 100}, {200, 50}, {0, 0, 400, 100}},
        {{100, 400}, {50, 200}, {0, 0, 100, 400}},
        {{300, 300}, {200, 200}, {0, 0, 300, 300}},
        {{50, 50}, {200, 200}, {0, 0, 50, 50}},
        // 200 x 133.3 rounds to 133: rx = 0.6667 > ry = 0.665, so the height is cropped to
        // floor(133 / 0.6667) = 199, centred at floor(0.5) = 0.
        {{300, 200}, {200, 133}, {0, 0, 300, 199}},
        // 200 x 66.7 rounds to 67: ry = 0.67 > rx = 0.6667, the width is cropped to
        // floor(200 / 0.67) = 298, centred at floor(1.0) = 1.
        {{300, 100}, {200, 67}, {1, 0, 298, 100}},
    };
    for (const auto& c : cases) {
        const auto g = inspection::thumbnailGeometry(c.image, QSizeF(200, 200));
        ASSERT_TRUE(g);
        EXPECT_EQ(g->target, c.target) << c.image.width() << "x" << c.image.height();
        EXPECT_EQ(g->source, c.source) << c.image.width() << "x" << c.image.height();
    }
    EXPECT_FALSE(inspection::thumbnailGeometry(QSize(0, 10), QSizeF(200, 200)));
    EXPECT_FALSE(inspection::thumbnailGeometry(QSize(10, 10), QSizeF(0, 0)));
    EXPECT_TRUE(HelpClass::resizeImage(QImage(), QSizeF(200, 200)).isNull());
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
    const QColor right = out.pixelColor(190, 25);
    EXPECT_EQ(right.alpha(), 128);  // copied, not drawn over anything
    EXPECT_EQ(right.blue(), 255);
    EXPECT_EQ(right.red(), 0);
}

TEST(ItemInspection, WeekdayAndMonthKeys) {
    TestEnvironment env;
    EXPECT_EQ(inspection::weekdayKey(1), QStringLiteral("weekItem1.stringValue"));
    EXPECT_EQ(inspection::weekdayKey(7), QStringLiteral("weekItem7.stringValue"));
    EXPECT_EQ(inspection::weekdayKey(0), QString());
    EXPECT_EQ(inspection::weekdayKey(8), QString());
    EXPECT_EQ(inspection::monthKey(1), QStringLiteral("monthiItem1.stringValue"));
    EXPECT_EQ(inspection::monthKey(11), QStringLiteral("monthiItem11.stringValue"));
    for (const qint64 n : {0, 12, 13, -1}) {
        EXPECT_EQ(inspection::monthKey(n), QStringLiteral("monthiItem12.stringValue")) << n;
    }
    EXPECT_EQ(HelpClass::weekDay(1), QStringLiteral("Sunday"));
    EXPECT_EQ(HelpClass::weekDay(9), QString());
    EXPECT_EQ(HelpClass::monthWithNum(13), QStringLiteral("December"));
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 1);
    EXPECT_EQ(HelpClass::weekDay(1), QStringLiteral("星期日"));
    EXPECT_EQ(HelpClass::monthWithNum(0), QStringLiteral("十二月"));
}

TEST(ItemInspection, DateDictionaryInTheLocalTimeZone) {
    TestEnvironment env;
    // 1 March 2026 was a Sunday.
    const QDateTime moment(QDate(2026, 3, 1), QTime(9, 5, 7), Qt::LocalTime);
    const auto parts = HelpClass::getTimeInThisTimeZoneAfter(moment);
    const QHash<QString, QString> expected{{"year", "2026"},   {"month", "March"},  {"day", "01"},        {"hour", "09"},
                                           {"minute", "05"}, {"second", "07"}, {"weekday", "Sunday"}};
    EXPECT_EQ(parts, expected);
    // The same moment given in UTC is broken down in local time.
    const auto again = HelpClass::getTimeInThisTimeZoneAfter(moment.toUTC());
    EXPECT_EQ(again, parts);
    const auto late = HelpClass::getTimeInThisTimeZoneAfter(QDateTime(QDate(2025, 12, 27), QTime(23, 59, 59)));
    EXPECT_EQ(late, (QHash<QString, QString>{{"year", "2025"}, {"month", "December"}, {"day", "27"}, {"hour", "23"},
                                             {"minute", "59"}, {"second", "59"}, {"weekday", "Saturday"}}));
    EXPECT_EQ(HelpClass::getTimeInThisTimeZoneAfter().size(), 7);
}

TEST(ItemInspection, CurrentTimeIsWholeSecondsInDecimal) {
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const QString text = HelpClass::getTimeIntervalSince();
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    ASSERT_TRUE(ok) << text.toStdString();
    EXPECT_GE(value, before);
    EXPECT_LE(value, after);
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
    QFile file(sparse);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(6LL << 30));
    file.close();
    EXPECT_EQ(inspection::fileSystemSize(sparse), 6LL << 30);
}

}  // namespace
}  // namespace tessaro
