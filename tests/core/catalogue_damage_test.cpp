// A catalogue with one bad field keeps everything else: each case damages a single value
// of a sample catalogue and checks every other record, the field's default, the report
// and the original set aside.
#include "core/catalogue.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"

#include "python_plist.h"
#include "support/catalogue_dump.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace tessaro {
namespace {

using testing::TestEnvironment;

// The field values of one sample item; `id` is A, B, C (all-items group) or D ("Trips").
struct SampleItem {
    QString id;
    bool operator==(const SampleItem& other) const { return id == other.id; }
    QString path() const { return QStringLiteral("/nowhere-plain/") + id + QStringLiteral(".txt"); }
    QString name() const { return id + QStringLiteral(".txt"); }
    QString encryptedPath() const { return QStringLiteral("11-22/") + id; }
    qint64 number() const { return id.at(0).unicode() - 'A' + 1; }
    qint64 createDate() const { return 1700000000 + number(); }
    qint64 addDate() const { return 1767323000 + number(); }
    qint64 fileSize() const { return 1000 + number(); }
};

constexpr char kRecordedAddress[] = "0c:4d:e9:aa:bb:cc";

// Replacements of whole values: "B.fileSize" is the value of B's "fileSize", "B" all of B,
// "Trips.name" a value of the row "Trips".
using Damage = std::map<QString, QByteArray>;

QByteArray escaped(const QString& text) { return text.toHtmlEscaped().toUtf8(); }

// "B.fileSize/key" replaces the key element itself.
QByteArray field(const Damage& damage, const QString& where, const char* key, const QByteArray& value) {
    const QString name = where + QLatin1Char('.') + QLatin1String(key);
    const auto damagedKey = damage.find(name + QStringLiteral("/key"));
    const auto damagedValue = damage.find(name);
    return "\t\t\t\t" + (damagedKey == damage.end() ? "<key>" + QByteArray(key) + "</key>" : damagedKey->second) +
           "\n\t\t\t\t" + (damagedValue == damage.end() ? value : damagedValue->second) + "\n";
}

QByteArray itemText(const SampleItem& item, const Damage& damage) {
    if (const auto it = damage.find(item.id); it != damage.end()) {
        return "\t\t\t" + it->second + "\n";
    }
    const auto integer = [](qint64 n) { return "<integer>" + QByteArray::number(n) + "</integer>"; };
    return "\t\t\t<dict>\n" + field(damage, item.id, "path", "<string>" + escaped(item.path()) + "</string>") +
           field(damage, item.id, "name", "<string>" + escaped(item.name()) + "</string>") +
           field(damage, item.id, "encryptedPath", "<string>" + escaped(item.encryptedPath()) + "</string>") +
           field(damage, item.id, "macAddress", QByteArray("<string>") + kRecordedAddress + "</string>") +
           field(damage, item.id, "createDate", integer(item.createDate())) +
           field(damage, item.id, "addDate", integer(item.addDate())) +
           field(damage, item.id, "groupIndex", integer(1)) +
           field(damage, item.id, "fileSize", integer(item.fileSize())) +
           field(damage, item.id, "isEncrtypt", "<true/>") + "\t\t\t</dict>\n";
}

QByteArray rowText(const QString& name, const QString& path, int index, bool header, bool add,
                   const QList<SampleItem>& items, const Damage& damage) {
    const auto row = [&](const char* key, const QByteArray& value) {
        const auto it = damage.find(name + QLatin1Char('.') + QLatin1String(key));
        return "\t\t<key>" + QByteArray(key) + "</key>\n\t\t" + (it == damage.end() ? value : it->second) + "\n";
    };
    const auto flag = [](bool on) { return on ? QByteArray("<true/>") : QByteArray("<false/>"); };
    QByteArray list = "<array/>";
    if (!items.isEmpty()) {
        list = "<array>\n";
        for (const SampleItem& item : items) {
            list += itemText(item, damage);
        }
        list += "\t\t</array>";
    }
    return "\t<dict>\n" + row("name", "<string>" + escaped(name) + "</string>") +
           (path.isEmpty() ? QByteArray() : row("path", "<string>" + path.toUtf8() + "</string>")) +
           row("index", "<integer>" + QByteArray::number(index) + "</integer>") + row("isHeader", flag(header)) +
           row("isAddItem", flag(add)) + row("isNotes", flag(false)) + row("isGroupDir", flag(true)) +
           row("FileModel", list) + "\t</dict>\n";
}

const SampleItem A{QStringLiteral("A")}, B{QStringLiteral("B")}, C{QStringLiteral("C")}, D{QStringLiteral("D")};

// Header, "All Items" with A, B and C, "Trips" with D, the add row; as our writer lays it out.
QByteArray sampleCatalogue(const Damage& damage) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<array>\n" +
           rowText(QStringLiteral("Local Vault"), QString(), 0, true, false, {}, damage) +
           rowText(QStringLiteral("All Items"), QStringLiteral("11-22"), 1, false, false, {A, B, C}, damage) +
           rowText(QStringLiteral("Trips"), QStringLiteral("33-44"), 2, false, false, {D}, damage) +
           rowText(QString(), QString(), 3, false, true, {}, damage) + "</array>\n</plist>\n";
}

