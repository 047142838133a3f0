#include "notes/rtf_writer.h"

#include <QColor>
#include <QList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <QTextObject>

#include <atomic>
#include <cmath>
#include <vector>

namespace tessaro::notes {

namespace {

// Code page 1252 at 0x80..0x9F, where it differs from Latin-1; 0 where it has no character.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The byte code page 1252 has for `c`, or 0 when it has none.
unsigned char ansiByte(char16_t c) {
    if (c >= 0xA0 && c <= 0xFF) {
        return static_cast<unsigned char>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == c) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return 0;
}

void appendHex(QByteArray& out, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    out += "\\'";
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

// `\`, `{` and `}` are escaped, tabs and line breaks become control words, anything outside
// printable ASCII goes as \uN (a signed 16-bit number, so characters beyond the Basic
// Multilingual Plane as two of them, one per surrogate) followed by its one fallback
// character (\uc1): the code page 1252 byte where there is one, "?" otherwise.
void appendText(QByteArray& out, QStringView text, bool inFontTable = false) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u';' && inFontTable) {
            // A font name ends at ";"; no family has one, and none may end the table early.
            continue;
        } else if (c == u'\t') {
            out += "\\tab ";
        } else if (c == QChar::LineSeparator) {
            out += "\\line ";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\u";
            out += QByteArray::number(static_cast<qint16>(c));
            const unsigned char fallback = qc.isSurrogate() ? 0 : ansiByte(c);
            if (fallback != 0) {
                appendHex(out, fallback);
            } else {
                out += '?';
            }
        }
    }
}

QString familyOf(const QTextCharFormat& format) {
    if (format.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = format.fontFamilies().toStringList();
        if (!families.isEmpty()) {
            return families.first();
        }
    }
    // Formats made from a QFont before families existed carry the single family only.
    return format.property(QTextFormat::FontFamily).toString();
}

}  // namespace

// Font and colour tables, filled while the body is written.
struct RtfTables {
    QStringList fonts;
    QList<QColor> colours;

    int fontNumber(const QString& family) {
        qsizetype at = fonts.indexOf(family);
        if (at < 0) {
            at = fonts.size();
            fonts.append(family);
        }
        return static_cast<int>(at);
    }
    // Entry 0 of the table is the reader's automatic colour, so ours start at 1.
    int colourNumber(const QColor& colour) {
        const QColor rgb = colour.toRgb();
        for (qsizetype i = 0; i < colours.size(); ++i) {
            if (colours.at(i).rgb() == rgb.rgb()) {
                return static_cast<int>(i + 1);
            }
        }
        colours.append(rgb);
        return static_cast<int>(colours.size());
    }
};

namespace {

using Tables = RtfTables;

QByteArray characterControls(const QTextCharFormat& format, Tables& tables) {
    QByteArray controls;
    const QString family = familyOf(format);
    if (!family.isEmpty()) {
        controls += "\\f" + QByteArray::number(tables.fontNumber(family));
    }
    if (format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0) {
        // Half points, as RTF counts font sizes.
        controls += "\\fs" + QByteArray::number(std::lround(format.fontPointSize() * 2));
    }
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::DemiBold) {
        controls += "\\b";
    }
    if (format.fontItalic()) {
        controls += "\\i";
    }
    if (format.fontUnderline()) {
        controls += "\\ul";
    }
    if (format.hasProperty(QTextFormat::ForegroundBrush) && format.foreground().style() != Qt::NoBrush) {
        controls += "\\cf" + QByteArray::number(tables.colourNumber(format.foreground().color()));
    }
    return controls;
}

QByteArray alignmentControl(const QTextBlockFormat& format) {
    if (!format.hasProperty(QTextFormat::BlockAlignment)) {
        return {};
    }
    const Qt::Alignment horizontal = format.alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignHCenter) {
        return "\\qc";
    }
    if (horizontal & Qt::AlignJustify) {
        return "\\qj";
    }
    if (horizontal & Qt::AlignRight) {
        return "\\qr";
    }
    return "\\ql";
}


void appendBlock(QByteArray& out, const QTextBlock& block, Tables& tables) {
    out += "\\pard" + alignmentControl(block.blockFormat()) + ' ';
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid()) {
            continue;
        }
        const QByteArray controls = characterControls(fragment.charFormat(), tables);
        if (controls.isEmpty()) {
            appendText(out, fragment.text());
        } else {
            out += '{' + controls + ' ';
            appendText(out, fragment.text());
            out += '}';
        }
    }
    out += "\\par\n";
}

