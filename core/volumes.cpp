#include "core/volumes.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <pwd.h>
#include <unistd.h>

namespace tessaro {

namespace {

QMutex rootMutex;
QString fixedRoot;
QString discoveredRoot;

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

QString discover() {
    const QString user = userName();
    const QString runMedia = QStringLiteral("/run/media/") + user;
    const QString media = QStringLiteral("/media/") + user;
    QFile mountinfo(QStringLiteral("/proc/self/mountinfo"));
    QString text;
    if (mountinfo.open(QIODevice::ReadOnly)) {
        text = QString::fromUtf8(mountinfo.readAll());
    }
    if (!Volumes::mountPointsBelow(text, runMedia).isEmpty()) {
        return runMedia;
    }
    if (!Volumes::mountPointsBelow(text, media).isEmpty()) {
        return media;
    }
    return QDir(runMedia).exists() && !QDir(media).exists() ? runMedia : media;
}

}  // namespace

QString Volumes::root() {
    QMutexLocker lock(&rootMutex);
    if (!fixedRoot.isEmpty()) {
        return fixedRoot;
    }
    if (discoveredRoot.isEmpty()) {
        discoveredRoot = discover();
    }
    return discoveredRoot;
}

QString Volumes::rootPrefix() { return root() + QLatin1Char('/'); }

bool Volumes::isOnVolume(const QString& path) { return path.startsWith(rootPrefix()); }

QString Volumes::volumeNameOf(const QString& path) {
    if (!isOnVolume(path)) {
        return {};
    }
    return path.mid(rootPrefix().size()).section(QLatin1Char('/'), 0, 0);
}

QString Volumes::pathFor(const QString& relative) {
    QString r = relative;
    while (r.startsWith(QLatin1Char('/'))) {
        r.remove(0, 1);
    }
    return r.isEmpty() ? root() : rootPrefix() + r;
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
    discoveredRoot.clear();
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
        if (point.startsWith(prefix) && !point.mid(prefix.size()).contains(QLatin1Char('/'))) {
            points.append(point);
        }
    }
    return points;
}

}  // namespace tessaro
