// Creating a vault: what is made on disk, with which modes, the settings committed all at
// once, and that a failure anywhere leaves neither a half vault nor "FirstRun" behind.
#include "access/vault_creation.h"

#include "core/catalogue.h"
#include "core/catalogue_format.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
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

// Files may grow no further than `bytes` while it lives: a full disk for every write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit tight = saved_;
        tight.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

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
    for (const auto& [file, kind, listKey] : {std::tuple{"/GroupDirlist.plist", catalogue::ListKind::Local, kLocalListKey},
                                              std::tuple{"/GroupNoteslist.plist", catalogue::ListKind::Notes, kNotesListKey}}) {
        const auto list = catalogue::readRowListFile(root + QLatin1String(file), {kind, QString::fromLatin1(listKey)});
        ASSERT_EQ(list.status, catalogue::FileRead::Status::Read) << file;
        EXPECT_EQ(list.rows->size(), 3) << file;
    }

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
    // Left by an earlier set-up that did not finish: without a hint or the box, both go.
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::kPASSWORDHINTCONTENT), QStringLiteral("old")},
                                          {key(keys::remmenberBtnState), 1}}));
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
enum class InTheWay { File, DanglingLink, FolderForTheSettings };

struct RefusedLocation {
    const char* name;
    InTheWay kind;
    const char* blocker;  // below the test's folder, as is the chosen path
    const char* chosen;
    const char* messageKeyText;
};

void PrintTo(const RefusedLocation& location, std::ostream* out) { *out << location.name; }

class VaultCreationRefuses : public ::testing::TestWithParam<RefusedLocation> {};

TEST_P(VaultCreationRefuses, LeavesNothingAndFirstRunUnset) {
    TestEnvironment env(false);
    ASSERT_TRUE(SettingsStore::setValue(key(keys::AppLanguage), 2));
    const RefusedLocation& c = GetParam();
    if (c.kind == InTheWay::FolderForTheSettings) {
        // The catalogues are written, then the settings fail, and all of it is taken back.
        ASSERT_TRUE(QFile::remove(SettingsStore::filePath()));
        ASSERT_TRUE(QDir().mkpath(SettingsStore::filePath()));
    } else if (c.kind == InTheWay::DanglingLink) {
        ASSERT_TRUE(QFile::link(env.base() + QStringLiteral("/nowhere"), env.base() + QLatin1String(c.blocker)));
    } else {
        ASSERT_TRUE(TestEnvironment::writeFile(env.base() + QLatin1String(c.blocker), "a file"));
    }
    const QStringList before = entriesOf(env.base());
    const QByteArray settingsBefore = settingsBytes();

    const VaultCreation created =
        createVault({env.base() + QLatin1String(c.chosen), QStringLiteral("pw"), QStringLiteral("hint"), true});
    EXPECT_FALSE(created.ok);
    EXPECT_TRUE(created.message.contains(QString::fromUtf8(c.messageKeyText))) << created.message.toStdString();
    EXPECT_EQ(entriesOf(env.base()), before);
    EXPECT_EQ(settingsBytes(), settingsBefore);
    EXPECT_FALSE(SettingsStore::boolValue(key(keys::FirstRun)));
    EXPECT_FALSE(SettingsStore::contains(key(keys::kSOUREPASSWORD)));
}

INSTANTIATE_TEST_SUITE_P(
    Locations, VaultCreationRefuses,
    ::testing::Values(
        RefusedLocation{"FileAtTheRoot", InTheWay::File, "/Box.flp", "/Box", "is not a folder"},
        RefusedLocation{"FileInPlaceOfAParent", InTheWay::File, "/Videos", "/Videos/My Vault", "could not be created"},
        RefusedLocation{"FileInPlaceOfNotes", InTheWay::File, "/Old.flp/Notes", "/Old.flp", "is not a folder"},
        RefusedLocation{"DanglingLink", InTheWay::DanglingLink, "/Link.flp", "/Link.flp", "is not a folder"},
        RefusedLocation{"SettingsCannotBeWritten", InTheWay::FolderForTheSettings, "", "/New", "could not be written"}),
    [](const ::testing::TestParamInfo<RefusedLocation>& info) { return std::string(info.param.name); });

TEST(VaultCreation, PasswordsThatCannotBeStoredAreRefusedBeforeTheDisk) {
    TestEnvironment env(false);
    const struct {
        QString password;
        PasswordRefusal refusal;
    } cases[] = {
        {QString(), PasswordRefusal::Empty},
        {QStringLiteral("line\nbreak"), PasswordRefusal::ControlCharacter},
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

// The settings that make a vault known are committed in one write: all of them or none, on
// disk and in this process's own view of the file.
TEST(SettingsCommit, AFailedWriteChangesNothingOnDiskOrInMemory) {
    TestEnvironment env(false);
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::kRootDirKey), QStringLiteral("/earlier/Vault.flp")},
                                          {key(keys::kPASSWORDHINTCONTENT), QStringLiteral("old hint")}}));
    const QByteArray before = settingsBytes();
    bool written = true;
    {
        const FileSizeLimit full(static_cast<rlim_t>(before.size()));
        written = SettingsStore::setValues({{key(keys::kRootDirKey), QStringLiteral("/new/Vault.flp")},
                                            {key(keys::FirstRun), true},
                                            {key(keys::kSOUREPASSWORD), QStringLiteral("a password long enough")}});
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(settingsBytes(), before);
    EXPECT_FALSE(SettingsStore::boolValue(key(keys::FirstRun)));
    EXPECT_FALSE(SettingsStore::contains(key(keys::kSOUREPASSWORD)));
    EXPECT_EQ(SettingsStore::stringValue(key(keys::kRootDirKey)), QStringLiteral("/earlier/Vault.flp"));
    // The next write does not carry the failed keys along, and an invalid value removes its key.
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::AppLanguage), 1}, {key(keys::kPASSWORDHINTCONTENT), QVariant()}}));
    EXPECT_EQ(settingsBytes(), QByteArray("[General]\nAppLanguage=1\nkRootDirKey=/earlier/Vault.flp\n"));
}
