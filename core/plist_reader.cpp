// The XML reader of property lists: one pass over the bytes without backtracking, so that
// the time grows with the length of the text whatever it holds (many attributes, deep
// nesting, long texts, many entities or references).
#include "core/plist_reader.h"

#include "core/plist_encoding.h"

namespace tessaro::plist {

namespace reading {

// Counts from the last position asked about, forwards or back, so that asking about each
// place in reading order costs one pass over the text in all.
qsizetype Reader::lineAt(const char* at) {
    auto newlines = [](const char* from, const char* to) {
        qsizetype count = 0;
        while (from < to) {
            const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(to - from));
            if (!newline) {
                break;
            }
            ++count;
            from = static_cast<const char*>(newline) + 1;
        }
        return count;
    };
    if (at >= lineFrom_) {
        line_ += newlines(lineFrom_, at);
    } else {
        line_ -= newlines(at, lineFrom_);
    }
    lineFrom_ = at;
    return line_;
}

// What stands at `where`, for the "found ..." of messages.
QString Reader::found(const char* where) const {
    if (where >= end_) {
        return QStringLiteral("the end of the text");
    }
    const unsigned char c = static_cast<unsigned char>(*where);
    if (c == '<') {
        const char* stop = where + 1;
        while (stop < end_ && stop - where < 48 && *stop != '>' && !isSpace(*stop) && *stop != '<') {
            ++stop;
        }
        if (stop < end_ && *stop == '>') {
            ++stop;
        }
        return quoted(std::string_view(where, static_cast<std::size_t>(stop - where)));
    }
    char32_t code = 0;
    if ((c < 0x20 && !isSpace(static_cast<char>(c))) ||
        (c >= 0x80 && utf8Sequence(reinterpret_cast<const unsigned char*>(where),
                                   reinterpret_cast<const unsigned char*>(end_), code) == 0)) {
        return QStringLiteral("the byte 0x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    const char* stop = where;
    while (stop < end_ && stop - where < 30 && *stop != '<' && *stop != '\n') {
        ++stop;
    }
    return QStringLiteral("the text ") + quoted(std::string_view(where, static_cast<std::size_t>(stop - where)));
}

std::string_view Reader::name() {
    const char* start = p_;
    if (p_ < end_ && isNameStart(static_cast<unsigned char>(*p_))) {
        ++p_;
        while (p_ < end_ && isNameByte(static_cast<unsigned char>(*p_))) {
            ++p_;
        }
    }
    return std::string_view(start, static_cast<std::size_t>(p_ - start));
}

// Moves past `terminator`, which ends the comment, processing instruction or CDATA section
// that began at `start`.
bool Reader::skipPast(const char* terminator, const char* start, const char* what) {
    const std::string_view rest(p_, static_cast<std::size_t>(end_ - p_));
    const std::size_t found = rest.find(terminator);
    if (found == std::string_view::npos) {
        p_ = end_;
        return fail(start, QStringLiteral("the text ends inside %1 (expected \"%2\")")
                               .arg(QLatin1String(what), QLatin1String(terminator)));
    }
    p_ += found + std::strlen(terminator);
    return true;
}

// Skips the comment or processing instruction at p_ (and, where `cdata` is given, the CDATA
// section, whose content goes there); `skipped` tells whether there was one.
bool Reader::skipMisc(bool& skipped, std::optional<std::string_view>* cdata) {
    skipped = true;
    const char* start = p_;
    if (startsWith("<!--")) {
        p_ += 4;
        return skipPast("-->", start, "a comment");
    }
    if (startsWith("<?")) {
        p_ += 2;
        return skipPast("?>", start, "a processing instruction");
    }
    if (cdata && startsWith("<![CDATA[")) {
        p_ += 9;
        const char* content = p_;
        if (!skipPast("]]>", start, "a CDATA section")) {
            return false;
        }
        *cdata = std::string_view(content, static_cast<std::size_t>(p_ - 3 - content));
        return true;
    }
    skipped = false;
    return true;
}

// A quoted literal: an attribute value, an identifier, an entity's text.
std::optional<std::string_view> Reader::literal(const char* what) {
    if (p_ >= end_ || (*p_ != '"' && *p_ != '\'')) {
        fail(p_, QStringLiteral("expected %1 in quotes, found %2").arg(QLatin1String(what), found(p_)));
        return std::nullopt;
    }
    const char quote = *p_;
    const char* start = ++p_;
    const void* close = std::memchr(p_, quote, static_cast<std::size_t>(end_ - p_));
    if (!close) {
        p_ = end_;
        fail(start - 1,
             QStringLiteral("the text ends inside %1 (expected the closing quote)").arg(QLatin1String(what)));
        return std::nullopt;
    }
    p_ = static_cast<const char*>(close) + 1;
    return std::string_view(start, static_cast<std::size_t>(p_ - 1 - start));
}

// ---------------------------------------------------------------------------------------
// Prolog and doctype

bool Reader::readProlog() {
    // The XML declaration; its encoding was settled before (see plist_encoding).
    if (startsWith("<?xml") && p_ + 5 < end_ && isSpace(p_[5])) {
        const char* start = p_;
        p_ += 5;
        if (!skipPast("?>", start, "the XML declaration")) {
            return false;
        }
    }
    bool doctypeSeen = false;
    while (true) {
        skipSpace();
        bool skipped = false;
        if (!skipMisc(skipped)) {
            return false;
        }
        if (skipped) {
            continue;
        }
        if (!startsWith("<!DOCTYPE")) {
            return true;
        }
        if (doctypeSeen) {
            return fail(p_, QStringLiteral("expected the root element, found a second doctype"));
        }
        doctypeSeen = true;
        if (!readDoctype()) {
            return false;
        }
    }
}

// <!DOCTYPE name [external identifier] [[internal subset]]>. Only the general entities of
// the internal subset matter here; nothing outside the file is ever fetched.
bool Reader::readDoctype() {
    const char* start = p_;
    p_ += 9;
    while (true) {
        skipSpace();
        if (p_ >= end_) {
            return fail(start, QStringLiteral("the text ends inside the doctype (expected \">\")"));
        }
        const char c = *p_;
        if (c == '>') {
            ++p_;
            return true;
        }
        if (c == '"' || c == '\'') {
            if (!literal("an identifier")) {
                return false;
            }
        } else if (isNameStart(static_cast<unsigned char>(c))) {
            name();
        } else if (c == '[') {
            ++p_;
            if (!readInternalSubset(start)) {
                return false;
            }
        } else {
            return fail(p_, QStringLiteral("expected \">\" or \"[\" in the doctype, found %1").arg(found(p_)));
        }
    }
}

bool Reader::readInternalSubset(const char* doctypeStart) {
    while (true) {
        skipSpace();
        if (p_ >= end_) {
            return fail(doctypeStart, QStringLiteral("the text ends inside the doctype (expected \"]\")"));
        }
        if (*p_ == ']') {
            ++p_;
            return true;
        }
        bool skipped = false;
        if (!skipMisc(skipped)) {
            return false;
        }
        if (skipped) {
            continue;
        }
        if (*p_ == '%') {
            // A parameter entity reference: declarations kept elsewhere, not read.
            ++p_;
            if (name().empty() || p_ >= end_ || *p_ != ';') {
                return fail(p_, QStringLiteral("expected a parameter entity name and \";\", found %1").arg(found(p_)));
            }
            ++p_;
        } else if (startsWith("<!ENTITY")) {
            if (!readEntityDeclaration()) {
                return false;
            }
        } else if (startsWith("<!")) {
            if (!skipDeclaration()) {
                return false;
            }
        } else {
            return fail(p_, QStringLiteral("expected a declaration in the doctype, found %1").arg(found(p_)));
        }
    }
}

// <!ELEMENT ...>, <!ATTLIST ...>, <!NOTATION ...>: not used, skipped to their ">".
bool Reader::skipDeclaration() {
    const char* start = p_;
    p_ += 2;
    while (p_ < end_) {
        if (*p_ == '"' || *p_ == '\'') {
            if (!literal("a literal of the declaration")) {
                return false;
            }
            continue;
        }
        if (*p_ == '<') {
            return fail(p_, QStringLiteral("expected \">\" to end the declaration, found %1").arg(found(p_)));
        }
        if (*p_++ == '>') {
            return true;
        }
    }
    return fail(start, QStringLiteral("the text ends inside a declaration of the doctype"));
}

// <!ENTITY name "text"> or <!ENTITY name SYSTEM|PUBLIC ...>. Parameter entities
// (<!ENTITY % name ...>) serve the doctype itself and are not kept.
bool Reader::readEntityDeclaration() {
    const char* start = p_;
    p_ += 8;
    skipSpace();
    bool parameter = false;
    if (p_ < end_ && *p_ == '%') {
        parameter = true;
        ++p_;
        skipSpace();
    }
    const std::string_view entityName = name();
    if (entityName.empty()) {
        return fail(p_, QStringLiteral("expected an entity name, found %1").arg(found(p_)));
    }
    skipSpace();
    Entity entity;
    if (p_ < end_ && (*p_ == '"' || *p_ == '\'')) {
        const auto value = literal("the entity's text");
        if (!value) {
            return false;
        }
        entity.literal = *value;
    } else {
        entity.external = true;
    }
    while (true) {
        skipSpace();
        if (p_ >= end_) {
            return fail(
                start, QStringLiteral("the text ends inside the declaration of the entity %1").arg(quoted(entityName)));
        }
        if (*p_ == '>') {
            ++p_;
            break;
        }
        if (*p_ == '"' || *p_ == '\'') {
            if (!literal("an identifier")) {
                return false;
            }
        } else if (isNameStart(static_cast<unsigned char>(*p_))) {
            name();
        } else {
            return fail(p_, QStringLiteral("expected \">\" to end the declaration of the entity %1, found %2")
                                .arg(quoted(entityName), found(p_)));
        }
    }
    // The first declaration of a name is the one that counts.
    if (!parameter) {
        entities_.emplace(entityName, std::move(entity));
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Tags

// <name attributes...> or <name .../>, with p_ on the "<". Attributes mean nothing in a
// property list; they are only checked to be well formed and not repeated.
bool Reader::readStartTag(Tag& tag) {
    const char* start = p_;
    ++p_;
    tag.name = name();
    if (tag.name.empty()) {
        return fail(start, QStringLiteral("expected an element name after \"<\", found %1").arg(found(p_)));
    }
    attributeNames_.clear();
    while (true) {
        const char* beforeSpace = p_;
        skipSpace();
        if (p_ >= end_) {
            return fail(start, QStringLiteral("the text ends inside the tag %1").arg(element(tag.name)));
        }
        if (*p_ == '>') {
            ++p_;
            tag.empty = false;
            return true;
        }
        if (*p_ == '/' && p_ + 1 < end_ && p_[1] == '>') {
            p_ += 2;
            tag.empty = true;
            return true;
        }
        const char* attributeStart = p_;
        const std::string_view attribute = name();
        if (attribute.empty() || beforeSpace == attributeStart) {
            return fail(attributeStart,
                        QStringLiteral("expected \">\", \"/>\" or a space and an attribute in %1, found %2")
                            .arg(element(tag.name), found(attributeStart)));
        }
        if (!attributeNames_.insert(attribute).second) {
            return fail(
                attributeStart,
                QStringLiteral("the attribute %1 appears twice in %2").arg(quoted(attribute), element(tag.name)));
        }
        skipSpace();
        if (p_ >= end_ || *p_ != '=') {
            return fail(
                p_,
                QStringLiteral("expected \"=\" after the attribute %1, found %2").arg(quoted(attribute), found(p_)));
        }
        ++p_;
        skipSpace();
        const auto value = literal("an attribute value");
        if (!value) {
            return false;
        }
        if (value->find('<') != std::string_view::npos) {
            return fail(attributeStart,
                        QStringLiteral("the value of the attribute %1 holds \"<\"").arg(quoted(attribute)));
        }
    }
}

// </expected>, with p_ on its "<".
bool Reader::readEndTag(std::string_view expected) {
    const char* start = p_;
    p_ += 2;
    const std::string_view closing = name();
    skipSpace();
    if (closing != expected || p_ >= end_ || *p_ != '>') {
        p_ = start;
        return fail(start, QStringLiteral("expected </%1>, found %2").arg(fromUtf8(expected), found(start)));
    }
    ++p_;
    return true;
}

// Whether the start tag at p_ is <name ...>.
bool Reader::peekName(std::string_view wanted) const {
    const char* p = p_ + 1;
    if (static_cast<std::size_t>(end_ - p) <= wanted.size() || std::memcmp(p, wanted.data(), wanted.size()) != 0) {
        return false;
    }
    return !isNameByte(static_cast<unsigned char>(p[wanted.size()]));
}

// Past white space, comments and processing instructions to the next tag inside
// `container`; false (with the reason) at text, at the end, or at other markup.
bool Reader::nextMarkup(std::string_view container) {
    while (true) {
        skipSpace();
        if (p_ >= end_) {
            return fail(p_, QStringLiteral("the text ends inside <%1> (expected </%1>)").arg(fromUtf8(container)));
        }
        if (*p_ == '<') {
            bool skipped = false;
            if (!skipMisc(skipped)) {
                return false;
            }
            if (skipped) {
                continue;
            }
            if (p_ + 1 < end_ && (p_[1] == '/' || isNameStart(static_cast<unsigned char>(p_[1])))) {
                return true;
            }
        }
        return fail(p_, QStringLiteral("expected an element or </%1>, found %2").arg(fromUtf8(container), found(p_)));
    }
}

// Skips what is left of an element whose start tag has been read, through its end tag: the
// content of unknown elements and of containers nested too deeply. Iterative, so that any
// depth costs only its length.
bool Reader::skipRest(std::string_view openName) {
    std::vector<std::string_view> open{openName};
    while (!open.empty()) {
        const void* lt = std::memchr(p_, '<', static_cast<std::size_t>(end_ - p_));
        if (!lt) {
            p_ = end_;
            return fail(p_, QStringLiteral("the text ends inside <%1> (expected </%1>)").arg(fromUtf8(open.back())));
        }
        p_ = static_cast<const char*>(lt);
        bool skipped = false;
        std::optional<std::string_view> section;
        if (!skipMisc(skipped, &section)) {
            return false;
        }
        if (skipped) {
            continue;
        }
        if (startsWith("</")) {
            if (!readEndTag(open.back())) {
                return false;
            }
            open.pop_back();
        } else {
            Tag tag;
            if (!readStartTag(tag)) {
                return false;
            }
            if (!tag.empty) {
                open.push_back(tag.name);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Values

// The value whose start tag is at p_, through its end tag. Absent only when the text is
// not well-formed before anything of the value could be kept.
std::optional<Value> Reader::readValue(int depth) {
    const char* start = p_;
    Tag tag;
    if (!readStartTag(tag)) {
        return std::nullopt;
    }
    const std::string_view n = tag.name;
    if (n == "array" || n == "dict") {
        if (depth < kMaxDepth) {
            return readContainer(tag, depth);
        }
        if (!tag.empty && !skipRest(n)) {
            return std::nullopt;
        }
        return Value::invalid(at(start, QStringLiteral("values nested deeper than %1 levels").arg(kMaxDepth)));
    }
    static const std::string_view leaves[] = {"string", "integer", "real", "true", "false", "date", "data"};
    for (const std::string_view leafName : leaves) {
        if (n == leafName) {
            Leaf leaf;
            if (!readLeaf(n, tag.empty, leaf)) {
                return std::nullopt;
            }
            return leafValue(n, leaf, start);
        }
    }
    if (!tag.empty && !skipRest(n)) {
        return std::nullopt;
    }
    return Value::invalid(at(start, QStringLiteral("expected a value, found the element %1").arg(element(n))));
}

// An array or dictionary whose start tag has been read. When the text goes wrong inside
// it, what was read so far comes back marked truncated.
Value Reader::readContainer(const Tag& tag, int depth) {
    const bool isDictionary = tag.name == "dict";
    Value container = isDictionary ? Value::dictionary() : Value::array();
    if (tag.empty) {
        return container;
    }
    std::size_t& lastSize = lastSizes_[static_cast<std::size_t>(depth)];
    constexpr std::size_t kMostReserved = 64;
    container.items.reserve(std::min(lastSize, kMostReserved));
    if (isDictionary) {
        container.keys.reserve(std::min(lastSize, kMostReserved));
    }
    // Dictionaries: the key read last, whose value comes next.
    std::optional<QString> key;
    QString keyProblem;
    const auto keyWithoutValue = [&] {
        const QString reason = at(p_, QStringLiteral("expected a value after the key %1, found %2")
                                          .arg(QStringLiteral("\"%1\"").arg(key->left(40)), found(p_)));
        container.insert(*key, Value::invalid(keyProblem.isEmpty() ? reason : keyProblem));
        key.reset();
    };
    while (nextMarkup(tag.name)) {
        if (p_[1] == '/') {
            if (!readEndTag(tag.name)) {
                break;
            }
            if (key) {
                keyWithoutValue();
            }
            lastSize = container.items.size();
            return container;
        }
        if (isDictionary && peekName("key")) {
            if (key) {
                keyWithoutValue();
            }
            Tag keyTag;
            Leaf leaf;
            if (!readStartTag(keyTag) || !readLeaf("key", keyTag.empty, leaf)) {
                break;
            }
            // A key that cannot be read is kept as well as it can be; its value is then
            // unreadable, so that a reader of that key learns of the damage.
            key = keyText(leaf);
            keyProblem = leaf.problem;
            continue;
        }
        if (isDictionary && !key) {
            fail(p_, QStringLiteral("expected <key> in a dictionary, found %1").arg(found(p_)));
            break;
        }
        std::optional<Value> child = readValue(depth + 1);
        if (!child) {
            break;
        }
        if (isDictionary) {
            container.insert(*key, keyProblem.isEmpty() ? std::move(*child) : Value::invalid(keyProblem));
            key.reset();
        } else {
            container.append(std::move(*child));
        }
        if (failed()) {
            break;
        }
    }
    container.truncated = true;
    return container;
}

ParseResult Reader::run() {
    ParseResult result;
    std::optional<Value> root;
    if (readProlog()) {
        if (p_ >= end_ || *p_ != '<' || p_ + 1 >= end_ || !isNameStart(static_cast<unsigned char>(p_[1]))) {
            fail(p_, QStringLiteral("expected the root element, found %1").arg(found(p_)));
        } else if (!peekName("plist")) {
            root = readValue(0);
        } else {
            Tag plistTag;
            const char* start = p_;
            if (!readStartTag(plistTag)) {
            } else if (plistTag.empty) {
                fail(start, QStringLiteral("expected a value in <plist>, found <plist/>"));
            } else if (nextMarkup("plist")) {
                if (p_[1] == '/') {
                    fail(p_, QStringLiteral("expected a value in <plist>, found </plist>"));
                } else {
                    root = readValue(0);
                    // What follows </plist> is not looked at, as other readers do.
                    if (!failed() && nextMarkup("plist")) {
                        if (p_[1] == '/') {
                            readEndTag("plist");
                        } else {
                            fail(p_, QStringLiteral("expected </plist> after the value, found %1").arg(found(p_)));
                        }
                    }
                }
            }
        }
    }
    if (failed()) {
        result.error = fatal_;
        if (root && (root->isArray() || root->isDictionary())) {
            result.partial = std::move(root);
        }
        return result;
    }
    if (root->isInvalid()) {
        result.error = root->string;
        return result;
    }
    result.value = std::move(root);
    return result;
}

}  // namespace reading

ParseResult parse(const QByteArray& xml) {
    const encoding::Utf8Text text = encoding::asUtf8(xml);
    if (!text.error.isEmpty()) {
        ParseResult result;
        result.error = QStringLiteral("line 1: ") + text.error;
        return result;
    }
    return reading::Reader(text.begin, text.end).run();
}

}  // namespace tessaro::plist
