#include "core/plist.h"

#include "core/catalogue_format.h"

#include "python_plist.h"
#include "support/test_environment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tessaro {
namespace {

using plist::Value;

Value sampleDocument() {
    Value row = Value::dictionary();
    row.insert(QStringLiteral("name"), Value::fromString(QStringLiteral("A & <b> 'x' 中文 😀\ttab")));
    row.insert(QStringLiteral("index"), Value::fromInteger(-3));
    row.insert(QStringLiteral("big"), Value::fromInteger(9007199254740993LL));
    row.insert(QStringLiteral("isHeader"), Value::fromBoolean(true));
    row.insert(QStringLiteral("isAddItem"), Value::fromBoolean(false));
    row.insert(QStringLiteral("FileModel"), Value::array());
    Value root = Value::array();
    root.append(std::move(row));
    root.append(Value::dictionary());
    root.append(Value::fromReal(1.5));
    root.append(Value::fromReal(0.1));
    root.append(Value::fromDate(QDateTime::fromSecsSinceEpoch(1767323045, Qt::UTC)));
    root.append(Value::fromData(QByteArray("\x00\x01\x02", 3)));
    root.append(Value::fromData(testing::patternBytes(100)));
    root.append(Value::fromString(QString()));
    return root;
}

TEST(PropertyList, WritesTheSameBytesAsPythonsPlistlib) {
    const auto ours = plist::serialize(sampleDocument());
    ASSERT_TRUE(ours.bytes) << ours.error.toStdString();
    // plistlib is an independent writer of the same format; with the keys left in order
    // its output is what Apple's tools write.
    const QString script = QStringLiteral(
        "import datetime, plistlib, sys\n"
        "pattern = bytes.fromhex(sys.argv[1])\n"
        "doc = [{'name': 'A & <b> \\'x\\' \\u4e2d\\u6587 \\U0001F600\\ttab', 'index': -3, 'big': 9007199254740993,\n"
        "        'isHeader': True, 'isAddItem': False, 'FileModel': []},\n"
        "       {}, 1.5, 0.1, datetime.datetime(2026, 1, 2, 3, 4, 5), b'\\x00\\x01\\x02', pattern, '']\n"
        "sys.stdout.buffer.write(plistlib.dumps(doc, fmt=plistlib.FMT_XML, sort_keys=False))\n");
    QString error;
    const auto theirs = testing::runPython(script, {QString::fromLatin1(testing::patternBytes(100).toHex())}, &error);
    ASSERT_TRUE(theirs) << error.toStdString();
    EXPECT_EQ(ours.bytes->toStdString(), theirs->toStdString());
}

TEST(PropertyList, ReadsWhatItWritesForEveryType) {
    Value doc = sampleDocument();
    doc.append(Value::fromString(QStringLiteral("line\r\nbreak \"quoted\" ]]> &amp;")));
    doc.append(Value::fromReal(std::numeric_limits<double>::infinity()));
    doc.append(Value::fromInteger(std::numeric_limits<qint64>::min()));
    const auto bytes = plist::serialize(doc);
    ASSERT_TRUE(bytes.bytes);
    const auto back = plist::parse(*bytes.bytes);
    ASSERT_TRUE(back.value) << back.error.toStdString();
    const Value& v = *back.value;
    ASSERT_EQ(v.items.size(), doc.items.size());
    const Value& row = v.items[0];
    ASSERT_TRUE(row.isDictionary());
    EXPECT_EQ(row.keys, doc.items[0].keys);  // order kept
    EXPECT_EQ(row.find(QStringLiteral("name"))->string, doc.items[0].find(QStringLiteral("name"))->string);
    EXPECT_EQ(row.find(QStringLiteral("big"))->integer, 9007199254740993LL);
    EXPECT_EQ(row.find(QStringLiteral("index"))->integer, -3);
    EXPECT_TRUE(row.find(QStringLiteral("isHeader"))->boolean);
    EXPECT_EQ(row.find(QStringLiteral("isAddItem"))->type, Value::Type::Boolean);
    EXPECT_FALSE(row.find(QStringLiteral("isAddItem"))->boolean);
    EXPECT_TRUE(row.find(QStringLiteral("FileModel"))->isArray());
    EXPECT_TRUE(v.items[1].isDictionary());
    EXPECT_DOUBLE_EQ(v.items[2].real, 1.5);
    EXPECT_DOUBLE_EQ(v.items[3].real, 0.1);
    EXPECT_EQ(v.items[4].date.toSecsSinceEpoch(), 1767323045);
    EXPECT_EQ(v.items[5].data, QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(v.items[6].data, testing::patternBytes(100));
    EXPECT_EQ(v.items[7].type, Value::Type::String);
    EXPECT_TRUE(v.items[7].string.isEmpty());
    EXPECT_EQ(v.items[8].string, QStringLiteral("line\r\nbreak \"quoted\" ]]> &amp;"));
    EXPECT_TRUE(std::isinf(v.items[9].real));
    EXPECT_EQ(v.items[10].integer, std::numeric_limits<qint64>::min());
}

TEST(PropertyList, PythonReadsACarriageReturnBack) {
    Value doc = Value::array();
    doc.append(Value::fromString(QStringLiteral("a\rb\r\nc")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cr.plist"));
    ASSERT_TRUE(testing::TestEnvironment::writeFile(path, *plist::serialize(doc).bytes));
    QString error;
    const auto json = testing::plistAsJsonByPython(path, &error);
    ASSERT_TRUE(json) << error.toStdString();
    EXPECT_EQ(json->array().at(0).toString(), QStringLiteral("a\rb\r\nc"));
}

TEST(PropertyList, RefusesToWriteCharactersXmlCannotCarry) {
    for (const QString& bad : {QStringLiteral("bell\x07"), QString(QChar(0xFFFE)), QString(QChar(0xD800)),
                               QStringLiteral("nul") + QChar(0)}) {
        Value doc = Value::array();
        Value row = Value::dictionary();
        row.insert(QStringLiteral("name"), Value::fromString(bad));
        doc.append(std::move(row));
        const auto out = plist::serialize(doc);
        EXPECT_FALSE(out.bytes) << bad.toStdString();
        EXPECT_FALSE(out.error.isEmpty());
    }
}

TEST(PropertyList, AcceptsWhatOtherWritersProduce) {
    const QByteArray text =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<!-- a comment before the root -->\r\n"
        "<plist version=\"1.0\"><dict>"
        "  <key>a</key>   <integer> 0x1F </integer>\n"
        "<?some-instruction here?>"
        "<key>b</key><string>x<!-- inside -->y &#20013;&#x6587; &lt;&gt;&amp;&apos;&quot;</string>\n"
        "        <key>c</key><real>  -2.5e3 </real><key>d</key><true></true>"
        "<key>e</key><date>2001-01-01T00:00:00Z</date>"
        "<key>f</key><data>\n\t\tAAEC\n\t\tAw==\n\t</data>"
        "<key>g</key><array><string/><array/></array>"
        "<key>a</key><integer>+7</integer>"
        "</dict></plist>\n<!-- trailing -->\n";
    const auto parsed = plist::parse(text);
    ASSERT_TRUE(parsed.value) << parsed.error.toStdString();
    const Value& d = *parsed.value;
    ASSERT_TRUE(d.isDictionary());
    EXPECT_EQ(d.find(QStringLiteral("a"))->integer, 7);  // the last of a repeated key
    EXPECT_EQ(d.find(QStringLiteral("b"))->string, QStringLiteral("xy 中文 <>&'\""));
    EXPECT_DOUBLE_EQ(d.find(QStringLiteral("c"))->real, -2500.0);
    EXPECT_TRUE(d.find(QStringLiteral("d"))->boolean);
    EXPECT_EQ(d.find(QStringLiteral("e"))->date.toSecsSinceEpoch(), 978307200);
    EXPECT_EQ(d.find(QStringLiteral("f"))->data, QByteArray("\x00\x01\x02\x03", 4));
    ASSERT_EQ(d.find(QStringLiteral("g"))->items.size(), 2u);
    EXPECT_EQ(d.find(QStringLiteral("g"))->items[0].type, Value::Type::String);

    const auto hex = plist::parse("<plist version=\"1.0\"><integer>0x1F</integer></plist>");
    ASSERT_TRUE(hex.value);
    EXPECT_EQ(hex.value->integer, 31);
    // A root value without the plist element, in UTF-16.
    const QString utf16Text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><array><string>中</string></array>");
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2);
    const auto bare = plist::parse(utf16);
    ASSERT_TRUE(bare.value) << bare.error.toStdString();
    EXPECT_EQ(bare.value->items.at(0).string, QStringLiteral("中"));
}

TEST(PropertyList, BadInputGivesAReasonNotACrash) {
    QByteArray deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 5000; ++i) {
        deep += "<array>";
    }
    const QByteArray good = *plist::serialize(sampleDocument()).bytes;
    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("   \n"),
        QByteArray("not xml at all"),
        QByteArray("\x00\x01\x02\xff\xfe", 5),
        good.left(good.size() / 2),  // cut off by a crash of a writer
        QByteArray("<plist version=\"1.0\"></plist>"),
        QByteArray("<plist><array><integer>12x</integer></array></plist>"),
        QByteArray("<plist><array><integer>99999999999999999999</integer></array></plist>"),
        QByteArray("<plist><array><real>abc</real></array></plist>"),
        QByteArray("<plist><array><date>yesterday</date></array></plist>"),
        QByteArray("<plist><array><data>@@@@</data></array></plist>"),
        QByteArray("<plist><dict><key>a</key></dict></plist>"),
        QByteArray("<plist><dict><string>a</string></dict></plist>"),
        QByteArray("<plist><array><unknown/></array></plist>"),
        QByteArray("<plist><array>loose text</array></plist>"),
        QByteArray("<plist><array><string>&undefined;</string></array></plist>"),
        QByteArray("<plist><array/><array/></plist>"),
        QByteArray("<plist><string>a<b/></string></plist>"),
        QByteArray("<plist><array><string>unclosed</array></plist>"),
        deep,
    };
    for (const QByteArray& text : cases) {
        const auto parsed = plist::parse(text);
        EXPECT_FALSE(parsed.value) << text.left(80).toStdString();
        EXPECT_FALSE(parsed.error.isEmpty()) << text.left(80).toStdString();
    }
}

TEST(PropertyList, MutatedCataloguesGiveRowsOrAReason) {
    const QByteArray original = testing::TestEnvironment::readFile(
        QStringLiteral(TESSARO_FIXTURES_DIR "/catalogue/handmade_GroupDirlist.plist"));
    ASSERT_FALSE(original.isEmpty());
    std::mt19937 rng(7);
    int readable = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes = original;
        const int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) {
            const qsizetype at = static_cast<qsizetype>(rng() % static_cast<quint32>(bytes.size()));
            switch (rng() % 3) {
            case 0: bytes[at] = static_cast<char>(rng() & 0xff); break;
            case 1: bytes.remove(at, 1 + static_cast<qsizetype>(rng() % 40)); break;
            default: bytes.insert(at, "<dict>"); break;
            }
        }
        const auto parsed = plist::parse(bytes);
        if (!parsed.value) {
            EXPECT_FALSE(parsed.error.isEmpty());
            continue;
        }
        const auto rows = catalogue::rowsFromPlist(*parsed.value, catalogue::ListKind::Local,
                                                   QStringLiteral("systemDevicName"), QStringLiteral("m"));
        EXPECT_TRUE(rows.rows || !rows.error.isEmpty());
        readable += rows.rows ? 1 : 0;
    }
    // Some mutations only touch texts; those files still load.
    EXPECT_GT(readable, 0);
}

TEST(PropertyList, LenientConversionsForOtherWriters) {
    struct Case {
        Value value;
        std::optional<qint64> integer;
        std::optional<bool> flag;
    };
    const Case cases[] = {
        {Value::fromInteger(42), 42, true},
        {Value::fromReal(2048.9), 2048, true},
        {Value::fromReal(std::nan("")), std::nullopt, true},
        {Value::fromString(QStringLiteral(" 17 ")), 17, std::nullopt},
        {Value::fromString(QStringLiteral("YES")), std::nullopt, true},
        {Value::fromString(QStringLiteral("")), std::nullopt, false},
        {Value::fromBoolean(true), 1, true},
        {Value::fromDate(QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC)), 1700000000, std::nullopt},
        {Value::array(), std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.toInteger(), c.integer);
        EXPECT_EQ(c.value.toBoolean(), c.flag);
    }
    EXPECT_FALSE(Value::dictionary().toText());
    EXPECT_EQ(Value::fromInteger(5).toText(), QStringLiteral("5"));
}

}  // namespace
}  // namespace tessaro
