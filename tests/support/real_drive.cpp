#include "support/real_drive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace tessaro::testing {
namespace {

bool run(const QString& program, const QStringList& arguments, QString* out = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return false;
    }
    if (out) {
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    return true;
}

bool mountedAt(const QString& point) {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(" " + QFile::encodeName(point) + " ");
}

}  // namespace

RealDrive::RealDrive(const TestEnvironment& env, const QString& name, Kind kind, qint64 bytes)
    : point_(env.volumesRoot() + QLatin1Char('/') + name), kind_(kind) {
    QDir().mkpath(point_);
    if (kind == Kind::Tmpfs) {
        if (!run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                           QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), point_})) {
            skip_ = QStringLiteral("a tmpfs cannot be mounted here (needs root in a mount namespace)");
        }
        return;
    }
    const QString image = env.base() + QLatin1Char('/') + name + QStringLiteral(".img");
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes) ||
        !run(QStringLiteral("mkfs.exfat"), {QStringLiteral("-L"), name, image})) {
        skip_ = QStringLiteral("no exFAT image could be made (are exfatprogs and exfat-fuse installed?)");
        return;
    }
    if (!run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &loop_)) {
        skip_ = QStringLiteral("no loop device can be attached here");
        return;
    }
    plugIn();
}

RealDrive::~RealDrive() {
    unplug();
    if (!loop_.isEmpty()) {
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop_});
    }
}

void RealDrive::plugIn() {
    fuse_ = std::make_unique<QProcess>();
    fuse_->setStandardOutputFile(QProcess::nullDevice());
    fuse_->setStandardErrorFile(QProcess::nullDevice());
    QStringList arguments{QStringLiteral("-d")};
    if (kind_ == Kind::ExfatReadOnly) {
        arguments << QStringLiteral("-o") << QStringLiteral("ro");
    }
    fuse_->start(QStringLiteral("mount.exfat-fuse"), arguments << loop_ << point_);
    QElapsedTimer waited;
    waited.start();
    while (!mountedAt(point_) && waited.elapsed() < 10000 && fuse_->state() != QProcess::NotRunning) {
        QThread::msleep(20);
    }
    if (!mountedAt(point_)) {
        skip_ = QStringLiteral("the exFAT image cannot be mounted through FUSE here");
    }
}

void RealDrive::pull() {
    if (fuse_ && fuse_->state() != QProcess::NotRunning) {
        fuse_->kill();
        fuse_->waitForFinished(5000);
    }
    unplug();
}

void RealDrive::unplug() {
    if (mountedAt(point_)) {
        run(QStringLiteral("umount"), {QStringLiteral("-l"), point_});
    }
    if (fuse_ && fuse_->state() != QProcess::NotRunning) {
        fuse_->waitForFinished(5000);
    }
}

}  // namespace tessaro::testing
