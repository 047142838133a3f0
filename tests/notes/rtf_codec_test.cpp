// The RTF codec: what we write reads back the same, what word processors write reads as
// they meant it, and damaged input ends in a report, never a crash or a hang.
#include "notes/rtf_reader.h"
#include "notes/rtf_writer.h"
#include "support/notes_shape.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstring>
#include <functional>

namespace tessaro::notes {
namespace {

using testing::readableName;
using testing::shape;
using testing::TestEnvironment;

// A run's format: bold, italic and underline on or off by the letters "b", "i", "u" in
// `flags` (off as the editor leaves them once turned off); a family, a size and a colour when
// given.
QTextCharFormat run(const char* flags, const QString& family = {}, qreal size = 0, const QColor& colour = {}) {
    QTextCharFormat f;
    f.setFontWeight(std::strchr(flags, 'b') != nullptr ? QFont::Bold : QFont::Normal);
    f.setFontItalic(std::strchr(flags, 'i') != nullptr);
    f.setFontUnderline(std::strchr(flags, 'u') != nullptr);
    if (!family.isEmpty()) {
        f.setFontFamilies({family});
    }
    if (size > 0) {
        f.setFontPointSize(size);
    }
    if (colour.isValid()) {
        f.setForeground(colour);
    }
    return f;
}

QTextBlockFormat aligned(Qt::Alignment alignment) {
    QTextBlockFormat f;
    f.setAlignment(alignment);
    return f;
}

// Paragraphs until the note holds `characters`: the first without an alignment, then every
// alignment in turn, every fifth one empty. Each holds characters RTF must escape and a line
// break (U+2028), then a run whose attributes, family, size and colour follow from its
// number, so that every combination and every change between them is written.
void formattedParagraphs(QTextCursor& c, int characters) {
    const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
    const char* flags[] = {"", "b", "i", "u", "bi", "bu", "iu", "biu"};
    const QString families[] = {QStringLiteral("Noto Serif"), QStringLiteral("宋体"), QString()};
    for (int i = 0; c.position() < characters; ++i) {
        if (i % 5 != 4) {
            c.insertText(QStringLiteral("Paragraph %1: 中文 😀 back\\slash {braces}\ttab € é\u2028").arg(i));
            c.insertText(QStringLiteral("run %1").arg(i),
                         run(flags[i % 8], families[i % 3], (i % 5) * 2.5, QColor(i % 16 * 16, 128, 255 - i % 16)));
        }
        c.insertBlock(aligned(alignments[i % 4]));
    }
}

struct RoundTrip {
    const char* name;
    int characters;
};

const RoundTrip kRoundTrips[] = {
    {"empty note", 0},
    {"every alignment attribute and character RTF must escape", 4000},
    {"a megabyte of formatted paragraphs", 1 << 20},
};

class RtfRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RtfRoundTrip, ReadsBackWhatWasWritten) {
    QTextDocument original;
    QTextCursor cursor(&original);
    formattedParagraphs(cursor, GetParam().characters);
    const QByteArray rtf = writeRtf(original);
    QTextDocument back;
    const RtfRead read = readRtf(rtf, back);
    EXPECT_TRUE(read.intact()) << read.problems.join(QLatin1Char('\n')).toStdString() << rtf.left(4000).toStdString();
    EXPECT_EQ(shape(back), shape(original)) << rtf.left(4000).toStdString();
    // Pure ASCII: safe through any transport, as RTF readers expect.
    EXPECT_TRUE(std::all_of(rtf.begin(), rtf.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
}

INSTANTIATE_TEST_SUITE_P(Documents, RtfRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

// The editor's saves reuse the RTF of paragraphs that did not change: after every kind of
// edit the file must still say exactly what the document holds.
TEST(RtfIncrementalWriter, EveryEditReachesTheFile) {
    QTextDocument document;
    // Laid out, as the editor's is: a document without a layout does not report format changes.
    document.documentLayout();
    QTextCursor c(&document);
    formattedParagraphs(c, 300);
    IncrementalRtfWriter writer(document);
    // A cursor at `from`, selecting up to `to` when that is given.
    auto at = [&](int from, int to = -1) {
        QTextCursor cursor(&document);
        cursor.setPosition(from);
        cursor.setPosition(to < 0 ? from : to, QTextCursor::KeepAnchor);
        return cursor;
    };
    const std::pair<const char*, std::function<void()>> edits[] = {
        {"nothing", [] {}},
        {"a keystroke", [&] { at(3).insertText(QStringLiteral("x")); }},
        {"a new paragraph", [&] { at(20).insertBlock(); }},
        {"two paragraphs joined", [&] { at(document.findBlockByNumber(2).position()).deletePreviousChar(); }},
        {"bold over a selection", [&] { at(30, 45).mergeCharFormat(run("b")); }},
        {"a new font and colour",
         [&] { at(10).insertText(QStringLiteral("serif"), run("", QStringLiteral("Serif"), 0, QColor(1, 2, 3))); }},
        {"alignment",
         [&] { at(document.findBlockByNumber(3).position()).mergeBlockFormat(aligned(Qt::AlignHCenter)); }},
        {"everything removed", [&] { at(0, document.characterCount() - 1).removeSelectedText(); }},
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
    c.insertBlock(aligned(Qt::AlignHCenter));
    c.insertText(QStringLiteral("B"), run("bu", QStringLiteral("Serif"), 14, QColor(255, 0, 0)));
    EXPECT_EQ(writeRtf(document).toStdString(),
              "{\\rtf1\\ansi\\ansicpg1252\\uc1\n"
              "{\\fonttbl{\\f0\\fnil Serif;}}\n"
              "{\\colortbl;\\red255\\green0\\blue0;}\n"
              "\\pard a\\{\\\\\\}\\u233\\'e9\\u20013?\\u-10179?\\u-8704?\\par\n"
              "\\pard\\qc {\\f0\\fs28\\b\\ul\\cf1 B}\\par\n"
              "}\n");
}

// An independent reader must find our text in what we write.
TEST(RtfWriter, IndependentReaderFindsOurText) {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty()) {
        GTEST_SKIP() << "unrtf is not installed (apt-get install unrtf), so no independent reader checks our RTF";
    }
    QTextDocument document;
    QTextCursor c(&document);
    formattedParagraphs(c, 100);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TXT.rtf"));
    ASSERT_TRUE(TestEnvironment::writeFile(path, writeRtf(document)));
    QProcess process;
    process.start(unrtf, {QStringLiteral("--html"), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    // unrtf writes characters beyond ASCII as numeric entities.
    for (const QString& expected : {QStringLiteral("Paragraph 0: &#20013;&#25991;"), QStringLiteral("<b>"),
                                    QStringLiteral("back\\slash {braces}"), QStringLiteral("Paragraph 1:")}) {
        EXPECT_TRUE(html.contains(expected)) << expected.toStdString() << "\n" << html.toStdString();
    }
}

// RTF as other programs write it, and RTF that is damaged or hostile.
enum class Outcome { Read, Damaged, NotRtf };

struct Reading {
    const char* name;
    QByteArray rtf;
    const char* text;  // what it must read as (or what can still be read), paragraphs joined by "\n"
    Outcome outcome = Outcome::Read;
    QStringList dropped = {};
};

const Reading kReadings[] = {
    {"code page 936 escapes", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", "中文"},
    {"GBK font charset in a 1252 document",
     "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\\f0 \\'d6\\'d0}",
     "中"},
    {"code page 1252 escapes", "{\\rtf1\\ansi \\'e9\\'80 caf\\'e9}", "é€ café"},
    {"unicode with two fallback bytes", "{\\rtf1\\uc2 \\u20013\\'d6\\'d0x}", "中x"},
    {"unicode without fallback", "{\\rtf1\\uc0\\u20013 \\u25991 x}", "中文x"},
    {"surrogate pair", "{\\rtf1\\u-10179?\\u-8704?}", "😀"},
    {"fallback count ends with its group", "{\\rtf1{\\uc3\\u20013 ab}cd}", "中cd"},
    {"ignorable destination skipped", "{\\rtf1 a{\\*\\generator Writer;}{\\*\\unknownthing x}b}", "ab"},
    {"known destinations skipped",
     "{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}{\\header h}a}", "a"},
    {"unknown control words ignored", "{\\rtf1\\paperw11906\\sl240\\slmult1\\nowidctlpar a\\rtlch b}", "ab"},
    {"paragraph line and tab", "{\\rtf1 a\\par b\\line c\\tab d\\par}", "a\nb\u2028c\td"},
    {"field shows its result", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}", "link"},
    {"special characters", "{\\rtf1 a\\~b\\emdash c\\{\\}\\\\\\lquote q\\rquote}", "a\u00a0b\u2014c{}\\\u2018q\u2019"},
    {"binary data stepped over", "{\\rtf1 a{\\*\\blip\\bin4 }{\\x}b}", "ab"},
    {"line breaks in the source are not text", "{\\rtf1 a\r\nb\nc}", "abc"},
    {"old style paragraph mark", "{\\rtf1 a\\\nb}", "a\nb"},
    {"numbers out of range are clamped", "{\\rtf1 \\cf5\\f3\\fs99999999 ok\\ansicpg77777\\'e9}", "oké"},
    {"pictures and objects are left out",
     "{\\rtf1 a{\\*\\shppict{\\pict\\pngblip 89504e47}}{\\object{\\*\\objdata 0102}{\\result b}}}",
     "ab", Outcome::Read, {QStringLiteral("pictures"), QStringLiteral("embedded objects")}},
    {"not RTF at all", "PK\x03\x04 zip bytes", "", Outcome::NotRtf},
    {"cut short", "{\\rtf1 {\\b abc", "abc", Outcome::Damaged},
    {"closing braces that close nothing", "{\\rtf1 a}}}b", "a", Outcome::Damaged},
    {"text after the end", "{\\rtf1 a} lost words", "a", Outcome::Damaged},
    {"hex escape without digits", "{\\rtf1 a\\'zzb}", "azzb", Outcome::Damaged},
    {"nesting a million deep", "{\\rtf1 a" + QByteArray(1000000, '{') + "x" + QByteArray(1000000, '}') + "b}",
     "ab", Outcome::Damaged},
    {"nesting never closed", "{\\rtf1 a" + QByteArray("{\\b").repeated(300000), "a", Outcome::Damaged},
};

class RtfReading : public ::testing::TestWithParam<Reading> {};

TEST_P(RtfReading, ReadsWhatCanBeReadAndSaysWhatIsWrong) {
    QTextDocument document;
    const RtfRead read = readRtf(GetParam().rtf, document);
    EXPECT_EQ(read.isRtf, GetParam().outcome != Outcome::NotRtf);
    EXPECT_EQ(read.problems.isEmpty(), GetParam().outcome != Outcome::Damaged)
        << read.problems.join(QLatin1Char(';')).toStdString();
    EXPECT_EQ(read.dropped, GetParam().dropped);
    const QString text = QString::fromUtf8(GetParam().text).replace(QLatin1Char('\n'), QChar::ParagraphSeparator);
    EXPECT_EQ(document.toRawText(), text);
}

INSTANTIATE_TEST_SUITE_P(Rtf, RtfReading, ::testing::ValuesIn(kReadings),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

TEST(RtfReader, GroupsRestoreThePropertiesAroundThem) {
    QTextDocument document;
    readRtf("{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\pard\\qr{\\b bold{\\i\\cf1 both}bold}\\plain plain\\par"
            "\\pard next}",
            document);
    const QStringList expected{QStringLiteral("align=2:[|0|b|]bold[|0|bi|#0000ff]both[|0|b|]bold[|0||]plain"),
                               QStringLiteral("align=-1:[|0||]next")};
    EXPECT_EQ(shape(document), expected);
}

// Values a hostile file may carry: huge, negative, endless; none may crash or stall.
TEST(RtfReader, ExtremeParametersEndInAReport) {
    const QByteArray hostile =
        "{\\rtf1\\uc99999999999999999999 \\u99999999999999999999 x}{\\fs-5\\fs" + QByteArray(5000, '9') +
        " \\bin-3 \\bin99999999999 \\f-1 \\cf99999 \\ansicpg999999 \\'ff " + QByteArray(100000, 'a') + "}";
    QTextDocument document;
    EXPECT_FALSE(readRtf(hostile, document).problems.isEmpty());
}

// RTF written by real word processors (tests/fixtures/notes/README.md says how each was made).
// Each span: `text` is in the document, and its last character has `attributes`: "b", "i",
// "u", "#rrggbb", "family=...", "centre", "right", "justify" or nothing.
using Spans = QList<std::pair<QString, QString>>;

struct WordProcessorFile {
    const char* file;
    Spans spans;
};

// Both files were made from formatted.html, so they must say the same.
const Spans kFormattedHtml = {
    {QStringLiteral("bold"), QStringLiteral("b")},
    {QStringLiteral("italic"), QStringLiteral("i")},
    {QStringLiteral("underlined"), QStringLiteral("u")},
    {QStringLiteral("red"), QStringLiteral("#ff0000")},
    {QStringLiteral("serif large"), QStringLiteral("family=DejaVu Serif")},
    {QStringLiteral("Centred line"), QStringLiteral("centre")},
    {QStringLiteral("Right line"), QStringLiteral("right")},
    {QStringLiteral("braces {x} and a backslash \\ here."), QStringLiteral("justify")},
    {QStringLiteral("中文笔记：保险箱里的秘密。"), QString()},
    // AbiWord drops the space before the emoji.
    {QStringLiteral("café €"), QString()},
    {QStringLiteral("😀"), QString()},
};

const WordProcessorFile kWordProcessorFiles[] = {
    {"libreoffice-writer.rtf", kFormattedHtml},
    {"abiword.rtf", kFormattedHtml},
    {"handmade-cp936.rtf",
     {{QStringLiteral("中文笔记：保险箱里的秘密。"), QStringLiteral("family=宋体")},
      {QStringLiteral("粗体"), QStringLiteral("b")},
      {QStringLiteral("粗体"), QStringLiteral("centre")},
      {QStringLiteral("red"), QStringLiteral("#ff0000")},
      {QStringLiteral("café €"), QString()}}},
};

QString attributesAt(const QTextCursor& found, const QString& wanted) {
    const QTextCharFormat f = found.charFormat();
    const Qt::Alignment a = found.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    if (wanted == QLatin1String("b")) return f.fontWeight() >= QFont::DemiBold ? wanted : QString();
    if (wanted == QLatin1String("i")) return f.fontItalic() ? wanted : QString();
    if (wanted == QLatin1String("u")) return f.fontUnderline() ? wanted : QString();
    if (wanted.startsWith(QLatin1Char('#'))) return f.foreground().color().name();
    if (wanted.startsWith(QLatin1String("family="))) return QStringLiteral("family=") + f.fontFamilies().toStringList().value(0);
    if (wanted == QLatin1String("centre")) return a == Qt::AlignHCenter ? wanted : QString();
    if (wanted == QLatin1String("right")) return a == Qt::AlignRight ? wanted : QString();
    if (wanted == QLatin1String("justify")) return a == Qt::AlignJustify ? wanted : QString();
    return wanted;
}

class WordProcessorFiles : public ::testing::TestWithParam<WordProcessorFile> {};

TEST_P(WordProcessorFiles, ReadWithTheirTextAndFormatting) {
    QTextDocument document;
    const QString file = QStringLiteral(TESSARO_FIXTURES_DIR "/notes/") + QLatin1String(GetParam().file);
    const RtfRead read = readRtf(TestEnvironment::readFile(file), document);
    ASSERT_TRUE(read.intact()) << read.problems.join(QLatin1Char(';')).toStdString();
    for (const auto& [text, attributes] : GetParam().spans) {
        const QTextCursor found = document.find(text);
        ASSERT_FALSE(found.isNull()) << text.toStdString() << " in " << document.toPlainText().toStdString();
        EXPECT_EQ(attributesAt(found, attributes), attributes) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WordProcessorFiles, ::testing::ValuesIn(kWordProcessorFiles), [](const auto& info) {
    return readableName(QString::fromLatin1(info.param.file).section(QLatin1Char('.'), 0, 0));
});

}  // namespace
}  // namespace tessaro::notes
