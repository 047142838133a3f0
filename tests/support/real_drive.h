#pragma once

#include "support/test_environment.h"

#include <QProcess>
#include <QString>

#include <memory>

namespace tessaro::testing {

// A drive of the test's volumes root on a real file system: an exFAT image on a loop device
// served by a FUSE process this object started (so that it can pull the drive by killing
// exactly that process), or a tmpfs of a given size. Where this machine cannot mount it,
// skipReason() says why and nothing is mounted.
class RealDrive {
public:
    enum class Kind { Exfat, ExfatReadOnly, Tmpfs };
    RealDrive(const TestEnvironment& env, const QString& name, Kind kind, qint64 bytes = 16 << 20);
    ~RealDrive();
    RealDrive(const RealDrive&) = delete;
    RealDrive& operator=(const RealDrive&) = delete;

    const QString& skipReason() const { return skip_; }
    const QString& point() const { return point_; }
    // The exFAT drive served again (after a pull): its contents as the image has them.
    void plugIn();
    // The drive goes at once: its file system process dies, every access fails from then on.
    void pull();

private:
    void unplug();

    QString point_;
    Kind kind_;
    QString loop_;
    QString skip_;
    std::unique_ptr<QProcess> fuse_;
};

}  // namespace tessaro::testing

#define SKIP_UNLESS_MOUNTED(drive)                          \
    if (!(drive).skipReason().isEmpty()) {                  \
        GTEST_SKIP() << (drive).skipReason().toStdString(); \
    }
