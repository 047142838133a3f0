#pragma once

#include <QByteArray>
#include <QString>

// The character encoding of an XML text, settled before it is read.
namespace tessaro::plist::encoding {

// A document as UTF-8 bytes: the original ones when they are UTF-8 already (after a byte
// order mark, if any), a converted copy otherwise.
struct Utf8Text {
    QByteArray converted;  // holds the bytes when they had to be converted
    const char* begin = nullptr;
    const char* end = nullptr;
    QString error;  // the encoding cannot be read; empty otherwise
};

// UTF-8 (with or without a byte order mark), UTF-16 of either byte order (told by its byte
// order mark or by the first characters "<?"), and 8-bit texts that declare ISO-8859-1 or
// US-ASCII. Other encodings are refused with a reason. `raw` must outlive the result.
Utf8Text asUtf8(const QByteArray& raw);

}  // namespace tessaro::plist::encoding
