// After a crash at any moment of a hide or an unhide, the next start brings the item to a
// consistent state without losing a byte, and the catalogue tells the truth; a check finds
// every kind of inconsistency that can be made by hand.
#include "core/catalogue.h"
#include "crypto/item_paths.h"
#include "crypto/item_place.h"
#include "crypto/swapped_name.h"
#include "support/catalogue_dump.h"
#include "support/library_vault.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_check.h"
#include "vault/vault_journal.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro {
namespace {

using testing::TestEnvironment;
using testing::readTree;
using testing::Tree;
using testing::writeTree;

Tree referenceTree() {
    Tree tree;
    for (int i = 0; i < 16; ++i) {
        tree.insert(QStringLiteral("/%1/f%2").arg(i % 3 ? QStringLiteral("sub") : QStringLiteral("top")).arg(i),
                    testing::patternBytes(i % 4 == 0 ? 600000 : 7000 + i, static_cast<quint32>(i)));
    }
    return tree;
}

struct KilledWalk {
    bool hide;
    const char* item;
};

void PrintTo(const KilledWalk& w, std::ostream* os) { *os << (w.hide ? "hide of " : "unhide of ") << w.item; }

class KilledVaultWalk : public ::testing::TestWithParam<KilledWalk> {};

// The catalogue lists the item as hidden before its hide starts, as an add does; the kill
// can come anywhere in the walk, the removal of the side no longer needed, or the
// bookkeeping. Half the unhides keep their containers, as unhiding all does.
TEST_P(KilledVaultWalk, AWalkKilledAnywhereEndsConsistentAndWhole) {
    const Tree reference = referenceTree();
    const bool hide = GetParam().hide;
    const QString name = QString::fromLatin1(GetParam().item);
    std::mt19937 rng(hide ? 1207 : 712);
    qint64 full = 0;
    int visible = 0;
    int hidden = 0;
    for (int round = 0; round < 14; ++round) {
        testing::LibraryVault v;
        const QString plain = v.home + QLatin1Char('/') + name;
        writeTree(plain, reference);
        const FileModelPtr record = v.add({plain}).first();
        // A hide starts from a record already listed hidden, as an add leaves it.
        hide ? void(record->isEncrtypt = true) : void(v.toggle(record));
        ASSERT_TRUE(v.catalogue.SaveGroupList(0));
        const bool keep = !hide && round % 2 == 1;
        QElapsedTimer timer;
        timer.start();
        const int delay = round == 0 ? -1 : testing::spreadMoment(round, 13, full, rng());
        testing::runChild([&] {
            testing::LibraryVault::walk(record, hide, {}, keep);
            v.catalogue.SaveGroupList(0);
            return 0;
        }, delay);
        if (round == 0) {
            full = timer.nsecsElapsed() / 1000;
        }
        const std::string context = "round " + std::to_string(round) + " after " + std::to_string(delay) + "us";

        const vault::CheckReport repaired = v.nextStart();
        const FileModelPtr now = v.records().value(0);
        ASSERT_TRUE(now) << context;
        EXPECT_FALSE(QFileInfo(vault::journalPath(v.env.vaultRoot())).size() > 0) << context;
        for (const vault::Finding& f : repaired.findings) {
            EXPECT_TRUE(f.repaired) << context << ": " << f.subject.toStdString() << ": " << f.failure.toStdString();
        }
        if (now->isEncrtypt) {
            ++hidden;
            EXPECT_FALSE(QFileInfo::exists(plain)) << context;
            const ItemResult back = vault::unhideRecordJournaled(now);
            ASSERT_TRUE(back.complete) << context << back.problems.join(QLatin1Char(' ')).toStdString();
        } else {
            ++visible;
            EXPECT_TRUE(!hide || !repaired.repairedLines().isEmpty()) << context;
        }
        EXPECT_EQ(now->path, plain) << context;
        EXPECT_EQ(readTree(plain), reference) << context;
        if (hide) {
            // Nothing half-made is left: the container holds the stored copy or nothing.
            const QStringList left = testing::entriesOf(walk::itemContainerFor(*now));
            EXPECT_TRUE(left.isEmpty() || left == QStringList{swappedName(name)}) << context;
        }
        EXPECT_EQ(testing::entriesOf(v.home), QStringList{name}) << context;
    }
    EXPECT_GT(visible, 0);
    EXPECT_GT(hidden, 0);
}

INSTANTIATE_TEST_SUITE_P(Walks, KilledVaultWalk,
                         ::testing::Values(KilledWalk{true, "Folder"}, KilledWalk{true, "Letters.txt"},
                                           KilledWalk{false, "Folder"}, KilledWalk{false, "Letters.txt"}),
                         [](const auto& info) {
                             return testing::readableName(QString::fromLatin1(info.param.hide ? "Hide " : "Unhide ") +
                                                          QString::fromLatin1(info.param.item));
                         });

// Every kind of disagreement between the catalogue and the disk, made by hand.
TEST(VaultCheck, FindsEachInconsistencyAndRepairsWhatItSafelyCan) {
    testing::LibraryVault v;
    const QString root = v.env.vaultRoot();
    QStringList paths;
    for (const char* name : {"never-hidden", "only-stored", "lost", "fine", "orphan-source"}) {
        paths.append(v.file(QString::fromLatin1(name), name));
    }
    const FileModelList r = v.add(paths);
    ASSERT_EQ(r.size(), 5);
    for (int i = 1; i < 5; ++i) {
        v.toggle(r.at(i));
    }
    // never-hidden: marked hidden, never walked. only-stored: marked visible, plain gone.
    r.at(0)->isEncrtypt = true;
    r.at(1)->isEncrtypt = false;
    // lost: both copies gone.
    QDir(walk::itemContainerFor(*r.at(2))).removeRecursively();
    // orphan: the record is gone, its stored copy stays.
    const QString orphan = walk::pathsForRecord(*r.at(4)).storedTop;
    v.catalogue.groupDirList[1]->fileModels->removeLast();
    // A half-done unhide of "fine", as a crash would leave it.
    const QString temporary = v.home + QStringLiteral("/.tessaro-restore-abcdef");
    TestEnvironment::writeFile(temporary + QStringLiteral("/half"), "partial");
    ASSERT_TRUE(TestEnvironment::writeFile(
        vault::journalPath(root),
        QStringLiteral(R"({"operation":"unhide","phase":"walking","plainPath":"%1","storedTop":"%2","temporary":".tessaro-restore-abcdef"})")
            .arg(r.at(3)->path, v.storedTop(r.at(3)))
            .toUtf8()));
    ASSERT_TRUE(v.catalogue.SaveGroupList(0));

    Catalogue looked;
    ASSERT_TRUE(looked.setUp(std::nullopt, false));
    const vault::CheckReport seen = vault::checkVault(looked, false);
    QStringList subjects;
    for (const vault::Finding& f : seen.findings) {
        subjects.append(f.subject + (f.repaired ? QStringLiteral(" (repaired)") : QString()));
    }
    subjects.sort();
    QStringList expected{QStringLiteral("fine"), QStringLiteral("lost"), QStringLiteral("never-hidden"),
                         QStringLiteral("only-stored"), orphan};
    expected.sort();
    EXPECT_EQ(subjects, expected);
    // Looking changes nothing.
    EXPECT_TRUE(QFileInfo(vault::journalPath(root)).size() > 0);
    EXPECT_TRUE(QFileInfo::exists(temporary));

    const vault::CheckReport done = vault::checkVault(looked, true);
    ASSERT_TRUE(looked.SaveGroupList(0));
    ASSERT_EQ(done.settledJournals, QStringList{root});
    vault::clearJournal(root);
    EXPECT_EQ(done.repairedLines().size(), 3) << done.repairedLines().join(QLatin1Char('\n')).toStdString();
    // never-hidden: shown, its plain copy is there; only-stored: hidden; the half-done
    // unhide: hidden, its stored copy kept.
    const FileModelList items = *looked.groupDirList.at(1)->fileModels;
    EXPECT_EQ(testing::dumpNames(items), "never-hidden, only-stored*, lost*, fine*");
    EXPECT_FALSE(QFileInfo::exists(temporary));
    EXPECT_FALSE(QFileInfo(vault::journalPath(root)).size() > 0);
    EXPECT_TRUE(QFileInfo::exists(orphan));  // left alone
    EXPECT_TRUE(vault::unhideRecordJournaled(items.at(3)).complete);
    EXPECT_EQ(TestEnvironment::readFile(paths.at(3)), QByteArray("fine"));
}

// A vault folder is not only written by this program: a journal line, a journal file or a
// catalogue record of someone else's making must never make the repair or a walk touch
// anything outside the vault, nor cost an item its only copy.

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

