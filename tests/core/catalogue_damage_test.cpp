// A catalogue with one bad field keeps everything else: each case damages a single value
// of a sample catalogue and checks every other record, the field's default, the report
// and the original set aside. A record whose paths would lead out of the vault is kept and
// marked instead.
#include "core/catalogue.h"

#include "python_plist.h"
#include "sample_catalogue.h"
#include "support/catalogue_dump.h"
#include "support/test_environment.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>


namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::Change;
using testing::sampleCatalogue;
using testing::sampleItem;

// The fields of testing::dumpItem, in its order.
enum Field { Name, Path, Stored, Address, Created, Added, Size, State, NoField };

// A sample item as it reads back when nothing of it was damaged.
QStringList intact(char id) { return testing::dumpItem(*sampleItem(id)).split(QStringLiteral(" | ")); }

const FileModel* findItem(const RowList& rows, char id) {
    const FileModelPtr sample = sampleItem(id);
    for (const GroupModelPtr& row : rows) {
        for (const FileModelPtr& item : row->fileModels ? *row->fileModels : FileModelList()) {
            if (item->path == sample->path || item->encryptedPath == sample->encryptedPath) {
                return item.get();
            }
        }
    }
    return nullptr;
}

struct DamageCase {
    const char* name;
    Change change;
    // Words the report must hold about it.
    QStringList reported;
    // The one field of B that falls back, and its value then; B is otherwise read whole.
    Field field = NoField;
    QString value = {};
    // B is read whole, kept and marked with the first reported words, nothing is set aside,
    // and B is written back as it was read: its paths would lead a command out of the vault.
    bool marked = false;
    // Items that cannot be kept.
    QByteArray lost = {};
    // The row "Trips" as testing::dumpRows shows it, a pattern.
    QString trips = QStringLiteral("group Trips 33-44: D\\.txt\\*");
};

std::ostream& operator<<(std::ostream& out, const DamageCase& c) { return out << c.name; }

