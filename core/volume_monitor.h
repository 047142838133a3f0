#pragma once

#include "core/volumes.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace tessaro {

// Tells whoever holds the removable-drive vaults that a volume came or went. The window
// listens to it; tests drive a fake. Signals arrive on the thread the monitor lives on.
class VolumeMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~VolumeMonitor() override;

    // The removable volumes mounted as of the last change seen.
    QList<MountedVolume> mountedVolumes() const { return volumes_; }

signals:
    void volumeMounted(const tessaro::MountedVolume& volume);
    void volumeUnmounted(const tessaro::MountedVolume& volume);

protected:
    // Takes the volumes mounted now and reports the difference to the last list: first
    // every volume that went, then every one that came. A volume mounted again elsewhere
    // under the same name is reported as gone and come. The volumes root is discovered
    // again before anything is reported, so that paths follow the new table.
    void setVolumes(const QList<MountedVolume>& now);

private:
    QList<MountedVolume> volumes_;
};

// Watches the kernel's mount table: /proc/self/mountinfo reports a change as an exceptional
// condition to poll(), which the event loop sees through a socket notifier; the table is
// then read again.
class LinuxVolumeMonitor : public VolumeMonitor {
    Q_OBJECT
public:
    // `mountinfo`: the table to watch; tests may point it elsewhere.
    explicit LinuxVolumeMonitor(QObject* parent = nullptr,
                                const QString& mountinfo = QStringLiteral("/proc/self/mountinfo"));
    ~LinuxVolumeMonitor() override;

    // False when the table could not be opened: then nothing is watched, and the volumes
    // found at start are all that is known.
    bool watching() const { return notifier_ != nullptr; }
    // Reads the table again and reports what changed.
    void rescan();

private:
    QString path_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// A monitor that reports what a test tells it: `mount` and `unmount` change the list and
// report at once, as the real one does after the table changed.
class FakeVolumeMonitor : public VolumeMonitor {
    Q_OBJECT
public:
    using VolumeMonitor::VolumeMonitor;
    void mount(const QString& name, const QString& mountPoint);
    void unmount(const QString& name);
};

}  // namespace tessaro
