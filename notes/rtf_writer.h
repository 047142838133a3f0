#pragma once

#include <QByteArray>

class QTextDocument;

namespace tessaro::notes {

// The document as RTF 1.x, in the subset every word processor reads: paragraphs with their
// alignment, and runs with bold, italic, underline, font family and size, and text colour.
// Pure ASCII: every other character goes as \uN with an ANSI fallback.
QByteArray writeRtf(const QTextDocument& document);

}  // namespace tessaro::notes
