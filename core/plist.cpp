#include "core/plist.h"

#include <QTimeZone>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>
#include <limits>

namespace tessaro::plist {

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

void Value::append(Value element) { items.push_back(std::move(element)); }

void Value::insert(const QString& key, Value value) {
    keys.push_back(key);
    items.push_back(std::move(value));
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

namespace {

std::optional<qint64> parseIntegerText(const QString& raw) {
    const QString text = raw.trimmed();
    bool ok = false;
    qint64 n = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String("-0x"), Qt::CaseInsensitive)) {
        const bool negative = text.startsWith(QLatin1Char('-'));
        const quint64 u = text.mid(negative ? 3 : 2).toULongLong(&ok, 16);
        if (!ok || u > static_cast<quint64>(std::numeric_limits<qint64>::max())) {
            return std::nullopt;
        }
        n = negative ? -static_cast<qint64>(u) : static_cast<qint64>(u);
        return n;
    }
    n = text.toLongLong(&ok, 10);
    if (ok) {
        return n;
    }
    return std::nullopt;
}

std::optional<double> parseRealText(const QString& raw) {
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

// Seconds since 1970 that fit a signed 64-bit number, with the fraction cut off.
std::optional<qint64> truncateReal(double d) {
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

}  // namespace

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
    case Type::Real: return truncateReal(real);
    case Type::Boolean: return boolean ? 1 : 0;
    case Type::Date: return date.isValid() ? std::optional<qint64>(date.toSecsSinceEpoch()) : std::nullopt;
    case Type::String: {
        if (auto n = parseIntegerText(string)) {
            return n;
        }
        if (auto d = parseRealText(string)) {
            return truncateReal(*d);
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

// ---------------------------------------------------------------------------------------
// Reading

namespace {

// Deeper nesting than any catalogue has; the limit only keeps a hostile file from
// exhausting the stack.
constexpr int kMaxDepth = 256;

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : xml_(bytes) {}

    ParseResult run() {
        ParseResult result;
        if (!nextStartElement()) {
            result.error = failure(QStringLiteral("no root element"));
            return result;
        }
        if (xml_.name() == QLatin1String("plist")) {
            if (!nextStartElement()) {
                result.error = failure(QStringLiteral("the plist element holds no value"));
                return result;
            }
            std::optional<Value> root = readValue(0);
            if (!root) {
                result.error = error_;
                return result;
            }
            // Expect </plist> next; what follows it is not looked at.
            if (!skipToEnd()) {
                result.error = error_;
                return result;
            }
            result.value = std::move(root);
            return result;
        }
        std::optional<Value> root = readValue(0);
        if (!root) {
            result.error = error_;
            return result;
        }
        result.value = std::move(root);
        return result;
    }

private:
    QXmlStreamReader xml_;
    QString error_;

    QString failure(const QString& what) {
        if (xml_.hasError()) {
            error_ = QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(xml_.errorString());
        } else {
            error_ = QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(what);
        }
        return error_;
    }

    // Moves to the next start element of the document (the root); false at the end or on
    // an error.
    bool nextStartElement() {
        while (!xml_.atEnd()) {
            const auto token = xml_.readNext();
            if (token == QXmlStreamReader::StartElement) {
                return true;
            }
            if (token == QXmlStreamReader::EndElement) {
                return false;
            }
            if (token == QXmlStreamReader::Characters && !xml_.isWhitespace()) {
                return false;
            }
        }
        return false;
    }

    bool skipToEnd() {
        while (!xml_.atEnd()) {
            const auto token = xml_.readNext();
            switch (token) {
            case QXmlStreamReader::EndElement: return true;
            case QXmlStreamReader::StartElement:
                failure(QStringLiteral("more than one value in the plist element"));
                return false;
            case QXmlStreamReader::Characters:
                if (!xml_.isWhitespace()) {
                    failure(QStringLiteral("text beside the root value"));
                    return false;
                }
                break;
            case QXmlStreamReader::Invalid: failure(QString()); return false;
            default: break;
            }
        }
        failure(QStringLiteral("the plist element is not closed"));
        return false;
    }

    // The text of a leaf element; the reader stands on its start element.
    std::optional<QString> leafText() {
        const QString text = xml_.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (xml_.hasError()) {
            failure(QString());
            return std::nullopt;
        }
        return text;
    }

    // Reads the value whose start element the reader stands on, through its end element.
    std::optional<Value> readValue(int depth) {
        if (depth > kMaxDepth) {
            failure(QStringLiteral("nested too deeply"));
            return std::nullopt;
        }
        const QString name = xml_.name().toString();
        if (name == QLatin1String("string")) {
            auto text = leafText();
            return text ? std::optional<Value>(Value::fromString(*text)) : std::nullopt;
        }
        if (name == QLatin1String("integer")) {
            auto text = leafText();
            if (!text) {
                return std::nullopt;
            }
            auto n = parseIntegerText(*text);
            if (!n) {
                failure(QStringLiteral("not an integer: \"%1\"").arg(text->left(40)));
                return std::nullopt;
            }
            return Value::fromInteger(*n);
        }
        if (name == QLatin1String("real")) {
            auto text = leafText();
            if (!text) {
                return std::nullopt;
            }
            auto d = parseRealText(*text);
            if (!d) {
                failure(QStringLiteral("not a real number: \"%1\"").arg(text->left(40)));
                return std::nullopt;
            }
            return Value::fromReal(*d);
        }
        if (name == QLatin1String("true") || name == QLatin1String("false")) {
            auto text = leafText();
            if (!text) {
                return std::nullopt;
            }
            return Value::fromBoolean(name == QLatin1String("true"));
        }
        if (name == QLatin1String("date")) {
            auto text = leafText();
            if (!text) {
                return std::nullopt;
            }
            QDateTime moment = QDateTime::fromString(text->trimmed(), Qt::ISODate);
            if (!moment.isValid()) {
                failure(QStringLiteral("not a date: \"%1\"").arg(text->left(40)));
                return std::nullopt;
            }
            return Value::fromDate(moment);
        }
        if (name == QLatin1String("data")) {
            auto text = leafText();
            if (!text) {
                return std::nullopt;
            }
            QByteArray compact;
            for (const QChar c : *text) {
                if (!c.isSpace()) {
                    compact.append(c.toLatin1());
                }
            }
            auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                failure(QStringLiteral("data is not base64"));
                return std::nullopt;
            }
            return Value::fromData(*decoded);
        }
        if (name == QLatin1String("array")) {
            Value array = Value::array();
            while (true) {
                const auto token = nextInside();
                if (token == QXmlStreamReader::EndElement) {
                    return array;
                }
                if (token != QXmlStreamReader::StartElement) {
                    return std::nullopt;
                }
                auto element = readValue(depth + 1);
                if (!element) {
                    return std::nullopt;
                }
                array.append(std::move(*element));
            }
        }
        if (name == QLatin1String("dict")) {
            Value dictionary = Value::dictionary();
            while (true) {
                auto token = nextInside();
                if (token == QXmlStreamReader::EndElement) {
                    return dictionary;
                }
                if (token != QXmlStreamReader::StartElement) {
                    return std::nullopt;
                }
                if (xml_.name() != QLatin1String("key")) {
                    failure(QStringLiteral("<%1> where a dictionary key belongs").arg(xml_.name().toString()));
                    return std::nullopt;
                }
                auto key = leafText();
                if (!key) {
                    return std::nullopt;
                }
                token = nextInside();
                if (token != QXmlStreamReader::StartElement) {
                    if (token == QXmlStreamReader::EndElement) {
                        failure(QStringLiteral("key \"%1\" has no value").arg(key->left(40)));
                    }
                    return std::nullopt;
                }
                auto value = readValue(depth + 1);
                if (!value) {
                    return std::nullopt;
                }
                dictionary.insert(*key, std::move(*value));
            }
        }
        failure(QStringLiteral("unknown element <%1>").arg(name.left(40)));
        return std::nullopt;
    }

    // The next start or end element inside a container, skipping whitespace, comments and
    // processing instructions. Anything else is an error (Invalid returned).
    QXmlStreamReader::TokenType nextInside() {
        while (!xml_.atEnd()) {
            const auto token = xml_.readNext();
            switch (token) {
            case QXmlStreamReader::StartElement:
            case QXmlStreamReader::EndElement: return token;
            case QXmlStreamReader::Characters:
                if (!xml_.isWhitespace()) {
                    failure(QStringLiteral("text between elements"));
                    return QXmlStreamReader::Invalid;
                }
                break;
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction: break;
            case QXmlStreamReader::Invalid: failure(QString()); return QXmlStreamReader::Invalid;
            default:
                failure(QStringLiteral("unexpected content"));
                return QXmlStreamReader::Invalid;
            }
        }
        failure(QStringLiteral("the file ends inside a container"));
        return QXmlStreamReader::Invalid;
    }
};

}  // namespace

ParseResult parse(const QByteArray& xml) { return Reader(xml).run(); }

// ---------------------------------------------------------------------------------------
// Writing

namespace {

bool isXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The first character XML cannot carry, or nothing when the text is clean.
std::optional<char32_t> firstForbiddenCharacter(const QString& text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate() || !isXmlCharacter(c.unicode())) {
            return c.unicode();
        }
    }
    return std::nullopt;
}

class Writer {
public:
    Writer() : xml_(&out_) { xml_.setAutoFormatting(false); }

