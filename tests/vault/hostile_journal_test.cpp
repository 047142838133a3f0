// A vault folder is not only written by this program: a journal line, a journal file or a
// catalogue record of someone else's making must never make the repair or a walk touch
// anything outside the vault, nor cost an item its only copy.
#include "core/catalogue.h"
#include "crypto/item_place.h"
#include "crypto/swapped_name.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace tessaro {
namespace {

using testing::TestEnvironment;

// Every entry below a folder with its kind, size, content digest or link target: anything
// removed, moved, cut or written shows.
QMap<QString, QString> manifestOf(const QString& root) {
    QMap<QString, QString> manifest;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QString what;
        if (info.isSymLink()) {
            what = QStringLiteral("link ") + info.symLinkTarget();
        } else if (info.isDir()) {
            what = QStringLiteral("folder");
        } else {
            what = QStringLiteral("file ") +
                   QString::fromLatin1(QCryptographicHash::hash(TestEnvironment::readFile(path),
                                                                QCryptographicHash::Sha256).toHex());
        }
        manifest.insert(path.mid(root.size()), what);
    }
    return manifest;
}

// A home folder with things worth stealing, and a vault holding two hidden items of it.
struct HostileVault : testing::LibraryVault {
    QString photo = home + QStringLiteral("/photo.jpg");
    QString project = home + QStringLiteral("/Project");
    QByteArray photoBytes = testing::patternBytes(70000, 3);
    FileModelList records;

    HostileVault() {
        for (const char* file : {"/Documents/thesis.txt", "/Pictures/cat.png", "/.ssh/id_ed25519", "/notes.txt",
                                 "/.bashrc"}) {
            TestEnvironment::writeFile(home + QString::fromLatin1(file), QByteArray("mine: ") + file);
        }
        QDir().mkpath(home + QStringLiteral("/empty"));
        TestEnvironment::writeFile(photo, photoBytes);
        testing::writeTree(project, {{"/a.txt", "alpha"}, {"/sub/b.txt", "beta"}});
        records = addAndHide({photo, project});
        QFile::remove(journal());  // each case puts its own there
    }

