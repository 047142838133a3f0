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

// plistlib is an independent writer of the same format; with the keys left in order its
// output is what Apple's tools write. Read by us and written again, its bytes come out the
// same: no value, type, key order or layout was lost on either way.
TEST(PropertyList, ReadsAndWritesTheSameBytesAsPythonsPlistlib) {
    const QString script = QStringLiteral(
        "import datetime, plistlib, sys\n"
        "doc = [{'name': 'A & <b> \\'x\\' \\u4e2d\\u6587 \\U0001F600\\ttab', 'index': -3, 'big': 9007199254740993,\n"
        "        'isHeader': True, 'isAddItem': False, 'FileModel': []},\n"
        "       {}, 1.5, 0.1, datetime.datetime(2026, 1, 2, 3, 4, 5), b'\\x00\\x01\\x02', bytes(range(100)), '']\n"
        "sys.stdout.buffer.write(plistlib.dumps(doc, fmt=plistlib.FMT_XML, sort_keys=False))\n");
    QString error;
    const auto theirs = testing::runPython(script, {}, &error);
    ASSERT_TRUE(theirs) << error.toStdString();
    const auto back = plist::parse(*theirs);
    ASSERT_TRUE(back.value) << back.error.toStdString();
    EXPECT_EQ(plist::serialize(*back.value).bytes.value_or("not written").toStdString(), theirs->toStdString());
}

// Values plistlib writes otherwise or not at all: read back by us, the carriage return by
// plistlib too, whose XML reader would turn a raw one into a line feed.
TEST(PropertyList, ValuesBeyondPlistlibsSampleComeBackAsWritten) {
    Value doc = Value::array();
    doc.append(Value::fromString(QStringLiteral("a\rb\r\nc \"quoted\" ]]> &amp;")));
    doc.append(Value::fromReal(std::numeric_limits<double>::infinity()));
    doc.append(Value::fromInteger(std::numeric_limits<qint64>::min()));
    const auto bytes = plist::serialize(doc);
    ASSERT_TRUE(bytes.bytes) << bytes.error.toStdString();
    const auto back = plist::parse(*bytes.bytes);
    ASSERT_TRUE(back.value) << back.error.toStdString();
    ASSERT_EQ(back.value->items.size(), 3u);
    EXPECT_EQ(back.value->items[0].string, doc.items[0].string);
    EXPECT_TRUE(std::isinf(back.value->items[1].real));
    EXPECT_EQ(back.value->items[2].integer, std::numeric_limits<qint64>::min());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cr.plist"));
    ASSERT_TRUE(testing::TestEnvironment::writeFile(path, *bytes.bytes));
    QString error;
    const auto json = testing::plistAsJsonByPython(path, &error);
    ASSERT_TRUE(json) << error.toStdString();
    EXPECT_EQ(json->array().at(0).toString(), doc.items[0].string);
}

TEST(PropertyList, RefusesToWriteCharactersXmlCannotCarry) {
    for (const QString& bad : {QStringLiteral("bell\x07"), QString(QChar(0xFFFE)), QString(QChar(0xD800)),
                               QStringLiteral("nul") + QChar(0)}) {
        Value doc = Value::array();
        doc.append(Value::fromString(bad));
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
        "  <key>a</key>   <integer>1</integer>\n"
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

    // A root value without the plist element, in UTF-16.
    const QString utf16Text = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><array><string>中</string><integer> 0x1F </integer></array>");
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2);
    const auto bare = plist::parse(utf16);
    ASSERT_TRUE(bare.value) << bare.error.toStdString();
    ASSERT_EQ(bare.value->items.size(), 2u);
    EXPECT_EQ(bare.value->items[0].string, QStringLiteral("中"));
    EXPECT_EQ(bare.value->items[1].integer, 31);
}

