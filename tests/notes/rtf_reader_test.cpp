// RTF as other programs write it, and RTF that is damaged or hostile.
#include "notes/rtf_reader.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>

namespace tessaro::notes {
namespace {

using testing::readableName;

struct Idiom {
    const char* name;
    QByteArray rtf;
    QString text;  // the plain text it must read as, paragraphs joined by "\n"
};

const Idiom kIdioms[] = {
    {"code page 936 escapes", "{\\rtf1\\ansi\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", QStringLiteral("中文")},
    {"GBK font charset in a 1252 document",
     "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\\f0 \\'d6\\'d0}",
     QStringLiteral("中")},
    {"code page 1252 escapes", "{\\rtf1\\ansi \\'e9\\'80 caf\\'e9}", QStringLiteral("é€ café")},
    {"unicode with two fallback bytes", "{\\rtf1\\uc2 \\u20013\\'d6\\'d0x}", QStringLiteral("中x")},
    {"unicode without fallback", "{\\rtf1\\uc0\\u20013 \\u25991 x}", QStringLiteral("中文x")},
    {"surrogate pair", "{\\rtf1\\u-10179?\\u-8704?}", QStringLiteral("😀")},
    {"fallback count ends with its group", "{\\rtf1{\\uc3\\u20013 ab}cd}", QStringLiteral("中cd")},
    {"ignorable destination skipped", "{\\rtf1 a{\\*\\generator Writer;}{\\*\\unknownthing x}b}", QStringLiteral("ab")},
    {"known destinations skipped",
     "{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}{\\header h}a}", QStringLiteral("a")},
    {"unknown control words ignored", "{\\rtf1\\paperw11906\\sl240\\slmult1\\nowidctlpar a\\rtlch b}",
     QStringLiteral("ab")},
    {"paragraph line and tab", "{\\rtf1 a\\par b\\line c\\tab d\\par}",
     QStringLiteral("a\nb") + QChar(QChar::LineSeparator) + QStringLiteral("c\td")},
    {"field shows its result", "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}",
     QStringLiteral("link")},
    {"special characters", "{\\rtf1 a\\~b\\emdash c\\{\\}\\\\\\lquote q\\rquote}",
     QStringLiteral("a\u00a0b\u2014c{}\\\u2018q\u2019")},
    {"binary data stepped over", "{\\rtf1 a{\\*\\blip\\bin4 }{\\x}b}", QStringLiteral("ab")},
    {"line breaks in the source are not text", "{\\rtf1 a\r\nb\nc}", QStringLiteral("abc")},
    {"old style paragraph mark", "{\\rtf1 a\\\nb}", QStringLiteral("a\nb")},
};

class RtfIdioms : public ::testing::TestWithParam<Idiom> {};

TEST_P(RtfIdioms, ReadAsMeant) {
    QTextDocument document;
    const RtfRead read = readRtf(GetParam().rtf, document);
    EXPECT_TRUE(read.isRtf);
    EXPECT_TRUE(read.problems.isEmpty()) << read.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(document.toRawText(), QString(GetParam().text).replace(QLatin1Char('\n'), QChar::ParagraphSeparator));
}

INSTANTIATE_TEST_SUITE_P(Rtf, RtfIdioms, ::testing::ValuesIn(kIdioms),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

TEST(RtfReader, GroupsRestoreThePropertiesAroundThem) {
    QTextDocument document;
    readRtf("{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\pard\\qr{\\b bold{\\i\\cf1 both}bold}\\plain plain\\par"
            "\\pard next}",
            document);
    QStringList runs;
    for (auto it = document.begin().begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        runs << QStringLiteral("%1:%2%3%4")
                    .arg(it.fragment().text())
                    .arg(f.fontWeight() >= QFont::DemiBold)
                    .arg(f.fontItalic())
                    .arg(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name() : QString());
    }
    EXPECT_EQ(runs, (QStringList{QStringLiteral("bold:10"), QStringLiteral("both:11#0000ff"),
                                 QStringLiteral("bold:10"), QStringLiteral("plain:00")}));
    EXPECT_EQ(document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_FALSE(document.lastBlock().blockFormat().hasProperty(QTextFormat::BlockAlignment)) << "\\pard resets";
}

TEST(RtfReader, PicturesAndObjectsAreReportedAsLeftOut) {
    QTextDocument document;
    const RtfRead read =
        readRtf("{\\rtf1 a{\\*\\shppict{\\pict\\pngblip 89504e47}}{\\object{\\*\\objdata 0102}{\\result b}}}", document);
    EXPECT_EQ(document.toPlainText(), QStringLiteral("ab"));
    EXPECT_EQ(read.dropped, (QStringList{QStringLiteral("pictures"), QStringLiteral("embedded objects")}));
    EXPECT_FALSE(read.intact());
}

struct Damage {
    const char* name;
    QByteArray rtf;
    bool isRtf;
    QString text;  // what can still be read
};

QByteArray repeated(const QByteArray& piece, int times) { return piece.repeated(times); }

const Damage kDamage[] = {
    {"not RTF at all", "PK\x03\x04 zip bytes", false, QString()},
    {"cut short", "{\\rtf1 {\\b abc", true, QStringLiteral("abc")},
    {"closing braces that close nothing", "{\\rtf1 a}}}b", true, QStringLiteral("a")},
    {"text after the end", "{\\rtf1 a} lost words", true, QStringLiteral("a")},
    {"hex escape without digits", "{\\rtf1 a\\'zzb}", true, QStringLiteral("azzb")},
    {"nesting a million deep", "{\\rtf1 a" + repeated("{", 1000000) + "x" + repeated("}", 1000000) + "b}", true,
     QStringLiteral("ab")},
    {"nesting never closed", "{\\rtf1 a" + repeated("{\\b", 300000), true, QStringLiteral("a")},
};

class RtfDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(RtfDamage, ReadsWhatCanBeReadAndSaysWhatIsWrong) {
    QTextDocument document;
    const RtfRead read = readRtf(GetParam().rtf, document);
    EXPECT_EQ(read.isRtf, GetParam().isRtf);
    EXPECT_FALSE(read.intact());
    EXPECT_TRUE(!read.isRtf || !read.problems.isEmpty());
    EXPECT_EQ(document.toPlainText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Rtf, RtfDamage, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

// Values a hostile file may carry: huge, negative, endless; none may crash or stall.
TEST(RtfReader, ExtremeParametersAreClamped) {
    const QByteArray hostile =
        "{\\rtf1\\uc99999999999999999999 \\u99999999999999999999 x}{\\fs-5\\fs" + QByteArray(5000, '9') +
        " \\bin-3 \\bin99999999999 \\f-1 \\cf99999 \\ansicpg999999 \\'ff " + QByteArray(100000, 'a') + "}";
    QTextDocument document;
    const RtfRead read = readRtf("{\\rtf1 \\cf5\\f3\\fs99999999 ok\\ansicpg77777\\'e9}", document);
    EXPECT_TRUE(read.problems.isEmpty());
    EXPECT_EQ(document.toPlainText(), QStringLiteral("oké"));
    EXPECT_FALSE(readRtf(hostile, document).problems.isEmpty());
}

}  // namespace
}  // namespace tessaro::notes
