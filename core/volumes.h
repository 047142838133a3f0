#pragma once

#include <QString>
#include <QStringList>

namespace tessaro {

// Where removable drives are mounted: the one directory whose entries are the mounted
// volumes by name. On Linux that is /run/media/$USER or /media/$USER, chosen from the
// system's mount table; tests and the command-line tool point it elsewhere.
class Volumes {
public:
    // The volumes root, without a trailing separator.
    static QString root();
    // root() followed by "/", the prefix of every path on a removable drive.
    static QString rootPrefix();
    static bool isOnVolume(const QString& path);
    // The volume name of a path below the root ("" when the path is not on a volume).
    static QString volumeNameOf(const QString& path);
    // root() joined with a vault key ("volume/dir.flp") or a volume name.
    static QString pathFor(const QString& relative);

    // Replaces discovery; an empty text goes back to discovery.
    static void setRoot(const QString& directory);
    // Forgets the cached discovery, so the next call reads the mount table again.
    static void refresh();

    // Mount points below `mountRoot` listed in a mountinfo text (format of
    // /proc/self/mountinfo), with the kernel's octal escapes decoded.
    static QStringList mountPointsBelow(const QString& mountinfo, const QString& mountRoot);
};

}  // namespace tessaro
