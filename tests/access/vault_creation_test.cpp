// Creating a vault: what is made on disk, with which modes, the settings and their order,
// and that a failure anywhere leaves neither a half vault nor "FirstRun" behind.
#include "access/vault_creation.h"

#include "core/catalogue.h"
#include "core/catalogue_format.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

#include <sys/stat.h>


using namespace tessaro;
using namespace tessaro::access;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

QStringList entriesOf(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The settings file as another process reads it: parsed afresh, not from this process's cache.
QByteArray settingsBytes() { return TestEnvironment::readFile(SettingsStore::filePath()); }

}  // namespace

TEST(VaultCreation, ChosenPathGetsTheSuffixOnlyWhenMissing) {
    EXPECT_EQ(vaultRootForChosenPath(QStringLiteral("/home/li/Videos/My Vault")), QStringLiteral("/home/li/Videos/My Vault.flp"));
    EXPECT_EQ(vaultRootForChosenPath(QStringLiteral("/home/li/Box.flp")), QStringLiteral("/home/li/Box.flp"));
    // Case-sensitive: the upper-case letters are not the suffix.
    EXPECT_EQ(vaultRootForChosenPath(QStringLiteral("/home/li/Box.FLP")), QStringLiteral("/home/li/Box.FLP.flp"));
    // A trailing slash or ".." never puts the suffix on a separate name.
    EXPECT_EQ(vaultRootForChosenPath(QStringLiteral("/home/li/Vault/")), QStringLiteral("/home/li/Vault.flp"));
    EXPECT_EQ(vaultRootForChosenPath(QStringLiteral("/home/li/x/../Vault")), QStringLiteral("/home/li/Vault.flp"));
}

TEST(VaultCreation, SettingsComeInTheGuidesOrder) {
    const NewVault vault{QStringLiteral("/v"), QStringLiteral("pw"), QStringLiteral("a hint"), true};
    const auto settings = vaultCreationSettings(QStringLiteral("/v.flp"), vault);
    QStringList order;
    for (const auto& [name, value] : settings) {
        order << name;
    }
    EXPECT_EQ(order, QStringList({key(keys::kRootDirKey), key(keys::mainWindowSizeWidth), key(keys::mainWindowSizeHeight),
                                  key(keys::kPASSWORDHINTCONTENT), key(keys::FirstRun), key(keys::kSOUREPASSWORD),
                                  key(keys::remmenberBtnState)}));
    EXPECT_EQ(settings[1].second, QVariant(800));
    EXPECT_EQ(settings[2].second, QVariant(500));
    EXPECT_EQ(settings[4].second, QVariant(true));
    // The remember box is stored as the box's state, never as a second copy of the password.
    EXPECT_EQ(settings[6].second, QVariant(1));
    // Without a hint and without the box both keys are cleared, not written.
    const auto plain = vaultCreationSettings(QStringLiteral("/v.flp"), {QStringLiteral("/v"), QStringLiteral("pw"), {}, false});
    EXPECT_FALSE(plain[3].second.isValid());
    EXPECT_FALSE(plain[6].second.isValid());
}

TEST(VaultCreation, NewVaultIsPrivateAndComplete) {
    TestEnvironment env(false);
    const QString chosen = env.base() + QStringLiteral("/Videos/My Vault");
    const VaultCreation created = createVault({chosen, QStringLiteral("s3cret pass"), QStringLiteral("our cat"), true});
    ASSERT_TRUE(created.ok) << created.message.toStdString();
    EXPECT_FALSE(created.existed);
    const QString root = chosen + QStringLiteral(".flp");
    EXPECT_EQ(created.root, root);
    EXPECT_EQ(TestEnvironment::modeOf(root), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(root + QStringLiteral("/Notes")), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(root + QStringLiteral("/Thumb")), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(SettingsStore::filePath()), 0600);
    EXPECT_EQ(entriesOf(root), QStringList({QStringLiteral("GroupDirlist.plist"), QStringLiteral("GroupNoteslist.plist"),
                                            QStringLiteral("Notes"), QStringLiteral("Thumb")}));

    // The default catalogues, read back as catalogues: three rows each.
    const auto local = catalogue::readRowListFile(
        root + QStringLiteral("/GroupDirlist.plist"),
        {catalogue::ListKind::Local, QString::fromLatin1(kLocalListKey), QStringLiteral("a4:83:e7:12:34:56"), QString(),
         QString()});
    ASSERT_EQ(local.status, catalogue::FileRead::Status::Read);
    EXPECT_EQ(local.rows->size(), 3);
    const auto notes = catalogue::readRowListFile(
        root + QStringLiteral("/GroupNoteslist.plist"),
        {catalogue::ListKind::Notes, QString::fromLatin1(kNotesListKey), QStringLiteral("a4:83:e7:12:34:56"), QString(),
         QString()});
    ASSERT_EQ(notes.status, catalogue::FileRead::Status::Read);
    EXPECT_EQ(notes.rows->size(), 3);

    // The settings file byte for byte is checked where the guide writes it; here, that the
    // password is stored once and nowhere else.
    EXPECT_EQ(settingsBytes().count("s3cret pass"), 1);
    EXPECT_EQ(vaultpaths::AppRootDirKey(), root);
}

