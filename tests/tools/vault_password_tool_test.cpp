// `tessaro-vault passwd` and `tessaro-vault settings` run as a user would run them: the real
// binary, passwords on standard input, on a test environment's settings and volumes.
#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "tools/tool_vault.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <gtest/gtest.h>

using namespace tessaro;
namespace tt = tessaro::testing;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }
QString stored(const char* k) { return SettingsStore::stringValue(key(k)); }
const QByteArray kOld = tt::TestEnvironment::kPassword;

struct PasswdCase {
    const char* name;
    QStringList arguments;  // after "passwd"
    QByteArray input;
    int status;
    QString passwordAfter;  // empty: the old one stays
    QString hintAfter;
};

const PasswdCase kPasswdCases[] = {
    {"keeps the hint in force", {}, kOld + "\nfresh Pass 42\n", 0, QStringLiteral("fresh Pass 42"), QStringLiteral("old hint")},
    {"takes a new hint", {QStringLiteral("--hint"), QStringLiteral("the dog")}, kOld + "\nfresh Pass 42\n", 0,
     QStringLiteral("fresh Pass 42"), QStringLiteral("the dog")},
    {"crlf line ends", {}, kOld + "\r\nfresh Pass 42\r\n", 0, QStringLiteral("fresh Pass 42"), QStringLiteral("old hint")},
    {"wrong current password", {}, "incorrect\nfresh Pass 42\n", 1, {}, QStringLiteral("old hint")},
    {"no new password", {}, kOld + "\n", 2, {}, QStringLiteral("old hint")},
    {"new password not utf8", {}, kOld + "\nbad \xff byte\n", 2, {}, QStringLiteral("old hint")},
    {"empty hint given", {QStringLiteral("--hint"), QString()}, kOld + "\nfresh Pass 42\n", 2, {}, QStringLiteral("old hint")},
    {"unknown argument", {QStringLiteral("--force")}, kOld + "\nfresh Pass 42\n", 2, {}, QStringLiteral("old hint")},
};

class PasswdRun : public ::testing::TestWithParam<PasswdCase> {};

}  // namespace

TEST_P(PasswdRun, ChangesOnlyWhenEveryCheckPasses) {
    tt::ToolVault v;
    ASSERT_TRUE(SettingsStore::setValue(key(keys::kPASSWORDHINTCONTENT), QStringLiteral("old hint")));
    const PasswdCase& c = GetParam();
    const tt::ToolRun run = tt::runVaultTool(v.env, QStringList{QStringLiteral("passwd")} + c.arguments, c.input);
    EXPECT_EQ(run.status, c.status) << tt::text(run);
    EXPECT_EQ(stored(keys::kSOUREPASSWORD), c.passwordAfter.isEmpty() ? QString::fromLatin1(kOld) : c.passwordAfter);
    EXPECT_EQ(stored(keys::kPASSWORDHINTCONTENT), c.hintAfter);
    EXPECT_EQ(run.status == 0, !run.err.contains("tessaro-vault:")) << tt::text(run);
}

INSTANTIATE_TEST_SUITE_P(Input, PasswdRun, ::testing::ValuesIn(kPasswdCases),
                         [](const auto& info) { return tt::readableName(QString::fromLatin1(info.param.name)); });

TEST(PasswdTool, DriveVaultGetsTheNewDigestOnEveryRow) {
    tt::ToolVault v;
    const QString vaultKey = QStringLiteral("USB STICK/Travel.flp");
    v.env.mountVolume(QStringLiteral("USB STICK"));
    {
        Catalogue catalogue;
        catalogue.UPLibrary[vaultKey] = Catalogue::defaultRemovableList(QStringLiteral("USB STICK"), vaultKey,
                                                                        QDateTime::currentSecsSinceEpoch());
        ASSERT_TRUE(catalogue.saveUpListForName(vaultKey, std::nullopt));
    }
    const QString list = Volumes::pathFor(vaultKey) + QStringLiteral("/GroupMoveUPlist.plist");
    const auto digest = [](const QByteArray& password) {
        return QCryptographicHash::hash(password, QCryptographicHash::Md5).toHex().toUpper();
    };
    for (const QString& hostile : {QStringLiteral("../x.flp"), QStringLiteral("USB STICK/../../etc.flp"),
                                   QStringLiteral("USB STICK/Travel"), QStringLiteral("/abs/Travel.flp")}) {
        const tt::ToolRun refused =
            tt::runVaultTool(v.env, {QStringLiteral("passwd"), QStringLiteral("--drive"), hostile}, kOld + "\nnew\n");
        EXPECT_EQ(refused.status, 2) << qPrintable(hostile) << tt::text(refused);
    }
    const tt::ToolRun run =
        tt::runVaultTool(v.env, {QStringLiteral("passwd"), QStringLiteral("--drive"), vaultKey}, kOld + "\ndrive pass 7\n");
    ASSERT_EQ(run.status, 0) << tt::text(run);
    // Every row, and that only the drive's password changed, are the library's to check.
    EXPECT_EQ(tt::TestEnvironment::readFile(list).count(digest("drive pass 7")), 3);
}

TEST(SettingsTool, PrintsEverySettingAndNeverThePasswordOrHint) {
    tt::ToolVault v;
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::kPASSWORDHINTCONTENT), QStringLiteral("my cat's name")},
                                          {key(keys::kTESSAROWHENIDLE), 3},
                                          {key(keys::KUPNAMES), QStringList{QStringLiteral("A/x.flp"), QStringLiteral("B/y.flp")}},
                                          {QStringLiteral("someFutureKey"), QStringLiteral("two\nlines")}}));
    const tt::ToolRun run = tt::runVaultTool(v.env, {QStringLiteral("settings")});
    ASSERT_EQ(run.status, 0) << tt::text(run);
    const QString out = QString::fromUtf8(run.out);
    for (const QString& line :
         {QStringLiteral("kRootDirKey = %1").arg(v.env.vaultRoot()), QStringLiteral("kSOUREPASSWORD = (set, not shown)"),
          QStringLiteral("kPASSWORDHINTCONTENT = (set, not shown)"), QStringLiteral("remmenberBtn.state = (not set)"),
          QStringLiteral("kTESSAROWHENIDLE = 3"), QStringLiteral("KUPNAMES = A/x.flp, B/y.flp"),
          QStringLiteral("kBackUptessaro = (not set)"), QStringLiteral("someFutureKey = two\\x0alines")}) {
        EXPECT_TRUE(out.split(QLatin1Char('\n')).contains(line)) << qPrintable(line) << "\n" << qPrintable(out);
    }
    EXPECT_FALSE(run.out.contains(tt::TestEnvironment::kPassword));
    EXPECT_FALSE(run.out.contains("my cat"));
}
