// Character data of the XML reader: UTF-8, line ends, character and entity references.
#include "core/plist_reader.h"

#include "core/plist_numbers.h"

namespace tessaro::plist::reading {

// Appends the character data [s, e) to the sink: UTF-8 checked, line ends made line feeds,
// references expanded (not in a CDATA section).
void Reader::decode(const char* s, const char* e, TextSink& sink, bool cdata) {
    // No byte gives more than one UTF-16 unit (a four-byte sequence gives two).
    char16_t* o = sink.out.reserve(static_cast<std::size_t>(e - s));
    while (s < e) {
        const unsigned char c = static_cast<unsigned char>(*s);
        if (isPlainByte(c)) {
            *o++ = c;
            ++s;
            continue;
        }
        if (c == '&') {
            if (cdata) {
                *o++ = c;
                ++s;
                continue;
            }
            sink.out.commit(o);
            reference(s, e, sink);
            o = sink.out.reserve(static_cast<std::size_t>(e - s));
            continue;
        }
        if (c == '\r') {
            sink.verbatim = false;
            *o++ = '\n';
            ++s;
            if (s < e && *s == '\n') {
                ++s;
            }
            continue;
        }
        if (c < 0x80) {
            note(sink, s, [&] {
                return QStringLiteral("the text holds the control character U+%1, which XML does not allow")
                    .arg(c, 4, 16, QLatin1Char('0'));
            });
            ++s;
            continue;
        }
        char32_t code = 0;
        const int length =
            utf8Sequence(reinterpret_cast<const unsigned char*>(s), reinterpret_cast<const unsigned char*>(e), code);
        if (length == 0) {
            note(sink, s,
                 [&] { return QStringLiteral("expected UTF-8, found the byte 0x%1").arg(c, 2, 16, QLatin1Char('0')); });
            ++s;
            continue;
        }
        if (code == 0xFFFE || code == 0xFFFF) {
            note(sink, s, [&] {
                return QStringLiteral("the text holds U+%1, which XML does not allow")
                    .arg(static_cast<uint>(code), 4, 16);
            });
        } else if (code < 0x10000) {
            *o++ = static_cast<char16_t>(code);
        } else {
            *o++ = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
        s += length;
    }
    sink.out.commit(o);
}

// At "&" in character data: appends what the reference stands for. A reference that cannot
// be read is a problem of the text; reading goes on after its "&".
void Reader::reference(const char*& s, const char* e, TextSink& sink) {
    sink.verbatim = false;
    const char* amp = s;
    const char* q = s + 1;
    auto shown = [&] {
        return quoted(std::string_view(amp, static_cast<std::size_t>(std::min<std::ptrdiff_t>(e - amp, 16))));
    };
    if (q < e && *q == '#') {
        ++q;
        int base = 10;
        if (q < e && *q == 'x') {
            base = 16;
            ++q;
        }
        const char* digits = q;
        char32_t code = 0;
        while (q < e) {
            const char d = *q;
            int value = -1;
            if (d >= '0' && d <= '9') {
                value = d - '0';
            } else if (base == 16 && d >= 'a' && d <= 'f') {
                value = d - 'a' + 10;
            } else if (base == 16 && d >= 'A' && d <= 'F') {
                value = d - 'A' + 10;
            }
            if (value < 0) {
                break;
            }
            code = std::min<char32_t>(code * base + value, 0x110000);
            ++q;
        }
        if (q == digits || q >= e || *q != ';') {
            note(sink, amp, [&] {
                return QStringLiteral("expected a character number and \";\" after \"&#\", found %1").arg(shown());
            });
            s = amp + 1;
            return;
        }
        s = q + 1;
        if (!isXmlCharacter(code)) {
            note(sink, amp, [&] {
                return QStringLiteral("%1 stands for a character XML does not allow")
                    .arg(quoted(std::string_view(amp, static_cast<std::size_t>(s - amp))));
            });
            return;
        }
        sink.out.put(code);
        return;
    }
    const char* nameStart = q;
    if (q < e && isNameStart(static_cast<unsigned char>(*q))) {
        while (q < e && isNameByte(static_cast<unsigned char>(*q))) {
            ++q;
        }
    }
    if (q == nameStart || q >= e || *q != ';') {
        note(sink, amp,
             [&] { return QStringLiteral("expected an entity name and \";\" after \"&\", found %1").arg(shown()); });
        s = amp + 1;
        return;
    }
    const std::string_view entityName(nameStart, static_cast<std::size_t>(q - nameStart));
    s = q + 1;
    static const std::pair<std::string_view, char16_t> predefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& [known, character] : predefined) {
        if (entityName == known) {
            sink.out.put(character);
            return;
        }
    }
    const auto written = [&] { return QStringLiteral("\"&%1;\"").arg(fromUtf8(entityName.substr(0, 40))); };
    const auto entity = entities_.find(entityName);
    if (entity == entities_.end()) {
        note(sink, amp,
             [&] { return QStringLiteral("expected a declared entity, found the undeclared %1").arg(written()); });
        return;
    }
    QString why;
    const QString* text = expand(entity->second, sink.nesting + 1, why);
    if (!text || !charge(text->size(), why)) {
        // Inside another entity the reason is passed on as it is, so that the message names
        // the entity the text refers to and the reason at the bottom, not the chain between.
        note(sink, amp, [&] {
            return sink.located ? QStringLiteral("the entity %1 cannot be used: %2").arg(written(), why) : why;
        });
        return;
    }
    sink.out.put(*text);
}

bool Reader::charge(qsizetype characters, QString& why) {
    if (characters > budget_) {
        why = QStringLiteral("its entities expand to more text than a file of this length can hold");
        return false;
    }
    budget_ -= characters;
    return true;
}

// The replacement text of an internal entity, worked out once and kept. References inside
// it are expanded in turn; markup inside an entity is not read.
const QString* Reader::expand(Entity& entity, int nesting, QString& why) {
    switch (entity.state) {
    case Entity::State::Done: return &entity.text;
    case Entity::State::Failed: why = entity.failure; return nullptr;
    case Entity::State::Expanding: why = QStringLiteral("it refers to itself"); return nullptr;
    case Entity::State::Unread: break;
    }
    auto refuse = [&](const QString& reason) -> const QString* {
        entity.state = Entity::State::Failed;
        entity.failure = reason;
        why = reason;
        return nullptr;
    };
    if (entity.external) {
        return refuse(QStringLiteral("it refers to an outside file, which is not read"));
    }
    if (nesting > kMaxEntityNesting) {
        return refuse(QStringLiteral("entities are nested more than %1 deep").arg(kMaxEntityNesting));
    }
    if (entity.literal.find('<') != std::string_view::npos) {
        return refuse(QStringLiteral("it holds markup, which is not read"));
    }
    if (entity.literal.find('%') != std::string_view::npos) {
        return refuse(QStringLiteral("it refers to a parameter entity, which is not read"));
    }
    entity.state = Entity::State::Expanding;
    TextBuffer expansion;
    QString problem;
    TextSink sink{expansion, problem, nesting, false};
    decode(entity.literal.data(), entity.literal.data() + entity.literal.size(), sink, false);
    if (!problem.isEmpty()) {
        return refuse(problem);
    }
    QString text = expansion.text();
    if (!charge(text.size(), why)) {
        return refuse(why);
    }
    entity.state = Entity::State::Done;
    entity.text = std::move(text);
    return &entity.text;
}

// The content of a leaf element (<string>, <key>, <integer>...) into buffer_, through its
// end tag. Comments, processing instructions and CDATA sections may stand in the text; an
// element inside it is a problem of the value, skipped.
bool Reader::readLeaf(std::string_view elementName, bool emptyTag, Leaf& leaf) {
    buffer_.clear();
    if (emptyTag) {
        leaf.plain = std::string_view();
        return true;
    }
    const char* contentStart = p_;
    bool oneRun = true;
    TextSink sink{buffer_, leaf.problem, 0, true};
    while (true) {
        const void* lt = std::memchr(p_, '<', static_cast<std::size_t>(end_ - p_));
        const char* stop = lt ? static_cast<const char*>(lt) : end_;
        decode(p_, stop, sink, false);
        p_ = stop;
        if (!lt) {
            return fail(p_, QStringLiteral("the text ends inside %1 (expected </%2>)")
                                .arg(element(elementName), fromUtf8(elementName)));
        }
        if (startsWith("</")) {
            const char* contentEnd = p_;
            if (!readEndTag(elementName)) {
                return false;
            }
            if (oneRun && sink.verbatim) {
                leaf.plain = std::string_view(contentStart, static_cast<std::size_t>(contentEnd - contentStart));
            }
            return true;
        }
        oneRun = false;
        const char* start = p_;
        bool skipped = false;
        std::optional<std::string_view> section;
        if (!skipMisc(skipped, &section)) {
            return false;
        }
        if (section) {
            decode(section->data(), section->data() + section->size(), sink, true);
        }
        if (skipped) {
            continue;
        }
        if (p_ + 1 < end_ && isNameStart(static_cast<unsigned char>(p_[1]))) {
            Tag child;
            if (!readStartTag(child)) {
                return false;
            }
            note(sink, start, [&] {
                return QStringLiteral("expected text in %1, found the element %2")
                    .arg(element(elementName), element(child.name));
            });
            if (!child.empty && !skipRest(child.name)) {
                return false;
            }
            continue;
        }
        return fail(p_, QStringLiteral("expected text or </%1>, found %2").arg(fromUtf8(elementName), found(p_)));
    }
}

QString Reader::keyText(const Leaf& leaf) {
    if (!leaf.plain) {
        return buffer_.text();
    }
    const auto known = keys_.find(*leaf.plain);
    if (known != keys_.end()) {
        return known->second;
    }
    QString text = buffer_.text();
    if (keys_.size() < kKeyCacheSize) {
        keys_.emplace(*leaf.plain, text);
    }
    return text;
}

Value Reader::leafValue(std::string_view name, const Leaf& leaf, const char* start) {
    if (!leaf.problem.isEmpty()) {
        return Value::invalid(leaf.problem);
    }
    if (name == "string") {
        return Value::fromString(buffer_.text());
    }
    if (name == "true" || name == "false") {
        return Value::fromBoolean(name == "true");
    }
    const QString text = buffer_.text();
    auto refuse = [&](const char* expected) {
        return Value::invalid(
            at(start, QStringLiteral("expected %1 in %2, found %3")
                          .arg(QLatin1String(expected), element(name), Value::fromString(text.trimmed()).describe())));
    };
    if (name == "integer") {
        const auto number = leaf.plain ? numbers::parseInteger(*leaf.plain) : numbers::parseInteger(text);
        return number ? Value::fromInteger(*number) : refuse("a whole number of 64 bits");
    }
    if (name == "real") {
        const auto number = numbers::parseReal(text);
        return number ? Value::fromReal(*number) : refuse("a number");
    }
    if (name == "date") {
        const QDateTime moment = QDateTime::fromString(text.trimmed(), Qt::ISODate);
        return moment.isValid() ? Value::fromDate(moment) : refuse("a date as yyyy-mm-ddThh:mm:ssZ");
    }
    // <data>: base64, white space anywhere.
    QByteArray compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace()) {
            compact.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
        }
    }
    const auto decoded = QByteArray::fromBase64Encoding(compact, QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? Value::fromData(*decoded) : refuse("base64");
}

}  // namespace tessaro::plist::reading
