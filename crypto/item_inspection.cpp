#include "crypto/item_inspection.h"

#include "core/localized_text.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <cerrno>
#include <cmath>
#include <sys/stat.h>

namespace tessaro::inspection {

QString contentSizeText(qint64 fileSize) {
    const float x = static_cast<float>(fileSize);
    float value = x;
    const char* unit = "B";
    if (x > 1073741824.0f) {
        value = x / 1073741824.0f;
        unit = "GB";
    } else if (fileSize >= 1048577) {
        value = x / 1048576.0f;
        unit = "MB";
    } else if (fileSize >= 1025) {
        value = x / 1024.0f;
        unit = "KB";
    }
    return QStringLiteral("%1 %2,%3")
        .arg(static_cast<double>(value), 0, 'f', 2)
        .arg(QString::fromLatin1(unit), LanguageBundle::localizedStringForKey(QStringLiteral("encrypted.stringvalue")));
}

namespace {

// Depth-first over a directory tree; the depth limit only guards against a tree that
// grows while it is measured.
qint64 directorySize(const QByteArray& directory, int depth) {
    if (depth > 4096) {
        return 0;
    }
    qint64 total = 0;
    const QDir dir(QFile::decodeName(directory));
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QByteArray entry = directory + '/' + QFile::encodeName(name);
        struct stat st {};
        if (::lstat(entry.constData(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            total += directorySize(entry, depth + 1);
            continue;
        }
        if (S_ISLNK(st.st_mode) && ::stat(entry.constData(), &st) != 0) {
            continue;  // a dangling link holds nothing
        }
        if (S_ISREG(st.st_mode)) {
            total += st.st_size;
        }
    }
    return total;
}

}  // namespace

std::optional<qint64> fileSystemSize(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (path.isEmpty() || ::lstat(native.constData(), &st) != 0) {
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        return directorySize(native, 0);
    }
    if (S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0) {
        return 0;
    }
    return S_ISREG(st.st_mode) ? static_cast<qint64>(st.st_size) : 0;
}

std::optional<ThumbnailGeometry> thumbnailGeometry(const QSize& imageSize, const QSizeF& maxSize) {
    const double w = imageSize.width();
    const double h = imageSize.height();
    const double mw = maxSize.width();
    const double mh = maxSize.height();
    if (w <= 0 || h <= 0 || mw <= 0 || mh <= 0) {
        return std::nullopt;
    }
    const double m = std::max(mw, mh);
    // Both proportional sides are taken from the maximum width, as thumbnails always were;
    // with the square maximum every caller uses, that is the same as the height.
    const double targetW = w > h ? m : w / h * mw;
    const double targetH = w > h ? h / w * mw : m;
    ThumbnailGeometry g;
    g.target = QSize(std::max(1, static_cast<int>(std::lround(targetW))), std::max(1, static_cast<int>(std::lround(targetH))));
    const float rx = static_cast<float>(g.target.width()) / static_cast<float>(w);
    const float ry = static_cast<float>(g.target.height()) / static_cast<float>(h);
    if (ry < rx) {
        const int height = std::min(static_cast<int>(h), static_cast<int>(std::floor(g.target.height() / rx)));
        const int top = static_cast<int>(std::floor((h - height) * 0.5));
        g.source = QRect(0, top, static_cast<int>(w), height);
    } else {
        const int width = std::min(static_cast<int>(w), static_cast<int>(std::floor(g.target.width() / ry)));
        const int left = static_cast<int>(std::floor((w - width) * 0.5));
        g.source = QRect(left, 0, width, static_cast<int>(h));
    }
    return g;
}

QImage resizeImage(const QImage& image, const QSizeF& maxSize) {
    if (image.isNull()) {
        return {};
    }
    const auto g = thumbnailGeometry(image.size(), maxSize);
    if (!g) {
        return {};
    }
    QImage out(g->target, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setOpacity(1.0);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(g->target)), image, QRectF(g->source));
    painter.end();
    return out;
}

QString getTimeIntervalSince() {
    const double seconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    return QString::number(static_cast<quint64>(static_cast<qint64>(seconds)));
}

QString weekdayKey(qint64 weekdayNumber) {
    if (weekdayNumber >= 1 && weekdayNumber <= 7) {
        return QStringLiteral("weekItem%1.stringValue").arg(weekdayNumber);
    }
    return QString("");
}

QString monthKey(qint64 monthNumber) {
    const qint64 n = monthNumber >= 1 && monthNumber <= 11 ? monthNumber : 12;
    return QStringLiteral("monthiItem%1.stringValue").arg(n);
}

QString weekDay(qint64 weekdayNumber) {
    const QString key = weekdayKey(weekdayNumber);
    return key.isEmpty() ? QString("") : LanguageBundle::localizedStringForKey(key);
}

QString monthWithNum(qint64 monthNumber) { return LanguageBundle::localizedStringForKey(monthKey(monthNumber)); }

QHash<QString, QString> getTimeInThisTimeZoneAfter(const std::optional<QDateTime>& date) {
    const QDateTime local = (date ? *date : QDateTime::currentDateTime()).toLocalTime();
    const QDate day = local.date();
    const QTime time = local.time();
    auto twoDigits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    // Qt counts weekdays from Monday = 1; the names are keyed from Sunday = 1.
    const int weekday = day.dayOfWeek() % 7 + 1;
    QHash<QString, QString> parts;
    parts.insert(QStringLiteral("year"), QString::number(day.year()));
    parts.insert(QStringLiteral("month"), monthWithNum(day.month()));
    parts.insert(QStringLiteral("day"), twoDigits(day.day()));
    parts.insert(QStringLiteral("hour"), twoDigits(time.hour()));
    parts.insert(QStringLiteral("minute"), twoDigits(time.minute()));
    parts.insert(QStringLiteral("second"), twoDigits(time.second()));
    parts.insert(QStringLiteral("weekday"), weekDay(weekday));
    return parts;
}

}  // namespace tessaro::inspection