    QString storedTopOf(int i) const {
        const walk::PlaceCheck check = walk::placeOf(*records.at(i));
        return check.place ? check.place->storedTop() : QString();
    }
    QString journal() const { return vault::journalPath(env.vaultRoot()); }
    QStringList setAside() const {
        return QDir(env.vaultRoot()).entryList({QStringLiteral(".tessaro-journal.rejected-*")},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    vault::CheckReport nextStart() {
        const vault::CheckReport report = LibraryVault::nextStart();
        records = LibraryVault::records();
        return report;
    }

    // Both items still hidden, their stored copies whole: unhidden, they are what they were.
    void expectItemsWhole() {
        ASSERT_EQ(records.size(), 2);
        for (const FileModelPtr& r : records) {
            EXPECT_TRUE(r->isEncrtypt) << r->name.toStdString();
            const ItemResult back = vault::unhideRecordJournaled(r);
            EXPECT_TRUE(back.complete) << back.problems.join(QLatin1Char(' ')).toStdString();
        }
        EXPECT_EQ(TestEnvironment::readFile(photo), photoBytes);
        EXPECT_EQ(TestEnvironment::readFile(project + QStringLiteral("/sub/b.txt")), QByteArray("beta"));
    }
};

struct HostileLine {
    const char* name;
    // Placeholders: {home}, {photo}, {project}, {photoTop}, {projectTop}, {vault}.
    const char* line;
    // Planted on disk before the start, with the vault's own names at hand.
    std::function<void(HostileVault&)> plant = {};
};

void PrintTo(const HostileLine& line, std::ostream* os) { *os << line.name; }

QString expand(const HostileVault& v, const char* line) {
    return QString::fromUtf8(line)
        .replace(QStringLiteral("{home}"), v.home)
        .replace(QStringLiteral("{photo}"), v.photo)
        .replace(QStringLiteral("{project}"), v.project)
        .replace(QStringLiteral("{photoTop}"), v.storedTopOf(0))
        .replace(QStringLiteral("{projectTop}"), v.storedTopOf(1))
        .replace(QStringLiteral("{vault}"), v.env.vaultRoot());
}

class HostileJournalLine : public ::testing::TestWithParam<HostileLine> {};

// Whatever the line says, nothing outside the vault changes, both items keep their stored
// copies and their hidden state, the journal is set aside, and the report names the line.
TEST_P(HostileJournalLine, IsRefusedAndNothingOutsideTheVaultChanges) {
    HostileVault v;
    if (GetParam().plant) {
        GetParam().plant(v);
    }
    const QMap<QString, QString> before = manifestOf(v.home);
    ASSERT_TRUE(TestEnvironment::writeFile(v.journal(), expand(v, GetParam().line).toUtf8() + '\n'));

    const vault::CheckReport report = v.nextStart();

    EXPECT_EQ(manifestOf(v.home), before);
    EXPECT_FALSE(QFileInfo::exists(v.journal()));
    EXPECT_EQ(v.setAside().size(), 1);
    bool named = false;
    for (const vault::Finding& f : report.findings) {
        named = named || (f.subject.endsWith(QStringLiteral(", line 1")) && f.repaired && f.refusedLine);
    }
    EXPECT_TRUE(named) << report.repairedLines().join(QLatin1Char('\n')).toStdString();
    v.expectItemsWhole();
}

const HostileLine kHostileLines[] = {
    // A hide line of no item, whose work folder is a folder of the home.
    {"HideOfNoItemWithAWorkFolderOutside",
     R"({"operation":"hide","phase":"walking","plainPath":"/nonexistent/x","storedTop":"{home}/anything","workDirectory":"Documents"})"},
    // The real item, with a work folder climbing out of its container.
    {"HideWithAWorkFolderClimbingOut",
     R"({"operation":"hide","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}","workDirectory":"../../../home/Documents"})"},
    {"HideWithAWorkFolderNotOfOurMaking",
     R"({"operation":"hide","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}","workDirectory":"Documents"})"},
    // An unhide of no item whose "stored copy" is a folder of the home.
    {"PlacedUnhideOfAStoredTopOutside",
     R"({"operation":"unhide","phase":"placed","plainPath":"/nonexistent/y","storedTop":"{home}/Pictures"})"},
    {"PlacedUnhideOfTheRealItemNamingAStoredTopOutside",
     R"({"operation":"unhide","phase":"placed","plainPath":"{photo}","storedTop":"{home}/Pictures","restoredPath":"{photo}"})"},
    // A temporary that is the user's keys, moved to a place of the line's choosing.
    {"PlacedUnhideMovingATemporaryThatIsNotOurs",
     R"({"operation":"unhide","phase":"placed","plainPath":"{photo}","storedTop":"{photoTop}","temporary":".ssh","restoredPath":"{home}/stolen"})"},
    // The real item's stored top, "placed" at a folder that holds the home: its only copy
    // must not go, nor the record point there.
    {"PlacedUnhideOfTheRealStoredTopAtTheHome",
     R"({"operation":"unhide","phase":"placed","plainPath":"{photo}","storedTop":"{photoTop}","restoredPath":"{home}"})"},
    {"PlacedUnhideAtAnotherFileBesideIt",
     R"({"operation":"unhide","phase":"placed","plainPath":"{photo}","storedTop":"{photoTop}","restoredPath":"{home}/.bashrc"})"},
    // A restored name of the right pattern that is a link to the home.
    {"PlacedUnhideAtALinkOfTheRestoredName",
     R"({"operation":"unhide","phase":"placed","plainPath":"{photo}","storedTop":"{photoTop}","restoredPath":"{home}/photo (restored).jpg","token":"abcdefABCDEF"})",
     [](HostileVault& v) { QFile::link(v.home, v.home + QStringLiteral("/photo (restored).jpg")); }},
    // An honest-looking line whose restore temporary is a link planted there.
    {"PlacedUnhideWithALinkAtTheRestoreTemporary",
     R"({"operation":"unhide","phase":"placed","plainPath":"{project}","storedTop":"{projectTop}","temporary":".tessaro-restore-abcdefABCDEF","restoredPath":"{project}","token":"abcdefABCDEF"})",
     [](HostileVault& v) {
         QFile::link(v.home + QStringLiteral("/Documents"), v.home + QStringLiteral("/.tessaro-restore-abcdefABCDEF"));
     }},
    // A temporary of our pattern whose token is another walk's.
    {"UnhideWithATemporaryOfAnotherWalk",
     R"({"operation":"unhide","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}","temporary":".tessaro-restore-zzzzzzzzzzzz","token":"abcdefABCDEF"})",
     [](HostileVault& v) {
         TestEnvironment::writeFile(v.home + QStringLiteral("/.tessaro-restore-zzzzzzzzzzzz"), "someone's");
     }},
    // Finishing a hide "of the root": every empty folder of the computer.
    {"StoredHideOfTheRoot",
     R"({"operation":"hide","phase":"stored","plainPath":"/","storedTop":"{projectTop}"})"},
    {"StoredHideOfTheHome",
     R"({"operation":"hide","phase":"stored","plainPath":"{home}","storedTop":"{projectTop}"})"},
    {"AnObjectThatIsNoEntryOfOurs",
     R"({"operation":"delete","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}"})"},
    {"AHideInAnUnhidePhase",
     R"({"operation":"hide","phase":"placed","plainPath":"{photo}","storedTop":"{photoTop}"})"},
};

