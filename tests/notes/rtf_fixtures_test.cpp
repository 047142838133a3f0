// RTF written by real word processors (tests/fixtures/notes/README.md says how each was
// made), and what we write read back by an independent reader.
#include "notes/rtf_reader.h"
#include "notes/rtf_writer.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

namespace tessaro::notes {
namespace {

using testing::TestEnvironment;

QByteArray fixture(const char* name) {
    return TestEnvironment::readFile(QStringLiteral(TESSARO_FIXTURES_DIR "/notes/") + QLatin1String(name));
}

// One expectation: `text` is in the document, and its last character has these attributes.
struct Span {
    QString text;
    QString attributes;  // "b", "i", "u", "#rrggbb", "family=...", "size=...", "centre", "right", "justify"
};

struct Fixture {
    const char* file;
    QList<Span> spans;
};

// Both files were made from formatted.html, so they must say the same.
const QList<Span> kFormattedHtml = {
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

const Fixture kFixtures[] = {
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

class WordProcessorFiles : public ::testing::TestWithParam<Fixture> {};

TEST_P(WordProcessorFiles, ReadWithTheirTextAndFormatting) {
    QTextDocument document;
    const RtfRead read = readRtf(fixture(GetParam().file), document);
    ASSERT_TRUE(read.intact()) << read.problems.join(QLatin1Char(';')).toStdString();
    for (const Span& span : GetParam().spans) {
        const QTextCursor found = document.find(span.text);
        ASSERT_FALSE(found.isNull()) << span.text.toStdString() << " in " << document.toPlainText().toStdString();
        EXPECT_EQ(attributesAt(found, span.attributes), span.attributes) << span.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WordProcessorFiles, ::testing::ValuesIn(kFixtures), [](const auto& info) {
    return testing::readableName(QString::fromLatin1(info.param.file).section(QLatin1Char('.'), 0, 0));
});

// An independent reader must find our text in what we write: unrtf when it is installed.
TEST(RtfWriter, IndependentReaderFindsOurText) {
    const QString unrtf = QStandardPaths::findExecutable(QStringLiteral("unrtf"));
    if (unrtf.isEmpty()) {
        GTEST_SKIP() << "unrtf is not installed (apt-get install unrtf), so no independent reader checks our RTF";
    }
    QTextDocument document;
    QTextCursor c(&document);
    c.insertText(QStringLiteral("Plain 中文笔记 "));
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(255, 0, 0));
    c.insertText(QStringLiteral("bold {braces} back\\slash café 😀"), bold);
    c.insertBlock();
    c.insertText(QStringLiteral("second paragraph"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TXT.rtf"));
    ASSERT_TRUE(TestEnvironment::writeFile(path, writeRtf(document)));
    QProcess process;
    process.start(unrtf, {QStringLiteral("--html"), path});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    // unrtf writes characters beyond ASCII as numeric entities.
    for (const QString& expected : {QStringLiteral("Plain"), QStringLiteral("&#20013;&#25991;&#31508;&#35760;"),
                                    QStringLiteral("{braces} back\\slash caf"), QStringLiteral("<b>"),
                                    QStringLiteral("second paragraph")}) {
        EXPECT_TRUE(html.contains(expected)) << expected.toStdString() << "\n" << html.toStdString();
    }
}

}  // namespace
}  // namespace tessaro::notes
