#include "core/atomic_file.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

TEST(SettingsFile, ValuesSurviveReopening) {
    TestEnvironment env;
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("秘密 pass"));
    SettingsStore::setValue(QString::fromLatin1(keys::kTESSAROWHENIDLE), 15);

    // Another process (the next launch) reads what this one wrote.
    SettingsStore::useFile(env.base() + QStringLiteral("/other.conf"));
    EXPECT_FALSE(SettingsStore::contains(QString::fromLatin1(keys::kSOUREPASSWORD)));
    SettingsStore::useFile(env.settingsFile());
    EXPECT_EQ(SettingsStore::stringValue(QString::fromLatin1(keys::kSOUREPASSWORD)), QStringLiteral("秘密 pass"));
    EXPECT_EQ(SettingsStore::intValue(QString::fromLatin1(keys::kTESSAROWHENIDLE)), 15);
    EXPECT_TRUE(SettingsStore::remove(QString::fromLatin1(keys::kTESSAROWHENIDLE)));
    EXPECT_FALSE(SettingsStore::contains(QString::fromLatin1(keys::kTESSAROWHENIDLE)));
}

TEST(AtomicWrite, ReplacesWholeOrNotAtAll) {
    TestEnvironment env;
    const QString target = env.base() + QStringLiteral("/list.plist");
    ASSERT_TRUE(TestEnvironment::writeFile(target, "old contents"));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    {
        AtomicFileWriter writer(target);
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write(QByteArray("new ")));
        EXPECT_TRUE(QFileInfo(writer.temporaryPath()).fileName().startsWith(QLatin1String(".tessaro-partial-list.plist-")));
        // Destroyed without commit: the partial file disappears and a reader saw only the old one.
    }
    EXPECT_EQ(TestEnvironment::readFile(target), QByteArray("old contents"));
    EXPECT_EQ(QDir(env.base()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    QString error;
    ASSERT_TRUE(writeFileAtomically(target, "new contents", &error)) << error.toStdString();
    EXPECT_EQ(TestEnvironment::readFile(target), QByteArray("new contents"));
    EXPECT_TRUE(QFileInfo(target).permissions() & QFile::ExeOwner);  // mode kept

    AtomicFileWriter never(target);
    ASSERT_TRUE(never.open());
    never.write(QByteArray("other"));
    EXPECT_FALSE(never.commit(AtomicFileWriter::Replace::Never));
    EXPECT_EQ(TestEnvironment::readFile(target), QByteArray("new contents"));

    // A write into a missing directory fails and says so.
    EXPECT_FALSE(writeFileAtomically(env.base() + QStringLiteral("/missing/dir/x"), "x", &error));
    EXPECT_FALSE(error.isEmpty());

    // A rename onto an existing name never replaces it.
    const QString other = env.base() + QStringLiteral("/other");
    ASSERT_TRUE(TestEnvironment::writeFile(other, "other"));
    EXPECT_FALSE(renameNoReplace(other, target));
    EXPECT_EQ(TestEnvironment::readFile(target), QByteArray("new contents"));
    QFile::remove(target);
    EXPECT_TRUE(renameNoReplace(other, target));
    EXPECT_EQ(TestEnvironment::readFile(target), QByteArray("other"));
    EXPECT_FALSE(QFileInfo::exists(other));
}

TEST(Paths, JoinInsertsExactlyOneSeparator) {
    EXPECT_EQ(joinPath(QStringLiteral("/a/b"), QStringLiteral("c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(joinPath(QStringLiteral("/a/b/"), QStringLiteral("c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(joinPath(QStringLiteral("/a/b"), QStringLiteral("/c")), QStringLiteral("/a/b/c"));
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("c")), QStringLiteral("/c"));
    EXPECT_EQ(joinPath(QStringLiteral("/a"), QStringLiteral("我的 文件")), QStringLiteral("/a/我的 文件"));
}

TEST(Paths, AbsentRootGivesNoLocalPaths) {
    TestEnvironment env(false);
    EXPECT_TRUE(vaultpaths::AppRootDirKey().isNull());
    EXPECT_FALSE(vaultpaths::ensureDirectory(vaultpaths::AppRootNoteDirPath(), "ok", "failed: %1"));
}

TEST(TextLookup, LanguagesAndFallbacks) {
    TestEnvironment env;  // English
    EXPECT_EQ(LanguageBundle::localizedStringForKey(QStringLiteral("group_AllFiles")), QStringLiteral("All Items"));
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 1);
    EXPECT_EQ(LanguageBundle::currentDirectory(), QStringLiteral("zh-Hans"));
    EXPECT_NE(LanguageBundle::localizedStringForKey(QStringLiteral("group_AllFiles")), QStringLiteral("All Items"));
    EXPECT_EQ(LanguageBundle::localizedStringForKey(QStringLiteral("weekItem1.stringValue")), QStringLiteral("星期日"));
    // A language without a table falls back to the default table, not to keys.
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 6);
    EXPECT_EQ(LanguageBundle::currentDirectory(), QStringLiteral("en"));
    EXPECT_EQ(LanguageBundle::localizedStringForKey(QStringLiteral("group_AllFiles")), QStringLiteral("All Items"));
    // A key no table has gives the key, or the caller's value.
    EXPECT_EQ(LanguageBundle::localizedStringForKey(QStringLiteral("no.such.key")), QStringLiteral("no.such.key"));
    EXPECT_EQ(LanguageBundle::localizedStringForKey(QStringLiteral("no.such.key"), QStringLiteral("x")), QStringLiteral("x"));
}

TEST(TextLookup, ParsesTablesWithCommentsAndEscapes) {
    const auto table = LanguageBundle::parseStringsTable(QStringLiteral(
        "/* block\n comment \"x\" = \"y\"; */\n"
        "// line comment\n"
        "\"plain\" = \"Plain text\";\n"
        "\"quote\"=\"Say \\\"hi\\\"\\n\\tnow\";\n"
        "\"unicode\" = \"\\U4E2D\\u6587\";\n"
        "  \"spaced key\"   =   \"中文 value\" ;\n"));
    EXPECT_EQ(table.size(), 4);
    EXPECT_EQ(table.value(QStringLiteral("plain")), QStringLiteral("Plain text"));
    EXPECT_EQ(table.value(QStringLiteral("quote")), QStringLiteral("Say \"hi\"\n\tnow"));
    EXPECT_EQ(table.value(QStringLiteral("unicode")), QStringLiteral("中文"));
    EXPECT_EQ(table.value(QStringLiteral("spaced key")), QStringLiteral("中文 value"));
}

}  // namespace
}  // namespace tessaro