const DamageCase kCases[] = {
    {"SizeStoredAsText", {"/B.txt", "<integer>1002</integer>", "<string>big</string>"},
     {"item 1 (\"B.txt\"): \"fileSize\" could not be read (expected a whole number, found the text \"big\"); set to "
      "0"},
     Size, "0"},
    {"CreationDateThatIsNoDate", {"/B.txt", "<integer>1700000002</integer>", "<date>yesterday</date>"},
     {"\"createDate\" could not be read", "\"yesterday\""}, Created, "0"},
    {"AddDateAsADictionary",
     {"/B.txt", "<integer>1767323002</integer>", "<dict><key>when</key><string>now</string></dict>"},
     {"\"addDate\" could not be read (expected a whole number, found a dictionary); set to 0"}, Added, "0"},
    // Its stored copy exists and its plain file does not: it is hidden.
    {"HiddenFlagAsText", {"/B.txt", "<true/>", "<string>maybe</string>"},
     {"\"isEncrtypt\" could not be read", "taken as hidden"}},
    // Refused, not read as "Bfile": B gets the name an added item gets.
    {"NameWithAnUndeclaredEntity", {"/B.txt", "<string>B.txt</string>", "<string>B&nbsp;file</string>"},
     {"\"name\" could not be read", "the undeclared \"&nbsp;\"", "named after its path"}},
    {"KeyWithAnUndeclaredEntity", {"/B.txt", "<key>fileSize</key>", "<key>file&Size;Size</key>"},
     {"item 1 (\"B.txt\"): \"fileSize\" could not be read", "the undeclared \"&Size;\""}, Size, "0"},
    {"AddressAsData", {"/B.txt", "<string>0c:4d:e9:aa:bb:cc</string>", "<data>AAEC</data>"},
     {"\"macAddress\" could not be read", "given this machine's address"}, Address, TestEnvironment::kMacAddress},
    {"StoredPathAsAnArray", {"/B.txt", "<string>11-22/B</string>", "<array/>"},
     {"\"encryptedPath\" could not be read (expected a text, found an array)"}, Stored, ""},
    // Nothing says where it belongs: left out, saying where its stored copy is.
    {"PathThatCannotBeRead",
     {"", "<string>/nowhere-plain/B.txt</string>", "<array><string>/nowhere-plain/B.txt</string></array>"},
     {"item 1 (\"B.txt\"): \"path\" could not be read (expected a text, found an array); its stored copy is in "
      "\"11-22/B\"; left out"},
     NoField, {}, false, "B"},
    {"ItemThatIsNotADictionary", {"/A.txt", "<dict>", "<string>B.txt</string>", "</dict>"},
     {"row 1 (\"All Items\"), item 1: expected a dictionary, found the text \"B.txt\"; left out"}, NoField, {}, false,
     "B"},
    {"GroupNameAsADate", {"", "<string>Trips</string>", "<date>2001-01-01T00:00:00Z</date>"},
     {"row 2: \"name\" could not be read (expected a text, found the date 2001-01-01T00:00:00Z); left empty"},
     NoField, {}, false, {}, "group  33-44: D\\.txt\\*"},
    {"GroupFlagAsText", {"<string>Trips</string>", "<false/>", "<string>perhaps</string>"},
     {"row 2 (\"Trips\"): \"isHeader\" could not be read", "taken as false"}},
    // Never empty, which would put new items into the vault's base.
    {"GroupDirectoryThatCannotBeRead", {"", "<string>33-44</string>", "<dict/>"},
     {"row 2 (\"Trips\"): \"path\" could not be read", "items added from now on go to the new directory"}, NoField,
     {}, false, {}, "group Trips [0-9]+-[0-9]+: D\\.txt\\*"},
    {"GroupItemsThatAreNotAList", {"<string>Trips</string>", "<array>", "<string>D.txt</string>", "</array>"},
     {"row 2 (\"Trips\"): \"FileModel\" could not be read (expected an array, found the text \"D.txt\")"}, NoField,
     {}, false, "D", "group Trips 33-44:"},
    // Which paths are refused is the record check's to decide; here one field each.
    {"StoredPlaceClimbsOut", {"/B.txt", "<string>11-22/B</string>", "<string>11-22/../../victim</string>"},
     {"has a \"..\" component"}, Stored, "11-22/../../victim", true},
    {"NameIsParent", {"/B.txt", "<string>B.txt</string>", "<string>..</string>"},
     {"the name \"..\" is not a single file name"}, Name, "..", true},
    {"PathIsRelative", {"", "<string>/nowhere-plain/B.txt</string>", "<string>victim/B.txt</string>"},
     {"the path \"victim/B.txt\" is not absolute"}, Path, "victim/B.txt", true},
};

class OneBadValue : public ::testing::TestWithParam<DamageCase> {};

