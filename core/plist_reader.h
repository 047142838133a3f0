#pragma once

// The reader of the XML form, shared by the files that hold its parts: tags and values
// (plist_reader.cpp) and character data (plist_text_reader.cpp). Not for use elsewhere.
#include "core/plist.h"

#include <QString>

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaro::plist::reading {

// Deeper nesting than any catalogue has; the limit keeps the reader's stack and the
// document's destructor within bounds on a hostile file.
constexpr int kMaxDepth = 256;
// Entities referring to entities, as deep as a sane doctype goes.
constexpr int kMaxEntityNesting = 32;
// Keys repeat in every record; this many distinct ones share their text.
constexpr std::size_t kKeyCacheSize = 256;

// What each byte can be, looked up rather than worked out: the reader asks this for
// nearly every byte of the text.
enum ByteClass : unsigned char { kSpace = 1, kNameStart = 2, kNameByte = 4, kPlain = 8 };

constexpr std::array<unsigned char, 256> kByteClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        const bool nameStart = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
        const bool nameByte = nameStart || (c >= '0' && c <= '9') || c == '-' || c == '.';
        // Character data copied as it is.
        const bool plain = (c >= 0x20 && c < 0x80 && c != '&') || c == '\t' || c == '\n';
        classes[static_cast<std::size_t>(c)] = static_cast<unsigned char>(
            (space ? kSpace : 0) | (nameStart ? kNameStart : 0) | (nameByte ? kNameByte : 0) | (plain ? kPlain : 0));
    }
    return classes;
}();

inline bool isSpace(char c) { return kByteClasses[static_cast<unsigned char>(c)] & kSpace; }
inline bool isNameStart(unsigned char c) { return kByteClasses[c] & kNameStart; }
inline bool isNameByte(unsigned char c) { return kByteClasses[c] & kNameByte; }
inline bool isPlainByte(unsigned char c) { return kByteClasses[c] & kPlain; }

inline bool isXmlCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString quoted(std::string_view text) {
    constexpr std::size_t shown = 40;
    QString t = fromUtf8(text.substr(0, shown));
    if (text.size() > shown) {
        t += QChar(0x2026);
    }
    return QLatin1Char('"') + t + QLatin1Char('"');
}

inline QString element(std::string_view name) {
    return QLatin1Char('<') + fromUtf8(name.substr(0, 40)) + QLatin1Char('>');
}

inline QString lineText(qsizetype line, const QString& what) {
    return QStringLiteral("line %1: %2").arg(line).arg(what);
}