INSTANTIATE_TEST_SUITE_P(Lines, HostileJournalLine, ::testing::ValuesIn(kHostileLines),
                         [](const auto& info) { return std::string(info.param.name); });

struct HostileFile {
    const char* name;
    bool notAFile;  // then no walk may write through it or cut it
    std::function<void(HostileVault&)> make;
};

void PrintTo(const HostileFile& file, std::ostream* os) { *os << file.name; }

class HostileJournalFile : public ::testing::TestWithParam<HostileFile> {};

// A journal that is not a plain file of ours is set aside unread (and no walk writes through
// or cuts one that is not a file); a walk afterwards writes a fresh journal and never the
// file the old one led to.
TEST_P(HostileJournalFile, IsSetAsideUnreadAndTheNextWalkWritesAFreshOne) {
    HostileVault v;
    GetParam().make(v);
    const QMap<QString, QString> before = manifestOf(v.home);
    if (GetParam().notAFile) {
        const ItemResult refused = vault::unhideRecordJournaled(v.records.first());
        EXPECT_FALSE(refused.complete || refused.problems.isEmpty());
        EXPECT_FALSE(vault::clearJournal(v.env.vaultRoot()));
    }

    const vault::CheckReport report = v.nextStart();
    ASSERT_FALSE(report.findings.isEmpty());
    EXPECT_TRUE(report.findings.first().repaired);
    EXPECT_EQ(v.setAside().size(), 1);
    EXPECT_FALSE(QFileInfo::exists(v.journal()) || QFileInfo(v.journal()).isSymLink());
    EXPECT_EQ(manifestOf(v.home), before);
    v.expectItemsWhole();
    const ItemResult again = vault::hideRecordJournaled(v.records.first());
    EXPECT_TRUE(again.complete) << again.problems.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QFileInfo(v.journal()).isFile() && !QFileInfo(v.journal()).isSymLink());
    EXPECT_TRUE(vault::clearJournal(v.env.vaultRoot()));
    EXPECT_EQ(TestEnvironment::readFile(v.home + QStringLiteral("/notes.txt")), QByteArray("mine: /notes.txt"));
}

const HostileFile kHostileFiles[] = {
    {"ALinkToAFileOutside", true,
     [](HostileVault& v) { ASSERT_TRUE(QFile::link(v.home + QStringLiteral("/notes.txt"), v.journal())); }},
    {"ALinkToNothing", true,
     [](HostileVault& v) { ASSERT_TRUE(QFile::link(v.home + QStringLiteral("/nothing"), v.journal())); }},
    {"AFolder", true, [](HostileVault& v) { ASSERT_TRUE(QDir().mkpath(v.journal())); }},
    {"LongerThanAnyHonestOne", false,
     [](HostileVault& v) {
         QByteArray big;
         while (big.size() <= vault::kLongestJournal) {
             big += R"({"operation":"hide","phase":"walking","plainPath":"/x","storedTop":"/y"})" "\n";
         }
         ASSERT_TRUE(TestEnvironment::writeFile(v.journal(), big));
     }},
};

