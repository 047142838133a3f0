// The login screen's comparison and what it reads from the settings. The count and the
// hint thresholds are driven through the real screen in the widget tests.
#include "access/login_attempts.h"
#include "access/password_rules.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

using namespace tessaro;
using namespace tessaro::access;
using tessaro::testing::TestEnvironment;

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
