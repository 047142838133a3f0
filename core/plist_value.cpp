#include "core/plist.h"
#include "core/plist_numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tessaro::plist {

namespace numbers {

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

std::optional<qint64> parseInteger(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no sign of its own, so a second one is refused here.
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    quint64 magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    constexpr quint64 largest = static_cast<quint64>(std::numeric_limits<qint64>::max());
    if (!negative) {
        return magnitude <= largest ? std::optional<qint64>(static_cast<qint64>(magnitude)) : std::nullopt;
    }
    if (magnitude > largest + 1) {
        return std::nullopt;
    }
    return magnitude == largest + 1 ? std::numeric_limits<qint64>::min() : -static_cast<qint64>(magnitude);
}

std::optional<qint64> parseInteger(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() > 0x7F) {
            return std::nullopt;
        }
    }
    const QByteArray latin = text.toLatin1();
    return parseInteger(std::string_view(latin.constData(), static_cast<std::size_t>(latin.size())));
}

std::optional<double> parseReal(const QString& raw) {
    const QString text = raw.trimmed().toLower();
    if (text == QLatin1String("nan")) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (text == QLatin1String("inf") || text == QLatin1String("+inf") || text == QLatin1String("infinity") ||
        text == QLatin1String("+infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (text == QLatin1String("-inf") || text == QLatin1String("-infinity")) {
        return -std::numeric_limits<double>::infinity();
    }
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (ok) {
        return d;
    }
    return std::nullopt;
}

std::optional<qint64> truncateReal(double d) {
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

}  // namespace numbers

Value Value::fromString(const QString& text) {
    Value v;
    v.type = Type::String;
    v.string = text;
    return v;
}

Value Value::fromInteger(qint64 number) {
    Value v;
    v.type = Type::Integer;
    v.integer = number;
    return v;
}

Value Value::fromReal(double number) {
    Value v;
    v.type = Type::Real;
    v.real = number;
    return v;
}

Value Value::fromBoolean(bool flag) {
    Value v;
    v.type = Type::Boolean;
    v.boolean = flag;
    return v;
}

Value Value::fromDate(const QDateTime& moment) {
    Value v;
    v.type = Type::Date;
    v.date = moment.toUTC();
    return v;
}

Value Value::fromData(const QByteArray& bytes) {
    Value v;
    v.type = Type::Data;
    v.data = bytes;
    return v;
}

Value Value::array() {
    Value v;
    v.type = Type::Array;
    return v;
}

Value Value::dictionary() {
    Value v;
    v.type = Type::Dictionary;
    return v;
}

Value Value::invalid(const QString& reason) {
    Value v;
    v.type = Type::Invalid;
    v.string = reason;
    return v;
}

void Value::append(Value element) { items.push_back(std::move(element)); }

void Value::insert(const QString& key, Value value) {
    keys.push_back(key);
    items.push_back(std::move(value));
}

const Value* Value::find(QLatin1StringView key) const {
    if (type != Type::Dictionary) {
        return nullptr;
    }
    for (std::size_t i = keys.size(); i > 0; --i) {
        if (keys[i - 1] == key) {
            return &items[i - 1];
        }
    }
    return nullptr;
}

const Value* Value::find(const QString& key) const {
    if (type != Type::Dictionary) {
        return nullptr;
    }
    for (std::size_t i = keys.size(); i > 0; --i) {
        if (keys[i - 1] == key) {
            return &items[i - 1];
        }
    }
    return nullptr;
}

std::optional<QString> Value::toText() const {
    switch (type) {
    case Type::String: return string;
    case Type::Integer: return QString::number(integer);
    case Type::Real: return QString::number(real, 'g', QLocale::FloatingPointShortest);
    default: return std::nullopt;
    }
}

std::optional<qint64> Value::toInteger() const {
    switch (type) {
    case Type::Integer: return integer;
    case Type::Real: return numbers::truncateReal(real);
    case Type::Boolean: return boolean ? 1 : 0;
    case Type::Date: return date.isValid() ? std::optional<qint64>(date.toSecsSinceEpoch()) : std::nullopt;
    case Type::String: {
        if (auto n = numbers::parseInteger(string)) {
            return n;
        }
        if (auto d = numbers::parseReal(string)) {
            return numbers::truncateReal(*d);
        }
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

std::optional<bool> Value::toBoolean() const {
    switch (type) {
    case Type::Boolean: return boolean;
    case Type::Integer: return integer != 0;
    case Type::Real: return real != 0.0;
    case Type::String: {
        const QString t = string.trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1")) {
            return true;
        }
        if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0") || t.isEmpty()) {
            return false;
        }
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

QString Value::describe() const {
    switch (type) {
    case Type::String: {
        constexpr qsizetype shown = 40;
        const QString cut = string.size() > shown ? string.left(shown) + QChar(0x2026) : string;
        return QStringLiteral("the text \"%1\"").arg(cut);
    }
    case Type::Integer: return QStringLiteral("the whole number %1").arg(integer);
    case Type::Real: return QStringLiteral("the number %1").arg(real);
    case Type::Boolean: return boolean ? QStringLiteral("<true/>") : QStringLiteral("<false/>");
    case Type::Date: return QStringLiteral("the date %1").arg(date.toString(Qt::ISODate));
    case Type::Data: return QStringLiteral("data of %1 bytes").arg(data.size());
    case Type::Array: return QStringLiteral("an array");
    case Type::Dictionary: return QStringLiteral("a dictionary");
    case Type::Invalid: return string;
    }
    return QString();
}

}  // namespace tessaro::plist
