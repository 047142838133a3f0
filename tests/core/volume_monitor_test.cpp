// The removable volumes: the mount table, the "/Volumes" names of the catalogue format, the
// monitor that reports drives coming and going, and the permissions of a volume's top.
#include "core/catalogue.h"
#include "core/catalogue_format.h"
#include "core/volume_monitor.h"
#include "core/volumes.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

TEST(Volumes, EveryRemovableVolumeUnderEitherRootIsFoundByItsName) {
    const QString mountinfo = QStringLiteral(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /run/media/anna/USB rw,nosuid shared:20 - vfat /dev/sdb1 rw\n"
        "41 22 8:33 / /media/anna/My\\040Drive rw shared:21 - exfat /dev/sdc1 rw\n"
        "42 22 8:49 / /media/anna/USB rw shared:22 - vfat /dev/sdd1 rw\n"
        "43 22 8:65 / /run/media/anna/USB rw shared:23 - vfat /dev/sde1 rw\n"
        "44 22 8:81 / /run/media/anna rw shared:24 - tmpfs tmpfs rw\n"
        "45 22 8:97 / /media/anna/My\\040Drive/inner rw shared:25 - vfat /dev/sdg1 rw\n"
        "46 22 8:113 / /media/annabel/Other rw shared:26 - vfat /dev/sdh1 rw\n"
        "garbage line\n"
        "47 22 8:129 / /media/anna/\\344\\270\\255 rw shared:27 - vfat /dev/sdi1 rw\n");
    const QList<MountedVolume> volumes =
        Volumes::mountedVolumes(mountinfo, {QStringLiteral("/run/media/anna"), QStringLiteral("/media/anna")});
    // A mount stacked on the same point counts once; of two volumes of one name, the first;
    // mounts inside a volume, the root itself and another user's are no volumes.
    const QList<MountedVolume> expected{{QStringLiteral("USB"), QStringLiteral("/run/media/anna/USB")},
                                        {QStringLiteral("My Drive"), QStringLiteral("/media/anna/My Drive")},
                                        {QStringLiteral("中"), QStringLiteral("/media/anna/中")}};
    EXPECT_EQ(volumes, expected);
}

TEST(Volumes, FormatPathsNameTheVolumeUnderSlashVolumes) {
    TestEnvironment env;
    const QString root = env.volumesRoot();
    const struct {
        QString format;
        QString real;
        QString volume;
    } cases[] = {
        {"/Volumes/USB Stick/Box.flp/a b.txt", root + "/USB Stick/Box.flp/a b.txt", "USB Stick"},
        {"/Volumes/中文/x", root + "/中文/x", "中文"},
        {"/Volumes/USB", root + "/USB", "USB"},
        {"/home/u/file", "/home/u/file", ""},
        {env.vaultRoot() + "/a.txt", env.vaultRoot() + "/a.txt", ""},
        // Neither a volume nor a path under "/Volumes": left as they are.
        {"/Volumes/", "/Volumes/", ""}, {"/Volumesque/x", "/Volumesque/x", ""}, {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Volumes::fromFormatPath(c.format), c.real) << c.format.toStdString();
        EXPECT_EQ(Volumes::toFormatPath(c.real), c.format) << c.real.toStdString();
        EXPECT_EQ(Volumes::volumeNameOf(c.real), c.volume) << c.real.toStdString();
        EXPECT_EQ(Volumes::isOnVolume(c.real), !c.volume.isEmpty()) << c.real.toStdString();
    }
    EXPECT_EQ(Volumes::pathFor(QStringLiteral("/USB Stick/Box.flp")), root + QStringLiteral("/USB Stick/Box.flp"));
}

// A drive's catalogue names the drive under "/Volumes"; the local vault's keeps a path on a
// drive as it is.
TEST(Volumes, TheLocalCatalogueKeepsAPathOnADriveAsItIs) {
    TestEnvironment env;
    const QString onDrive = env.volumesRoot() + QStringLiteral("/USB/Photos/a.txt");
    auto item = std::make_shared<FileModel>();
    item->path = onDrive;
    RowList rows = Catalogue::defaultRemovableList(QStringLiteral("USB"), QStringLiteral("USB/Box.flp"), 1);
    rows[1]->fileModels->append(item);
    const auto bytes = catalogue::serializeRows(rows, catalogue::ListKind::Local, std::nullopt).bytes;
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->contains("<string>" + onDrive.toUtf8() + "</string>")) << bytes->toStdString();
}

TEST(VolumeMonitor, ReportsWhatWentThenWhatCame) {
    FakeVolumeMonitor monitor;
    QStringList events;
    QObject::connect(&monitor, &VolumeMonitor::volumeMounted,
                     [&](const MountedVolume& v) { events.append(QStringLiteral("+") + v.name + '@' + v.mountPoint); });
    QObject::connect(&monitor, &VolumeMonitor::volumeUnmounted,
                     [&](const MountedVolume& v) { events.append(QStringLiteral("-") + v.name + '@' + v.mountPoint); });
    monitor.mount(QStringLiteral("USB"), QStringLiteral("/m/USB"));
    monitor.mount(QStringLiteral("Card"), QStringLiteral("/m/Card"));
    monitor.mount(QStringLiteral("USB"), QStringLiteral("/m/USB"));  // nothing changed
    monitor.mount(QStringLiteral("USB"), QStringLiteral("/other/USB"));
    monitor.unmount(QStringLiteral("Card"));
    monitor.unmount(QStringLiteral("Card"));
    EXPECT_EQ(events.join(QLatin1Char(' ')).toStdString(),
              "+USB@/m/USB +Card@/m/Card -USB@/m/USB +USB@/other/USB -Card@/m/Card");
    EXPECT_EQ(monitor.mountedVolumes(), (QList<MountedVolume>{{QStringLiteral("USB"), QStringLiteral("/other/USB")}}));
}

