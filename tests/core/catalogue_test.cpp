#include "core/catalogue.h"

#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "python_plist.h"
#include "support/catalogue_dump.h"
#include "support/test_environment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

using testing::dumpItem;
using testing::dumpRows;
using testing::TestEnvironment;

// MD5 of TestEnvironment::kPassword, by python's hashlib.
constexpr char kPasswordDigest[] = "3CB4E732631F47E6EB961F34554B7CDE";

QString localFile(const TestEnvironment& env) { return env.vaultRoot() + QStringLiteral("/GroupDirlist.plist"); }
QString notesFile(const TestEnvironment& env) { return env.vaultRoot() + QStringLiteral("/GroupNoteslist.plist"); }
QString driveFile(const TestEnvironment& env, const QString& key) {
    return env.volumesRoot() + QLatin1Char('/') + key + QStringLiteral("/GroupMoveUPlist.plist");
}
void rememberDrives(const QStringList& vaults) { SettingsStore::setValue(QString::fromLatin1(keys::KUPNAMES), vaults); }

QString fixture(const char* name) {
    return QStringLiteral(TESSARO_FIXTURES_DIR "/catalogue/") + QString::fromLatin1(name);
}

QJsonDocument pythonRead(const QString& path) {
    QString error;
    auto json = testing::plistAsJsonByPython(path, &error);
    EXPECT_TRUE(json) << error.toStdString();
    return json ? *json : QJsonDocument();
}

// One field of every row as python read it, in words ("true" for a flag).
QStringList column(const QJsonArray& rows, const char* key) {
    QStringList out;
    for (const QJsonValue& row : rows) {
        out.append(row.toObject().value(QLatin1String(key)).toVariant().toString());
    }
    return out;
}

FileModelPtr makeItem(const QString& path, qint64 size, bool hidden) {
    auto item = std::make_shared<FileModel>();
    item->path = path;
    item->name = QFileInfo(path).fileName();
    item->fileSize = size;
    item->isEncrtypt = hidden;
    item->createDate = 1700000000;
    item->addDate = 1767323045;
    item->macAddress = QString::fromLatin1(TestEnvironment::kMacAddress);
    item->encryptedPath = QStringLiteral("11-22/33");
    return item;
}

// The three row-list invariants.
void expectInvariants(const RowList& rows, const QString& listKey, bool notes) {
    ASSERT_GE(rows.size(), 3);
    EXPECT_TRUE(rows.first()->isHeader);
    EXPECT_FALSE(rows.first()->fileModels);
    EXPECT_TRUE(rows.last()->isAddItem);
    EXPECT_FALSE(rows.last()->fileModels);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const GroupModel& row = *rows[i];
        EXPECT_EQ(row.index, i);
        EXPECT_EQ(row.groupName, listKey);
        EXPECT_EQ(row.isNotes, notes);
        EXPECT_EQ(row.isGroupDir, !notes);
        if (i > 0 && i + 1 < rows.size()) {
            ASSERT_TRUE(row.fileModels) << "row " << i;
            for (qsizetype j = 0; j < row.fileModels->size(); ++j) {
                const FileModel& item = *row.fileModels->at(j);
                EXPECT_EQ(item.groupIndex, i);
                EXPECT_EQ(item.fileIndex, j);
                EXPECT_EQ(item.groupName, listKey);
            }
        }
    }
}