// The fields of testing::dumpItem, in its order.
enum Field { Name, Path, Stored, Address, Created, Added, Size, State, NoField };

QStringList intact(const SampleItem& sample) {
    return {sample.name(),
            sample.path(),
            sample.encryptedPath(),
            kRecordedAddress,
            QString::number(sample.createDate()),
            QString::number(sample.addDate()),
            QString::number(sample.fileSize()),
            QStringLiteral("hidden")};
}

const FileModel* findItem(const RowList& rows, const SampleItem& sample) {
    for (const GroupModelPtr& row : rows) {
        for (const FileModelPtr& item : row->fileModels ? *row->fileModels : FileModelList()) {
            if (item->path == sample.path() || item->encryptedPath == sample.encryptedPath()) {
                return item.get();
            }
        }
    }
    return nullptr;
}

struct DamageCase {
    const char* name;
    Damage damage;
    // Words the report must hold about it.
    QStringList reported;
    // The one field of B that falls back, and its value then; B is otherwise read whole.
    Field field = NoField;
    QString value = {};
    // Items that cannot be kept.
    QList<SampleItem> lost = {};
    // The row "Trips" as testing::dumpRows shows it, a pattern.
    QString trips = QStringLiteral("group Trips 33-44: D\\.txt\\*");
};

std::ostream& operator<<(std::ostream& out, const DamageCase& c) { return out << c.name; }

const DamageCase kCases[] = {
    {"SizeStoredAsText", {{"B.fileSize", "<string>big</string>"}},
     {"item 1 (\"B.txt\"): \"fileSize\" could not be read (expected a whole number, found the text \"big\"); set to "
      "0"},
     Size, "0"},
    {"CreationDateThatIsNoDate", {{"B.createDate", "<date>yesterday</date>"}},
     {"\"createDate\" could not be read", "\"yesterday\""}, Created, "0"},
    {"AddDateAsADictionary", {{"B.addDate", "<dict><key>when</key><string>now</string></dict>"}},
     {"\"addDate\" could not be read (expected a whole number, found a dictionary); set to 0"}, Added, "0"},
    // Its stored copy exists and its plain file does not: it is hidden.
    {"HiddenFlagAsText", {{"B.isEncrtypt", "<string>maybe</string>"}},
     {"\"isEncrtypt\" could not be read", "taken as hidden"}},
    // Refused, not read as "Bfile": B gets the name an added item gets.
    {"NameWithAnUndeclaredEntity", {{"B.name", "<string>B&nbsp;file</string>"}},
     {"\"name\" could not be read", "the undeclared \"&nbsp;\"", "named after its path"}},
    {"KeyWithAnUndeclaredEntity", {{"B.fileSize/key", "<key>file&Size;Size</key>"}},
     {"item 1 (\"B.txt\"): \"fileSize\" could not be read", "the undeclared \"&Size;\""}, Size, "0"},
    {"AddressAsData", {{"B.macAddress", "<data>AAEC</data>"}},
     {"\"macAddress\" could not be read", "given this machine's address"}, Address, TestEnvironment::kMacAddress},
    {"StoredPathAsAnArray", {{"B.encryptedPath", "<array/>"}},
     {"\"encryptedPath\" could not be read (expected a text, found an array)"}, Stored, ""},
    // Nothing says where it belongs: left out, saying where its stored copy is.
    {"PathThatCannotBeRead", {{"B.path", "<array><string>/nowhere-plain/B.txt</string></array>"}},
     {"item 1 (\"B.txt\"): \"path\" could not be read (expected a text, found an array); its stored copy is in "
      "\"11-22/B\"; left out"},
     NoField, {}, {B}},
    {"ItemThatIsNotADictionary", {{"B", "<string>B.txt</string>"}},
     {"row 1 (\"All Items\"), item 1: expected a dictionary, found the text \"B.txt\"; left out"}, NoField, {}, {B}},
    {"GroupNameAsADate", {{"Trips.name", "<date>2001-01-01T00:00:00Z</date>"}},
     {"row 2: \"name\" could not be read (expected a text, found the date 2001-01-01T00:00:00Z); left empty"},
     NoField, {}, {}, "group  33-44: D\\.txt\\*"},
    {"GroupFlagAsText", {{"Trips.isHeader", "<string>perhaps</string>"}},
     {"row 2 (\"Trips\"): \"isHeader\" could not be read", "taken as false"}},
    // Never empty, which would put new items into the vault's base.
    {"GroupDirectoryThatCannotBeRead", {{"Trips.path", "<dict/>"}},
     {"row 2 (\"Trips\"): \"path\" could not be read", "items added from now on go to the new directory"}, NoField,
     {}, {}, "group Trips [0-9]+-[0-9]+: D\\.txt\\*"},
    {"GroupItemsThatAreNotAList", {{"Trips.FileModel", "<string>D.txt</string>"}},
     {"row 2 (\"Trips\"): \"FileModel\" could not be read (expected an array, found the text \"D.txt\")"}, NoField,
     {}, {D}, "group Trips 33-44:"},
};