TEST(Volumes, OnlyAnOwnRealDirectoryIsMadeTraversable) {
    TestEnvironment env;
    enum class Kind { Directory, LinkToDirectory, File, Nothing, TheirDirectory };
    const struct {
        const char* name;
        Kind kind;
        int modeBefore;
        bool changed;
        int modeAfter;  // of the directory or file itself, a link's target included
    } cases[] = {
        {"own directory, readable by all", Kind::Directory, 0644, true, 0755},
        {"own directory, owner only", Kind::Directory, 0600, true, 0700},
        {"a link to a directory", Kind::LinkToDirectory, 0600, false, 0600},
        {"a file", Kind::File, 0644, false, 0644},
        {"nothing there", Kind::Nothing, 0, false, -1},
        {"another user's directory", Kind::TheirDirectory, 0600, false, 0600},
    };
    for (const auto& c : cases) {
        // Only root can give a directory to another user.
        if (c.kind == Kind::TheirDirectory && ::geteuid() != 0) {
            continue;
        }
        const QString target = env.base() + QLatin1Char('/') + QString::fromLatin1(c.name);
        const QString path = c.kind == Kind::LinkToDirectory ? target + QStringLiteral(" (link)") : target;
        if (c.kind != Kind::Nothing) {
            ASSERT_TRUE(c.kind == Kind::File ? TestEnvironment::writeFile(target, "x") : QDir().mkpath(target));
            ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), static_cast<mode_t>(c.modeBefore)), 0);
        }
        if (c.kind == Kind::TheirDirectory) {
            ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
        }
        if (c.kind == Kind::LinkToDirectory) {
            ASSERT_TRUE(QFile::link(target, path));
        }
        EXPECT_EQ(Volumes::makeTopDirectoryExecutable(path), c.changed) << c.name;
        EXPECT_EQ(TestEnvironment::modeOf(target), c.modeAfter) << c.name;
    }
}

// Waits (within a generous bound, so that a lost notification fails rather than hangs) for
// the monitor to report one volume.
bool waitForReport(VolumeMonitor& monitor, bool mounted, const MountedVolume& expected) {
    QEventLoop loop;
    bool seen = false;
    // Connected for the life of the loop only.
    QObject::connect(&monitor, mounted ? &VolumeMonitor::volumeMounted : &VolumeMonitor::volumeUnmounted, &loop,
                     [&](const MountedVolume& v) {
                         seen = v == expected;
                         loop.quit();
                     });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return seen;
}

constexpr int kCannotMount = 77;
// A child that hangs (a lost notification, a deadlock) is ended rather than the whole run.
constexpr unsigned kChildSeconds = 60;

// The system's own roots, made afresh on tmpfs in a child with a mount namespace of its own:
// nothing is mounted for anyone else or left mounted whatever happens, and nothing is written
// to the real /run or /media. A drive that comes later under the other root is found by its
// name, and its going is seen.
TEST(VolumeMonitor, TheRealMonitorSeesADriveComeUnderTheOtherRootAndGo) {
    const int status = testing::runChild([] {
        ::alarm(kChildSeconds);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tessaro-test", "/run", "tmpfs", 0, "size=64k") != 0 ||
            ::mount("tessaro-test", "/media", "tmpfs", 0, "size=64k") != 0) {
            return kCannotMount;
        }
        Volumes::setRoot(QString());
        Volumes::refresh();
        const QStringList roots = Volumes::candidateRoots();  // /run/media/<user>, /media/<user>
        auto mountAt = [](const QString& point) {
            return QDir().mkpath(point) &&
                   ::mount("tessaro-test", QFile::encodeName(point).constData(), "tmpfs", 0, "size=64k") == 0;
        };
        const MountedVolume first{QStringLiteral("First"), roots.value(0) + QStringLiteral("/First")};
        if (roots.size() != 2 || !mountAt(first.mountPoint)) {
            return 3;
        }
        LinuxVolumeMonitor monitor;
        if (!monitor.watching() || Volumes::root() != roots[0]) {
            return 4;
        }
        const MountedVolume later{QStringLiteral("Later"), roots[1] + QStringLiteral("/Later")};
        if (!mountAt(later.mountPoint) || !waitForReport(monitor, true, later) ||
            monitor.mountedVolumes() != QList<MountedVolume>{first, later}) {
            return 5;
        }
        const QString item = later.mountPoint + QStringLiteral("/Box.flp/a.txt");
        const bool mapped = Volumes::pathFor(QStringLiteral("Later/Box.flp")) == later.mountPoint + "/Box.flp" &&
                            Volumes::isOnVolume(item) && Volumes::volumeNameOf(item) == later.name &&
                            Volumes::toFormatPath(item) == QStringLiteral("/Volumes/Later/Box.flp/a.txt") &&
                            Volumes::fromFormatPath(QStringLiteral("/Volumes/Later/Box.flp/a.txt")) == item &&
                            Volumes::pathFor(QStringLiteral("First")) == first.mountPoint;
        if (!mapped) {
            return 6;
        }
        if (::umount(QFile::encodeName(later.mountPoint).constData()) != 0 || !waitForReport(monitor, false, later)) {
            return 7;
        }
        return monitor.mountedVolumes() == QList<MountedVolume>{first} ? 0 : 8;
    });
    if (status == kCannotMount) {
        GTEST_SKIP() << "mounting is not allowed here (no private mount namespace or no tmpfs)";
    }
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace tessaro