TEST(Catalogue, FirstStartWritesTheDefaultListsARestartReadsThemBackNotesOutliveTheirSiblingAndTheLayoutIsExact) {
    TestEnvironment env;
    LogCapture log;
    Catalogue first;
    ASSERT_TRUE(first.setUp(std::nullopt, false)) << first.lastError.toStdString();
    EXPECT_TRUE(QFileInfo(env.vaultRoot() + QStringLiteral("/Notes")).isDir());
    EXPECT_TRUE(log.contains(QStringLiteral("更新Group.plist 成功")));
    EXPECT_TRUE(log.contains(QStringLiteral("开始更新Notes数据库")));
    const QString allItems = first.groupDirList[1]->path;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9]+-[0-9]+$")).match(allItems).hasMatch()) << allItems.toStdString();
    // The notes add row is named after the section title, unlike the file sections.
    const QStringList local{"header Local Vault", "group All Items " + allItems + ":", "add "};
    const QStringList notes{"header Secure Notes", "group All Notes " + first.groupNoteList[1]->path + ":", "add Local Vault"};
    EXPECT_EQ(dumpRows(first.groupDirList), local);
    EXPECT_EQ(dumpRows(first.groupNoteList), notes);
    // The notes rows carry their own flag where the format puts it.
    EXPECT_EQ(column(pythonRead(notesFile(env)).array(), "isNotes"), QStringList(3, "true"));

    const QByteArray localBytes = TestEnvironment::readFile(localFile(env));
    Catalogue again;
    ASSERT_TRUE(again.setUp(std::nullopt, false));
    expectInvariants(again.groupNoteList, QStringLiteral("systemDevicNoteName"), true);
    EXPECT_EQ(dumpRows(again.groupDirList), local);
    EXPECT_EQ(dumpRows(again.groupNoteList), notes);
    EXPECT_TRUE(again.damagedFiles.isEmpty());
    EXPECT_EQ(TestEnvironment::readFile(localFile(env)), localBytes) << "loading writes nothing";

    // A notes catalogue left without its local sibling still lists the notes; only the
    // local one is made anew.
    again.groupNoteList[1]->fileModels->append(makeItem(env.vaultRoot() + QStringLiteral("/Notes/Bank codes"), 0, false));
    ASSERT_TRUE(again.SaveGroupList(2));
    ASSERT_TRUE(QFile::remove(localFile(env)));
    Catalogue third;
    ASSERT_TRUE(third.setUp(std::nullopt, false));
    expectInvariants(third.groupDirList, QStringLiteral("systemDevicName"), false);
    EXPECT_TRUE(QFileInfo::exists(localFile(env)));
    EXPECT_EQ(dumpRows(third.groupNoteList), dumpRows(again.groupNoteList));
    EXPECT_EQ(pythonRead(notesFile(env)).array()[1].toObject()["FileModel"].toArray().size(), 1);

    // Written out by hand from the format: the rows and items in the order and layout every
    // other reader of these files expects.
    third.groupDirList[1]->path = QStringLiteral("11-22");
    third.groupDirList[1]->fileModels->append(makeItem(QStringLiteral("/home/u/a & b.txt"), 1025, true));
    renumberRowList(third.groupDirList);
    ASSERT_TRUE(third.SaveGroupList(0));
    EXPECT_EQ(TestEnvironment::readFile(localFile(env)).toStdString(),
              TestEnvironment::readFile(fixture("written_GroupDirlist.plist")).toStdString());
}

TEST(Catalogue, LoadsAHandWrittenCatalogueAndKeepsWhatItMeans) {
    TestEnvironment env;
    ASSERT_TRUE(QFile::copy(fixture("handmade_GroupDirlist.plist"), localFile(env)));
    Catalogue c;
    ASSERT_TRUE(c.setUp(std::nullopt, false)) << c.lastError.toStdString();
    EXPECT_TRUE(c.damagedFiles.isEmpty());
    expectInvariants(c.groupDirList, QStringLiteral("systemDevicName"), false);
    // Missing flags read as false; a <date> as seconds since 1970, a <real> size as whole
    // bytes, an item without an address gets this machine's.
    EXPECT_EQ(dumpRows(c.groupDirList),
              (QStringList{"header 本地保险库", "group 全部项目 1234567890-1767323045: 报告 & <草稿>.txt*, 中文 folder",
                           "group 照片 & \"旅行\" 42-1767323099:", "add "}));
    const FileModelList& items = *c.groupDirList[1]->fileModels;
    EXPECT_EQ(dumpItem(*items.at(0)), "报告 & <草稿>.txt | /home/li/文档/报告 & <草稿>.txt | 1234567890-1767323045/987654321 | "
                                      "0c:4d:e9:aa:bb:cc | 1700000000 | 1767323045 | 2048 | hidden");
    EXPECT_EQ(dumpItem(*items.at(1)), QStringLiteral("中文 folder | /home/li/中文 folder |  | ") +
                                          TestEnvironment::kMacAddress + " | -5 | 1767323046 | 9007199254740993 | shown");
    // The notes file was missing: its rows are rebuilt and written.
    expectInvariants(c.groupNoteList, QStringLiteral("systemDevicNoteName"), true);
    EXPECT_TRUE(QFileInfo::exists(notesFile(env)));

    // Saved and loaded again, it means the same, the address given on load included.
    ASSERT_TRUE(c.SaveGroupList(0));
    Catalogue again;
    ASSERT_TRUE(again.setUp(std::nullopt, false));
    EXPECT_EQ(dumpRows(again.groupDirList), dumpRows(c.groupDirList));
    EXPECT_EQ(dumpItem(*again.groupDirList[1]->fileModels->at(1)), dumpItem(*items.at(1)));
}

