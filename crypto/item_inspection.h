#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

namespace tessaro::inspection {

// The size label of an item: "1.00 KB,<localized "encrypted.stringvalue">". Units are
// binary and each starts just above the previous one's full multiple, so 1024 bytes read
// "1024.00 B"; the GB test is made in single precision, as the label always was.
QString contentSizeText(qint64 fileSize);

// The size of what lies at a path, from the file system's records (nothing is read): a
// file's size, or for a folder the sum over its tree. Entries are measured as the walks
// store them: directories are entered without following links, anything else counts with
// the size of the regular file it is or points to. Absent when nothing is at the path.
std::optional<qint64> fileSystemSize(const QString& path);

// Where a thumbnail comes from and how large it is.
struct ThumbnailGeometry {
    QSize target;  // the new image
    QRect source;  // the part of the original drawn into all of it
};
// Scales an image of `imageSize` to fit `maxSize`: the longer side becomes the larger of
// the two maximum sides and the shorter keeps the proportion; the source rectangle is
// centred and crops only the axis with the smaller scale. Empty for an empty image.
std::optional<ThumbnailGeometry> thumbnailGeometry(const QSize& imageSize, const QSizeF& maxSize);
// The thumbnail itself: the source rectangle copied (no blending) into the new image with
// low-quality interpolation. A null image for a null or empty input.
QImage resizeImage(const QImage& image, const QSizeF& maxSize);

// The current time in whole seconds since 1970, in decimal.
QString getTimeIntervalSince();

// Keys of the localized weekday (1 = Sunday ... 7; anything else the empty key) and month
// names (1 ... 11; anything else, 12 included, the twelfth month).
QString weekdayKey(qint64 weekdayNumber);
QString monthKey(qint64 monthNumber);
QString weekDay(qint64 weekdayNumber);
QString monthWithNum(qint64 monthNumber);

// "year", "month", "day", "hour", "minute", "second", "weekday" of a moment (now when
// absent) in the system's time zone, Gregorian calendar; two digits for day and time.
QHash<QString, QString> getTimeInThisTimeZoneAfter(const std::optional<QDateTime>& date = std::nullopt);

}  // namespace tessaro::inspection