// {\rtf1\ansi\ansicpg1252\uc1
// {\fonttbl{\f0\fnil Family;}...}          only the families the text uses
// {\colortbl;\red255\green0\blue0;...}      entry 0 is "automatic"
// \pard\qc {\f0\fs28\b\cf1 run}plain run\par   one line per paragraph, each ended by \par
// }
QByteArray header(const Tables& tables) {
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\uc1\n";
    if (!tables.fonts.isEmpty()) {
        out += "{\\fonttbl";
        for (qsizetype i = 0; i < tables.fonts.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + "\\fnil ";
            appendText(out, tables.fonts.at(i), true);
            out += ";}";
        }
        out += "}\n";
    }
    if (!tables.colours.isEmpty()) {
        out += "{\\colortbl;";
        for (const QColor& colour : std::as_const(tables.colours)) {
            out += "\\red" + QByteArray::number(colour.red()) + "\\green" + QByteArray::number(colour.green()) +
                   "\\blue" + QByteArray::number(colour.blue()) + ';';
        }
        out += "}\n";
    }
    return out;
}

constexpr char kEnd[] = "}\n";

// A paragraph's RTF, kept with the paragraph by the incremental writer.
struct KeptRtf : QTextBlockUserData {
    quint64 generation = 0;
    int length = -1;  // the paragraph's length when it was written: a guard against a missed change
    // Paragraph formats change without a contentsChange signal, only their index tells.
    int blockFormatIndex = -1;
    bool valid = false;
    QByteArray rtf;
};

std::atomic<quint64> nextGeneration{1};

}  // namespace

QByteArray writeRtf(const QTextDocument& document) {
    Tables tables;
    QByteArray body;
    body.reserve(document.characterCount() + document.characterCount() / 8 + 64);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        appendBlock(body, block, tables);
    }
    QByteArray out = header(tables);
    out.reserve(out.size() + body.size() + 2);
    out += body;
    out += kEnd;
    return out;
}

IncrementalRtfWriter::IncrementalRtfWriter(QTextDocument& document)
    : document_(document), tables_(std::make_unique<RtfTables>()), generation_(nextGeneration++) {
    connection_ = QObject::connect(&document, &QTextDocument::contentsChange, &document,
                                   [this](int position, int, int added) { changed(position, added); });
}

IncrementalRtfWriter::~IncrementalRtfWriter() { QObject::disconnect(connection_); }

void IncrementalRtfWriter::changed(int position, int charsAdded) {
    QTextBlock block = document_.findBlock(position);
    const QTextBlock last = document_.findBlock(position + charsAdded);
    for (; block.isValid(); block = block.next()) {
        if (auto* kept = dynamic_cast<KeptRtf*>(block.userData())) {
            kept->valid = false;
        }
        if (block == last) {
            break;
        }
    }
}

// Two passes, so that the kept paragraphs are copied once, straight behind the header whose
// tables the changed paragraphs may have added to.
QByteArray IncrementalRtfWriter::write() {
    std::vector<const QByteArray*> paragraphs;
    paragraphs.reserve(static_cast<size_t>(document_.blockCount()));
    qsizetype size = 0;
    for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
        auto* kept = dynamic_cast<KeptRtf*>(block.userData());
        if (!kept || kept->generation != generation_ || !kept->valid || kept->length != block.length() ||
            kept->blockFormatIndex != block.blockFormatIndex()) {
            if (!kept) {
                kept = new KeptRtf;
                block.setUserData(kept);  // the document owns it from here
            }
            kept->generation = generation_;
            kept->length = block.length();
            kept->blockFormatIndex = block.blockFormatIndex();
            kept->valid = true;
            kept->rtf.clear();
            appendBlock(kept->rtf, block, *tables_);
        }
        paragraphs.push_back(&kept->rtf);
        size += kept->rtf.size();
    }
    QByteArray out = header(*tables_);
    out.reserve(out.size() + size + 2);
    for (const QByteArray* paragraph : paragraphs) {
        out += *paragraph;
    }
    out += kEnd;
    return out;
}

}  // namespace tessaro::notes
