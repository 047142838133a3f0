// The worst shapes a catalogue file can take: many attributes, deep nesting, many and long
// entities, huge numbers of references, very long texts, many keys. Each is read in full
// (or refused where it must be) with every other record kept, inside a child process whose
// CPU time is capped far above what a reading in linear time needs, so that work growing
// with the square of the input ends in a failure instead of a hung test run.
#include "core/catalogue_format.h"

#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/resource.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;

// Seconds of CPU time for one reading; a linear reader needs a small part of this even
// under the sanitizers, a quadratic one many times it.
constexpr rlim_t kCpuSeconds = 20;

// Header, an all-items group with A, B and C, the add row. `itemB` goes into B's
// dictionary after its ordinary keys (a later key wins over an earlier one).
QByteArray catalogueWith(const QByteArray& prolog, const QByteArray& plistAttributes, const QByteArray& itemB) {
    const auto item = [](const char* id, const QByteArray& extra) {
        return QByteArray("<dict><key>path</key><string>/nowhere-plain/") + id +
               ".txt</string><key>name</key><string>" + id + ".txt</string><key>encryptedPath</key><string>11-22/" +
               id +
               "</string><key>macAddress</key><string>0c:4d:e9:aa:bb:cc</string><key>createDate</"
               "key><integer>1700000000"
               "</integer><key>addDate</key><integer>1767323045</integer><key>groupIndex</key><integer>1</integer>"
               "<key>fileSize</key><integer>1000</integer><key>isEncrtypt</key><true/>" +
               extra + "</dict>\n";
    };
    return prolog + "<plist version=\"1.0\"" + plistAttributes +
           ">\n<array>\n<dict><key>name</key><string>Local Vault</string><key>isHeader</key><true/>"
           "<key>FileModel</key><array/></dict>\n"
           "<dict><key>name</key><string>All "
           "Items</string><key>path</key><string>11-22</string><key>FileModel</key><array>\n" +
           item("A", {}) + item("B", itemB) + item("C", {}) +
           "</array></dict>\n<dict><key>isAddItem</key><true/><key>FileModel</key><array/></dict>\n</array>\n</"
           "plist>\n";
}

const QByteArray kProlog =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";

QByteArray repeated(const QByteArray& piece, int times) {
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

QByteArray attributes(int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        out += " a" + QByteArray::number(i) + "=\"x\"";
    }
    return out;
}

// What a reading gave, in a few lines that a test can compare: per item its name (cut),
// the length of its path, its size and hidden flag; then the number of things that could
// not be read and the first of them.
QString summaryOf(const catalogue::ListRead& read) {
    QStringList lines;
    if (read.rows) {
        for (const GroupModelPtr& row : *read.rows) {
            for (const FileModelPtr& item : row->fileModels ? *row->fileModels : FileModelList()) {
                lines.append(QStringLiteral("item %1 path=%2 size=%3 hidden=%4")
                                 .arg(item->name.left(24))
                                 .arg(item->path.size())
                                 .arg(item->fileSize.load())
                                 .arg(item->isEncrtypt ? 1 : 0));
            }
        }
    }
    lines.append(QStringLiteral("unreadable %1").arg(read.damage.unreadable.size()));
    if (!read.damage.unreadable.isEmpty()) {
        lines.append(read.damage.unreadable.first().left(300));
    }
    return lines.join(QLatin1Char('\n'));
}

struct Bounded {
    bool finished = false;
    QString output;
};

// Reads the file in a child process under the CPU cap; the summary comes back in a file.
Bounded readWithinCpuCap(const QString& path) {
    const QString report = path + QStringLiteral(".summary");
    const int status = testing::runChild([&] {
        const rlimit limit{kCpuSeconds, kCpuSeconds + 10};
        ::setrlimit(RLIMIT_CPU, &limit);
        const catalogue::ListRead read =
            catalogue::readRowListFile(path, {catalogue::ListKind::Local, QStringLiteral("systemDevicName"),
                                              QString::fromLatin1(TestEnvironment::kMacAddress), QString(), QString()});
        return TestEnvironment::writeFile(report, summaryOf(read).toUtf8()) ? 0 : 1;
    });
    return {status == 0, QString::fromUtf8(TestEnvironment::readFile(report))};
}

struct WorstCase {
    const char* name;
    std::function<QByteArray()> text;
    // Lines the summary must hold.
    QStringList expected;
};

std::ostream& operator<<(std::ostream& out, const WorstCase& c) { return out << c.name; }

const QString kItemA = QStringLiteral("item A.txt path=20 size=1000 hidden=1");
const QString kItemC = QStringLiteral("item C.txt path=20 size=1000 hidden=1");

