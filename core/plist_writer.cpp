#include "core/plist.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tessaro::plist {

namespace {

constexpr char kDocumentHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr char kDocumentTail[] = "\n</plist>\n";

// The longest UTF-8 form of one UTF-16 unit: "&quot;".
constexpr qsizetype kLongestEscape = 6;

QString forbiddenCharacter(char32_t c) {
    return QStringLiteral("a text holds the character U+%1, which XML cannot carry")
        .arg(static_cast<uint>(c), 4, 16, QLatin1Char('0'));
}

QByteArray realText(double d) {
    if (std::isnan(d)) {
        return QByteArrayLiteral("nan");
    }
    if (std::isinf(d)) {
        return d > 0 ? QByteArrayLiteral("+infinity") : QByteArrayLiteral("-infinity");
    }
    return QString::number(d, 'g', QLocale::FloatingPointShortest).toLatin1();
}

}  // namespace

Writer::Writer(qsizetype expectedSize) {
    out_.reserve(expectedSize + static_cast<qsizetype>(sizeof kDocumentHead + sizeof kDocumentTail));
    out_.append(kDocumentHead);
}

// Every value and key inside a container starts on a line of its own, one tab deeper than
// the container; the root value follows the <plist> line directly.
void Writer::startItem() {
    if (open_.empty()) {
        return;
    }
    open_.back().empty = false;
    out_.append('\n');
    out_.append(static_cast<qsizetype>(open_.size()), '\t');
}

void Writer::begin(const char* tag) {
    startItem();
    out_.append(tag);
    open_.push_back({out_.size(), true});
}

// An empty container is written as <array/> or <dict/>: its start tag is still the last
// thing written, and gets its slash.
void Writer::end(const char* closeTag) {
    if (open_.empty()) {
        if (error_.isEmpty()) {
            error_ = QStringLiteral("a container was closed that was never opened");
        }
        return;
    }
    const Open closing = open_.back();
    open_.pop_back();
    if (closing.empty && closing.tagEnd == out_.size()) {
        out_.chop(1);
        out_.append("/>");
        return;
    }
    out_.append('\n');
    out_.append(static_cast<qsizetype>(open_.size()), '\t');
    out_.append(closeTag);
}

void Writer::beginArray() { begin("<array>"); }
void Writer::endArray() { end("</array>"); }
void Writer::beginDictionary() { begin("<dict>"); }
void Writer::endDictionary() { end("</dict>"); }

void Writer::key(QStringView text) { leaf("<key>", "</key>", text); }

// The keys of our own files are plain ASCII; they need neither conversion nor escapes.
void Writer::key(QLatin1StringView text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x80 || c == '&' || c == '<' || c == '>' || c == '"') {
            key(QStringView(QString(text)));
            return;
        }
    }
    startItem();
    out_.append("<key>");
    out_.append(text.data(), text.size());
    out_.append("</key>");
}
void Writer::string(QStringView text) { leaf("<string>", "</string>", text); }

void Writer::integer(qint64 number) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    startItem();
    out_.append("<integer>");
    out_.append(digits, result.ptr - digits);
    out_.append("</integer>");
}

void Writer::real(double number) { ascii("<real>", "</real>", realText(number)); }

void Writer::boolean(bool flag) {
    startItem();
    out_.append(flag ? "<true/>" : "<false/>");
}

void Writer::date(const QDateTime& moment) {
    ascii("<date>", "</date>", moment.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1());
}

// Base64 in lines whose length shrinks with the indentation (a tab counted as eight
// columns), as Apple's and Python's writers lay it out.
void Writer::data(const QByteArray& bytes) {
    startItem();
    const qsizetype depth = static_cast<qsizetype>(open_.size());
    const qsizetype lineLength = std::max<qsizetype>(16, 76 - 8 * depth) / 4 * 4;
    const QByteArray encoded = bytes.toBase64();
    out_.append("<data>");
    for (qsizetype at = 0; at < encoded.size(); at += lineLength) {
        out_.append('\n');
        out_.append(depth, '\t');
        out_.append(encoded.constData() + at, std::min(lineLength, encoded.size() - at));
    }
    out_.append('\n');
    out_.append(depth, '\t');
    out_.append("</data>");
}

