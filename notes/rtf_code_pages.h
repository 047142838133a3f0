#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <map>

namespace tessaro::notes {

// The Windows code page a font's "\fcharsetN" stands for: 0 (ANSI) is 1252 whatever the
// document declares, as word processors read it; 0 for the document's own code page
// (default, symbol, and numbers no writer uses).
int codePageOfCharset(int charset);

// Decodes the bytes of "\'hh" escapes and 8-bit text in a Windows code page. One decoder per
// code page, made when first needed; a code page the system cannot decode reads as 1252, so
// that text is never lost, only possibly misread.
class CodePageDecoder {
public:
    QString decode(int codePage, const QByteArray& bytes);

private:
    QStringDecoder& decoderFor(int codePage);
    std::map<int, QStringDecoder> decoders_;
};

}  // namespace tessaro::notes