INSTANTIATE_TEST_SUITE_P(Files, HostileJournalFile, ::testing::ValuesIn(kHostileFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// A record read from one vault's list never names another vault's containers; one whose own
// paths lead out of the vault is refused by every walk (with the catalogue's records).
TEST(HostileJournal, ARecordNamesNoPlaceInAnotherVault) {
    HostileVault v;
    EXPECT_TRUE(walk::placeOf(*v.records.first(), v.env.vaultRoot()).place);
    EXPECT_FALSE(walk::placeOf(*v.records.first(), v.env.mountVolume(QStringLiteral("Stick")) + QStringLiteral("/Box.flp"))
                     .place);
}

// A hide killed right after its first line, before its container existed: the repair has
// nothing to remove and says so once; the next check finds nothing more.
TEST(HostileJournal, AHideKilledBeforeItsContainerExistedIsRepairedOnce) {
    HostileVault v;
    ASSERT_TRUE(vault::unhideRecordJournaled(v.records.first()).complete);
    v.records.first()->isEncrtypt = false;
    ASSERT_TRUE(v.catalogue.SaveGroupList(0));
    vault::clearJournal(v.env.vaultRoot());
    const walk::ItemPlace place = *walk::placeOf(*v.records.first()).place;
    ASSERT_FALSE(QFileInfo::exists(place.container()));
    ASSERT_TRUE(TestEnvironment::writeFile(
        v.journal(), expand(v, R"({"operation":"hide","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}","workDirectory":".tessaro-work-abcdefABCDEF","token":"abcdefABCDEF"})")
                         .toUtf8()));
    const vault::CheckReport first = v.nextStart();
    ASSERT_EQ(first.findings.size(), 1);
    EXPECT_TRUE(first.findings.first().repaired) << first.findings.first().failure.toStdString();
    EXPECT_FALSE(v.records.first()->isEncrtypt);
    EXPECT_EQ(TestEnvironment::readFile(v.photo), v.photoBytes);
    EXPECT_TRUE(v.nextStart().findings.isEmpty());
    EXPECT_TRUE(v.setAside().isEmpty());
}

// Finishing a hide removes only the plain files equal to their stored copies and only the
// folders the stored copy has; an empty folder the user made meanwhile stays.
TEST(HostileJournal, FinishingAHideRemovesOnlyWhatTheStoredCopyHolds) {
    HostileVault v;
    const FileModelPtr project = v.records.at(1);
    TestEnvironment::writeFile(v.project + QStringLiteral("/a.txt"), "alpha");
    TestEnvironment::writeFile(v.project + QStringLiteral("/sub/b.txt"), "beta, changed");
    QDir().mkpath(v.project + QStringLiteral("/new empty"));
    ASSERT_TRUE(TestEnvironment::writeFile(
        v.journal(), expand(v, R"({"operation":"hide","phase":"stored","plainPath":"{project}","storedTop":"{projectTop}"})")
                         .toUtf8()));
    v.nextStart();
    EXPECT_FALSE(QFileInfo::exists(v.project + QStringLiteral("/a.txt")));
    EXPECT_EQ(TestEnvironment::readFile(v.project + QStringLiteral("/sub/b.txt")), QByteArray("beta, changed"));
    EXPECT_TRUE(QFileInfo(v.project + QStringLiteral("/new empty")).isDir());
    EXPECT_TRUE(QFileInfo(v.home + QStringLiteral("/empty")).isDir());
    EXPECT_TRUE(QFileInfo::exists(v.storedTopOf(1)));
}

// Thousands of items in one journal: each keeps its own last line, read in one pass.
TEST(HostileJournal, EachItemKeepsItsLastLineAmongThousands) {
    TestEnvironment env;
    QByteArray journal;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3000; ++i) {
            journal += QStringLiteral(R"({"operation":"hide","phase":"%1","plainPath":"/p/%2","storedTop":"/s/%2"})"
                                      "\n")
                           .arg(round == 0 ? QStringLiteral("walking") : QStringLiteral("stored"))
                           .arg(i)
                           .toUtf8();
        }
    }
    ASSERT_TRUE(TestEnvironment::writeFile(vault::journalPath(env.vaultRoot()), journal));
    const vault::JournalRead read = vault::readJournal(env.vaultRoot());
    ASSERT_EQ(read.entries.size(), 3000);
    EXPECT_EQ(read.entries.at(1234).plainPath, QStringLiteral("/p/1234"));
    for (const vault::JournalEntry& e : read.entries) {
        ASSERT_EQ(e.phase, vault::JournalEntry::Phase::Stored);
    }
}

}  // namespace
}  // namespace tessaro