TEST(VaultCreation, ExistingFolderBecomesTheRootUnchanged) {
    TestEnvironment env(false);
    const QString root = env.base() + QStringLiteral("/Old.flp");
    const QByteArray catalogueBytes = "<plist><array/></plist>";  // not ours: must stay as it is
    ASSERT_TRUE(TestEnvironment::writeFile(root + QStringLiteral("/GroupDirlist.plist"), catalogueBytes));
    ASSERT_TRUE(TestEnvironment::writeFile(root + QStringLiteral("/1234-1700000000/keep.bin"), "keep"));
    ::chmod(QFile::encodeName(root).constData(), 0755);
    const VaultCreation created = createVault({root, QStringLiteral("pw"), {}, false});
    ASSERT_TRUE(created.ok) << created.message.toStdString();
    EXPECT_TRUE(created.existed);
    EXPECT_EQ(TestEnvironment::readFile(root + QStringLiteral("/GroupDirlist.plist")), catalogueBytes);
    EXPECT_EQ(TestEnvironment::readFile(root + QStringLiteral("/1234-1700000000/keep.bin")), QByteArray("keep"));
    EXPECT_EQ(TestEnvironment::modeOf(root), 0755);  // the user's own folder keeps its mode
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/GroupNoteslist.plist")).isFile());
    EXPECT_FALSE(settingsBytes().contains("kPASSWORDHINTCONTENT"));
    EXPECT_FALSE(settingsBytes().contains("remmenberBtn.state"));
}

// Each way the disk can say no ends the same: a clear message, nothing left of this call,
// the settings as they were. Running as root (as CI does), only things in the way can stop
// a write, so every case puts one there.
struct RefusedLocation {
    const char* name;
    std::function<QString(const QString& base)> prepare;  // returns the chosen path
    const char* messageKeyText;
};

void PrintTo(const RefusedLocation& location, std::ostream* out) { *out << location.name; }

class VaultCreationRefuses : public ::testing::TestWithParam<RefusedLocation> {};

TEST_P(VaultCreationRefuses, LeavesNothingAndFirstRunUnset) {
    TestEnvironment env(false);
    ASSERT_TRUE(SettingsStore::setValue(key(keys::AppLanguage), 2));
    const QString chosen = GetParam().prepare(env.base());
    const QStringList before = entriesOf(env.base());
    const QByteArray settingsBefore = settingsBytes();

    const VaultCreation created = createVault({chosen, QStringLiteral("pw"), QStringLiteral("hint"), true});
    EXPECT_FALSE(created.ok);
    EXPECT_TRUE(created.message.contains(QString::fromUtf8(GetParam().messageKeyText))) << created.message.toStdString();
    EXPECT_EQ(entriesOf(env.base()), before);
    EXPECT_EQ(settingsBytes(), settingsBefore);
    EXPECT_FALSE(SettingsStore::boolValue(key(keys::FirstRun)));
    EXPECT_FALSE(SettingsStore::contains(key(keys::kSOUREPASSWORD)));
}

INSTANTIATE_TEST_SUITE_P(
    Locations, VaultCreationRefuses,
    ::testing::Values(
        RefusedLocation{"FileAtTheRoot",
                        [](const QString& base) {
                            TestEnvironment::writeFile(base + QStringLiteral("/Box.flp"), "a file");
                            return base + QStringLiteral("/Box");
                        },
                        "is not a folder"},
        RefusedLocation{"FileInPlaceOfAParent",
                        [](const QString& base) {
                            TestEnvironment::writeFile(base + QStringLiteral("/Videos"), "a file");
                            return base + QStringLiteral("/Videos/My Vault");
                        },
                        "could not be created"},
        RefusedLocation{"FileInPlaceOfNotes",
                        [](const QString& base) {
                            TestEnvironment::writeFile(base + QStringLiteral("/Old.flp/Notes"), "a file");
                            return base + QStringLiteral("/Old.flp");
                        },
                        "is not a folder"},
        RefusedLocation{"DanglingLink",
                        [](const QString& base) {
                            QFile::link(base + QStringLiteral("/nowhere"), base + QStringLiteral("/Link.flp"));
                            return base + QStringLiteral("/Link.flp");
                        },
                        "is not a folder"},
        RefusedLocation{"SettingsCannotBeWritten",
                        [](const QString& base) {
                            // A directory where the settings file must go: the catalogues are
                            // written, then the settings fail, and all of it is taken back.
                            QFile::remove(SettingsStore::filePath());
                            QDir().mkpath(SettingsStore::filePath());
                            return base + QStringLiteral("/New");
                        },
                        "could not be written"}),
    [](const ::testing::TestParamInfo<RefusedLocation>& info) { return std::string(info.param.name); });

TEST(VaultCreation, PasswordsThatCannotBeStoredAreRefusedBeforeTheDisk) {
    TestEnvironment env(false);
    const struct {
        QString password;
        PasswordRefusal refusal;
    } cases[] = {
        {QString(), PasswordRefusal::Empty},
        {QStringLiteral("line\nbreak"), PasswordRefusal::ControlCharacter},
        {QStringLiteral("tab\there"), PasswordRefusal::ControlCharacter},
        {QStringLiteral("cr\r"), PasswordRefusal::ControlCharacter},
        {QStringLiteral("del\x7f"), PasswordRefusal::ControlCharacter},
        {QString(QChar(0xD83D)) + QStringLiteral("half"), PasswordRefusal::NotStorable},
        {QString(QChar(0xFEFF)) + QStringLiteral("bom"), PasswordRefusal::NotStorable},
        {QString(kLongestPassword + 1, QLatin1Char('x')), PasswordRefusal::TooLong},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusalForNewPassword(c.password), c.refusal) << c.password.toStdString();
        const VaultCreation created = createVault({env.base() + QStringLiteral("/V"), c.password, {}, false});
        EXPECT_FALSE(created.ok);
        EXPECT_EQ(created.passwordRefusal, c.refusal);
        EXPECT_FALSE(created.message.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(env.base() + QStringLiteral("/V.flp")));
    EXPECT_FALSE(SettingsStore::contains(key(keys::FirstRun)));
}
