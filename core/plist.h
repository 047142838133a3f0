#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QLatin1StringView>
#include <QString>

#include <optional>
#include <vector>

namespace tessaro::plist {

// One value of an XML property list (version 1.0). Dictionaries keep their keys in the
// order they were written or read, because the catalogue files are written with their keys
// in a fixed order and other tools compare such files textually.
struct Value {
    // Invalid: a value the text holds but that cannot be read as what it claims to be (an
    // <integer> that is no number, a text with an undeclared entity, an unknown element...);
    // `string` says why. It stands in the document where the value was, so that a reader can
    // decide value by value and one bad value need not cost the rest of the file.
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary, Invalid };

    Type type = Type::String;
    QString string;
    qint64 integer = 0;
    double real = 0.0;
    bool boolean = false;
    QDateTime date;  // UTC, whole seconds
    QByteArray data;
    // Array elements, or dictionary values (then `keys` holds the key of each value).
    std::vector<Value> items;
    std::vector<QString> keys;
    // An array or dictionary whose end the text never reached (see ParseResult::partial).
    bool truncated = false;

    static Value fromString(const QString& text);
    static Value fromInteger(qint64 number);
    static Value fromReal(double number);
    static Value fromBoolean(bool flag);
    static Value fromDate(const QDateTime& moment);
    static Value fromData(const QByteArray& bytes);
    static Value array();
    static Value dictionary();
    static Value invalid(const QString& reason);

    bool isArray() const { return type == Type::Array; }
    bool isDictionary() const { return type == Type::Dictionary; }
    bool isInvalid() const { return type == Type::Invalid; }

    // Arrays: appends an element. Dictionaries: appends a key and its value (a key that is
    // already there gets a second entry; lookups see the last one, as other readers do).
    void append(Value element);
    void insert(const QString& key, Value value);
    // Dictionaries only; null when the key is absent.
    const Value* find(QLatin1StringView key) const;
    const Value* find(const QString& key) const;

    // Lenient conversions for readers of files written by other tools: a number may come
    // as <integer>, <real> or a numeric <string>, a flag as <true/>/<false/> or a number,
    // a moment as <date> or a number of seconds since 1970. Absent when the value cannot
    // mean the asked type.
    std::optional<QString> toText() const;
    std::optional<qint64> toInteger() const;
    std::optional<bool> toBoolean() const;

    // What the value is, for messages that say what was found: `the text "big"`, `a
    // dictionary`, or the reason of an invalid value.
    QString describe() const;
};

struct ParseResult {
    std::optional<Value> value;
    QString error;  // why the text is not a property list; empty on success
    // When the text goes wrong part-way (cut off, malformed), what was read before that
    // point: every value read completely, inside the containers that were still open, which
    // are marked `truncated`. Absent on success and when nothing could be read.
    std::optional<Value> partial;
};

// Reads the XML form in time proportional to its length, whatever it holds. Accepts what
// other tools write: any indentation, comments, processing instructions, CDATA, the doctype
// or none (with its internal entity declarations), entity and character references, UTF-8
// or UTF-16 (or Latin-1 when declared), a root value with or without the <plist> element.
// Values that are well-formed XML but cannot be read (see Value::Type::Invalid) do not fail
// the document; a text that is not well-formed does, with the line and what was expected
// and found. Never crashes on bad input; nesting deeper than a fixed limit is an invalid
// value.
ParseResult parse(const QByteArray& xml);

struct SerializeResult {
    std::optional<QByteArray> bytes;
    QString error;
};

// Writes the XML form as Apple's tools do, value by value, without building a document
// first: the XML declaration, the doctype, <plist version="1.0">, one tab per nesting level,
// <true/>/<false/>, empty containers as <array/> and <dict/>, data as base64 lines. Texts
// escape &, <, >, " and a carriage return. Fails (rather than writing a file no reader
// accepts) when a text holds a character that XML 1.0 cannot carry.
class Writer {
public:
    // `expectedSize`: a guess of the output length, so that the buffer grows once.
    explicit Writer(qsizetype expectedSize = 0);

    void beginArray();
    void endArray();
    void beginDictionary();
    void endDictionary();
    // Inside a dictionary a key comes before each value.
    void key(QStringView text);
    void key(QLatin1StringView text);
    void string(QStringView text);
    void integer(qint64 number);
    void real(double number);
    void boolean(bool flag);
    void date(const QDateTime& moment);
    void data(const QByteArray& bytes);
    void value(const Value& v);

    // The whole document once the root value is written; the first error otherwise.
    SerializeResult finish();

private:
    QByteArray out_;
    QString error_;
    // The open containers: the length of the output just after each one's start tag, and
    // whether anything was written into it since.
    struct Open {
        qsizetype tagEnd;
        bool empty;
    };
    std::vector<Open> open_;

    void startItem();
    void leaf(const char* open, const char* close, QStringView text);
    void ascii(const char* open, const char* close, const QByteArray& text);
    void begin(const char* tag);
    void end(const char* closeTag);
    void escaped(QStringView text);
};

SerializeResult serialize(const Value& root);

}  // namespace tessaro::plist
