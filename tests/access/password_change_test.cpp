// Checking and changing the vault's or a drive vault's password: each refusal leaves
// everything as it was, a failed write leaves the old password working, and what was hidden
// under an old password comes back byte for byte after the change.
#include "access/login_attempts.h"
#include "access/password_change.h"
#include "access/password_rules.h"

#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "crypto/engine_test_support.h"
#include "crypto/item_hiding.h"
#include "support/test_environment.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

using namespace tessaro;
using namespace tessaro::access;
using tessaro::testing::TestEnvironment;
namespace tt = tessaro::testing;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }
QString stored() { return SettingsStore::stringValue(key(keys::kSOUREPASSWORD)); }
// An independent digest, not the one under test.
QByteArray upperMd5(const QString& text) {
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper();
}

const QString kOld = QString::fromLatin1(TestEnvironment::kPassword);

struct RefusalCase {
    const char* name;
    QString oldPassword;
    QString newPassword;
    QString confirmation;
    QString hint;
    PasswordChangeRefusal refusal;
};

const QString kGood = QStringLiteral("Tr0ub4dor&3 horses");
const RefusalCase kRefusals[] = {
    {"wrong old password", QStringLiteral("incorrect horse"), kGood, kGood, QStringLiteral("h"),
     PasswordChangeRefusal::WrongOldPassword},
    // Letter case and the rest of the comparison: the login's, below.
    // The old password is checked first: a wrong one is named even when all else is wrong too.
    {"wrong old and empty new", QStringLiteral("x"), QString(), QString(), QString(),
     PasswordChangeRefusal::WrongOldPassword},
    {"empty new password", kOld, QString(), QString(), QStringLiteral("h"), PasswordChangeRefusal::EmptyNewPassword},
    // Which new passwords cannot be stored is the creation check's, tested there.
    {"new password with a line break", kOld, QStringLiteral("two\nlines"), QStringLiteral("two\nlines"),
     QStringLiteral("h"), PasswordChangeRefusal::UnusableNewPassword},
    {"confirmation differs", kOld, kGood, kGood + QLatin1Char(' '), QStringLiteral("h"),
     PasswordChangeRefusal::ConfirmationDiffers},
    {"empty hint", kOld, kGood, kGood, QString(), PasswordChangeRefusal::EmptyHint},
};

class VaultPasswordRefusal : public ::testing::TestWithParam<RefusalCase> {};

}  // namespace

TEST_P(VaultPasswordRefusal, LeavesPasswordAndHintAsTheyWere) {
    TestEnvironment env;
    ASSERT_TRUE(SettingsStore::setValue(key(keys::kPASSWORDHINTCONTENT), QStringLiteral("old hint")));
    const QByteArray before = TestEnvironment::readFile(SettingsStore::filePath());
    const RefusalCase& c = GetParam();
    const PasswordChangeResult result = changeVaultPassword({c.oldPassword, c.newPassword, c.confirmation, c.hint});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.check.refusal, c.refusal);
    EXPECT_EQ(result.check.unusable != PasswordRefusal::None,
              c.refusal == PasswordChangeRefusal::UnusableNewPassword);
    EXPECT_EQ(TestEnvironment::readFile(SettingsStore::filePath()), before);
}

INSTANTIATE_TEST_SUITE_P(EachCheck, VaultPasswordRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return tt::readableName(QString::fromLatin1(info.param.name)); });

// Copies hidden under one password are restored after the change, whatever the two lengths:
// the stamp of 59 characters up to 30, longer beyond, up to the longest password there is.
struct StampCase {
    const char* name;
    QString before;
    QString after;
};
class HiddenBeforeTheChange : public ::testing::TestWithParam<StampCase> {};

