#pragma once

#include <QByteArray>
#include <QStringList>

class QTextDocument;

namespace tessaro::notes {

// What reading RTF found besides the text.
struct RtfRead {
    // The bytes begin with "{\rtf" (after white space or a UTF-8 byte order mark); when they
    // do not, nothing was read.
    bool isRtf = false;
    // Damage: braces that do not balance, text after the end, groups nested too deep to be
    // followed. What could be read is in the document all the same.
    QStringList problems;
    // Content the document cannot hold and that was left out: "pictures", "embedded objects".
    QStringList dropped;
    // Read in full: saving the document again loses nothing the file held.
    bool intact() const { return isRtf && problems.isEmpty() && dropped.isEmpty(); }
};

// Replaces the document's content by what the RTF says: paragraphs and their alignment,
// bold, italic, underline, font family and size, and text colour. Accepts what word
// processors write: unknown control words and destinations are skipped, "\*" destinations
// too; "\'hh" bytes are decoded in the code page of the font or of the document
// ("\ansicpgN", "\fcharsetN", "\cpgN"); "\uN" with its "\ucN" fallback count. Linear in the
// length of the input whatever it holds.
RtfRead readRtf(const QByteArray& rtf, QTextDocument& document);

// True when `bytes` begin as RTF does (what `notes add` and the reader go by).
bool looksLikeRtf(const QByteArray& bytes);

}  // namespace tessaro::notes