    HostileVault() {
        for (const char* file : {"/Documents/thesis.txt", "/Pictures/cat.png", "/.ssh/id_ed25519", "/notes.txt",
                                 "/.bashrc"}) {
            TestEnvironment::writeFile(home + QString::fromLatin1(file), QByteArray("mine: ") + file);
        }
        QDir().mkpath(home + QStringLiteral("/empty"));
        TestEnvironment::writeFile(photo, photoBytes);
        testing::writeTree(project, {{"/a.txt", "alpha"}, {"/sub/b.txt", "beta"}});
        addAndHide({photo, project});
        QFile::remove(journal());  // each case puts its own there
    }
    QString journal() const { return vault::journalPath(env.vaultRoot()); }
    QStringList setAside() const {
        return QDir(env.vaultRoot()).entryList({QStringLiteral(".tessaro-journal.rejected-*")},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    // Both items still hidden, their stored copies whole: unhidden, they are what they were.
    void expectItemsWhole() {
        ASSERT_EQ(records().size(), 2);
        for (const FileModelPtr& r : records()) {
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
        .replace(QStringLiteral("{photoTop}"), v.storedTop(v.records().at(0)))
        .replace(QStringLiteral("{projectTop}"), v.storedTop(v.records().at(1)))
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
        const ItemResult refused = vault::unhideRecordJournaled(v.records().first());
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
    const ItemResult again = vault::hideRecordJournaled(v.records().first());
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
    EXPECT_TRUE(walk::placeOf(*v.records().first(), v.env.vaultRoot()).place);
    EXPECT_FALSE(walk::placeOf(*v.records().first(), v.env.mountVolume(QStringLiteral("Stick")) + QStringLiteral("/Box.flp"))
                     .place);
}

// A hide killed right after its first line, before its container existed: the repair has
// nothing to remove and says so once; the next check finds nothing more.
TEST(HostileJournal, AHideKilledBeforeItsContainerExistedIsRepairedOnce) {
    HostileVault v;
    ASSERT_TRUE(vault::unhideRecordJournaled(v.records().first()).complete);
    v.records().first()->isEncrtypt = false;
    ASSERT_TRUE(v.catalogue.SaveGroupList(0));
    vault::clearJournal(v.env.vaultRoot());
    const walk::ItemPlace place = *walk::placeOf(*v.records().first()).place;
    ASSERT_FALSE(QFileInfo::exists(place.container()));
    ASSERT_TRUE(TestEnvironment::writeFile(
        v.journal(), expand(v, R"({"operation":"hide","phase":"walking","plainPath":"{photo}","storedTop":"{photoTop}","workDirectory":".tessaro-work-abcdefABCDEF","token":"abcdefABCDEF"})")
                         .toUtf8()));
    const vault::CheckReport first = v.nextStart();
    ASSERT_EQ(first.findings.size(), 1);
    EXPECT_TRUE(first.findings.first().repaired) << first.findings.first().failure.toStdString();
    EXPECT_FALSE(v.records().first()->isEncrtypt);
    EXPECT_EQ(TestEnvironment::readFile(v.photo), v.photoBytes);
    EXPECT_TRUE(v.nextStart().findings.isEmpty());
    EXPECT_TRUE(v.setAside().isEmpty());
}

// Finishing a hide removes only the plain files equal to their stored copies and only the
// folders the stored copy has; an empty folder the user made meanwhile stays.
TEST(HostileJournal, FinishingAHideRemovesOnlyWhatTheStoredCopyHolds) {
    HostileVault v;
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
    EXPECT_TRUE(QFileInfo::exists(v.storedTop(v.records().at(1))));
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