TEST(PropertyList, TextThatIsNotWellFormedIsRefusedWithWhereAndWhat) {
    const struct {
        QByteArray text;
        const char* reason;
    } cases[] = {
        {QByteArray(), "line 1: expected the root element, found the end of the text"},
        {QByteArray("   \n"), "line 2: expected the root element, found the end of the text"},
        {QByteArray("not xml at all"), "line 1: expected the root element, found the text \"not xml at all\""},
        {QByteArray("\x00\x01\x02\xff\xfe", 5), "line 1: expected the root element, found the byte 0x00"},
        // Cut off by a crash of a writer.
        {QByteArray("<plist><array><dict><key>name</key><string>Tri"), "the text ends inside <string>"},
        {QByteArray("<plist version=\"1.0\"></plist>"), "line 1: expected a value in <plist>, found </plist>"},
        {QByteArray("<plist><dict><string>a</string></dict></plist>"),
         "line 1: expected <key> in a dictionary, found \"<string>\""},
        {QByteArray("<plist><array>loose text</array></plist>"),
         "line 1: expected an element or </array>, found the text \"loose text\""},
        {QByteArray("<plist><array/><array/></plist>"),
         "line 1: expected </plist> after the value, found \"<array/>\""},
        {QByteArray("<plist>\n<array><string>unclosed</array></plist>"),
         "line 2: expected </string>, found \"</array>\""},
        {QByteArray("<plist a=\"1\" a=\"2\"><array/></plist>"), "line 1: the attribute \"a\" appears twice in <plist>"},
        {QByteArray("<plist a=\"1\"b=\"2\"><array/></plist>"),
         "line 1: expected \">\", \"/>\" or a space and an attribute in <plist>, found the text \"b=\"2\">\""},
        {QByteArray("<plist><array><!-- open comment</array></plist>"),
         "line 1: the text ends inside a comment (expected \"-->\")"},
        {QByteArray("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><plist/>"),
         "line 1: expected UTF-8 or UTF-16, found the encoding \"shift_jis\""},
        {QByteArray("\xFF\xFE\x00\x00<\x00\x00\x00", 8), "line 1: expected UTF-8 or UTF-16, found UTF-32"},
        {QByteArray("<!DOCTYPE plist [<!ENTITY a \"x\"]><plist><array/></plist>"),
         "line 1: expected \">\" to end the declaration of the entity \"a\", found the text \"]>\""},
    };
    for (const auto& c : cases) {
        const auto parsed = plist::parse(c.text);
        EXPECT_FALSE(parsed.value) << c.text.left(80).toStdString();
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(c.reason)))
            << c.text.left(80).toStdString() << "\n  gave: " << parsed.error.toStdString();
    }
    // What was read before a break is kept as far as the catalogue's damage cases show; with
    // nothing read there is nothing to keep.
    EXPECT_FALSE(plist::parse("<plist><string>cut").partial);
}

// Well-formed XML whose value is not what its element says: that value is refused with a
// reason, its neighbours are read.
TEST(PropertyList, ValuesThatCannotBeReadAreRefusedOneByOne) {
    const QByteArray deep = QByteArray("<array>").repeated(5000) + QByteArray("</array>").repeated(5000);
    const struct {
        QByteArray value;
        const char* reason;
    } cases[] = {
        {"<integer>12x</integer>", "expected a whole number of 64 bits in <integer>, found the text \"12x\""},
        {"<integer>99999999999999999999</integer>", "expected a whole number of 64 bits in <integer>"},
        {"<integer/>", "found the text \"\""},
        {"<real>abc</real>", "expected a number in <real>, found the text \"abc\""},
        {"<date>yesterday</date>", "expected a date as yyyy-mm-ddThh:mm:ssZ in <date>, found the text \"yesterday\""},
        {"<data>@@@@</data>", "expected base64 in <data>"},
        {"<unknown><x/>text</unknown>", "expected a value, found the element <unknown>"},
        {"<key>k</key>", "expected a value, found the element <key>"},
        {"<string>&undefined;</string>", "expected a declared entity, found the undeclared \"&undefined;\""},
        {"<string>a & b</string>", "expected an entity name and \";\" after \"&\", found \"& b\""},
        {"<string>&#0;</string>", "\"&#0;\" stands for a character XML does not allow"},
        {"<string>&#xZZ;</string>", "expected a character number and \";\" after \"&#\""},
        {"<string>a<b/></string>", "expected text in <string>, found the element <b>"},
        {"<string>bell\x07</string>", "the text holds the control character U+0007"},
        {"<string>caf\xE9</string>", "expected UTF-8, found the byte 0xe9"},
        {"<string>\xED\xA0\x80</string>", "expected UTF-8, found the byte 0xed"},
    };
    for (const auto& c : cases) {
        const QByteArray text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n<array>\n" +
            c.value + "\n<string>next</string>\n</array>\n</plist>\n";
        const auto parsed = plist::parse(text);
        ASSERT_TRUE(parsed.value) << c.value.left(60).toStdString() << ": " << parsed.error.toStdString();
        ASSERT_EQ(parsed.value->items.size(), 2u);
        const Value& bad = parsed.value->items[0];
        EXPECT_TRUE(bad.isInvalid()) << c.value.left(60).toStdString();
        EXPECT_TRUE(bad.string.startsWith(QStringLiteral("line 5: "))) << bad.string.toStdString();
        EXPECT_TRUE(bad.string.contains(QString::fromUtf8(c.reason)))
            << c.value.left(60).toStdString() << "\n  gave: " << bad.string.toStdString();
        EXPECT_EQ(parsed.value->items[1].string, QStringLiteral("next"));
    }
    // Nesting beyond the limit: the value that goes too deep is refused, the rest is read.
    const auto nested = plist::parse("<plist><array>" + deep + "<string>next</string></array></plist>");
    ASSERT_TRUE(nested.value) << nested.error.toStdString();
    const Value* level = &nested.value->items.at(0);
    int depth = 1;
    while (level->isArray() && level->items.size() == 1) {
        level = &level->items[0];
        ++depth;
    }
    EXPECT_EQ(depth, 256);
    EXPECT_EQ(level->string, QStringLiteral("line 1: values nested deeper than 256 levels"));
    EXPECT_EQ(nested.value->items.at(1).string, QStringLiteral("next"));
    // A root that cannot be read leaves nothing.
    const auto root = plist::parse("<plist><integer>x</integer></plist>");
    EXPECT_FALSE(root.value);
    EXPECT_TRUE(root.error.contains(QStringLiteral("expected a whole number")));
}