TEST_P(OneBadValue, CostsOnlyItselfAndIsReported) {
    const DamageCase& c = GetParam();
    TestEnvironment env;
    // B's stored copy is there; its plain file is not.
    ASSERT_TRUE(QDir().mkpath(env.vaultRoot() + QStringLiteral("/11-22/B")));
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QByteArray text = sampleCatalogue(env, c.change);
    ASSERT_TRUE(TestEnvironment::writeFile(file, text));

    Catalogue catalogue;
    catalogue.setUp(std::nullopt, false);
    const RowList& rows = catalogue.groupDirList;
    ASSERT_EQ(rows.size(), 4);
    EXPECT_TRUE(rows[0]->isHeader);
    EXPECT_TRUE(rows[3]->isAddItem);
    const QString trips = testing::dumpRows(rows)[2];
    EXPECT_TRUE(QRegularExpression(QRegularExpression::anchoredPattern(c.trips)).match(trips).hasMatch())
        << trips.toStdString();
    // Every record the damage did not touch is as it was.
    for (const char id : {'A', 'B', 'C', 'D'}) {
        const FileModel* item = findItem(rows, id);
        if (c.lost.contains(id)) {
            EXPECT_FALSE(item) << id;
            continue;
        }
        QStringList expected = intact(id);
        if (id == 'B' && c.field != NoField) {
            expected[c.field] = c.value;
        }
        ASSERT_TRUE(item) << id;
        EXPECT_EQ(testing::dumpItem(*item), expected.join(QStringLiteral(" | ")));
        EXPECT_TRUE(id == 'B' || item->damage.isEmpty()) << item->damage.toStdString();
    }
    if (c.marked) {
        const FileModel& b = *findItem(rows, 'B');
        EXPECT_TRUE(b.damage.contains(c.reported.first())) << b.damage.toStdString();
        EXPECT_TRUE(catalogue.damagedFiles.isEmpty());
        ASSERT_TRUE(catalogue.SaveGroupList(0));
        Catalogue again;
        ASSERT_TRUE(again.setUp(std::nullopt, false));
        const FileModel& back = *findItem(again.groupDirList, 'B');
        EXPECT_EQ(testing::dumpItem(back) + back.damage, testing::dumpItem(b) + b.damage);
        return;
    }
    const qsizetype itemsKept = 4 - c.lost.size();

    // The original is set aside byte for byte, and what was kept is written in its place.
    ASSERT_EQ(catalogue.damagedFiles.size(), 1);
    EXPECT_EQ(TestEnvironment::readFile(catalogue.damagedFiles.first()), text);
    QString error;
    const auto written = testing::plistAsJsonByPython(file, &error);
    ASSERT_TRUE(written) << error.toStdString();
    int itemsWritten = 0;
    for (const QJsonValue& row : written->array()) {
        itemsWritten += row.toObject()[QStringLiteral("FileModel")].toArray().size();
    }
    EXPECT_EQ(itemsWritten, itemsKept);

    // The report names the record and the field, what was expected and what was found.
    ASSERT_EQ(catalogue.damageReports.size(), 1);
    const catalogue::DamageReport& report = catalogue.damageReports.first();
    EXPECT_EQ(report.asidePath, catalogue.damagedFiles.first());
    EXPECT_EQ(report.groupsKept, 2);
    ASSERT_EQ(report.unreadable.size(), 1) << report.unreadable.join(QLatin1Char('\n')).toStdString();
    for (const QString& words : c.reported) {
        EXPECT_TRUE(report.unreadable.first().contains(words))
            << report.unreadable.first().toStdString() << "\n  lacks: " << words.toStdString();
    }
    const QString summary = catalogue.damageSummary();
    EXPECT_TRUE(summary.contains(report.asidePath));
    EXPECT_TRUE(summary.contains(QStringLiteral("items kept: %1").arg(itemsKept)));
    EXPECT_TRUE(summary.contains(report.unreadable.first()));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, OneBadValue, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST(Catalogue, AFileThatBreaksOffKeepsWhatCameBefore) {
    TestEnvironment env;
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    // Cut inside C's stored place: A and B are whole, C has its path and name and a key
    // without its value, "Trips" and the add row never came.
    const QByteArray whole = sampleCatalogue(env);
    const QByteArray text = whole.left(whole.indexOf("<string>11-22/C") + 12);
    ASSERT_TRUE(TestEnvironment::writeFile(file, text));

    Catalogue catalogue;
    catalogue.setUp(std::nullopt, false);
    // The add row is put back; "Trips" never came.
    const RowList& rows = catalogue.groupDirList;
    ASSERT_EQ(testing::dumpRows(rows),
              (QStringList{"header Local Vault", "group All Items 11-22: A.txt*, B.txt*, C.txt", "add "}));
    const FileModelList& items = *rows[1]->fileModels;
    EXPECT_EQ(testing::dumpItem(*items[0]), testing::dumpItem(*sampleItem('A')));
    EXPECT_EQ(testing::dumpItem(*items[1]), testing::dumpItem(*sampleItem('B')));
    // C has its path and name; nothing on disk says it is hidden.
    EXPECT_EQ(testing::dumpItem(*items[2]),
              "C.txt | /nowhere-plain/C.txt |  | " + QString::fromLatin1(TestEnvironment::kMacAddress) + " | 0 | 0 | 0 | shown");

    ASSERT_EQ(catalogue.damageReports.size(), 1);
    const QStringList& lines = catalogue.damageReports.first().unreadable;
    ASSERT_EQ(lines.size(), 3) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("line %1: the text ends inside <string> (expected </string>); nothing after "
                                       "this point could be read").arg(text.count('\n') + 1));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("row 1 (\"All Items\"), item 2 (\"C.txt\"): the file breaks off")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("row 1 (\"All Items\"): the file breaks off")));
    EXPECT_EQ(TestEnvironment::readFile(catalogue.damagedFiles.first()), text);
}

}  // namespace
}  // namespace tessaro
