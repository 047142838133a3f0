// The stored-file format, byte for byte, against openssl and hand-written expectations.
#include "core/settings_store.h"
#include "crypto/help_class.h"
#include "crypto/item_hiding.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

TEST(SwappedName, ExchangesNeighboursPerComponentAndIsItsOwnInverse) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("photo.jpg"), QStringLiteral("hpto.opjg")},
        {QStringLiteral("a"), QStringLiteral("a")},
        {QStringLiteral("abc"), QStringLiteral("bac")},
        {QStringLiteral("/one.txt/sub/ab"), QStringLiteral("no.extt/usb/ba")},
        {QStringLiteral("a//b/"), QStringLiteral("a/b")},
        {QStringLiteral("文件夹名"), QStringLiteral("件文名夹")},
        // A surrogate pair moves as one piece: U+1F600 then "x" become "x" then U+1F600.
        {QString::fromUtf8("\xF0\x9F\x98\x80x"), QString::fromUtf8("x\xF0\x9F\x98\x80")},
        {QString::fromUtf8("a\xF0\x9F\x98\x80\xF0\x9F\x8E\x89"), QString::fromUtf8("\xF0\x9F\x98\x80" "a\xF0\x9F\x8E\x89")},
    };
    for (const auto& [plain, swapped] : cases) {
        EXPECT_EQ(swappedName(plain), swapped) << qPrintable(plain);
        EXPECT_EQ(HelpClass::AESPath(plain), swapped);
    }
    // Own inverse for names without empty components, also with a lone surrogate.
    const QString lone = QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b");
    for (const QString& name : {QStringLiteral("x y 'q' \"z\"\n.txt"), lone, QString::fromUtf8("\xF0\x9F\x98\x80")}) {
        EXPECT_EQ(swappedName(swappedName(name)), name);
        EXPECT_EQ(swappedName(name).size(), name.size());
    }
}

TEST(TextClass, TableHasTheThirtySevenExtensionsAndIgnoresCase) {
    EXPECT_EQ(textExtensionTable().size(), 37);
    QStringList unique = textExtensionTable();
    EXPECT_EQ(unique.removeDuplicates(), 0);
    const std::pair<const char*, bool> names[] = {
        {"a.txt", true},  {"/x/REPORT.PDF", true}, {"b.Json", true},   {"c.c", true},     {"d.bas", true},
        {"e.wki", true},  {"f.markdown", true},    {"dir.txt/", true}, {"a.jpg", false},  {"noext", false},
        {".txt", false},  {"a.txt.gz", false},     {"a.tx", false}};
    for (const auto& [name, text] : names) {
        EXPECT_EQ(HelpClass::iswenbenwenjian(QString::fromLatin1(name)), text) << name;
    }
}

struct LayoutCase {
    const char* name;
    qint64 size;
    const char* password = TestEnvironment::kPassword;
};

class StoredLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(StoredLayout, MatchesOpensslBytesAndRestoresExactly) {
    TestEnvironment env;
    const LayoutCase c = GetParam();
    SettingsStore::setValue(QStringLiteral("kSOUREPASSWORD"), QString::fromLatin1(c.password));
    const QString plain = env.base() + QStringLiteral("/in/") + QString::fromUtf8(c.name);
    const QByteArray content = testing::patternBytes(c.size, static_cast<quint32>(c.size + 7));
    ASSERT_TRUE(TestEnvironment::writeFile(plain, content));
    const auto paths = testing::pathsFor(plain, env.vaultRoot() + QStringLiteral("/g/1"));
    const ItemResult stored = hideItem(testing::newRecord(plain), paths);
    ASSERT_TRUE(stored.complete) << testing::problemsOf(stored);

    // A password past 30 characters makes a longer stamp, so a header of more than 64 bytes.
    const QByteArray stamp = testing::expectedStamp(c.password);
    const QByteArray bodyKey = stamp.mid(stamp.lastIndexOf("_tsro_") + 6);
    const QByteArray body = iswenbenwenjian(plain) ? testing::opensslEcb(bodyKey, content) : content;
    EXPECT_TRUE(TestEnvironment::readFile(paths.storedTop) == testing::opensslEcb("tessaroheadstamps", stamp) + body +
                                                               testing::opensslEcb("tessarofootstamps", stamp))
        << c.name;

    auto back = testing::newRecord(env.base() + QStringLiteral("/out/") + QString::fromUtf8(c.name));
    const ItemResult restored = unhideItem(back, {back->path, paths.storedTop, paths.itemClass});
    ASSERT_TRUE(restored.complete) << testing::problemsOf(restored);
    EXPECT_EQ(TestEnvironment::readFile(back->path), content);
    EXPECT_FALSE(QFileInfo::exists(paths.storedTop));
}

// A name like a repository's is an ordinary file item.
INSTANTIATE_TEST_SUITE_P(Boundaries, StoredLayout,
                         ::testing::Values(LayoutCase{"empty.bin", 0}, LayoutCase{"empty.txt", 0},
                                           LayoutCase{"sixteen.txt", 16}, LayoutCase{"sixteen.bin", 16},
                                           LayoutCase{"odd.json", 17}, LayoutCase{"chunk.txt", 512000},
                                           LayoutCase{"chunk.dat", 512000}, LayoutCase{"chunk1.pdf", 512001},
                                           LayoutCase{"two.bin", 1024001}, LayoutCase{"big.md", 1300000},
                                           LayoutCase{"repo.git", 12},
                                           LayoutCase{"long.txt", 3, "this password is longer than thirty characters"}),
                         [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

// Fixtures made by openssl alone (tests/fixtures/stored/make-fixtures.sh): an older
// password, and a password longer than 30 characters whose stamp has another length.
TEST(StoredFixtures, RestoreCopiesMadeUnderOtherPasswords) {
    TestEnvironment env;
    const QString fixtures = QStringLiteral(TESSARO_FIXTURES_DIR "/stored");
    struct Case {
        const char* stored;
        const char* plain;
        const char* expected;
    };
    for (const Case c : {Case{"hpto.opjg", "photo.jpg", "plain-photo.jpg"}, Case{"no.extt", "one.txt", "plain-one.txt"},
                         Case{"olgn.txt", "long.txt", "plain-one.txt"}}) {
        const QString copy = env.base() + QStringLiteral("/c/") + QString::fromLatin1(c.stored);
        ASSERT_TRUE(TestEnvironment::writeFile(copy, TestEnvironment::readFile(fixtures + QLatin1Char('/') + c.stored)));
        auto model = testing::newRecord(env.base() + QStringLiteral("/out/") + QString::fromLatin1(c.plain));
        const auto itemClass = walk::classForItemName(model->path);
        EXPECT_EQ(storedfile::verifyStoredFile(copy, itemClass, 64), QString()) << c.stored;
        const ItemResult r = unhideItem(model, {model->path, copy, itemClass});
        EXPECT_TRUE(r.complete) << c.stored << testing::problemsOf(r);
        const QByteArray expected = TestEnvironment::readFile(fixtures + QLatin1Char('/') + c.expected);
        EXPECT_EQ(TestEnvironment::readFile(model->path), expected) << c.stored;
    }
}

}  // namespace
}  // namespace tessaro
