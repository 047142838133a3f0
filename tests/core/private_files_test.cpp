// The catalogue names every hidden item and the settings hold the password: whatever the
// umask and whatever folder they land in, nobody but their owner may read them.
#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"

#include "support/test_environment.h"

#include <QDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

class PrivateFiles : public ::testing::TestWithParam<mode_t> {
protected:
    ~PrivateFiles() override { ::umask(previous_); }
    // Set before the environment writes its settings.
    const mode_t previous_ = ::umask(GetParam());
    TestEnvironment env;
};

TEST_P(PrivateFiles, SettingsFolderAndFileAreOwnerOnly) {
    EXPECT_EQ(TestEnvironment::modeOf(QFileInfo(env.settingsFile()).path()), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(env.settingsFile()), 0600);

    // A folder an earlier version left open is closed at the next write.
    const QString folder = env.base() + QStringLiteral("/open/Tessaro");
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0777);
    SettingsStore::useFile(folder + QStringLiteral("/Tessaro.conf"));
    ASSERT_TRUE(SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("pw")));
    EXPECT_EQ(TestEnvironment::modeOf(folder), 0700);
    EXPECT_EQ(TestEnvironment::modeOf(folder + QStringLiteral("/Tessaro.conf")), 0600);
}

TEST_P(PrivateFiles, CatalogueFilesAreOwnerOnlyInAFolderOpenToAll) {
    const QString local = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QString notes = env.vaultRoot() + QStringLiteral("/GroupNoteslist.plist");
    ::chmod(QFile::encodeName(env.vaultRoot()).constData(), 0755);
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    EXPECT_EQ(TestEnvironment::modeOf(local), 0600);
    EXPECT_EQ(TestEnvironment::modeOf(notes), 0600);

    // One an earlier version wrote readable to all is closed at the next save.
    ::chmod(QFile::encodeName(local).constData(), 0644);
    ASSERT_TRUE(catalogue.SaveGroupList(0));
    EXPECT_EQ(TestEnvironment::modeOf(local), 0600);

    // A drive's catalogue stays executable, as drives always had it, and readable by its
    // owner only.
    env.mountVolume(QStringLiteral("Stick"));
    catalogue.moveUpList(QStringLiteral("Stick"), QStringLiteral("Stick/Box.flp"));
    const int drive = TestEnvironment::modeOf(env.volumesRoot() + QStringLiteral("/Stick/Box.flp/GroupMoveUPlist.plist"));
    EXPECT_EQ(drive & 0666, 0600) << std::oct << drive;
}

INSTANTIATE_TEST_SUITE_P(Umask, PrivateFiles, ::testing::Values(mode_t{000}, mode_t{022}),
                         [](const ::testing::TestParamInfo<mode_t>& info) {
                             return info.param == 0 ? std::string("Umask000") : std::string("Umask022");
                         });

}  // namespace
}  // namespace tessaro
