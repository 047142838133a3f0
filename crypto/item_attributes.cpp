#include "crypto/item_attributes.h"

#include "core/file_system.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::walk {

namespace {

// Far above what any real tree needs (a line per file of a large tree on an exFAT drive),
// low enough that a planted file cannot exhaust memory.
constexpr qint64 kLargestFile = 256LL << 20;
constexpr qsizetype kLongestLink = 4095;

QByteArray jsonText(const QByteArray& utf8) {
    QByteArray out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (byte < 0x20) {
            out.append("\\u00").append(QByteArray::number(byte, 16).rightJustified(2, '0'));
        } else {
            out.append(c);
        }
    }
    return out.append('"');
}

std::optional<timespec> parseTime(const QString& text) {
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    bool secondsOk = false;
    bool nanosOk = false;
    const qint64 seconds = text.left(dot).toLongLong(&secondsOk);
    const qint64 nanos = dot < 0 ? 0 : text.mid(dot + 1).toLongLong(&nanosOk);
    if (!secondsOk || (dot >= 0 && (!nanosOk || nanos < 0 || nanos > 999999999))) {
        return std::nullopt;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(nanos)};
}

// "" or "/a/b": no empty, "." or ".." component, nothing that could lead out of the item.
bool isPlainRelative(const QString& path) {
    if (path.isEmpty()) {
        return true;
    }
    if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0))) {
        return false;
    }
    for (const QString& part : path.mid(1).split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")) {
            return false;
        }
    }
    return true;
}

}  // namespace

QByteArray timeText(const timespec& t) {
    return QByteArray::number(static_cast<qint64>(t.tv_sec)) + '.' +
           QByteArray::number(static_cast<qint64>(t.tv_nsec)).rightJustified(9, '0');
}

void ItemAttributes::keep(const QString& relative, std::optional<mode_t> mode, std::optional<timespec> modified) {
    if (!mode && !modified) {
        return;
    }
    attributes_.insert(relative, KeptAttributes{mode, modified});
    lines_.append("{\"path\":" + jsonText(relative.toUtf8()));
    if (mode) {
        lines_.append(",\"mode\":\"" + QByteArray::number(static_cast<uint>(*mode & 07777), 8) + '"');
    }
    if (modified) {
        lines_.append(",\"modified\":\"" + timeText(*modified) + '"');
    }
    lines_.append("}\n");
}

void ItemAttributes::keepLink(const QString& parentRelative, const KeptLink& link) {
    links_[parentRelative].append(link);
    lines_.append("{\"path\":" + jsonText((parentRelative + QLatin1Char('/') + link.storedName).toUtf8()) +
                  ",\"link\":" + jsonText(link.target) + ",\"modified\":\"" + timeText(link.modified) + "\"}\n");
}

bool ItemAttributes::isAttributeFileIn(const QString& containerPath, const QString& entryName) {
    const QString prefix = QString::fromLatin1(kPrefix);
    if (!entryName.startsWith(prefix) || entryName.size() == prefix.size()) {
        return false;
    }
    struct stat st {};
    const QByteArray top = QFile::encodeName(containerPath + QLatin1Char('/') + entryName.mid(prefix.size()));
    return ::lstat(top.constData(), &st) == 0;
}

const KeptAttributes* ItemAttributes::attributesOf(const QString& relative) const {
    const auto it = attributes_.constFind(relative);
    return it == attributes_.cend() ? nullptr : &it.value();
}

bool ItemAttributes::decode(const QByteArray& bytes, ItemAttributes& out, QString& reason) {
    out = ItemAttributes();
    int number = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        ++number;
        if (line.trimmed().isEmpty()) {
            continue;
        }
        auto refuse = [&](const QString& why) {
            reason = QStringLiteral("line %1: %2").arg(number).arg(why);
            return false;
        };
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (!document.isObject()) {
            return refuse(QStringLiteral("expected a JSON object, found %1").arg(error.errorString()));
        }
        const QJsonObject object = document.object();
        const QString path = object.value(QLatin1String("path")).toString();
        if (!object.value(QLatin1String("path")).isString() || !isPlainRelative(path)) {
            return refuse(QStringLiteral("expected a relative path inside the item, found \"%1\"").arg(path));
        }
        std::optional<timespec> modified;
        if (object.contains(QLatin1String("modified"))) {
            modified = parseTime(object.value(QLatin1String("modified")).toString());
            if (!modified) {
                return refuse(QStringLiteral("expected a time \"seconds.nanoseconds\""));
            }
        }
        if (object.contains(QLatin1String("link"))) {
            const QByteArray target = object.value(QLatin1String("link")).toString().toUtf8();
            if (path.isEmpty() || target.isEmpty() || target.size() > kLongestLink || target.contains('\0')) {
                return refuse(QStringLiteral("expected a link below the top with a text of 1 to %1 bytes")
                                  .arg(kLongestLink));
            }
            const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
            out.keepLink(path.left(slash), KeptLink{path.mid(slash + 1), target, modified.value_or(timespec{})});
            continue;
        }
        std::optional<mode_t> mode;
        if (object.contains(QLatin1String("mode"))) {
            bool ok = false;
            const uint bits = object.value(QLatin1String("mode")).toString().toUInt(&ok, 8);
            if (!ok || bits > 07777) {
                return refuse(QStringLiteral("expected octal permission bits"));
            }
            mode = static_cast<mode_t>(bits);
        }
        out.keep(path, mode, modified);
    }
    return true;
}

bool readItemAttributes(int container, const QByteArray& storedTopName, ItemAttributes& out, QString& reason) {
    out = ItemAttributes();
    const QByteArray name = ItemAttributes::fileNameFor(storedTopName);
    fs::Handle file = fs::openForReadingAt(container, name, false);
    if (!file) {
        if (errno == ENOENT) {
            return true;
        }
        reason = fs::errorText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kLargestFile) {
        reason = QStringLiteral("expected a regular file of at most %1 bytes").arg(kLargestFile);
        return false;
    }
    QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    const qint64 got = fs::readUpTo(file.get(), bytes.data(), bytes.size());
    if (got != bytes.size()) {
        reason = got < 0 ? fs::errorText(errno) : QStringLiteral("it ended early");
        return false;
    }
    return ItemAttributes::decode(bytes, out, reason);
}

}  // namespace tessaro::walk
