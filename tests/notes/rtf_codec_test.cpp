// The RTF codec: what we write reads back the same, what word processors write reads as
// they meant it, and damaged input ends in a report, never a crash or a hang.
#include "notes/rtf_reader.h"
#include "notes/rtf_writer.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>

namespace tessaro::notes {
namespace {

using testing::readableName;

// A document as the codec must keep it: per paragraph its alignment and its runs, adjacent
// runs of equal attributes merged.
QStringList shape(const QTextDocument& document) {
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        QString line = QStringLiteral("align=%1:").arg(bf.hasProperty(QTextFormat::BlockAlignment)
                                                           ? int(bf.alignment() & Qt::AlignHorizontal_Mask)
                                                           : -1);
        QString lastAttributes;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QStringList families = f.fontFamilies().toStringList();
            const QString attributes =
                QStringLiteral("[%1|%2|%3%4%5|%6]")
                    .arg(families.value(0))
                    .arg(f.fontPointSize())
                    .arg(f.fontWeight() >= QFont::DemiBold ? QStringLiteral("b") : QString(),
                         f.fontItalic() ? QStringLiteral("i") : QString(),
                         f.fontUnderline() ? QStringLiteral("u") : QString(),
                         f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString());
            if (attributes != lastAttributes) {
                line += attributes;
                lastAttributes = attributes;
            }
            line += it.fragment().text();
        }
        lines.append(line);
    }
    return lines;
}

QTextCharFormat run(std::function<void(QTextCharFormat&)> set) {
    QTextCharFormat f;
    set(f);
    return f;
}

struct RoundTrip {
    const char* name;
    std::function<void(QTextCursor&)> build;
};

void paragraph(QTextCursor& c, Qt::Alignment alignment) {
    QTextBlockFormat f;
    f.setAlignment(alignment);
    c.insertBlock(f);
}

const RoundTrip kRoundTrips[] = {
    {"empty note", [](QTextCursor&) {}},
    {"paragraphs with empty ones between and after",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("first"));
         c.insertBlock();
         c.insertBlock();
         c.insertText(QStringLiteral("third"));
         c.insertBlock();
     }},
    {"every alignment",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("default"));
         for (Qt::Alignment a : {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify}) {
             paragraph(c, a);
             c.insertText(QStringLiteral("aligned %1").arg(int(a)));
         }
     }},
    {"bold italic underline and their mixtures",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("plain "));
         c.insertText(QStringLiteral("bold "), run([](auto& f) { f.setFontWeight(QFont::Bold); }));
         c.insertText(QStringLiteral("italic "), run([](auto& f) { f.setFontItalic(true); }));
         c.insertText(QStringLiteral("underlined "), run([](auto& f) { f.setFontUnderline(true); }));
         c.insertText(QStringLiteral("all three"), run([](auto& f) {
                          f.setFontWeight(QFont::Bold);
                          f.setFontItalic(true);
                          f.setFontUnderline(true);
                      }));
     }},
    {"font families and sizes",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("serif 18 "), run([](auto& f) {
                          f.setFontFamilies({QStringLiteral("Noto Serif")});
                          f.setFontPointSize(18);
                      }));
         c.insertText(QStringLiteral("songti 10.5 "), run([](auto& f) {
                          f.setFontFamilies({QStringLiteral("宋体")});
                          f.setFontPointSize(10.5);
                      }));
         c.insertText(QStringLiteral("serif again"),
                      run([](auto& f) { f.setFontFamilies({QStringLiteral("Noto Serif")}); }));
     }},
    {"text colours",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("red "), run([](auto& f) { f.setForeground(QColor(255, 0, 0)); }));
         c.insertText(QStringLiteral("teal "), run([](auto& f) { f.setForeground(QColor(0, 128, 128)); }));
         c.insertText(QStringLiteral("none "));
         c.insertText(QStringLiteral("red bold"), run([](auto& f) {
                          f.setForeground(QColor(255, 0, 0));
                          f.setFontWeight(QFont::Bold);
                      }));
     }},
    {"Chinese emoji and characters RTF must escape",
     [](QTextCursor& c) {
         c.insertText(QStringLiteral("中文笔记：保险箱 😀🔒 "));
         c.insertText(QStringLiteral("back\\slash {braces} tab\there"));
         c.insertText(QString(QChar::LineSeparator) + QStringLiteral("after a line break € é ü ß ñ"));
         paragraph(c, Qt::AlignHCenter);
         c.insertText(QStringLiteral("粗体"), run([](auto& f) { f.setFontWeight(QFont::Bold); }));
     }},
};

class RtfRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RtfRoundTrip, ReadsBackWhatWasWritten) {
    QTextDocument original;
    QTextCursor cursor(&original);
    GetParam().build(cursor);
    const QByteArray rtf = writeRtf(original);
    QTextDocument back;
    const RtfRead read = readRtf(rtf, back);
    EXPECT_TRUE(read.intact()) << read.problems.join(QLatin1Char('\n')).toStdString() << rtf.toStdString();
    EXPECT_EQ(shape(back), shape(original)) << rtf.toStdString();
    // Pure ASCII: safe through any transport, as RTF readers expect.
    for (const char c : rtf) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, RtfRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

TEST(RtfRoundTrip, OneMegabyteFormattedNoteComesBackWhole) {
    QTextDocument original;
    QTextCursor cursor(&original);
    for (int i = 0; cursor.position() < (1 << 20); ++i) {
        cursor.insertText(QStringLiteral("Paragraph %1 of a long note, 中文 %1 ").arg(i));
        cursor.insertText(QStringLiteral("bold %1").arg(i), run([i](auto& f) {
                              f.setFontWeight(QFont::Bold);
                              f.setForeground(QColor(i % 256, 0, 0));
                          }));
        paragraph(cursor, i % 2 ? Qt::AlignRight : Qt::AlignLeft);
    }
    QTextDocument back;
    EXPECT_TRUE(readRtf(writeRtf(original), back).intact());
    EXPECT_EQ(back.toPlainText(), original.toPlainText());
    EXPECT_EQ(shape(back), shape(original));
}

// The editor's saves reuse the RTF of paragraphs that did not change: after every kind of
// edit the file must still say exactly what the document holds.
TEST(RtfIncrementalWriter, EveryEditReachesTheFile) {
    QTextDocument document;
    QTextCursor c(&document);
    for (int i = 0; i < 5; ++i) {
        c.insertText(QStringLiteral("paragraph %1 ").arg(i));
        c.insertText(QStringLiteral("bold"), run([](auto& f) { f.setFontWeight(QFont::Bold); }));
        c.insertBlock();
    }
    IncrementalRtfWriter writer(document);
    auto at = [&](int position) {
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        return cursor;
    };
    const std::pair<const char*, std::function<void()>> edits[] = {
        {"nothing", [] {}},
        {"a keystroke", [&] { at(3).insertText(QStringLiteral("x")); }},
        {"a new paragraph", [&] { at(20).insertBlock(); }},
        {"two paragraphs joined", [&] {
             QTextCursor cursor = at(document.findBlockByNumber(2).position());
             cursor.deletePreviousChar();
         }},
        {"bold over a selection", [&] {
             QTextCursor cursor = at(30);
             cursor.setPosition(45, QTextCursor::KeepAnchor);
             cursor.mergeCharFormat(run([](auto& f) { f.setFontWeight(QFont::Bold); }));
         }},
        {"a new font and colour", [&] {
             at(10).insertText(QStringLiteral("serif"), run([](auto& f) {
                 f.setFontFamilies({QStringLiteral("Serif")});
                 f.setForeground(QColor(1, 2, 3));
             }));
         }},
        {"alignment", [&] {
             QTextBlockFormat centred;
             centred.setAlignment(Qt::AlignHCenter);
             at(document.findBlockByNumber(3).position()).mergeBlockFormat(centred);
         }},
        {"everything removed", [&] {
             QTextCursor cursor(&document);
             cursor.select(QTextCursor::Document);
             cursor.removeSelectedText();
         }},
    };
    for (const auto& [name, edit] : edits) {
        edit();
        QTextDocument back;
        ASSERT_TRUE(readRtf(writer.write(), back).intact()) << name;
        EXPECT_EQ(shape(back), shape(document)) << name;
    }
}

// The bytes we write, worked out by hand from the RTF 1.x control words.
TEST(RtfWriter, WritesTheDocumentedSubset) {
    QTextDocument document;
    QTextCursor c(&document);
    c.insertText(QStringLiteral("a{\\}é中😀"));
    paragraph(c, Qt::AlignHCenter);
    c.insertText(QStringLiteral("B"), run([](auto& f) {
                     f.setFontWeight(QFont::Bold);
                     f.setFontUnderline(true);
                     f.setFontFamilies({QStringLiteral("Serif")});
                     f.setFontPointSize(14);
                     f.setForeground(QColor(255, 0, 0));
                 }));
    EXPECT_EQ(writeRtf(document).toStdString(),
              "{\\rtf1\\ansi\\ansicpg1252\\uc1\n"
              "{\\fonttbl{\\f0\\fnil Serif;}}\n"
              "{\\colortbl;\\red255\\green0\\blue0;}\n"
              "\\pard a\\{\\\\\\}\\u233\\'e9\\u20013?\\u-10179?\\u-8704?\\par\n"
              "\\pard\\qc {\\f0\\fs28\\b\\ul\\cf1 B}\\par\n"
              "}\n");
}

}  // namespace
}  // namespace tessaro::notes
