#include "core/volume_monitor.h"

#include "core/log.h"
#include "core/log_lines.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tessaro {

namespace {

bool containsVolume(const QList<MountedVolume>& list, const MountedVolume& volume) {
    return std::find(list.cbegin(), list.cend(), volume) != list.cend();
}

// The table from its start to its end; reading it to the end is also what clears the
// pending change for poll().
QString readFromStart(int fd) {
    QByteArray text;
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        return {};
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buffer, n);
    }
    return QString::fromUtf8(text);
}

}  // namespace

VolumeMonitor::~VolumeMonitor() = default;

void VolumeMonitor::setVolumes(const QList<MountedVolume>& now) {
    const QList<MountedVolume> before = volumes_;
    if (before == now) {
        return;
    }
    volumes_ = now;
    Volumes::refresh();
    for (const MountedVolume& gone : before) {
        if (!containsVolume(now, gone)) {
            logLine(QString::fromUtf8(loglines::kVolumeUnmounted).arg(gone.mountPoint));
            emit volumeUnmounted(gone);
        }
    }
    for (const MountedVolume& came : now) {
        if (!containsVolume(before, came)) {
            logLine(QString::fromUtf8(loglines::kVolumeMounted).arg(came.mountPoint));
            emit volumeMounted(came);
        }
    }
}

LinuxVolumeMonitor::LinuxVolumeMonitor(QObject* parent, const QString& mountinfo)
    : VolumeMonitor(parent), path_(mountinfo) {
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        logLine(QStringLiteral("volume monitor: %1 cannot be opened; drives mounted from now on are not seen")
                    .arg(path_));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &LinuxVolumeMonitor::rescan);
    rescan();
}

LinuxVolumeMonitor::~LinuxVolumeMonitor() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void LinuxVolumeMonitor::rescan() {
    if (fd_ < 0) {
        return;
    }
    setVolumes(Volumes::mountedVolumes(readFromStart(fd_), Volumes::candidateRoots()));
}

void FakeVolumeMonitor::mount(const QString& name, const QString& mountPoint) {
    QList<MountedVolume> now = mountedVolumes();
    now.erase(std::remove_if(now.begin(), now.end(), [&](const MountedVolume& v) { return v.name == name; }),
              now.end());
    now.append(MountedVolume{name, mountPoint});
    setVolumes(now);
}

void FakeVolumeMonitor::unmount(const QString& name) {
    QList<MountedVolume> now = mountedVolumes();
    now.erase(std::remove_if(now.begin(), now.end(), [&](const MountedVolume& v) { return v.name == name; }),
              now.end());
    setVolumes(now);
}

}  // namespace tessaro
