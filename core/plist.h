#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace tessaro::plist {

// One value of an XML property list (version 1.0). Dictionaries keep their keys in the
// order they were written or read, because the catalogue files are written with their keys
// in a fixed order and other tools compare such files textually.
struct Value {
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };

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

    static Value fromString(const QString& text);
    static Value fromInteger(qint64 number);
    static Value fromReal(double number);
    static Value fromBoolean(bool flag);
    static Value fromDate(const QDateTime& moment);
    static Value fromData(const QByteArray& bytes);
    static Value array();
    static Value dictionary();

    bool isArray() const { return type == Type::Array; }
    bool isDictionary() const { return type == Type::Dictionary; }

    // Arrays: appends an element. Dictionaries: appends a key and its value (a key that is
    // already there gets a second entry; lookups see the last one, as other readers do).
    void append(Value element);
    void insert(const QString& key, Value value);
    // Dictionaries only; null when the key is absent.
    const Value* find(const QString& key) const;

    // Lenient conversions for readers of files written by other tools: a number may come
    // as <integer>, <real> or a numeric <string>, a flag as <true/>/<false/> or a number,
    // a moment as <date> or a number of seconds since 1970. Absent when the value cannot
    // mean the asked type.
    std::optional<QString> toText() const;
    std::optional<qint64> toInteger() const;
    std::optional<bool> toBoolean() const;
};

struct ParseResult {
    std::optional<Value> value;
    QString error;  // why the text is not a property list; empty on success
};

// Reads the XML form. Accepts what other tools write: any indentation, comments,
// processing instructions, the doctype or none, entity and character references,
// non-ASCII text in UTF-8 or UTF-16, a root value with or without the <plist> element.
// Never crashes on bad input; nesting deeper than a fixed limit is refused.
ParseResult parse(const QByteArray& xml);

struct SerializeResult {
    std::optional<QByteArray> bytes;
    QString error;
};

// Writes the XML form as Apple's tools do: the XML declaration, the doctype, <plist
// version="1.0">, one tab per nesting level, <true/>/<false/>, empty containers as
// <array/> and <dict/>, data as base64 lines. Fails (rather than writing a file no reader
// accepts) when a text holds a character that XML 1.0 cannot carry.
SerializeResult serialize(const Value& root);

}  // namespace tessaro::plist
