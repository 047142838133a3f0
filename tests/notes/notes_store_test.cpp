// Note packages on disk: creating, saving, renaming, deleting, and everything a hostile or
// damaged vault may put in their way.
#include "core/clean_path.h"
#include "core/vault_paths.h"
#include "notes/note_package.h"
#include "notes/notes_store.h"
#include "notes/open_note.h"
#include "notes/rtf_writer.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <sys/stat.h>

namespace tessaro::notes {
namespace {

using testing::readableName;
using testing::TestEnvironment;

constexpr qint64 kNow = 1767323045;

QByteArray rtfOf(const QString& text) {
    QTextDocument document;
    QTextCursor(&document).insertText(text);
    return writeRtf(document);
}

QString textOf(const NotePackage& package) {
    QTextDocument document;
    openNote(package, document);
    return document.toPlainText();
}

struct Notes : ::testing::Test {
    TestEnvironment env;
    QString notes = joinPath(env.vaultRoot(), QString::fromLatin1(vaultpaths::kNotesDir));
    // Header, the all-notes group, one user group, the add row.
    RowList rows = [] {
        RowList list{std::make_shared<GroupModel>(), makeGroupRow(QStringLiteral("All"), QStringLiteral("systemDevicNoteName"), true, kNow),
                     makeGroupRow(QStringLiteral("Work"), QStringLiteral("systemDevicNoteName"), true, kNow),
                     std::make_shared<GroupModel>()};
        renumberRowList(list);
        return list;
    }();

    FileModelPtr create(qint64 group = 1, qint64 now = kNow) {
        const QString mac = QString::fromLatin1(TestEnvironment::kMacAddress);
        const NoteCreated created = createNote(rows, group, notes, mac, now);
        EXPECT_TRUE(created.note) << created.error.toStdString();
        return created.note;
    }
    NotePackage packageOf(const FileModel& note) const { return *NotePackage::of(note, notes); }
    void write(const FileModel& note, const QString& text) {
        ASSERT_TRUE(saveNote(packageOf(note), rtfOf(text), false, kNow).ok);
    }
    QStringList packages() const { return QDir(notes).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name); }
};

TEST_F(Notes, EachNoteHasAPackageOfItsOwnAndDeletingRemovesExactlyThat) {
    const FileModelPtr first = create(1);
    create(2);  // same count, same second
    const FileModelPtr b = create(1), c = create(1);
    // A catalogue from before package names were kept apart: two records on one package.
    auto twin = std::make_shared<FileModel>();
    twin->path = c->path;
    rows[2]->fileModels->append(twin);
    QString error;
    ASSERT_TRUE(deleteNote(rows, 1, 0, notes, &error)) << error.toStdString();
    const FileModelPtr afterDelete = create(1);  // the row holds 2 again: "Note2_<now>" is taken, so "-2"
    ASSERT_TRUE(deleteNote(rows, 1, 1, notes, &error));  // c: the twin record still needs its package

    EXPECT_EQ(packages(), (QStringList{QStringLiteral("Note0_1767323045-2"), QStringLiteral("Note1_1767323045"),
                                       QStringLiteral("Note2_1767323045"), QStringLiteral("Note2_1767323045-2")}));
    EXPECT_EQ(b->fileIndex, 0);
    EXPECT_EQ(afterDelete->fileIndex, 1);
    EXPECT_EQ(first->name, QStringLiteral("Untitled Note"));
    EXPECT_TRUE(first->isEncrtypt);
    EXPECT_EQ(TestEnvironment::readFile(afterDelete->path + QStringLiteral("/TXT.rtf")), QByteArray());
    EXPECT_EQ(TestEnvironment::modeOf(afterDelete->path + QStringLiteral("/TXT.rtf")), 0600);
    // A record written while the vault lived elsewhere finds its package here.
    FileModel moved;
    moved.path = QStringLiteral("/old/place/My Vault.flp/Notes/Note1_1767323045");
    const auto package = NotePackage::of(moved, notes);
    ASSERT_TRUE(package);
    EXPECT_EQ(package->path(), b->path);
}

TEST_F(Notes, SavesReplaceTheFileWholeOrNotAtAll) {
    const FileModelPtr note = create();
    write(*note, QStringLiteral("the old text"));
    const QByteArray old = TestEnvironment::readFile(note->path + QStringLiteral("/TXT.rtf"));
    // A disk that fills up halfway through the write, and a kill in the middle of one.
    const QByteArray big = rtfOf(QString(300000, QLatin1Char('x')));
    EXPECT_NE(testing::runChild([&] { return saveNote(packageOf(*note), big, false, kNow).ok ? 0 : 1; }, -1, 4096), 0);
    for (int round = 1; round <= 5; ++round) {
        testing::runChild([&] { return saveNote(packageOf(*note), big, false, kNow).ok ? 0 : 1; }, round * 400);
        const QByteArray now = TestEnvironment::readFile(note->path + QStringLiteral("/TXT.rtf"));
        EXPECT_TRUE(now == old || now == big) << "round " << round << ": " << now.size() << " bytes";
    }
    ASSERT_TRUE(saveNote(packageOf(*note), rtfOf(QStringLiteral("new")), false, kNow).ok);
    EXPECT_EQ(QDir(note->path).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("TXT.rtf")})
        << "leftovers of the killed saves are gone";
    EXPECT_EQ(textOf(packageOf(*note)), QStringLiteral("new"));
}

