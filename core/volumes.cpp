#include "core/volumes.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

// What the catalogue format writes in front of a volume name.
constexpr char kFormatVolumesPrefix[] = "/Volumes/";

QMutex rootMutex;
QString fixedRoot;
QString discoveredRoot;
// Volumes mounted below a candidate root at the last discovery: a drive the desktop put
// under the other root is still found by its name.
QList<MountedVolume> discoveredVolumes;
bool discovered = false;

QString userName() {
    if (const passwd* pw = ::getpwuid(::getuid())) {
        return QString::fromLocal8Bit(pw->pw_name);
    }
    return {};
}

// mountinfo escapes space, tab, newline and backslash as \ooo.
QString decodeMountField(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromUtf8(out);
}

QString readMountTable() {
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    if (!mountinfo.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(mountinfo.readAll());
}

QStringList candidateRootsLocked() {
    if (!fixedRoot.isEmpty()) {
        return {fixedRoot};
    }
    const QString user = userName();
    return {QStringLiteral("/run/media/") + user, QStringLiteral("/media/") + user};
}

// The helpers below are called with rootMutex held.
void discoverLocked() {
    if (discovered) {
        return;
    }
    const QString text = readMountTable();
    const QStringList roots = candidateRootsLocked();
    discoveredVolumes = Volumes::mountedVolumes(text, roots);
    discoveredRoot.clear();
    // The root that holds a mounted volume; with none mounted, the one this system has.
    for (const QString& root : roots) {
        if (!Volumes::mountPointsBelow(text, root).isEmpty()) {
            discoveredRoot = root;
            break;
        }
    }
    if (discoveredRoot.isEmpty() && roots.size() == 2) {
        discoveredRoot = QDir(roots[0]).exists() && !QDir(roots[1]).exists() ? roots[0] : roots[1];
    }
    discovered = true;
}

QString rootLocked() {
    if (!fixedRoot.isEmpty()) {
        return fixedRoot;
    }
    discoverLocked();
    return discoveredRoot;
}

// The volume a path lies on and the rest of it after the volume's mount point.
struct OnVolume {
    QString name;
    QString mountPoint;
};

std::optional<OnVolume> volumeOfLocked(const QString& path) {
    const QString prefix = rootLocked() + QLatin1Char('/');
    if (path.startsWith(prefix)) {
        const QString name = path.mid(prefix.size()).section(QLatin1Char('/'), 0, 0);
        if (!name.isEmpty()) {
            return OnVolume{name, prefix + name};
        }
    }
    if (fixedRoot.isEmpty()) {
        for (const MountedVolume& v : std::as_const(discoveredVolumes)) {
            if (path == v.mountPoint || path.startsWith(v.mountPoint + QLatin1Char('/'))) {
                return OnVolume{v.name, v.mountPoint};
            }
        }
    }
    return std::nullopt;
}

QString mountPointOfLocked(const QString& volumeName) {
    if (fixedRoot.isEmpty()) {
        discoverLocked();
        for (const MountedVolume& v : std::as_const(discoveredVolumes)) {
            if (v.name == volumeName) {
                return v.mountPoint;
            }
        }
    }
    return rootLocked() + QLatin1Char('/') + volumeName;
}

}  // namespace

QString Volumes::root() {
    QMutexLocker lock(&rootMutex);
    return rootLocked();
}

QString Volumes::rootPrefix() { return root() + QLatin1Char('/'); }

bool Volumes::isOnVolume(const QString& path) {
    QMutexLocker lock(&rootMutex);
    return volumeOfLocked(path).has_value();
}

QString Volumes::volumeNameOf(const QString& path) {
    QMutexLocker lock(&rootMutex);
    const std::optional<OnVolume> on = volumeOfLocked(path);
    return on ? on->name : QString();
}

QString Volumes::pathFor(const QString& relative) {
    QString r = relative;
    while (r.startsWith(QLatin1Char('/'))) {
        r.remove(0, 1);
    }
    QMutexLocker lock(&rootMutex);
    if (r.isEmpty()) {
        return rootLocked();
    }
    const QString volume = r.section(QLatin1Char('/'), 0, 0);
    const QString rest = r.mid(volume.size());
    return mountPointOfLocked(volume) + rest;
}

QString Volumes::fromFormatPath(const QString& formatPath) {
    const QString prefix = QString::fromLatin1(kFormatVolumesPrefix);
    if (!formatPath.startsWith(prefix) || formatPath.size() == prefix.size()) {
        return formatPath;
    }
    return pathFor(formatPath.mid(prefix.size()));
}

QString Volumes::toFormatPath(const QString& path) {
    QMutexLocker lock(&rootMutex);
    const std::optional<OnVolume> on = volumeOfLocked(path);
    if (!on) {
        return path;
    }
    return QString::fromLatin1(kFormatVolumesPrefix) + on->name + path.mid(on->mountPoint.size());
}

void Volumes::setRoot(const QString& directory) {
    QMutexLocker lock(&rootMutex);
    fixedRoot = directory;
    while (fixedRoot.size() > 1 && fixedRoot.endsWith(QLatin1Char('/'))) {
        fixedRoot.chop(1);
    }
}

void Volumes::refresh() {
    QMutexLocker lock(&rootMutex);
    discovered = false;
    discoveredRoot.clear();
    discoveredVolumes.clear();
}

QStringList Volumes::candidateRoots() {
    QMutexLocker lock(&rootMutex);
    return candidateRootsLocked();
}

QStringList Volumes::mountPointsBelow(const QString& mountinfo, const QString& mountRoot) {
    QStringList points;
    const QString prefix = mountRoot + QLatin1Char('/');
    const QList<QByteArray> lines = mountinfo.toUtf8().split('\n');
    for (const QByteArray& line : lines) {
        // Field 5 (1-based) is the mount point.
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5) {
            continue;
        }
        const QString point = decodeMountField(fields[4]);
        if (point.startsWith(prefix) && point.size() > prefix.size() &&
            !point.mid(prefix.size()).contains(QLatin1Char('/')) && !points.contains(point)) {
            points.append(point);
        }
    }
    return points;
}

QList<MountedVolume> Volumes::mountedVolumes(const QString& mountinfo, const QStringList& roots) {
    QList<MountedVolume> volumes;
    for (const QString& root : roots) {
        for (const QString& point : mountPointsBelow(mountinfo, root)) {
            const QString name = point.mid(root.size() + 1);
            const bool taken =
                std::any_of(volumes.cbegin(), volumes.cend(), [&](const MountedVolume& v) { return v.name == name; });
            if (!taken) {
                volumes.append(MountedVolume{name, point});
            }
        }
    }
    return volumes;
}

bool Volumes::makeTopDirectoryExecutable(const QString& mountPoint) {
    // Opened without following a link, then changed through the descriptor: what is
    // checked is what is changed.
    const int fd = ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool changed = false;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
        mode_t mode = st.st_mode & 07777;
        mode |= S_IXUSR;
        mode |= (mode & S_IRGRP) ? S_IXGRP : 0;
        mode |= (mode & S_IROTH) ? S_IXOTH : 0;
        changed = mode == (st.st_mode & 07777) || ::fchmod(fd, mode) == 0;
    }
    ::close(fd);
    return changed;
}

}  // namespace tessaro
