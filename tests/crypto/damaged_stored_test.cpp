// Damaged stored files are refused with a log line, nothing is put at the plain location (not
// even the folders made for it), the stored copy stays, and nothing crashes.
#include "core/log.h"
#include "crypto/item_hiding.h"
#include "crypto/stored_file.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <QFile>

namespace tessaro {
namespace {

using testing::TestEnvironment;

struct Damage {
    const char* what;
    const char* itemName;
    std::function<void(QByteArray&)> apply;
};

class DamagedStoredFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedStoredFile, IsRefusedLoggedAndKept) {
    TestEnvironment env;
    const Damage d = GetParam();
    const QString plain = env.base() + QStringLiteral("/in/") + QString::fromLatin1(d.itemName);
    ASSERT_TRUE(TestEnvironment::writeFile(plain, testing::patternBytes(70000, 3)));
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);

    QByteArray bytes = TestEnvironment::readFile(paths.storedTop);
    d.apply(bytes);
    ASSERT_TRUE(TestEnvironment::writeFile(paths.storedTop, bytes));
    EXPECT_NE(storedfile::verifyStoredFile(paths.storedTop, paths.itemClass, 64), QString()) << d.what;

    LogCapture log;
    auto back = testing::newRecord(env.base() + QStringLiteral("/out/deeper/") + QString::fromLatin1(d.itemName));
    const ItemResult r = unhideItem(back, {back->path, paths.storedTop, paths.itemClass});
    EXPECT_FALSE(r.complete) << d.what;
    EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/out"))) << d.what;
    EXPECT_TRUE(log.contains(QStringLiteral("stored file refused")) || log.contains(QStringLiteral("失败：error：")))
        << d.what;
    EXPECT_EQ(TestEnvironment::readFile(paths.storedTop), bytes) << d.what;
    EXPECT_FALSE(r.problems.isEmpty());
}

void flip(QByteArray& b, qsizetype at) { b[at] = static_cast<char>(b[at] ^ 0x5a); }

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedStoredFile,
    ::testing::Values(
        Damage{"zero length", "a.bin", [](QByteArray& b) { b.clear(); }},
        Damage{"shorter than the header", "a.bin", [](QByteArray& b) { b.truncate(40); }},
        Damage{"header only", "a.bin", [](QByteArray& b) { b.truncate(64); }},
        Damage{"garbage shorter than header and footer", "a.bin",
               [](QByteArray& b) { b = testing::patternBytes(100, 5); }},
        Damage{"cut in the body (crash while storing)", "a.bin", [](QByteArray& b) { b.truncate(b.size() / 2); }},
        Damage{"footer cut by one byte", "a.bin", [](QByteArray& b) { b.chop(1); }},
        Damage{"one byte too many", "a.bin", [](QByteArray& b) { b.append('x'); }},
        Damage{"flipped first header byte", "a.bin", [](QByteArray& b) { flip(b, 0); }},
        Damage{"flipped last header byte", "a.txt", [](QByteArray& b) { flip(b, 63); }},
        Damage{"flipped footer byte", "a.bin", [](QByteArray& b) { flip(b, b.size() - 20); }},
        Damage{"flipped last footer byte", "a.txt", [](QByteArray& b) { flip(b, b.size() - 1); }},
        Damage{"flipped last text body block", "a.txt", [](QByteArray& b) { flip(b, b.size() - 64 - 3); }},
        Damage{"text body not whole blocks", "a.txt",
               [](QByteArray& b) { b.insert(100, "abc"); }},
        Damage{"random bytes", "a.txt", [](QByteArray& b) { b = testing::patternBytes(b.size(), 99); }}),
    [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.what)); });

}  // namespace
}  // namespace tessaro

namespace tessaro {
namespace {

// The item's attribute file is read from the vault like everything else there: a line that
// could lead outside the item, or is not what it should be, refuses the restore and keeps
// the stored copy; nothing is made anywhere.
class HostileAttributeFile : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(HostileAttributeFile, RefusesTheRestoreAndMakesNothing) {
    TestEnvironment env;
    const QString plain = env.base() + QStringLiteral("/in/Folder");
    ASSERT_TRUE(TestEnvironment::writeFile(plain + QStringLiteral("/a"), "a"));
    const auto paths = testing::pathsFor(plain, env.base() + QStringLiteral("/c"));
    ASSERT_TRUE(hideItem(testing::newRecord(plain), paths).complete);
    const QString attributes = env.base() + QStringLiteral("/c/.tessaro-attributes-") + QFileInfo(paths.storedTop).fileName();
    ASSERT_TRUE(TestEnvironment::writeFile(attributes, QByteArray(GetParam().second) + '\n'));
    const auto stored = testing::snapshot(paths.storedTop);

    const ItemResult r = unhideItem(testing::newRecord(plain), paths);
    EXPECT_FALSE(r.complete);
    EXPECT_TRUE(r.problems.join(QLatin1Char(' ')).contains(QStringLiteral("links and attributes")))
        << testing::problemsOf(r);
    EXPECT_EQ(testing::entriesOf(env.base() + QStringLiteral("/in")), QStringList());
    EXPECT_FALSE(QFileInfo(env.base() + QStringLiteral("/escape")).exists());
    EXPECT_EQ(testing::snapshot(paths.storedTop), stored);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, HostileAttributeFile,
    ::testing::Values(std::pair{"not json", "{\"path\":"},
                      std::pair{"dot dot", R"({"path":"/../../escape","link":"/etc/passwd"})"},
                      std::pair{"dot dot inside", R"({"path":"/x/../../escape","link":"t"})"},
                      std::pair{"absolute", R"({"path":"etc/escape","mode":"700"})"},
                      std::pair{"link as the top", R"({"path":"","link":"t"})"},
                      std::pair{"empty link", R"({"path":"/l","link":""})"},
                      std::pair{"mode too wide", R"({"path":"/a","mode":"177777"})"},
                      std::pair{"bad time", R"({"path":"/a","modified":"1.2000000000"})"},
                      std::pair{"path not text", R"({"path":7})"}),
    [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.first)); });

}  // namespace
}  // namespace tessaro
