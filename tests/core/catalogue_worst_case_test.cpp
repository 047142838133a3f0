// The worst shapes a catalogue file can take: many attributes, deep nesting, many and long
// entities, huge numbers of references, very long texts, many keys. Each is read in full
// (or refused where it must be) with every other record kept, inside a child process whose
// CPU time is capped far above what a reading in linear time needs, so that work growing
// with the square of the input ends in a failure instead of a hung test run.
#include "core/catalogue_format.h"

#include "sample_catalogue.h"
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

// The sample catalogue with `prolog` in place of its own when given, `rootAttributes` on the
// plist element and `itemB` at the end of B's dictionary, where a later key wins over an
// earlier one.
QByteArray catalogueWith(QByteArray sample, const QByteArray& prolog, const QByteArray& rootAttributes,
                         const QByteArray& itemB) {
    sample.insert(sample.indexOf("</dict>", sample.indexOf("/B.txt")), itemB);
    sample.replace("<plist version=\"1.0\">", "<plist version=\"1.0\"" + rootAttributes + ">");
    return prolog.isEmpty() ? sample : prolog + sample.mid(sample.indexOf("<plist"));
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

struct WorstCase {
    const char* name;
    std::function<QByteArray(const QByteArray& sample)> text;
    // B's summary line; A, C and D, whole, stand around it in every case.
    const char* itemB;
    // What the one value that could not be read is reported as; none when all was read.
    const char* unreadable = nullptr;
};

std::ostream& operator<<(std::ostream& out, const WorstCase& c) { return out << c.name; }

const WorstCase kWorstCases[] = {
    {"AttributesByTheHundredThousandOnTheRoot",
     [](const QByteArray& sample) { return catalogueWith(sample, {}, attributes(200000), {}); },
     "B.txt path=20 size=1002 hidden=1"},
    {"AttributesByTheHundredThousandOnAValue",
     [](const QByteArray& sample) {
         return catalogueWith(sample, {}, {}, "<key>name</key><string" + attributes(200000) + ">B2.txt</string>");
     },
     "B2.txt path=20 size=1002 hidden=1"},
    {"NestingAMillionLevelsDeepUnderAnUnknownKey",
     [](const QByteArray& sample) {
         return catalogueWith(sample, {}, {},
                              "<key>junk</key>" + QByteArray("<array>").repeated(1000000) +
                                  QByteArray("</array>").repeated(1000000));
     },
     "B.txt path=20 size=1002 hidden=1"},
    {"AHundredThousandEntitiesAndALongOne",
     [](const QByteArray& sample) {
         QByteArray doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n";
         for (int i = 0; i < 100000; ++i) {
             doctype += "<!ENTITY e" + QByteArray::number(i) + " \"" + QByteArray::number(i % 10) + "\">\n";
         }
         doctype += "<!ENTITY long \"" + QByteArray("x").repeated(5000) + "\">\n]>\n";
         return catalogueWith(sample, doctype, {},
                              "<key>name</key><string>&long;</string><key>path</key><string>/nowhere/&e99999;&e0;"
                              "</string>");
     },
     "xxxxxxxxxxxxxxxxxxxxxxxx path=11 size=1002 hidden=1"},
    {"EntitiesThatExpandToBillions",
     [](const QByteArray& sample) {
         QByteArray doctype = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY l0 \"lol\">\n";
         for (int i = 1; i < 10; ++i) {
             doctype += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                        QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
         }
         return catalogueWith(sample, doctype + "]>\n", {}, "<key>name</key><string>&l9;</string>");
     },
     "B.txt path=20 size=1002 hidden=1",
     "its entities expand to more text than a file of this length can hold); named after its path"},
    {"AMillionReferences",
     [](const QByteArray& sample) {
         return catalogueWith(sample, {}, {},
                              "<key>path</key><string>/nowhere/" + QByteArray("&#x4E2D;&amp;").repeated(500000) +
                                  "</string><key>name</key><string>" + QByteArray("&nbsp;").repeated(100000) +
                                  "</string>");
     },
     // The undeclared entity is refused, not read as nothing; the name falls back to the
     // path's last component, which is the long one.
     "中&中&中&中&中&中&中&中&中&中&中&中& path=1000009 size=1002 hidden=1",
     "expected a declared entity, found the undeclared \"&nbsp;\""},
    {"TextsAndNamesOfMegabytes",
     [](const QByteArray& sample) {
         return catalogueWith(sample, {}, {},
                              "<key>path</key><string>/nowhere/" +
                                  QByteArray("abc\xE4\xB8\xAD\xF0\x9F\x98\x80\r\n").repeated(1600000) +
                                  "<![CDATA[<&>]]></string><key>note</key><" + QByteArray("e").repeated(5000000) +
                                  "/>");
     },
     "B.txt path=11200012 size=1002 hidden=1"},
    {"KeysByTheHundredThousand",
     [](const QByteArray& sample) {
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
         return catalogueWith(sample, {}, {}, keys);
     },
     // Unknown keys are ignored whatever they hold; of a repeated key the last counts.
     "B.txt path=20 size=4242 hidden=1"},
};

class WorstCaseInput : public ::testing::TestWithParam<WorstCase> {};

TEST_P(WorstCaseInput, IsReadInLinearTimeAndKeepsEveryRecord) {
    const WorstCase& c = GetParam();
    TestEnvironment env;
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QString report = file + QStringLiteral(".summary");
    ASSERT_TRUE(TestEnvironment::writeFile(file, c.text(testing::sampleCatalogue(env))));
    const int status = testing::runChild([&] {
        const rlimit limit{kCpuSeconds, kCpuSeconds + 10};
        ::setrlimit(RLIMIT_CPU, &limit);
        const catalogue::ListRead read =
            catalogue::readRowListFile(file, {catalogue::ListKind::Local, QStringLiteral("systemDevicName"),
                                              QString::fromLatin1(TestEnvironment::kMacAddress), QString(), QString()});
        return TestEnvironment::writeFile(report, summaryOf(read).toUtf8()) ? 0 : 1;
    });
    ASSERT_EQ(status, 0) << "the reading did not finish within " << kCpuSeconds << " s of CPU time";
    QStringList lines = QString::fromUtf8(TestEnvironment::readFile(report)).split(QLatin1Char('\n'));
    const QString reason = lines.size() > 5 ? lines.takeLast() : QString();
    const QString whole = QStringLiteral("item %1.txt path=20 size=%2 hidden=1");
    EXPECT_EQ(lines, (QStringList{whole.arg('A').arg(1001), QStringLiteral("item ") + QString::fromUtf8(c.itemB),
                                  whole.arg('C').arg(1003), whole.arg('D').arg(1004),
                                  QStringLiteral("unreadable %1").arg(c.unreadable ? 1 : 0)}));
    EXPECT_TRUE(c.unreadable ? reason.contains(QString::fromUtf8(c.unreadable)) : reason.isEmpty())
        << reason.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Catalogue, WorstCaseInput, ::testing::ValuesIn(kWorstCases),
                         [](const ::testing::TestParamInfo<WorstCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
