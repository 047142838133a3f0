// What a new user ran into on a real desktop: typing after Return in a note's title, a
// "Show in File Manager" on a machine without one, and a prompt whose title bar repeated
// its message until it was cut off.
#include "app/file_manager.h"
#include "app/notes_pane.h"
#include "app/ts_text_view.h"
#include "controls/text_prompt.h"
#include "crypto/help_class.h"
#include "notes/note_package.h"
#include "notes/open_note.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaro;

class FirstUseTest : public QObject {
    Q_OBJECT
private slots:
    // Return in a new note's title goes on in its text; the edited label follows the last save.
    void returnInNoteTitleGoesOnInTheTextAndTheLabelFollowsTheSave() {
        testing::WindowOn<> window;
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        const qsizetype row = testing::sidebarRowOf(*window.main, QString::fromLatin1(kNotesListKey), 1);
        QVERIFY(row >= 0);
        window.main->leftMouseUp(row);
        NotesPane& pane = *window.main->notesPane();
        QTest::mouseClick(pane.addNoteButton(), Qt::LeftButton);
        QVERIFY(pane.titleField()->hasFocus());
        QTest::keyClicks(pane.titleField(), QStringLiteral("Groceries"));
        QTest::keyClick(pane.titleField(), Qt::Key_Return);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("milk"));
        QCOMPARE(pane.titleField()->text(), QStringLiteral("Groceries"));
        QCOMPARE(pane.titleField()->cursorPosition(), 0);
        const FileModelPtr old = pane.openNote().note();
        QCOMPARE(old->name, QStringLiteral("Groceries"));
        QCOMPARE(pane.editor()->toPlainText(), QStringLiteral("milk"));

        QTest::mouseClick(pane.addNoteButton(), Qt::LeftButton);
        // The first note made and last written years ago.
        const QDateTime then(QDate(2001, 3, 4), QTime(5, 6, 7));
        old->createDate = then.toSecsSinceEpoch();
        const auto package = notes::NotePackage::of(*old, HelpClass::AppRootNoteDirPath());
        QVERIFY(package);
        QFile text(package->path() + QStringLiteral("/TXT.rtf"));
        QVERIFY(text.open(QIODevice::ReadWrite) && text.setFileTime(then, QFileDevice::FileModificationTime));
        text.close();
        pane.openRow(pane.shownNotes().indexOf(old));
        QVERIFY2(pane.editedLabel()->text().contains(QStringLiteral("2001")), qPrintable(pane.editedLabel()->text()));
        QTest::keyClicks(pane.editor(), QStringLiteral("today"));
        QVERIFY(pane.flush());
        const QString year = QString::number(QDate::currentDate().year());
        QVERIFY2(pane.editedLabel()->text().contains(year), qPrintable(pane.editedLabel()->text()));
    }

    void folderOpenerFailureIsReported_data() {
        QTest::addColumn<QString>("opener");  // the script standing in for the desktop's opener
        QTest::addColumn<bool>("shown");
        QTest::newRow("opener finds a file manager") << QStringLiteral("exit 0") << true;
        QTest::newRow("opener finds nothing to open folders") << QStringLiteral("exit 3") << false;
        QTest::newRow("no opener installed") << QString() << false;
    }

    void folderOpenerFailureIsReported() {
        QFETCH(QString, opener);
        QFETCH(bool, shown);
        QTemporaryDir bin;
        if (!opener.isEmpty()) {
            QFile script(bin.filePath(QStringLiteral("xdg-open")));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\n" + opener.toUtf8() + "\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        // A bus nobody connected: the file manager service cannot answer, the opener must.
        FileManager::setBusForTests(QStringLiteral("no bus here"));

        QObject context;
        std::optional<bool> answer;
        FileManager::showItem(bin.filePath(QStringLiteral("item.txt")), &context, [&answer](bool ok) { answer = ok; });
        const bool answered = QTest::qWaitFor([&answer] { return answer.has_value(); }, FileManager::kOpenerGraceMs / 2);

        qputenv("PATH", path);
        FileManager::setBusForTests({});
        QVERIFY(answered);
        QCOMPARE(*answer, shown);
    }

    void promptTitleDoesNotRepeatItsMessage() {
        QWidget parent;
        parent.show();
        controls::TextPrompt::Request request;
        request.message = QStringLiteral("Name the new vault on the drive:");
        controls::TextPrompt::ask(&parent, request, [](std::optional<QString>) {});
        auto* box = parent.findChild<QDialog*>(QStringLiteral("textPrompt"));
        QVERIFY(box);
        QVERIFY2(!box->windowTitle().contains(request.message), qPrintable(box->windowTitle()));
        box->reject();
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<FirstUseTest>(argc, argv); }

#include "tst_first_use.moc"