    SerializeResult run(const Value& root) {
        SerializeResult result;
        xml_.writeStartDocument();
        raw("\n");
        xml_.writeDTD(QStringLiteral(
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"));
        raw("\n");
        xml_.writeStartElement(QStringLiteral("plist"));
        xml_.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
        raw("\n");
        if (!write(root, 0)) {
            result.error = error_;
            return result;
        }
        raw("\n");
        xml_.writeEndElement();
        raw("\n");
        if (xml_.hasError()) {
            result.error = QStringLiteral("the XML writer failed");
            return result;
        }
        result.bytes = out_;
        return result;
    }

private:
    QByteArray out_;
    QXmlStreamWriter xml_;
    QString error_;

    void raw(const char* text) { xml_.writeCharacters(QString::fromLatin1(text)); }

    void indent(int depth) {
        raw("\n");
        if (depth > 0) {
            xml_.writeCharacters(QString(depth, QLatin1Char('\t')));
        }
    }

    // Writes a text so that it reads back the same: a carriage return would come back
    // as a line feed after XML's end-of-line handling, so it goes as a character
    // reference.
    bool text(const QString& value) {
        if (auto bad = firstForbiddenCharacter(value)) {
            error_ = QStringLiteral("a text holds the character U+%1, which XML cannot carry")
                         .arg(static_cast<uint>(*bad), 4, 16, QLatin1Char('0'));
            return false;
        }
        // Also closes the start tag, so that an empty text reads <string></string> as
        // Apple's writer has it, not <string/>.
        xml_.writeCharacters(QString());
        qsizetype start = 0;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) == QLatin1Char('\r')) {
                if (i > start) {
                    xml_.writeCharacters(value.mid(start, i - start));
                }
                xml_.writeEntityReference(QStringLiteral("#13"));
                start = i + 1;
            }
        }
        if (start < value.size()) {
            xml_.writeCharacters(value.mid(start));
        }
        return true;
    }