void Writer::leaf(const char* open, const char* close, QStringView text) {
    startItem();
    out_.append(open);
    escaped(text);
    out_.append(close);
}

void Writer::ascii(const char* open, const char* close, const QByteArray& text) {
    startItem();
    out_.append(open);
    out_.append(text);
    out_.append(close);
}

// UTF-16 to UTF-8 and escaping in one pass. A carriage return goes as a character
// reference: written as it is, XML's end-of-line handling would read it back as a line feed.
void Writer::escaped(QStringView text) {
    const qsizetype start = out_.size();
    const qsizetype needed = start + text.size() * kLongestEscape;
    if (out_.capacity() < needed) {
        out_.reserve(std::max(needed, 2 * out_.capacity()));
    }
    out_.resize(needed);
    char* o = out_.data() + start;
    const char16_t* s = text.utf16();
    const char16_t* const end = s + text.size();
    auto put = [&o](const char* entity, std::size_t length) {
        std::memcpy(o, entity, length);
        o += length;
    };
    while (s < end) {
        const char16_t c = *s++;
        if (c < 0x80) {
            switch (c) {
            case '&': put("&amp;", 5); break;
            case '<': put("&lt;", 4); break;
            case '>': put("&gt;", 4); break;
            case '"': put("&quot;", 6); break;
            case '\r': put("&#13;", 5); break;
            case '\t':
            case '\n': *o++ = static_cast<char>(c); break;
            default:
                if (c < 0x20) {
                    if (error_.isEmpty()) {
                        error_ = forbiddenCharacter(c);
                    }
                    continue;
                }
                *o++ = static_cast<char>(c);
            }
        } else if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
                const char32_t u = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (*s++ - 0xDC00);
                *o++ = static_cast<char>(0xF0 | (u >> 18));
                *o++ = static_cast<char>(0x80 | ((u >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (u & 0x3F));
            } else if (error_.isEmpty()) {
                error_ = forbiddenCharacter(c);
            }
        } else if (c >= 0xFFFE) {
            if (error_.isEmpty()) {
                error_ = forbiddenCharacter(c);
            }
        } else {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out_.resize(o - out_.constData());
}

void Writer::value(const Value& v) {
    switch (v.type) {
    case Value::Type::String: string(v.string); return;
    case Value::Type::Integer: integer(v.integer); return;
    case Value::Type::Real: real(v.real); return;
    case Value::Type::Boolean: boolean(v.boolean); return;
    case Value::Type::Date: date(v.date); return;
    case Value::Type::Data: data(v.data); return;
    case Value::Type::Array:
        beginArray();
        for (const Value& element : v.items) {
            value(element);
        }
        endArray();
        return;
    case Value::Type::Dictionary:
        beginDictionary();
        for (std::size_t i = 0; i < v.items.size(); ++i) {
            key(i < v.keys.size() ? QStringView(v.keys[i]) : QStringView());
            value(v.items[i]);
        }
        endDictionary();
        return;
    case Value::Type::Invalid:
        if (error_.isEmpty()) {
            error_ = QStringLiteral("a value that could not be read cannot be written: ") + v.string;
        }
        return;
    }
}

SerializeResult Writer::finish() {
    SerializeResult result;
    if (error_.isEmpty() && !open_.empty()) {
        error_ = QStringLiteral("a container was left open");
    }
    if (!error_.isEmpty()) {
        result.error = error_;
        return result;
    }
    out_.append(kDocumentTail);
    result.bytes = std::move(out_);
    out_.clear();
    return result;
}

SerializeResult serialize(const Value& root) {
    Writer writer;
    writer.value(root);
    return writer.finish();
}

}  // namespace tessaro::plist