const WorstCase kWorstCases[] = {
    {"AttributesByTheHundredThousandOnTheRoot",
     [] { return catalogueWith(kProlog, attributes(200000), {}); },
     {kItemA, QStringLiteral("item B.txt path=20 size=1000 hidden=1"), kItemC, QStringLiteral("unreadable 0")}},
    {"AttributesByTheHundredThousandOnAValue",
     [] { return catalogueWith(kProlog, {}, "<key>name</key><string" + attributes(200000) + ">B2.txt</string>"); },
     {kItemA, QStringLiteral("item B2.txt path=20 size=1000 hidden=1"), kItemC, QStringLiteral("unreadable 0")}},
    {"NestingAMillionLevelsDeepUnderAnUnknownKey",
     [] {
         return catalogueWith(kProlog, {},
                              "<key>junk</key>" + repeated("<array>", 1000000) + repeated("</array>", 1000000));
     },
     {kItemA, QStringLiteral("item B.txt path=20 size=1000 hidden=1"), kItemC, QStringLiteral("unreadable 0")}},
    {"AHundredThousandEntitiesAndALongOne",
     [] {
         QByteArray doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n";
         for (int i = 0; i < 100000; ++i) {
             doctype += "<!ENTITY e" + QByteArray::number(i) + " \"" + QByteArray::number(i % 10) + "\">\n";
         }
         doctype += "<!ENTITY long \"" + repeated("x", 5000) + "\">\n]>\n";
         return catalogueWith(doctype, {},
                              "<key>name</key><string>&long;</string><key>path</key><string>/nowhere/&e99999;&e0;"
                              "</string>");
     },
     {kItemA, QStringLiteral("item xxxxxxxxxxxxxxxxxxxxxxxx path=11 size=1000 hidden=1"), kItemC,
      QStringLiteral("unreadable 0")}},
    {"EntitiesThatExpandToBillions",
     [] {
         QByteArray doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY l0 \"lol\">\n";
         for (int i = 1; i < 10; ++i) {
             doctype += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                        repeated("&l" + QByteArray::number(i - 1) + ";", 10) + "\">\n";
         }
         return catalogueWith(doctype + "]>\n", {}, "<key>name</key><string>&l9;</string>");
     },
     {kItemA, QStringLiteral("item B.txt path=20 size=1000 hidden=1"), kItemC, QStringLiteral("unreadable 1"),
      QStringLiteral("its entities expand to more text than a file of this length can hold); named after its path")}},
    {"AMillionReferences",
     [] {
         return catalogueWith(kProlog, {},
                              "<key>path</key><string>/nowhere/" + repeated("&#x4E2D;&amp;", 500000) +
                                  "</string><key>name</key><string>" + repeated("&nbsp;", 100000) + "</string>");
     },
     // The undeclared entity is refused, not read as nothing; the name falls back to the
     // path's last component, which is the long one.
     {kItemA, QStringLiteral("item 中&中&中&中&中&中&中&中&中&中&中&中& path=1000009 size=1000 hidden=1"), kItemC,
      QStringLiteral("unreadable 1"), QStringLiteral("expected a declared entity, found the undeclared \"&nbsp;\"")}},
    {"TextsAndNamesOfMegabytes",
     [] {
         return catalogueWith(kProlog, {},
                              "<key>path</key><string>/nowhere/" +
                                  repeated("abc\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n", 1600000) +
                                  "<![CDATA[<&>]]></string><key>note</key><" + repeated("e", 5000000) + "/>");
     },
     {kItemA, QStringLiteral("item B.txt path=11200012 size=1000 hidden=1"), kItemC, QStringLiteral("unreadable 0")}},
    {"KeysByTheHundredThousand",
     [] {
         static const QByteArray values[] = {"<integer>x</integer>", "<date>never</date>",
                                             "<string>&undefined;</string>", "<foo><bar/></foo>",
                                             "<array><dict/></array>"};
         QByteArray keys;
         for (int i = 0; i < 100000; ++i) {
             keys += "<key>k" + QByteArray::number(i) + "</key>" + values[i % 5];
         }
         for (int i = 0; i <= 50000; ++i) {
             keys += "<key>fileSize</key><integer>" + QByteArray::number(i < 50000 ? i : 4242) + "</integer>";
         }
         return catalogueWith(kProlog, {}, keys);
     },
     // Unknown keys are ignored whatever they hold; of a repeated key the last counts.
     {kItemA, QStringLiteral("item B.txt path=20 size=4242 hidden=1"), kItemC, QStringLiteral("unreadable 0")}},
};

class WorstCaseInput : public ::testing::TestWithParam<WorstCase> {};

TEST_P(WorstCaseInput, IsReadInLinearTimeAndKeepsEveryRecord) {
    const WorstCase& c = GetParam();
    TestEnvironment env;
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    ASSERT_TRUE(TestEnvironment::writeFile(file, c.text()));
    const Bounded result = readWithinCpuCap(file);
    ASSERT_TRUE(result.finished) << "the reading did not finish within " << kCpuSeconds << " s of CPU time";
    const QStringList lines = result.output.split(QLatin1Char('\n'));
    for (const QString& line : c.expected) {
        const bool whole = line.startsWith(QLatin1String("item ")) || line.startsWith(QLatin1String("unreadable "));
        EXPECT_TRUE(whole ? lines.contains(line) : result.output.contains(line))
            << "missing: " << line.toStdString() << "\nin:\n"
            << result.output.left(2000).toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, WorstCaseInput, ::testing::ValuesIn(kWorstCases),
                         [](const ::testing::TestParamInfo<WorstCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