TEST_F(Notes, DamagedFileOpensAsWhatCanBeReadAndIsKeptAsideBeforeItIsReplaced) {
    const FileModelPtr note = create();
    const QString file = note->path + QStringLiteral("/TXT.rtf");
    const QByteArray garbage("\x89PNG not a note at all");
    ASSERT_TRUE(TestEnvironment::writeFile(file, garbage));

    OpenNote open(notes);
    QSignalSpy aside(&open, &OpenNote::keptAside);
    QTextDocument document;
    EXPECT_EQ(open.open(note, &document).state, NoteText::State::Damaged);
    QTextCursor(&document).insertText(QStringLiteral("typed after"));
    open.changed();
    ASSERT_TRUE(open.flush());
    open.changed();
    ASSERT_TRUE(open.flush());
    ASSERT_EQ(aside.size(), 1) << "told once";
    const QString kept = aside.at(0).at(0).toString();
    EXPECT_EQ(kept, note->path + QStringLiteral("/TXT.rtf.damaged-") + lastPathComponent(kept).section('-', 1));
    EXPECT_EQ(TestEnvironment::readFile(kept), garbage);
    EXPECT_EQ(textOf(packageOf(*note)), QStringLiteral("typed after"));

    // RTF with content a note cannot hold is read, and kept aside the same way.
    ASSERT_TRUE(TestEnvironment::writeFile(file, "{\\rtf1 text{\\pict\\pngblip 0102}}"));
    EXPECT_EQ(open.open(note, &document).state, NoteText::State::Partial);
    EXPECT_EQ(document.toPlainText(), QStringLiteral("text"));
    open.changed();
    ASSERT_TRUE(open.flush());
    EXPECT_EQ(aside.size(), 2);
    // Whether or not the clock moved on between the two, the first copy stays as it was.
    EXPECT_NE(aside.at(1).at(0).toString(), kept);
    EXPECT_EQ(TestEnvironment::readFile(kept), garbage);
}

