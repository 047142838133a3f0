#pragma once

// What an item keeps besides its stored files: its symbolic links, and the times and
// permission bits that its stored files and folders could not keep themselves (a vault on a
// drive without extended attributes or with coarse times, as FAT and exFAT drives are).
//
// One file per item, beside its stored top in the container, named
// ".tessaro-attributes-<stored top name>"; absent when there is nothing to keep. One JSON
// object per line, "path" first:
//   {"path":"/bus/krli","link":"../target","modified":"1765000000.123456789"}
//   {"path":"/bus","mode":"700","modified":"1765000000.000000000"}
// "path" is the entry's relative path below the stored top in stored (swapped) form, "" for
// the top itself. A line with "link" is a symbolic link of the item (its text, never
// followed); any other line gives the entry's bits and time. Unknown keys are ignored.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <ctime>
#include <optional>
#include <sys/types.h>

namespace tessaro::walk {

struct KeptAttributes {
    std::optional<mode_t> mode;
    std::optional<timespec> modified;
};

struct KeptLink {
    QString storedName;   // the link's own name, swapped
    QByteArray target;    // its text, as readlink gave it
    timespec modified{};
};

class ItemAttributes {
public:
    void keep(const QString& relative, std::optional<mode_t> mode, std::optional<timespec> modified);
    void keepLink(const QString& parentRelative, const KeptLink& link);

    // Null when the entry's own file keeps its attributes.
    const KeptAttributes* attributesOf(const QString& relative) const;
    QList<KeptLink> linksIn(const QString& parentRelative) const { return links_.value(parentRelative); }
    bool isEmpty() const { return lines_.isEmpty(); }

    QByteArray encode() const { return lines_; }
    // False with the reason when the text is not an attribute file; read from the vault, so
    // nothing in it is trusted: every path must be a plain relative one.
    static bool decode(const QByteArray& bytes, ItemAttributes& out, QString& reason);

    static QByteArray fileNameFor(const QByteArray& storedTopName) { return kPrefix + storedTopName; }
    // Whether a container entry is the attribute file of a stored top beside it (readers
    // that list containers pass it over).
    static bool isAttributeFileIn(const QString& containerPath, const QString& entryName);
    static constexpr char kPrefix[] = ".tessaro-attributes-";

private:
    QHash<QString, KeptAttributes> attributes_;
    QHash<QString, QList<KeptLink>> links_;
    QByteArray lines_;
};

// Reads the attribute file of the stored top `storedTopName` in the open container. True
// (and `out` empty) when there is none; false with the reason when it cannot be read.
bool readItemAttributes(int container, const QByteArray& storedTopName, ItemAttributes& out, QString& reason);

// "seconds.nanoseconds", as the file holds times.
QByteArray timeText(const timespec& t);

}  // namespace tessaro::walk
