// The login screen's rules without the screen: the count, the hint thresholds and the
// comparison.
#include "access/login_attempts.h"
#include "access/password_rules.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

using namespace tessaro;
using namespace tessaro::access;
using tessaro::testing::TestEnvironment;

TEST(LoginAttempts, HintFromTheFourthWrongEntryAndCountResetOnSuccess) {
    LoginAttempts attempts;
    const std::optional<QString> stored = QStringLiteral("Secret");
    for (qint64 n = 1; n <= 7; ++n) {
        const LoginAttempts::Result r = attempts.enter(stored, QStringLiteral("secret"));
        EXPECT_FALSE(r.matched);
        EXPECT_EQ(attempts.errorCount(), n);
        EXPECT_EQ(r.showHint, n >= 4) << n;
    }
    EXPECT_TRUE(attempts.enter(stored, QStringLiteral("Secret")).matched);
    EXPECT_EQ(attempts.errorCount(), 0);
}

TEST(LoginAttempts, PopoverShowsTheHintThenTheFixedMessage) {
    TestEnvironment env;
    for (qint64 n : {0, 4, 5}) {
        const HintPopoverContent c = hintPopoverContent(n, QStringLiteral("our cat"));
        EXPECT_EQ(c.title, QStringLiteral("Password hint"));
        EXPECT_EQ(c.text, QStringLiteral("our cat"));
        EXPECT_EQ(c.size, QSize(300, 79));
    }
    EXPECT_EQ(hintPopoverContent(4, std::nullopt).text, QString());
    for (qint64 n : {6, 7, 100}) {
        const HintPopoverContent c = hintPopoverContent(n, QStringLiteral("our cat"));
        EXPECT_EQ(c.title, QStringLiteral("Still locked out?"));
        EXPECT_FALSE(c.text.contains(QStringLiteral("our cat")));
        EXPECT_TRUE(c.text.contains(QStringLiteral("Caps Lock")));
        EXPECT_EQ(c.size, QSize(300, 118));
    }
}

TEST(LoginAttempts, StoredPasswordAndHintAreReadAsStored) {
    TestEnvironment env(false);
    EXPECT_FALSE(storedPassword().has_value());
    EXPECT_FALSE(storedHint().has_value());
    ASSERT_TRUE(SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral(" pw ")));
    ASSERT_TRUE(SettingsStore::setValue(QString::fromLatin1(keys::kPASSWORDHINTCONTENT), QStringLiteral("h")));
    EXPECT_EQ(storedPassword(), QStringLiteral(" pw "));
    EXPECT_EQ(storedHint(), QStringLiteral("h"));
}

TEST(PasswordMatch, ExactCaseSensitiveAndNeverAbsent) {
    EXPECT_TRUE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("correct horse")));
    EXPECT_FALSE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("Correct horse")));
    EXPECT_FALSE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("correct horse ")));
    EXPECT_FALSE(passwordMatches(QStringLiteral("correct horse"), QStringLiteral("correct")));
    EXPECT_TRUE(passwordMatches(QStringLiteral("密码🔐"), QStringLiteral("密码🔐")));
    EXPECT_FALSE(passwordMatches(std::nullopt, QString()));
    EXPECT_FALSE(passwordMatches(std::nullopt, QStringLiteral("anything")));
    EXPECT_FALSE(passwordMatches(QString(), QString()));
    // Two different half surrogates give the same UTF-8 replacement bytes; still different.
    EXPECT_FALSE(passwordMatches(QString(QChar(0xD800)), QString(QChar(0xD801))));
}