TEST(PropertyList, EntitiesOfTheDoctypeAreExpandedAndOthersRefused) {
    QByteArray doctype =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE plist [\n"
        "  <!ELEMENT plist ANY> <!ATTLIST plist version CDATA \"1.0\"> <!-- a comment ] > -->\n"
        "  <!ENTITY home \"/home/&user;\">\n"  // refers to one declared later
        "  <!ENTITY user 'li&#x4E2D;'>\n"
        "  <!ENTITY user \"shadowed: the first declaration counts\">\n"
        "  <!ENTITY % parameter \"not for the document\">\n"
        "  <!ENTITY outside SYSTEM \"file:///etc/passwd\">\n"
        "  <!ENTITY markup \"<string>x</string>\">\n"
        "  <!ENTITY loop \"&loop;\">\n"
        "  <!ENTITY l0 \"lollollollollollollollollollol\">\n";
    // Each level ten times the one below it; billions of them are the worst cases' to refuse.
    for (int level = 1; level < 3; ++level) {
        doctype += "  <!ENTITY l" + QByteArray::number(level) + " \"" +
                   QByteArray("&l" + QByteArray::number(level - 1) + ";").repeated(10) + "\">\n";
    }
    doctype += "]>\n";
    const QByteArray text = doctype +
                            "<plist version=\"1.0\"><array>"
                            "<string>&home;/&lt;&amp;&gt;</string>"
                            "<string>&parameter;</string>"
                            "<string>&outside;</string>"
                            "<string>&markup;</string>"
                            "<string>&loop;</string>"
                            "<string>&l2;</string>"
                            "</array></plist>";
    const auto parsed = plist::parse(text);
    ASSERT_TRUE(parsed.value) << parsed.error.toStdString();
    const std::vector<Value>& v = parsed.value->items;
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].string, QStringLiteral("/home/li中/<&>"));
    // Each refused with its reason, where it was used.
    const char* refused[] = {"the undeclared \"&parameter;\"", "refers to an outside file", "holds markup",
                             "refers to itself"};
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_TRUE(v[i].isInvalid()) << i;
        EXPECT_TRUE(v[i].string.startsWith(QStringLiteral("line 15: ")) && v[i].string.contains(refused[i - 1]))
            << v[i].string.toStdString();
    }
    // A reasonable expansion still works: the budget is proportional to the text.
    EXPECT_EQ(v[5].type, Value::Type::String);
    EXPECT_EQ(v[5].string.size(), 3000);
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
        EXPECT_TRUE(parsed.value || !parsed.error.isEmpty());
        // What was read before a break goes through the same reading of rows.
        const std::optional<Value>& document = parsed.value ? parsed.value : parsed.partial;
        if (!document) {
            continue;
        }
        const auto rows = catalogue::rowsFromPlist(
            *document, {catalogue::ListKind::Local, QStringLiteral("systemDevicName"), QStringLiteral("m"), {}, {}});
        EXPECT_TRUE(rows.rows || !rows.unreadable.isEmpty());
        readable += rows.rows && parsed.value ? 1 : 0;
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
