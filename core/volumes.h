#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tessaro {

// A removable volume mounted now: its name (the last component of its mount point, as the
// catalogue's "/Volumes/<name>/..." paths and vault keys spell it) and where it really is.
struct MountedVolume {
    QString name;
    QString mountPoint;
    bool operator==(const MountedVolume&) const = default;
};

// Where removable drives are mounted: the one directory whose entries are the mounted
// volumes by name. On Linux that is /run/media/$USER or /media/$USER, chosen from the
// system's mount table; tests and the command-line tool point it elsewhere.
class Volumes {
public:
    // The volumes root, without a trailing separator.
    static QString root();
    // root() followed by "/", the prefix of every path on a removable drive.
    static QString rootPrefix();
    // Below the volumes root, or below a removable volume mounted under the other root.
    static bool isOnVolume(const QString& path);
    // The volume name of a path on a volume ("" when the path is not on a volume).
    static QString volumeNameOf(const QString& path);
    // Where a vault key ("volume/dir.flp") or a volume name is now: below the volume's own
    // mount point when the mount table has it, otherwise below root().
    static QString pathFor(const QString& relative);

    // The catalogue format writes a drive item's path as "/Volumes/<volume>/<rest>"; these
    // turn such a path into the real one and back. Paths off the volumes are left alone.
    static QString fromFormatPath(const QString& formatPath);
    static QString toFormatPath(const QString& path);

    // Replaces discovery; an empty text goes back to discovery.
    static void setRoot(const QString& directory);
    // Forgets the cached discovery, so the next call reads the mount table again. The
    // volume monitor calls it whenever the mount table changes.
    static void refresh();

    // The directories removable media are mounted in, for this user: the fixed root when
    // one is set, otherwise /run/media/$USER and /media/$USER.
    static QStringList candidateRoots();
    // Mount points below `mountRoot` listed in a mountinfo text (format of
    // /proc/self/mountinfo), with the kernel's octal escapes decoded.
    static QStringList mountPointsBelow(const QString& mountinfo, const QString& mountRoot);
    // The volumes mounted directly below any of `roots`, in mount-table order; of two with
    // the same name the first mounted wins.
    static QList<MountedVolume> mountedVolumes(const QString& mountinfo, const QStringList& roots);

    // A freshly mounted volume's top directory made traversable (execute added where read
    // is granted), by a permissions call on the directory itself, never a command line;
    // only when it is a real directory owned by this user. False when it was left alone.
    static bool makeTopDirectoryExecutable(const QString& mountPoint);
};

}  // namespace tessaro
