// Secure notes through the real widgets, offscreen: a user makes notes, types and formats
// them, renames, sorts, switches, deletes and locks; every word must be found on disk
// afterwards, read back by the RTF reader.
#include "app/item_list_view.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/ts_text_view.h"
#include "controls/modal_seam.h"
#include "crypto/help_class.h"
#include "notes/open_note.h"
#include "notes/rtf_reader.h"
#include "support/notes_shape.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using namespace tessaro;
using tessaro::controls::ModalSeam;
using tessaro::testing::TestEnvironment;

namespace {

struct OpenWindow : testing::WindowOn<> {
    OpenWindow() {
        const qsizetype allNotes = testing::sidebarRowOf(*main, QString::fromLatin1(kNotesListKey), 1);
        QVERIFY2(allNotes >= 0, "no all-notes row");
        main->leftMouseUp(allNotes);
    }
    NotesPane& pane() const { return *main->notesPane(); }
    TSTextView& editor() const { return *pane().editor(); }
    // Adds a note through the add button, with this title typed into the title field.
    FileModelPtr addNote(const QString& title) {
        QTest::mouseClick(pane().addNoteButton(), Qt::LeftButton);
        FileModelPtr note = pane().openNote().note();
        setTitle(title);
        return note;
    }
    void setTitle(const QString& title) {
        QLineEdit* field = pane().titleField();
        // Pasted, as a title with control characters can only arrive.
        field->setFocus();
        field->selectAll();
        field->insert(title);
        QTest::keyClick(field, Qt::Key_Return);
    }
    // Key by key; characters beyond ASCII as an input method hands them over.
    void type(const QString& text) {
        editor().setFocus();
        editor().moveCursor(QTextCursor::End);
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, &editor(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
    QStringList listedTitles() const {
        QStringList titles;
        const QAbstractItemModel* model = pane().listView()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            titles << model->index(row, 0).data().toString();
        }
        return titles;
    }
    void clickFormat(const char* command) const {
        auto* button = pane().findChild<QToolButton*>(QLatin1String("format_") + QLatin1String(command));
        QVERIFY(button && button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void clickRowOf(const FileModelPtr& note) const {
        QListView* list = pane().listView();
        const QModelIndex row = list->model()->index(static_cast<int>(pane().shownNotes().indexOf(note)), 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(row).center());
    }
};

// The note's "TXT.rtf" as the reader sees it.
std::unique_ptr<QTextDocument> onDisk(const FileModelPtr& note) {
    auto document = std::make_unique<QTextDocument>();
    notes::readRtf(TestEnvironment::readFile(note->path + QStringLiteral("/TXT.rtf")), *document);
    return document;
}

QString textOnDisk(const FileModelPtr& note) { return onDisk(note)->toPlainText(); }

}  // namespace

class NotesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { ModalSeam::reset(); }

    void typedAndFormattedTextIsOnDiskAndFormatCommandsFlip() {
        OpenWindow w;
        QVERIFY(w.listedTitles().isEmpty());
        QVERIFY(!w.pane().deleteNoteButton()->isEnabled());
        const FileModelPtr note = w.addNote(QStringLiteral("Groceries"));
        w.type(QStringLiteral("milk 牛奶 bread"));
        // "milk" bold, "bread" red, the whole text centred.
        QTextCursor cursor = w.editor().textCursor();
        cursor.setPosition(0);
        cursor.setPosition(4, QTextCursor::KeepAnchor);
        w.editor().setTextCursor(cursor);
        w.clickFormat("bold");
        cursor.setPosition(8);
        cursor.setPosition(13, QTextCursor::KeepAnchor);
        w.editor().setTextCursor(cursor);
        ModalSeam::nextColor(QColor(200, 0, 0));
        w.clickFormat("color");
        w.clickFormat("alignCenter");
        // No flush: the coalesced save must come on its own.
        const QStringList formatted{QStringLiteral("align=4:[|0|b|]milk[|0||] 牛奶 [|0||#c80000]bread")};
        QTRY_COMPARE(testing::shape(*onDisk(note)), formatted);
        QVERIFY(w.pane().editedLabel()->text().startsWith(QStringLiteral("Edited:")));

        // A format command flips over the whole selection; with nothing selected it holds for
        // what is typed next. A pasted picture is refused aloud.
        w.editor().selectAll();
        w.editor().BlodFontAction();
        w.editor().BlodFontAction();  // all bold now: the second clears it
        w.editor().BiggerAction();
        w.editor().moveCursor(QTextCursor::End);
        w.editor().ItalicFontAction();
        w.editor().UnderLineAction();
        QTest::keyClicks(&w.editor(), QStringLiteral("!"));
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QApplication::clipboard()->setImage(picture);
        w.editor().paste();
        QTRY_COMPARE(ModalSeam::alertCount(), 1);
        QCOMPARE(ModalSeam::lastAlert().title, QStringLiteral("Pictures cannot be pasted into a note"));
        const qreal bigger = w.editor().document()->defaultFont().pointSizeF() + 1;
        const QString reformatted = QStringLiteral("align=4:[|%1||]milk 牛奶 [|%1||#c80000]bread[|%1|iu|#c80000]!");
        QCOMPARE(testing::shape(*w.editor().document()), QStringList{reformatted.arg(bigger)});
    }

    void theListSortsSearchesAndDeletes() {
        OpenWindow w;
        w.addNote(QStringLiteral("bread"));
        w.addNote(QStringLiteral("Cake"));
        w.addNote(QStringLiteral("apple"));
        w.main->NotesSortpopAction(2);
        QCOMPARE(w.listedTitles(), (QStringList{"Cake", "apple", "bread"}));
        w.main->NotesSortpopAction(5);
        QCOMPARE(w.listedTitles(), (QStringList{"bread", "apple", "Cake"}));
        w.main->NotesSortpopAction(4);
        QVERIFY(w.main->sortButton()->text().contains(QStringLiteral("Ascending")));
        QTest::keyClicks(w.main->searchField(), QStringLiteral("READ"));
        QCOMPARE(w.listedTitles(), QStringList{QStringLiteral("bread")});
        w.main->searchField()->clear();

        // Deleting asks only when the note holds text; Cancel keeps it whole.
        const FileModelPtr kept = w.addNote(QStringLiteral("kept"));
        w.type(QStringLiteral("keep me"));
        ModalSeam::nextAnswer(QMessageBox::No);
        QTest::mouseClick(w.pane().deleteNoteButton(), Qt::LeftButton);
        QTRY_COMPARE(ModalSeam::alertCount(), 1);
        const FileModelPtr empty = w.addNote(QStringLiteral("empty"));
        QTest::mouseClick(w.pane().deleteNoteButton(), Qt::LeftButton);
        QTRY_VERIFY(!QFileInfo::exists(empty->path));
        const FileModelPtr full = w.addNote(QStringLiteral("full"));
        w.type(QStringLiteral("drop me"));
        ModalSeam::nextAnswer(QMessageBox::Yes);
        QTest::mouseClick(w.pane().deleteNoteButton(), Qt::LeftButton);
        QTRY_VERIFY(!QFileInfo::exists(full->path));
        QCOMPARE(ModalSeam::alertCount(), 2);  // none for the empty note
        QCOMPARE(w.listedTitles(), (QStringList{"Cake", "apple", "bread", "kept"}));
        QCOMPARE(textOnDisk(kept), QStringLiteral("keep me"));
    }

    // Renaming, switching notes and locking each take the last keystrokes along; a title that
    // tries to leave the notes folder gets a package inside it, an emptied one keeps the title.
    void renameSwitchAndLockKeepTheLastKeystroke() {
        OpenWindow w;
        const FileModelPtr first = w.addNote(QStringLiteral("first"));
        const FileModelPtr second = w.addNote(QStringLiteral("second"));
        w.clickRowOf(first);
        w.type(QStringLiteral("one"));
        w.setTitle(QStringLiteral("a/../../b"));
        QCOMPARE(textOnDisk(first), QStringLiteral("one"));
        QCOMPARE(QFileInfo(first->path).absolutePath(), QDir(HelpClass::AppRootNoteDirPath()).absolutePath());
        w.setTitle(QString());
        QCOMPARE(first->name, QStringLiteral("a/../../b"));
        QCOMPARE(w.pane().titleField()->text(), first->name);
        QVERIFY(w.listedTitles().contains(first->name));
        w.type(QStringLiteral(" two"));
        w.clickRowOf(second);
        QCOMPARE(textOnDisk(first), QStringLiteral("one two"));  // on disk at the switch, not later
        w.type(QStringLiteral("three"));
        QVERIFY(w.pane().openNote().hasPendingChange());
        w.main->lockTessaroAction();
        QCOMPARE(textOnDisk(second), QStringLiteral("three"));
        QCOMPARE(ModalSeam::alertCount(), 0);
    }

    // A note change that cannot be written is never dropped by a lock or a quit: the user is
    // asked to try again or stay, the lock waits for a save that worked, and a package turned
    // into a link is never written through.
    void leavingWithANoteThatCannotBeSavedAsksFirst() {
        OpenWindow w;
        const FileModelPtr note = w.addNote(QStringLiteral("n"));
        QTemporaryDir elsewhere;
        const QString moved = elsewhere.path() + QStringLiteral("/moved");
        QVERIFY(QDir().rename(note->path, moved));
        QVERIFY(QFile::link(elsewhere.path(), note->path));
        w.type(QStringLiteral("only copy"));
        QSignalSpy locked(w.main, &MainViewController::lockCompleted);
        bool quit = false;
        ModalSeam::nextAnswer(QMessageBox::No);
        w.main->lockTessaroAction();
        QCOMPARE(ModalSeam::lastQuestion().title, QStringLiteral("Your latest changes are not saved"));
        QTest::qWait(20);
        ModalSeam::nextAnswer(QMessageBox::No);
        w.main->applicationShouldTerminate([&] { quit = true; });
        QTest::qWait(50);
        QCOMPARE(ModalSeam::alertCount(), 2);  // the question alone, no second alert per save
        QCOMPARE(locked.count(), 0);
        QVERIFY(!quit);
        QVERIFY(!QFileInfo::exists(elsewhere.path() + QStringLiteral("/TXT.rtf")));

        // Trying again while still blocked keeps asking; once the way is clear the save
        // lands and the quit goes on.
        ModalSeam::nextAnswer(QMessageBox::Yes);
        w.main->applicationShouldTerminate([&] { quit = true; });
        QVERIFY(!quit);
        QVERIFY(QFile::remove(note->path));
        QVERIFY(QDir().rename(moved, note->path));
        QTRY_VERIFY(quit);
        QCOMPARE(textOnDisk(note), QStringLiteral("only copy"));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<NotesTest>(argc, argv); }

#include "tst_notes.moc"