    bool leaf(const char* element, const QString& content) {
        xml_.writeStartElement(QString::fromLatin1(element));
        if (!text(content)) {
            return false;
        }
        xml_.writeEndElement();
        return true;
    }

    static QString realText(double d) {
        if (std::isnan(d)) {
            return QStringLiteral("nan");
        }
        if (std::isinf(d)) {
            return d > 0 ? QStringLiteral("+infinity") : QStringLiteral("-infinity");
        }
        return QString::number(d, 'g', QLocale::FloatingPointShortest);
    }

    // The value starts where the caller's indentation left the writer.
    bool write(const Value& v, int depth) {
        switch (v.type) {
        case Value::Type::String: return leaf("string", v.string);
        case Value::Type::Integer: return leaf("integer", QString::number(v.integer));
        case Value::Type::Real: return leaf("real", realText(v.real));
        case Value::Type::Boolean:
            xml_.writeEmptyElement(v.boolean ? QStringLiteral("true") : QStringLiteral("false"));
            return true;
        case Value::Type::Date:
            return leaf("date", v.date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
        case Value::Type::Data: {
            // Base64 in lines whose length shrinks with the indentation (a tab counted as
            // eight columns), as Apple's and Python's writers lay it out.
            const int lineLength = std::max(16, 76 - 8 * depth) / 4 * 4;
            const QByteArray encoded = v.data.toBase64();
            xml_.writeStartElement(QStringLiteral("data"));
            for (qsizetype at = 0; at < encoded.size(); at += lineLength) {
                indent(depth);
                xml_.writeCharacters(QString::fromLatin1(encoded.mid(at, lineLength)));
            }
            indent(depth);
            xml_.writeEndElement();
            return true;
        }
        case Value::Type::Array:
            if (v.items.empty()) {
                xml_.writeEmptyElement(QStringLiteral("array"));
                return true;
            }
            xml_.writeStartElement(QStringLiteral("array"));
            for (const Value& element : v.items) {
                indent(depth + 1);
                if (!write(element, depth + 1)) {
                    return false;
                }
            }
            indent(depth);
            xml_.writeEndElement();
            return true;
        case Value::Type::Dictionary:
            if (v.items.empty()) {
                xml_.writeEmptyElement(QStringLiteral("dict"));
                return true;
            }
            xml_.writeStartElement(QStringLiteral("dict"));
            for (std::size_t i = 0; i < v.items.size(); ++i) {
                indent(depth + 1);
                if (!leaf("key", i < v.keys.size() ? v.keys[i] : QString())) {
                    return false;
                }
                indent(depth + 1);
                if (!write(v.items[i], depth + 1)) {
                    return false;
                }
            }
            indent(depth);
            xml_.writeEndElement();
            return true;
        }
        return false;
    }
};

}  // namespace

SerializeResult serialize(const Value& root) { return Writer().run(root); }

}  // namespace tessaro::plist
