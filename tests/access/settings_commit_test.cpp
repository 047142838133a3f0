// The settings that make a vault known are committed in one write: all of them or none, on
// disk and in this process's own view of the file.
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace tessaro;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

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

TEST(SettingsCommit, AFailedWriteChangesNothingOnDiskOrInMemory) {
    TestEnvironment env(false);
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::kRootDirKey), QStringLiteral("/earlier/Vault.flp")},
                                          {key(keys::kPASSWORDHINTCONTENT), QStringLiteral("old hint")}}));
    const QByteArray before = TestEnvironment::readFile(SettingsStore::filePath());
    bool written = true;
    {
        const FileSizeLimit full(static_cast<rlim_t>(before.size()));
        written = SettingsStore::setValues({{key(keys::kRootDirKey), QStringLiteral("/new/Vault.flp")},
                                            {key(keys::FirstRun), true},
                                            {key(keys::kSOUREPASSWORD), QStringLiteral("a password long enough")}});
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(TestEnvironment::readFile(SettingsStore::filePath()), before);
    EXPECT_FALSE(SettingsStore::boolValue(key(keys::FirstRun)));
    EXPECT_FALSE(SettingsStore::contains(key(keys::kSOUREPASSWORD)));
    EXPECT_EQ(SettingsStore::stringValue(key(keys::kRootDirKey)), QStringLiteral("/earlier/Vault.flp"));
    // The next write does not carry the failed keys along, and an invalid value removes its key.
    ASSERT_TRUE(SettingsStore::setValues({{key(keys::AppLanguage), 1}, {key(keys::kPASSWORDHINTCONTENT), QVariant()}}));
    EXPECT_EQ(TestEnvironment::readFile(SettingsStore::filePath()),
              QByteArray("[General]\nAppLanguage=1\nkRootDirKey=/earlier/Vault.flp\n"));
}