TEST_F(Notes, TheLastChangeIsOnDiskWhenTheNoteIsLetGo) {
    const FileModelPtr first = create(), second = create();
    QTextDocument document;
    {
        OpenNote open(notes);
        open.open(first, &document);
        QTextCursor(&document).insertText(QStringLiteral("keystroke one"));
        open.changed();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !open.hasPendingChange(); }, 10000));
        EXPECT_EQ(textOf(packageOf(*first)), QStringLiteral("keystroke one")) << "saved by the timer";
        QTextCursor(&document).insertText(QStringLiteral("two "));
        open.changed();
        open.open(second, &document);  // switching notes
        EXPECT_EQ(textOf(packageOf(*first)), QStringLiteral("two keystroke one"));
        // Renaming takes the unsaved change along to the new package.
        QTextCursor(&document).insertText(QStringLiteral("then renamed"));
        open.changed();
        ASSERT_TRUE(open.rename(rows, QStringLiteral("Renamed")).ok);
        EXPECT_EQ(second->path, notes + QStringLiteral("/Renamed"));
        EXPECT_EQ(textOf(packageOf(*second)), QStringLiteral("then renamed"));
        QTextCursor(&document).insertText(QStringLiteral("last before lock, "));
        open.changed();
    }  // lock or quit: the object goes
    EXPECT_EQ(textOf(packageOf(*second)), QStringLiteral("last before lock, then renamed"));
}

// Whatever a catalogue or the disk says, nothing outside the notes folder is read or written.
// A record's path may name the notes folder as "<notes>" and a folder outside as "<outside>";
// the rows that plant something on disk do so in the package "<notes>/pkg".
enum class Plant { Nothing, LinkedPackage, LinkedNoteFile, FifoNoteFile };

struct Hostile {
    const char* name;
    const char* recordPath;
    Plant plant = Plant::Nothing;  // with a plant the path is a fair package name, what is on disk is not
};

const Hostile kHostilePaths[] = {
    {"outside the vault", "<outside>/victim"},
    {"dot dot out of the notes", "<notes>/../GroupNoteslist.plist"},
    {"a folder inside a package", "<notes>/pkg/inner"},
    {"relative", "Notes/pkg"},
    {"the notes folder itself", "<notes>/."},
    {"a hidden name", "<notes>/.tessaro-partial-x"},
    {"a package linked elsewhere", "<notes>/pkg", Plant::LinkedPackage},
    {"a note file linked elsewhere", "<notes>/pkg", Plant::LinkedNoteFile},
    {"a FIFO as the note file", "<notes>/pkg", Plant::FifoNoteFile},
};

class HostileRecords : public Notes, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileRecords, AreRefusedAndTouchNothing) {
    const QString outside = env.base() + QStringLiteral("/outside");
    const QByteArray secret("{\\rtf1 secret elsewhere}");
    ASSERT_TRUE(TestEnvironment::writeFile(outside + QStringLiteral("/TXT.rtf"), secret));
    const QString package = notes + QStringLiteral("/pkg");
    const Plant plant = GetParam().plant;
    QDir().mkpath(plant == Plant::LinkedPackage ? notes : package);
    if (plant == Plant::LinkedPackage) {
        ASSERT_TRUE(QFile::link(outside, package));
    } else if (plant == Plant::LinkedNoteFile) {
        ASSERT_TRUE(QFile::link(outside + "/TXT.rtf", package + "/TXT.rtf"));
    } else if (plant == Plant::FifoNoteFile) {
        ASSERT_EQ(::mkfifo(QFile::encodeName(package + "/TXT.rtf").constData(), 0600), 0);
    }
    const auto record = std::make_shared<FileModel>();
    record->path = QString::fromLatin1(GetParam().recordPath).replace("<notes>", notes).replace("<outside>", outside);

    QString why;
    const auto checked = NotePackage::of(*record, notes, &why);
    ASSERT_EQ(checked.has_value(), plant != Plant::Nothing) << why.toStdString();
    if (checked) {
        const NoteSave saved = saveNote(*checked, rtfOf(QStringLiteral("overwrite")), true, kNow);
        EXPECT_FALSE(saved.ok);
        EXPECT_FALSE(saved.error.isEmpty());
    } else {
        EXPECT_FALSE(why.isEmpty());
    }
    OpenNote open(notes);
    QTextDocument document;
    EXPECT_EQ(open.open(record, &document).state, NoteText::State::Refused);
    EXPECT_TRUE(open.isReadOnly());
    EXPECT_TRUE(document.isEmpty());
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"TXT.rtf"});
    EXPECT_EQ(TestEnvironment::readFile(outside + QStringLiteral("/TXT.rtf")), secret);
}

