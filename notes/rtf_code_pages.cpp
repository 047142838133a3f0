#include "notes/rtf_code_pages.h"

namespace tessaro::notes {

namespace {

constexpr int kDefaultCodePage = 1252;

// The names ICU knows the code pages by; others are tried as "windows-N" and "cpN".
QByteArray encodingName(int codePage) {
    switch (codePage) {
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return "windows-" + QByteArray::number(codePage);
    }
}

}  // namespace

int codePageOfCharset(int charset) {
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;
    }
}

QStringDecoder& CodePageDecoder::decoderFor(int codePage) {
    auto found = decoders_.find(codePage);
    if (found != decoders_.end()) {
        return found->second;
    }
    QStringDecoder decoder(encodingName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) {
        decoder = QStringDecoder(("cp" + QByteArray::number(codePage)).constData(), QStringConverter::Flag::Stateless);
    }
    if (!decoder.isValid()) {
        decoder = QStringDecoder(encodingName(kDefaultCodePage).constData(), QStringConverter::Flag::Stateless);
    }
    return decoders_.emplace(codePage, std::move(decoder)).first->second;
}

QString CodePageDecoder::decode(int codePage, const QByteArray& bytes) {
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return QString::fromLatin1(bytes);
    }
    return decoderFor(codePage > 0 ? codePage : kDefaultCodePage).decode(bytes);
}

}  // namespace tessaro::notes