// A file that is no list is set aside byte for byte and replaced at once; a list without the
// rows every section has is completed in memory and stored as completed at the next save.
// Either way the other section loads untouched and every reader accepts what is written.
TEST(Catalogue, ADamagedFileIsSetAsideAnIncompleteOneIsCompleted) {
    const struct {
        const char* what;
        QByteArray bytes;
        bool notes;
        QStringList rows;  // none: damaged; "$NEW" is the directory given to an all-items group made anew
        const char* logged = nullptr;
    } cases[] = {
        {"empty", QByteArray(), false, {}},
        {"a dictionary root", "<plist version=\"1.0\"><dict/></plist>", false, {}},
        {"a row that is not a dictionary", "<plist><array><string>row</string></array></plist>", false, {}},
        {"damaged notes", QByteArray("\x89PNG\r\n\x1a\n", 8), true, {}},
        // The first group after the header stands where the all-items group belongs and is
        // taken as it, whatever flags of the other section it carries.
        {"one group, no header, no add row",
         "<plist version=\"1.0\"><array><dict><key>name</key><string>Trips</string>"
         "<key>path</key><string>9-9</string><key>isNotes</key><true/>"
         "<key>FileModel</key><array><dict><key>path</key><string>/home/u/t.txt</string>"
         "<key>name</key><string>t.txt</string><key>fileSize</key><integer>3</integer></dict></array>"
         "</dict></array></plist>",
         false, {"header Local Vault", "group Trips 9-9: t.txt", "add "}, "added: header, add"},
        {"a header and an add row",
         "<plist><array><dict><key>isHeader</key><true/></dict><dict><key>isAddItem</key><true/></dict></array></plist>",
         false, {"header ", "group All Items $NEW:", "add "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestEnvironment env;
        Catalogue fresh;
        ASSERT_TRUE(fresh.setUp(std::nullopt, false));
        const QString target = c.notes ? notesFile(env) : localFile(env);
        ASSERT_TRUE(TestEnvironment::writeFile(target, c.bytes));

        LogCapture log;
        Catalogue catalogue;
        catalogue.setUp(std::nullopt, false);
        const RowList& rows = c.notes ? catalogue.groupNoteList : catalogue.groupDirList;
        expectInvariants(rows, QString::fromLatin1(c.notes ? kNotesListKey : kLocalListKey), c.notes);
        EXPECT_EQ((c.notes ? catalogue.groupDirList : catalogue.groupNoteList).size(), 3);
        if (c.rows.isEmpty()) {
            ASSERT_EQ(catalogue.damagedFiles.size(), 1);
            const QString aside = catalogue.damagedFiles.first();
            const QRegularExpression asideName(QRegularExpression::escape(target) + QStringLiteral("\\.damaged-[0-9]+$"));
            EXPECT_TRUE(asideName.match(aside).hasMatch()) << aside.toStdString();
            EXPECT_EQ(TestEnvironment::readFile(aside), c.bytes);
            EXPECT_EQ(log.lines().filter(aside).size(), 1);
        } else {
            EXPECT_EQ(dumpRows(rows).join('\n'), c.rows.join('\n').replace(QStringLiteral("$NEW"), rows[1]->path));
            EXPECT_TRUE(!c.logged || log.contains(QString::fromLatin1(c.logged)));
            EXPECT_TRUE(catalogue.damagedFiles.isEmpty());
            EXPECT_EQ(TestEnvironment::readFile(target), c.bytes) << "loading rewrote the file";
            ASSERT_TRUE(catalogue.SaveGroupList(0));
        }
        EXPECT_EQ(pythonRead(target).array().size(), 3);
    }
}

TEST(Catalogue, AFileThatCannotBeOpenedIsNeverOverwritten) {
    TestEnvironment env;
    // A directory where the catalogue belongs: it can be neither read nor moved aside as a
    // file, and whatever is in it must survive.
    ASSERT_TRUE(QDir().mkpath(localFile(env)));
    ASSERT_TRUE(TestEnvironment::writeFile(localFile(env) + QStringLiteral("/keep"), "precious"));
    Catalogue c;
    EXPECT_FALSE(c.setUp(std::nullopt, false));
    expectInvariants(c.groupDirList, QStringLiteral("systemDevicName"), false);
    EXPECT_FALSE(c.SaveGroupList(0));
    EXPECT_TRUE(QFileInfo(localFile(env)).isDir());
    EXPECT_EQ(TestEnvironment::readFile(localFile(env) + QStringLiteral("/keep")), QByteArray("precious"));
    // The notes are unaffected.
    EXPECT_TRUE(c.SaveGroupList(2));
}

TEST(Catalogue, AFailedWriteReturnsFalseAndLeavesTheOldFile) {
    TestEnvironment env;
    Catalogue c;
    ASSERT_TRUE(c.setUp(std::nullopt, false));
    const QByteArray before = TestEnvironment::readFile(localFile(env));
    for (int i = 0; i < 200; ++i) {
        c.groupDirList[1]->fileModels->append(makeItem(QStringLiteral("/home/u/file-%1.txt").arg(i), i, true));
    }
    renumberRowList(c.groupDirList);

    // The disk fills up half-way: a child process may write no more than the old size.
    const int status = testing::runChild(
        [&] { return c.SaveGroupList(0) ? 1 : (c.lastError.isEmpty() ? 2 : 0); }, -1, before.size());
    EXPECT_EQ(status, 0) << "1: reported as saved, 2: no reason given";
    EXPECT_EQ(TestEnvironment::readFile(localFile(env)), before);
    EXPECT_TRUE(QDir(env.vaultRoot())
                    .entryList({QStringLiteral(".tessaro-partial-*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());

    // The vault root has become a regular file: nothing can be written below it.
    const QString blocked = env.base() + QStringLiteral("/blocked");
    ASSERT_TRUE(TestEnvironment::writeFile(blocked, "a file"));
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), blocked + QStringLiteral("/Vault.flp"));
    EXPECT_FALSE(c.SaveGroupList(0));
    EXPECT_TRUE(c.lastError.contains(QStringLiteral("Vault.flp")));
    EXPECT_EQ(TestEnvironment::readFile(blocked), QByteArray("a file"));

    // Back on a healthy root, the same lists are written whole.
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), env.vaultRoot());
    ASSERT_TRUE(c.SaveGroupList(0));
    EXPECT_EQ(pythonRead(localFile(env)).array()[1].toObject()["FileModel"].toArray().size(), 200);
}

TEST(Catalogue, ADriveVaultIsCreatedKeptEmptyOrLeftAloneWhenItsDriveIsGone) {
    TestEnvironment env;
    // A vault directory on a drive, without its catalogue file yet; another whose list is
    // empty; one on a drive that is gone; and a table from before the lock, its drive gone too.
    env.mountVolume(QStringLiteral("USB Stick/Box.flp"));
    const QString key = QStringLiteral("USB Stick/Box.flp");
    const QByteArray empty = "<plist version=\"1.0\"><array/></plist>";
    ASSERT_TRUE(TestEnvironment::writeFile(driveFile(env, QStringLiteral("E/V.flp")), empty));
    rememberDrives({key, QStringLiteral("E/V.flp"), QStringLiteral("Gone/V.flp")});
    UpLibrary kept;
    kept[QStringLiteral("Away/W.flp")] = Catalogue::defaultRemovableList(QStringLiteral("Away"), QStringLiteral("Away/W.flp"), 1);
    Catalogue c;
    ASSERT_TRUE(c.setUp(kept, false)) << c.lastError.toStdString();
    const RowList& rows = c.UPLibrary.value(key);
    expectInvariants(rows, key, false);
    EXPECT_EQ(dumpRows(rows), (QStringList{"header USB Stick", "group All Items " + rows[1]->path + ":", "add "}));
    // Written at once, the password digest and this machine's address on the header only.
    const QJsonArray written = pythonRead(driveFile(env, key)).array();
    EXPECT_EQ(column(written, "password"), (QStringList{kPasswordDigest, "", ""}));
    EXPECT_EQ(column(written, "macAddress"), (QStringList{TestEnvironment::kMacAddress, "", ""}));
    EXPECT_EQ(TestEnvironment::modeOf(driveFile(env, key)) & 0111, 0111);
    // The empty list could be read, so it stays empty and its file as it was.
    EXPECT_TRUE(c.UPLibrary.contains(QStringLiteral("E/V.flp")));
    EXPECT_TRUE(c.UPLibrary.value(QStringLiteral("E/V.flp")).isEmpty());
    EXPECT_EQ(TestEnvironment::readFile(driveFile(env, QStringLiteral("E/V.flp"))), empty);
    EXPECT_TRUE(c.damagedFiles.isEmpty());
    // Drives that are gone are neither read nor written, not even under an empty mount point.
    EXPECT_FALSE(c.UPLibrary.contains(QStringLiteral("Gone/V.flp")));
    EXPECT_TRUE(c.UPLibrary.contains(QStringLiteral("Away/W.flp")));
    c.selectGroupName = QStringLiteral("Away/W.flp");
    EXPECT_FALSE(c.saveUpListForName(QStringLiteral("Away/W.flp"), std::nullopt));
    EXPECT_FALSE(c.lastError.isEmpty());
    EXPECT_FALSE(c.saveUpListForName(QStringLiteral("Nowhere/X.flp"), std::nullopt));
    EXPECT_FALSE(QFileInfo::exists(env.volumesRoot() + QStringLiteral("/Gone")));
    EXPECT_FALSE(QFileInfo::exists(env.volumesRoot() + QStringLiteral("/Away")));
}

TEST(Catalogue, ADriveVaultFollowsTheNameItIsMountedUnder) {
    TestEnvironment env;
    env.mountVolume(QStringLiteral("NewStick"));
    const QString key = QStringLiteral("NewStick/Box.flp");
    const QString file = driveFile(env, key);
    const QByteArray stored = TestEnvironment::readFile(fixture("python_GroupMoveUPlist.plist"));
    ASSERT_TRUE(TestEnvironment::writeFile(file, stored));
    rememberDrives({key});

    Catalogue c;
    ASSERT_TRUE(c.setUp(std::nullopt, false)) << c.lastError.toStdString();
    const RowList& rows = c.UPLibrary.value(key);
    expectInvariants(rows, key, false);
    EXPECT_EQ(rows[0]->password + " " + rows[0]->macAddress, "9F86D081884C7D659A2FEAA0C55AD015 0c:4d:e9:aa:bb:cc");
    const FileModelList& items = *rows[1]->fileModels;
    ASSERT_EQ(items.size(), 3);
    const QString stick = env.volumesRoot() + QStringLiteral("/NewStick");
    EXPECT_EQ((QStringList{dumpItem(*items[0]), dumpItem(*items[1]), dumpItem(*items[2])}),
              (QStringList{"Ski 2025.jpg | " + stick + "/Pictures/Ski 2025.jpg | 77-1767323000/555 |  | 1735689600 | 1767323001 | 4096 | hidden",
                           "Über uns.txt | " + stick + "/Notizen/Über uns.txt | 77-1767323000/556 |  | 1735689601 | 1767323002 | 12 | shown",
                           // Not on a drive: kept as it is.
                           "elsewhere.txt | /home/someone/elsewhere.txt |  |  | 0 | 0 | 0 | shown"}));
    EXPECT_EQ(TestEnvironment::readFile(file), stored);  // reading writes nothing

    // Saved while mounted under one name of this machine's volumes root, loaded under another.
    c.selectGroupName = key;
    ASSERT_TRUE(c.SaveGroupList(1)) << c.lastError.toStdString();
    ASSERT_TRUE(QDir(env.volumesRoot()).rename(QStringLiteral("NewStick"), QStringLiteral("Renamed")));
    const QString renamedKey = QStringLiteral("Renamed/Box.flp");
    rememberDrives({renamedKey});
    Catalogue later;
    ASSERT_TRUE(later.setUp(std::nullopt, false));
    const RowList& moved = later.UPLibrary.value(renamedKey);
    ASSERT_EQ(moved.size(), 3);
    EXPECT_EQ(moved[1]->fileModels->at(1)->path, env.volumesRoot() + QStringLiteral("/Renamed/Notizen/Über uns.txt"));
    EXPECT_EQ(moved[1]->groupName, renamedKey);

    // Written back byte for byte as the other writer had it, naming the volume as the format
    // does wherever this machine mounts it.
    EXPECT_EQ(TestEnvironment::readFile(driveFile(env, renamedKey)).toStdString(),
              QByteArray(stored).replace("/Volumes/OldStick/", "/Volumes/NewStick/").toStdString());

    // One value damaged: the drive's own rows, items and password are kept, not a new vault's
    // defaults, and what was kept is on the drive at once.
    const QByteArray damaged =
        TestEnvironment::readFile(driveFile(env, renamedKey)).replace("<integer>12</integer>", "<string>twelve</string>");
    ASSERT_TRUE(TestEnvironment::writeFile(driveFile(env, renamedKey), damaged));
    Catalogue afterDamage;
    afterDamage.setUp(std::nullopt, false);
    const RowList& kept = afterDamage.UPLibrary.value(renamedKey);
    ASSERT_EQ(dumpRows(kept), dumpRows(moved));
    EXPECT_EQ(kept[0]->password, QStringLiteral("9F86D081884C7D659A2FEAA0C55AD015"));
    EXPECT_EQ(kept[1]->fileModels->at(1)->fileSize.load(), 0);
    ASSERT_EQ(afterDamage.damagedFiles.size(), 1);
    EXPECT_EQ(TestEnvironment::readFile(afterDamage.damagedFiles.first()), damaged);
    const QJsonArray rewritten = pythonRead(driveFile(env, renamedKey)).array();
    EXPECT_EQ(column(rewritten[1].toObject()["FileModel"].toArray(), "fileSize"), (QStringList{"4096", "0", "0"}));
    EXPECT_EQ(column(rewritten, "password"), QStringList(3, rows[0]->password));
}

TEST(Catalogue, SavingTheDrivesWritesOnlyTheSelectedOneButRemembersAll) {
    TestEnvironment env;
    env.mountVolume(QStringLiteral("A/One.flp"));
    env.mountVolume(QStringLiteral("B/Two.flp"));
    rememberDrives({QStringLiteral("A/One.flp")});
    Catalogue c;
    ASSERT_TRUE(c.setUp(std::nullopt, false));
    const QString fileA = driveFile(env, QStringLiteral("A/One.flp"));
    const QString fileB = driveFile(env, QStringLiteral("B/Two.flp"));
    const QByteArray beforeA = TestEnvironment::readFile(fileA);
    ASSERT_FALSE(beforeA.isEmpty());

    c.UPLibrary[QStringLiteral("B/Two.flp")] = Catalogue::defaultRemovableList(QStringLiteral("B"), QStringLiteral("B/Two.flp"), 1);
    c.UPLibrary[QStringLiteral("A/One.flp")][1]->fileModels->append(makeItem(QStringLiteral("/x"), 1, false));
    ASSERT_TRUE(c.SaveGroupList(1));
    EXPECT_EQ(TestEnvironment::readFile(fileA), beforeA);
    EXPECT_FALSE(QFileInfo::exists(fileB));
    EXPECT_EQ(SettingsStore::stringList(QString::fromLatin1(keys::KUPNAMES)),
              (QStringList{QStringLiteral("A/One.flp"), QStringLiteral("B/Two.flp")}));

    c.selectGroupName = QStringLiteral("B/Two.flp");
    ASSERT_TRUE(c.SaveGroupList(1));
    EXPECT_TRUE(QFileInfo::exists(fileB));
}

TEST(Catalogue, VolumePathRewrite) {
    TestEnvironment env;
    const QString root = env.volumesRoot();
    const struct {
        QString stored;
        QString volume;
        QString expected;
    } cases[] = {
        {root + "/Old/a/b.txt", "New", root + "/New/a/b.txt"},
        {root + "/Old/", "New", root + "/New"},
        {root + "/Old", "New", root + "/New"},
        {"/Volumes/Old/x y/z", "New", root + "/New/x y/z"},
        {"/home/u/z", "New", "/home/u/z"},
        {root + "/Old/a", "", root + "/Old/a"},
        {QString(), "New", QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(catalogue::rewriteVolumePath(c.stored, c.volume), c.expected) << c.stored.toStdString();
    }
}

}  // namespace
}  // namespace tessaro