class OneBadValue : public ::testing::TestWithParam<DamageCase> {};

TEST_P(OneBadValue, CostsOnlyItselfAndIsReported) {
    const DamageCase& c = GetParam();
    TestEnvironment env;
    // B's stored copy is there; its plain file is not.
    ASSERT_TRUE(QDir().mkpath(env.vaultRoot() + QStringLiteral("/11-22/B")));
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QByteArray text = sampleCatalogue(c.damage);
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
    for (const SampleItem& sample : {A, B, C, D}) {
        const FileModel* item = findItem(rows, sample);
        if (c.lost.contains(sample)) {
            EXPECT_FALSE(item) << sample.id.toStdString();
            continue;
        }
        QStringList expected = intact(sample);
        if (sample == B && c.field != NoField) {
            expected[c.field] = c.value;
        }
        ASSERT_TRUE(item) << sample.id.toStdString();
        EXPECT_EQ(testing::dumpItem(*item), expected.join(QStringLiteral(" | ")));
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
    // Cut just after C's name: A and B are whole, C has its path and name, "Trips" and the
    // add row never came.
    const QByteArray whole = sampleCatalogue({});
    const QByteArray text = whole.left(whole.indexOf("<string>C.txt</string>") + 22);
    ASSERT_TRUE(TestEnvironment::writeFile(file, text));

    Catalogue catalogue;
    catalogue.setUp(std::nullopt, false);
    // The add row is put back; "Trips" never came.
    const RowList& rows = catalogue.groupDirList;
    ASSERT_EQ(testing::dumpRows(rows),
              (QStringList{"header Local Vault", "group All Items 11-22: A.txt*, B.txt*, C.txt", "add "}));
    const FileModelList& items = *rows[1]->fileModels;
    EXPECT_EQ(testing::dumpItem(*items[0]), intact(A).join(QStringLiteral(" | ")));
    EXPECT_EQ(testing::dumpItem(*items[1]), intact(B).join(QStringLiteral(" | ")));
    // C has its path and name; nothing on disk says it is hidden.
    EXPECT_EQ(testing::dumpItem(*items[2]),
              "C.txt | /nowhere-plain/C.txt |  | " + QString::fromLatin1(TestEnvironment::kMacAddress) + " | 0 | 0 | 0 | shown");

    ASSERT_EQ(catalogue.damageReports.size(), 1);
    const QStringList& lines = catalogue.damageReports.first().unreadable;
    ASSERT_EQ(lines.size(), 3) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("line %1: the text ends inside <dict> (expected </dict>); nothing after this "
                                       "point could be read").arg(text.count('\n') + 1));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("row 1 (\"All Items\"), item 2 (\"C.txt\"): the file breaks off")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("row 1 (\"All Items\"): the file breaks off")));
    EXPECT_EQ(TestEnvironment::readFile(catalogue.damagedFiles.first()), text);
}