INSTANTIATE_TEST_SUITE_P(Notes, HostileRecords, ::testing::ValuesIn(kHostilePaths),
                         [](const auto& info) { return readableName(QString::fromLatin1(info.param.name)); });

struct Title {
    const char* title;
    const char* package;
};

const Title kTitles[] = {
    {"Shopping list", "Shopping list"},
    {"a/b/../c", "a_b_.._c"},
    {".", "_"},
    {"..", "_."},
    {".tessaro-partial-TXT.rtf-abcdef", "_tessaro-partial-TXT.rtf-abcdef"},
    {"tab\there\nnewline", "tab_here_newline"},
    {"中文笔记", "中文笔记"},
    {"Taken", "Taken-2"},            // an unrelated folder in the notes folder has the name
    {"Note0_1767323045", "Note0_1767323045-2"},  // another note's package
};

class RenameTitles : public Notes, public ::testing::WithParamInterface<Title> {};

TEST_P(RenameTitles, GetAFreeSafePackageAndKeepTheTitleAsTyped) {
    const FileModelPtr other = create();
    write(*other, QStringLiteral("the other note"));
    const FileModelPtr note = create();
    write(*note, QStringLiteral("my text"));
    QDir().mkpath(notes + QStringLiteral("/Taken"));
    const QString title = QString::fromUtf8(GetParam().title);

    const NoteRenamed renamed = renameNote(rows, *note, title, notes);
    ASSERT_TRUE(renamed.ok) << renamed.error.toStdString();
    EXPECT_TRUE(renamed.moved);
    EXPECT_EQ(note->name, title);
    EXPECT_EQ(note->path, notes + QLatin1Char('/') + QString::fromUtf8(GetParam().package));
    EXPECT_EQ(textOf(packageOf(*note)), QStringLiteral("my text"));
    EXPECT_EQ(textOf(packageOf(*other)), QStringLiteral("the other note"));
    EXPECT_EQ(packages().size(), 3) << packages().join(QLatin1Char(',')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Notes, RenameTitles, ::testing::ValuesIn(kTitles),
                         [](const auto& info) { return readableName(QString::fromUtf8(info.param.title)); });

TEST_F(Notes, RenameEdgeCases) {
    const FileModelPtr note = create();
    write(*note, QStringLiteral("kept"));
    const QString before = note->path;
    // Empty and unchanged titles change nothing.
    for (const QString& title : {QString(), note->name}) {
        EXPECT_TRUE(renameNote(rows, *note, title, notes).ok);
        EXPECT_EQ(note->path, before);
    }
    // A title of 300 bytes fits the name limit; the title keeps every byte.
    const QString longTitle = QString(100, QChar(0x6587));  // 3 bytes each in UTF-8
    ASSERT_TRUE(renameNote(rows, *note, longTitle, notes).ok);
    EXPECT_EQ(note->name, longTitle);
    EXPECT_LE(lastPathComponent(note->path).toUtf8().size(), 255);
    EXPECT_EQ(textOf(packageOf(*note)), QStringLiteral("kept"));
    // A package removed outside Tessaro: the new name is recorded, the next save makes it.
    QDir(note->path).removeRecursively();
    ASSERT_TRUE(renameNote(rows, *note, QStringLiteral("Fresh"), notes).ok);
    EXPECT_EQ(note->path, notes + QStringLiteral("/Fresh"));
    EXPECT_TRUE(saveNote(packageOf(*note), rtfOf(QStringLiteral("again")), false, kNow).ok);
    EXPECT_EQ(textOf(packageOf(*note)), QStringLiteral("again"));
}

}  // namespace
}  // namespace tessaro::notes