TEST_P(HiddenBeforeTheChange, UnhidesByteForByte) {
    TestEnvironment env;
    const StampCase& c = GetParam();
    ASSERT_TRUE(SettingsStore::setValue(key(keys::kSOUREPASSWORD), c.before));
    const QString plain = env.base() + QStringLiteral("/plain");
    const tt::Tree files{{QStringLiteral("/notes.txt"), tt::patternBytes(70'001, 3)},
                              {QStringLiteral("/photo.jpg"), tt::patternBytes(4'099, 4)},
                              {QStringLiteral("/empty.md"), QByteArray()}};
    QList<std::pair<FileModelPtr, walk::ItemPaths>> hidden;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = plain + it.key();
        ASSERT_TRUE(TestEnvironment::writeFile(path, it.value()));
        QDir().mkpath(env.vaultRoot() + QStringLiteral("/box") + it.key());
        hidden.append({tt::newRecord(path), tt::pathsFor(path, env.vaultRoot() + QStringLiteral("/box") + it.key())});
        ASSERT_TRUE(hideItem(hidden.last().first, hidden.last().second).hiddenAndGone()) << qPrintable(it.key());
    }
    ASSERT_TRUE(changeVaultPassword({c.before, c.after, c.after, QStringLiteral("hint")}).ok);
    for (const auto& [record, paths] : hidden) {
        const ItemResult back = unhideItem(record, paths);
        EXPECT_TRUE(back.complete) << qPrintable(record->path) << qPrintable(back.problems.join(QLatin1Char('\n')));
    }
    EXPECT_EQ(tt::readTree(plain), files);
}

namespace {
const StampCase kStampCases[] = {
    {"short to short", QStringLiteral("old one"), QStringLiteral("new one")},
    {"thirty to thirty one", QStringLiteral("a").repeated(30), QStringLiteral("b").repeated(31)},
    {"thirty one to thirty", QStringLiteral("b").repeated(31), QStringLiteral("a").repeated(30)},
    {"longest ascii to short", QStringLiteral("k").repeated(1000), QStringLiteral("x1")},
    {"short to longest", QStringLiteral("x1"), QStringLiteral("z").repeated(1000)},
    {"wide characters both ways", QStringLiteral("密码").repeated(40), QStringLiteral("\U0001F511").repeated(1000)},
    {"longest four byte characters to ascii", QStringLiteral("\U0001F511").repeated(1000), QStringLiteral("plain")},
};
}  // namespace

INSTANTIATE_TEST_SUITE_P(PasswordLengths, HiddenBeforeTheChange, ::testing::ValuesIn(kStampCases),
                         [](const auto& info) { return tt::readableName(QString::fromLatin1(info.param.name)); });

// A drive vault: its list file on a mounted volume, loaded into a catalogue as the window
// holds it.
class DrivePasswordChange : public ::testing::Test {
protected:
    TestEnvironment env;
    const QString volume = QStringLiteral("USB STICK");
    const QString vaultKey = QStringLiteral("USB STICK/Travel.flp");
    Catalogue catalogue;
    QString listFile;

    void SetUp() override {
        env.mountVolume(volume);
        catalogue.UPLibrary[vaultKey] =
            Catalogue::defaultRemovableList(volume, vaultKey, QDateTime::currentSecsSinceEpoch());
        ASSERT_TRUE(catalogue.saveUpListForName(vaultKey, std::nullopt));
        listFile = Volumes::pathFor(vaultKey) + QStringLiteral("/GroupMoveUPlist.plist");
        // A new drive vault has its digest on the header row only.
        ASSERT_EQ(TestEnvironment::readFile(listFile).count(upperMd5(kOld)), 1);
    }
    QByteArray fileBytes() const { return TestEnvironment::readFile(listFile); }
};

TEST_F(DrivePasswordChange, EveryRowOnDiskAndInMemoryTakesTheNewDigest) {
    const QString fresh = QStringLiteral("drive secret 2");
    const PasswordChangeResult result = changeDrivePassword(catalogue, vaultKey, {kOld, fresh, fresh, QStringLiteral("h")});
    ASSERT_TRUE(result.ok) << qPrintable(result.message);
    EXPECT_EQ(stored(), kOld);  // the vault's own password is another one
    EXPECT_EQ(fileBytes().count(upperMd5(fresh)), 3);
    // A later save from memory keeps the new digest on every row: the rows were refreshed too.
    catalogue.selectGroupName = vaultKey;
    ASSERT_TRUE(catalogue.SaveGroupList(1));
    EXPECT_EQ(fileBytes().count(upperMd5(fresh)), 3);
    EXPECT_FALSE(fileBytes().contains(upperMd5(kOld)));
    // Opened afresh, as at the next mount, the vault checks against the new digest.
    Catalogue reopened;
    reopened.moveUpList(volume, vaultKey);
    EXPECT_EQ(driveVaultDigest(reopened, vaultKey)->toLatin1(), upperMd5(fresh));
}

TEST_F(DrivePasswordChange, RefusalsAndFailedWritesLeaveFileAndRowsAsTheyWere) {
    const QByteArray before = fileBytes();
    const auto unchanged = [&](const char* what) {
        EXPECT_EQ(fileBytes(), before) << what;
        EXPECT_EQ(driveVaultDigest(catalogue, vaultKey)->toLatin1(), upperMd5(kOld)) << what;
    };
    EXPECT_EQ(changeDrivePassword(catalogue, vaultKey, {QStringLiteral("wrong"), kGood, kGood, QStringLiteral("h")})
                  .check.refusal,
              PasswordChangeRefusal::WrongOldPassword);
    unchanged("wrong old password");
    const PasswordChangeResult missing =
        changeDrivePassword(catalogue, QStringLiteral("USB STICK/Other.flp"), {kOld, kGood, kGood, QStringLiteral("h")});
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.message.contains(QStringLiteral("Other.flp")));
    {
        const tt::UnremovableEntries locked(QFileInfo(listFile).absolutePath());
        if (!locked.ok()) {
            GTEST_SKIP() << "this file system cannot make a folder immutable";
        }
        const PasswordChangeResult result =
            changeDrivePassword(catalogue, vaultKey, {kOld, kGood, kGood, QStringLiteral("h")});
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.message.isEmpty());
    }
    unchanged("write failed");
    // A drive pulled meanwhile: nothing is written under the empty mount point.
    QDir(Volumes::pathFor(volume)).removeRecursively();
    EXPECT_FALSE(changeDrivePassword(catalogue, vaultKey, {kOld, kGood, kGood, QStringLiteral("h")}).ok);
    EXPECT_FALSE(QFileInfo::exists(Volumes::pathFor(volume)));
    EXPECT_EQ(driveVaultDigest(catalogue, vaultKey)->toLatin1(), upperMd5(kOld));
}

// The login screen's comparison against what the settings hold, read as stored. The count and
// the hint thresholds are driven through the real screen in the widget tests.
TEST(PasswordMatch, ExactCaseSensitiveAndNeverAbsent) {
    TestEnvironment env(false);
    EXPECT_FALSE(storedHint().has_value());
    EXPECT_FALSE(passwordMatches(storedPassword(), QString()));
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::kSOUREPASSWORD), QStringLiteral(" pw ")},
                                          {key(keys::kPASSWORDHINTCONTENT), QStringLiteral("h")}}));
    EXPECT_TRUE(passwordMatches(storedPassword(), QStringLiteral(" pw ")));
    EXPECT_FALSE(passwordMatches(storedPassword(), QStringLiteral("pw")));
    EXPECT_EQ(storedHint(), QStringLiteral("h"));
    EXPECT_TRUE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("correct horse")));
    EXPECT_FALSE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("Correct horse")));
    EXPECT_FALSE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("correct")));
    EXPECT_TRUE(passwordMatches(QStringLiteral("密码🔐"), QStringLiteral("密码🔐")));
    EXPECT_FALSE(passwordMatches(std::nullopt, QStringLiteral("anything")));
    EXPECT_FALSE(passwordMatches(QString(), QString()));
    // Two different half surrogates give the same UTF-8 replacement bytes; still different.
    EXPECT_FALSE(passwordMatches(QString(QChar(0xD800)), QString(QChar(0xD801))));
}