TEST(Catalogue, ADamagedDriveCatalogueKeepsItsRowsItemsAndPassword) {
    TestEnvironment env;
    env.mountVolume(QStringLiteral("NewStick"));
    const QString key = QStringLiteral("NewStick/Box.flp");
    const QString file = env.volumesRoot() + QStringLiteral("/NewStick/Box.flp/GroupMoveUPlist.plist");
    QByteArray text =
        TestEnvironment::readFile(QStringLiteral(TESSARO_FIXTURES_DIR "/catalogue/python_GroupMoveUPlist.plist"));
    text.replace("<integer>12</integer>", "<string>twelve</string>");
    ASSERT_TRUE(TestEnvironment::writeFile(file, text));
    SettingsStore::setValue(QString::fromLatin1(keys::KUPNAMES), QStringList{key});

    Catalogue catalogue;
    catalogue.setUp(std::nullopt, false);
    const RowList& rows = catalogue.UPLibrary.value(key);
    ASSERT_EQ(rows.size(), 3);
    // Not the default rows of a new vault: the drive's own, with its password digest.
    EXPECT_EQ(rows[0]->password, QStringLiteral("9F86D081884C7D659A2FEAA0C55AD015"));
    const FileModelList& items = *rows[1]->fileModels;
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->path, env.volumesRoot() + QStringLiteral("/NewStick/Pictures/Ski 2025.jpg"));
    EXPECT_EQ(items[0]->fileSize.load(), 4096);
    EXPECT_EQ(items[1]->fileSize.load(), 0);
    ASSERT_EQ(catalogue.damagedFiles.size(), 1);
    EXPECT_EQ(TestEnvironment::readFile(catalogue.damagedFiles.first()), text);
    ASSERT_EQ(catalogue.damageReports.size(), 1);
    EXPECT_EQ(catalogue.damageReports.first().itemsKept, 3);
    // What was kept is on the drive at once.
    EXPECT_TRUE(TestEnvironment::readFile(file).contains("9F86D081884C7D659A2FEAA0C55AD015"));
    EXPECT_FALSE(TestEnvironment::readFile(file).contains("twelve"));
}

// A record whose paths would lead a command out of the vault is read whole, kept and marked;
// it costs nothing else, sets nothing aside, and is written back as it was read. One case a
// field: which paths are refused is the record check's to decide.
struct HostileCase {
    const char* name;
    const char* field;  // of B
    QString value;
    const char* reason;
};

std::ostream& operator<<(std::ostream& out, const HostileCase& c) { return out << c.name; }

const HostileCase kHostileCases[] = {
    {"StoredPlaceClimbsOut", "encryptedPath", QStringLiteral("11-22/../../victim"), "has a \"..\" component"},
    {"NameIsParent", "name", QStringLiteral(".."), "the name \"..\" is not a single file name"},
    {"PathIsRelative", "path", QStringLiteral("victim/B.txt"), "the path \"victim/B.txt\" is not absolute"},
};

class HostileRecord : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileRecord, IsKeptMarkedAndWrittenBackAsRead) {
    const HostileCase& c = GetParam();
    TestEnvironment env;
    const QString file = env.vaultRoot() + QStringLiteral("/GroupDirlist.plist");
    const QByteArray value = "<string>" + escaped(c.value) + "</string>";
    ASSERT_TRUE(TestEnvironment::writeFile(file, sampleCatalogue({{QStringLiteral("B.") + QLatin1String(c.field), value}})));

    Catalogue catalogue;
    ASSERT_TRUE(catalogue.setUp(std::nullopt, false));
    EXPECT_TRUE(catalogue.damagedFiles.isEmpty());
    const FileModelList& all = *catalogue.groupDirList[1]->fileModels;
    ASSERT_EQ(all.size(), 3);
    const FileModel& b = *all[1];
    EXPECT_TRUE(b.damage.contains(QLatin1String(c.reason))) << b.damage.toStdString();
    for (const SampleItem& sample : {A, C, D}) {
        const FileModel* item = findItem(catalogue.groupDirList, sample);
        ASSERT_TRUE(item);
        EXPECT_TRUE(item->damage.isEmpty()) << item->damage.toStdString();
    }

    // Any later save keeps the record as the file had it.
    ASSERT_TRUE(catalogue.SaveGroupList(0));
    Catalogue again;
    ASSERT_TRUE(again.setUp(std::nullopt, false));
    const FileModel& back = *(*again.groupDirList[1]->fileModels)[1];
    EXPECT_EQ(testing::dumpItem(back) + back.damage, testing::dumpItem(b) + b.damage);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, HostileRecord, ::testing::ValuesIn(kHostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro
