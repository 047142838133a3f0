#include "core/plist_encoding.h"

#include <QStringDecoder>

#include <cstring>
#include <string_view>

namespace tessaro::plist::encoding {

namespace {

bool startsWith(const QByteArray& raw, const char* prefix, std::size_t length) {
    return static_cast<std::size_t>(raw.size()) >= length && std::memcmp(raw.constData(), prefix, length) == 0;
}

// The encoding named in an XML declaration at the start of an 8-bit text, lower case;
// empty when none is named.
QString declaredEncoding(const QByteArray& raw) {
    const std::string_view text(raw.constData(), static_cast<std::size_t>(raw.size()));
    if (text.substr(0, 5) != "<?xml") {
        return QString();
    }
    const std::size_t close = text.find("?>");
    if (close == std::string_view::npos) {
        return QString();
    }
    const std::string_view declaration = text.substr(0, close);
    const std::size_t key = declaration.find("encoding");
    if (key == std::string_view::npos) {
        return QString();
    }
    std::size_t at = key + 8;
    while (at < declaration.size() && (declaration[at] == ' ' || declaration[at] == '=' || declaration[at] == '\t' ||
                                       declaration[at] == '\n' || declaration[at] == '\r')) {
        ++at;
    }
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) {
        return QString();
    }
    const std::size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) {
        return QString();
    }
    return QString::fromLatin1(declaration.data() + at + 1, static_cast<qsizetype>(end - at - 1)).toLower();
}

Utf8Text fromUtf16(const QByteArray& raw, qsizetype skip, QStringDecoder::Encoding byteOrder) {
    Utf8Text text;
    QStringDecoder decoder(byteOrder, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(QByteArrayView(raw).sliced(skip));
    if (decoder.hasError() || (raw.size() - skip) % 2 != 0) {
        text.error = QStringLiteral("expected UTF-16 text, found bytes that are not");
        return text;
    }
    text.converted = decoded.toUtf8();
    text.begin = text.converted.constData();
    text.end = text.begin + text.converted.size();
    return text;
}

}  // namespace

Utf8Text asUtf8(const QByteArray& raw) {
    if (startsWith(raw, "\xFF\xFE\x00\x00", 4) || startsWith(raw, "\x00\x00\xFE\xFF", 4)) {
        Utf8Text text;
        text.error = QStringLiteral("expected UTF-8 or UTF-16, found UTF-32");
        return text;
    }
    if (startsWith(raw, "\xFF\xFE", 2)) {
        return fromUtf16(raw, 2, QStringDecoder::Utf16LE);
    }
    if (startsWith(raw, "\xFE\xFF", 2)) {
        return fromUtf16(raw, 2, QStringDecoder::Utf16BE);
    }
    if (startsWith(raw, "<\0?\0", 4)) {
        return fromUtf16(raw, 0, QStringDecoder::Utf16LE);
    }
    if (startsWith(raw, "\0<\0?", 4)) {
        return fromUtf16(raw, 0, QStringDecoder::Utf16BE);
    }
    Utf8Text text;
    const qsizetype skip = startsWith(raw, "\xEF\xBB\xBF", 3) ? 3 : 0;
    const QString declared = skip ? QString() : declaredEncoding(raw);
    if (declared.isEmpty() || declared == QLatin1String("utf-8") || declared == QLatin1String("utf8") ||
        declared == QLatin1String("us-ascii") || declared == QLatin1String("ascii")) {
        text.begin = raw.constData() + skip;
        text.end = raw.constData() + raw.size();
        return text;
    }
    if (declared == QLatin1String("iso-8859-1") || declared == QLatin1String("latin1") ||
        declared == QLatin1String("iso_8859-1") || declared == QLatin1String("latin-1")) {
        text.converted = QString::fromLatin1(raw).toUtf8();
        text.begin = text.converted.constData();
        text.end = text.begin + text.converted.size();
        return text;
    }
    if (declared.startsWith(QLatin1String("utf-16"))) {
        text.error = QStringLiteral("expected UTF-16 text as declared, found 8-bit text");
        return text;
    }
    text.error = QStringLiteral("expected UTF-8 or UTF-16, found the encoding \"%1\"").arg(declared.left(40));
    return text;
}

}  // namespace tessaro::plist::encoding