// The code point of the UTF-8 sequence at s (which starts with a byte >= 0x80) and its
// length; length 0 when the bytes are not UTF-8 (overlong forms and surrogates included).
inline int utf8Sequence(const unsigned char* s, const unsigned char* e, char32_t& code) {
    const unsigned char c = s[0];
    auto continuation = [&](int i) { return s + i < e && (s[i] & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF) {
        if (!continuation(1)) {
            return 0;
        }
        code = (static_cast<char32_t>(c & 0x1F) << 6) | (s[1] & 0x3F);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        if (!continuation(1) || !continuation(2) || (c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] > 0x9F)) {
            return 0;
        }
        code = (static_cast<char32_t>(c & 0x0F) << 12) | (static_cast<char32_t>(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3) || (c == 0xF0 && s[1] < 0x90) ||
            (c == 0xF4 && s[1] > 0x8F)) {
            return 0;
        }
        code = (static_cast<char32_t>(c & 0x07) << 18) | (static_cast<char32_t>(s[1] & 0x3F) << 12) |
               (static_cast<char32_t>(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
        return 4;
    }
    return 0;
}

// Collects decoded text as UTF-16 without a reallocation per piece.
class TextBuffer {
public:
    void clear() { size_ = 0; }
    // Room for `more` units at the end; returns where they go.
    char16_t* reserve(std::size_t more) {
        if (size_ + more > units_.size()) {
            units_.resize(std::max(units_.size() * 2, size_ + more));
        }
        return units_.data() + size_;
    }
    void commit(const char16_t* end) { size_ = static_cast<std::size_t>(end - units_.data()); }
    void put(char32_t c) {
        char16_t* o = reserve(2);
        if (c < 0x10000) {
            *o++ = static_cast<char16_t>(c);
        } else {
            *o++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        commit(o);
    }
    void put(const QString& text) {
        char16_t* o = reserve(static_cast<std::size_t>(text.size()));
        std::memcpy(o, text.utf16(), static_cast<std::size_t>(text.size()) * sizeof(char16_t));
        commit(o + text.size());
    }
    QString text() const {
        return QString(reinterpret_cast<const QChar*>(units_.data()), static_cast<qsizetype>(size_));
    }

private:
    std::u16string units_;
    std::size_t size_ = 0;
};

// One general entity of the doctype's internal subset.
struct Entity {
    std::string_view literal;  // the replacement text as written, between its quotes
    bool external = false;     // SYSTEM or PUBLIC: a file elsewhere, never read
    enum class State { Unread, Expanding, Done, Failed } state = State::Unread;
    QString text;     // Done: the replacement text
    QString failure;  // Failed: why it cannot be used
};

struct Tag {
    std::string_view name;
    bool empty = false;  // <name/>
};

// Where decoded text goes and what went wrong in it.
struct TextSink {
    TextBuffer& out;
    QString& problem;      // the first problem; decoding goes on so the structure is still checked
    int nesting;           // entities being expanded around this text
    bool located;          // problems get a line number (not inside an entity's declaration)
    bool verbatim = true;  // the decoded text is the bytes as they stand
};

class Reader {
public:
    Reader(const char* begin, const char* end)
        : begin_(begin),
          p_(begin),
          end_(end),
          lineFrom_(begin),
          budget_(8 * static_cast<qint64>(end - begin) + (1 << 20)) {}

    ParseResult run();

private:
    const char* const begin_;
    const char* p_;
    const char* const end_;
    QString fatal_;
    // Line numbers are counted from the last position asked about (see lineAt).
    const char* lineFrom_;
    qsizetype line_ = 1;
    std::unordered_map<std::string_view, Entity> entities_;
    // Characters that entity references may still add: a text whose entities expand out
    // of proportion to its length is refused, not read slowly.
    qint64 budget_;
    std::unordered_map<std::string_view, QString> keys_;
    std::unordered_set<std::string_view> attributeNames_;
    TextBuffer buffer_;
    // How many entries the last container at each depth held: neighbours in a property
    // list tend to be alike (every item of a catalogue has the same keys), so the next one
    // gets that much room at once instead of growing step by step.
    std::vector<std::size_t> lastSizes_ = std::vector<std::size_t>(kMaxDepth + 1, 0);

    qsizetype lineAt(const char* at);
    QString at(const char* where, const QString& what) { return lineText(lineAt(where), what); }
    // Records the first fatal error; always false.
    bool fail(const char* where, const QString& what) {
        if (fatal_.isEmpty()) {
            fatal_ = at(where, what);
        }
        return false;
    }
    bool failed() const { return !fatal_.isEmpty(); }
    QString found(const char* where) const;
    template <std::size_t N>
    bool startsWith(const char (&literal)[N]) const {
        return static_cast<std::size_t>(end_ - p_) >= N - 1 && std::memcmp(p_, literal, N - 1) == 0;
    }
    void skipSpace() {
        while (p_ < end_ && isSpace(*p_)) {
            ++p_;
        }
    }
    std::string_view name();
    bool skipPast(const char* terminator, const char* start, const char* what);
    bool skipMisc(bool& skipped, std::optional<std::string_view>* cdata = nullptr);
    std::optional<std::string_view> literal(const char* what);

    bool readProlog();
    bool readDoctype();
    bool readInternalSubset(const char* doctypeStart);
    bool readEntityDeclaration();
    bool skipDeclaration();

    bool readStartTag(Tag& tag);
    bool readEndTag(std::string_view expected);
    bool peekName(std::string_view name) const;
    bool nextMarkup(std::string_view container);
    bool skipRest(std::string_view openName);

    // Records a problem of the text in the sink, if it is the first; the message is only
    // made then, so that a text with a million faults costs no million messages.
    template <typename Message>
    void note(TextSink& sink, const char* where, Message message) {
        sink.verbatim = false;
        if (sink.problem.isEmpty()) {
            sink.problem = sink.located ? at(where, message()) : message();
        }
    }
    void decode(const char* s, const char* e, TextSink& sink, bool cdata);
    void reference(const char*& s, const char* e, TextSink& sink);
    const QString* expand(Entity& entity, int nesting, QString& why);
    bool charge(qsizetype characters, QString& why);
    struct Leaf {
        QString problem;
        // The content as it stands in the file when it is one run of plain text (no
        // references, sections or comments), so that numbers and keys need no copy.
        std::optional<std::string_view> plain;
    };
    bool readLeaf(std::string_view elementName, bool emptyTag, Leaf& leaf);
    Value leafValue(std::string_view name, const Leaf& leaf, const char* start);
    QString keyText(const Leaf& leaf);

    std::optional<Value> readValue(int depth);
    Value readContainer(const Tag& tag, int depth);
};

}  // namespace tessaro::plist::reading
