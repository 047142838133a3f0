// The application shell driven through its real widgets, offscreen: launch, login, the
// sidebar and item list, sorting, search, the lock cycle, the idle timer and the window size,
// and what a new user ran into on a real desktop.
// The item commands and the right-click menus have their own test (tst_item_commands).
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/file_manager.h"
#include "app/item_list_model.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/sidebar_model.h"
#include "app/ts_text_view.h"
#include "controls/modal_seam.h"
#include "core/catalogue.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "crypto/help_class.h"
#include "notes/note_package.h"
#include "notes/open_note.h"
#include "support/test_environment.h"
#include "support/window_steps.h"
#include "support/widget_test_main.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace tessaro;
using tessaro::testing::LoggedInApp;
using tessaro::testing::logIn;
using tessaro::testing::sidebarRowOf;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

// Adds a user group with these items to the local list, just before the add row.
void addGroup(MainViewController& main, const QString& name, const QStringList& items) {
    RowList& rows = main.catalogue.groupDirList;
    GroupModelPtr group = makeGroupRow(name, key(kLocalListKey), false, 1700000000);
    qint64 date = 1700000000;
    for (const QString& item : items) {
        group->fileModels->append(testing::makeItem(item, true, date++));
    }
    rows.insert(rows.size() - 1, group);
    renumberRowList(rows);
}

// Clicks the sidebar row of the list's row `index`.
void clickSidebarRow(MainViewController& main, qint64 index, const QString& listKey = key(kLocalListKey)) {
    QListView* view = main.sidebarView();
    const int row = static_cast<int>(sidebarRowOf(main, listKey, index));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(main.sidebarModel()->index(row)).center());
}

// The shown items' names, then the tags of the checked sort items.
QString shownAndSort(MainViewController& main) {
    QStringList shown;
    for (const FileModelPtr& item : main.itemModel()->items()) {
        shown << item->name;
    }
    for (QAction* action : main.applicationDockMenu()->actions()) {
        if (action->isChecked()) {
            shown << QStringLiteral("sort %1").arg(action->data().toInt());
        }
    }
    return shown.join(QStringLiteral(", "));
}

QAction* sortAction(MainViewController& main, int tag) {
    for (QAction* action : main.applicationDockMenu()->actions()) {
        if (!action->isSeparator() && action->data().toInt() == tag) {
            return action;
        }
    }
    return nullptr;
}

// The sidebar, one row a line: list, index in its list, title, what kind of row it is and
// whether it is the selected one.
QStringList sidebarRows(MainViewController& main) {
    QStringList rows;
    SidebarModel* sidebar = main.sidebarModel();
    for (qsizetype i = 0; i < sidebar->count(); ++i) {
        const SidebarEntry& e = sidebar->entry(i);
        rows << QStringLiteral("%1 %2 %3%4%5%6")
                    .arg(e.groupName == key(kLocalListKey) ? QStringLiteral("local") : QStringLiteral("notes"),
                         QString::number(e.groupRow), sidebar->index(static_cast<int>(i)).data().toString(),
                         e.isHeader ? (e.canSelected ? " header" : " fixed header") : "", e.isAddItem ? " add" : "",
                         sidebar->cell(i).selected && sidebar->selectedRow() == i ? " selected" : "");
    }
    return rows;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }

    void freshVaultShowsEveryGroupAndSelectionSurvivesRebuild() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        QVERIFY(QFileInfo(vaultpaths::AppRootNoteDirPath()).isDir());
        QVERIFY(delegate.mainWindow()->zoomEnabled());
        QCOMPARE(sidebarRows(*main), (QStringList{"local 0 Local Vault fixed header", "local 1 All Items selected",
                                                  "local 2 New Group add", "notes 0 Secure Notes fixed header",
                                                  "notes 1 All Notes", "notes 2 New Group add"}));
        addGroup(*main, QStringLiteral("Work"), {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
        addGroup(*main, QStringLiteral("Home"), {QStringLiteral("c.txt"), QStringLiteral("d.txt"), QStringLiteral("e.txt")});
        main->setLeftScrollView();
        QCOMPARE(main->itemCountText(), QStringLiteral("5 items"));

        clickSidebarRow(*main, 3);
        // A rebuild keeps the selection on the same group.
        main->setLeftScrollView();
        QCOMPARE(main->sidebarModel()->selectedRow(), sidebarRowOf(*main, key(kLocalListKey), 3));
        QCOMPARE(main->itemModel()->rowCount(), 3);
        // Every shown item's row points back at it, and a rebuild lets go of the old rows.
        const FileModelPtr first = main->itemModel()->items().first();
        QCOMPARE(first->cell, static_cast<ItemCell*>(&main->itemModel()->cell(0)));
        clickSidebarRow(*main, 2);
        QCOMPARE(main->itemModel()->rowCount(), 2);
        QCOMPARE(first->cell, nullptr);
    }

    // Names sort by plain code units and descending reverses; each keystroke gives a fresh
    // search result, case not counting.
    void sortAndSearchFollowTheShownGroup() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        addGroup(*main, QStringLiteral("Trip"),
                 {QStringLiteral("photo.jpg"), QStringLiteral("Philosophy.txt"), QStringLiteral("report.pdf"),
                  QStringLiteral("_notes.txt")});
        main->setLeftScrollView();
        clickSidebarRow(*main, 2);
        // By date added, ascending, until another order is chosen.
        QCOMPARE(shownAndSort(*main), QStringLiteral("photo.jpg, Philosophy.txt, report.pdf, _notes.txt, sort 1, sort 7"));
        sortAction(*main, 2)->trigger();
        // Upper case, then '_' (0x5F), then lower case.
        QCOMPARE(shownAndSort(*main), QStringLiteral("Philosophy.txt, _notes.txt, photo.jpg, report.pdf, sort 2, sort 7"));
        sortAction(*main, 8)->trigger();
        QCOMPARE(shownAndSort(*main), QStringLiteral("report.pdf, photo.jpg, _notes.txt, Philosophy.txt, sort 2, sort 8"));
        QCOMPARE(main->sortButton()->text(), QStringLiteral("Sort: Descending"));
        // The group's own stored order follows the shown order.
        QCOMPARE(main->catalogue.groupDirList[2]->fileModels->first()->name, QStringLiteral("report.pdf"));

        // Each key, then how many items match: a backspace widens again.
        QList<qsizetype> matches;
        for (const Qt::Key k : {Qt::Key_P, Qt::Key_H, Qt::Key_O, Qt::Key_Backspace, Qt::Key_X}) {
            QTest::keyClick(main->searchField(), k, k == Qt::Key_Backspace ? Qt::NoModifier : Qt::ShiftModifier);
            matches << main->itemModel()->rowCount();
        }
        QCOMPARE(matches, (QList<qsizetype>{3, 2, 1, 2, 0}));
        // Another row clears the search and shows all its items (what matches is the search's own test).
        clickSidebarRow(*main, 1);
        QVERIFY(main->searchField()->text().isEmpty());
        QCOMPARE(main->itemModel()->rowCount(), 4);

        // Sorting by item 5 is offered for the local vault and refused for a removable drive's vault.
        QVERIFY(sortAction(*main, 5)->isEnabled());
        const QString vaultKey = QStringLiteral("USB/Travel.flp");
        env.mountVolume(vaultKey);
        main->catalogue.UPLibrary.insert(vaultKey, Catalogue::defaultRemovableList(QStringLiteral("USB"), vaultKey, 1700000000));
        main->setLeftScrollView();
        clickSidebarRow(*main, 1, vaultKey);
        QVERIFY(!sortAction(*main, 5)->isEnabled());
    }

    void idleTimerLocksAfterDelayAndActionsRestartIt() {
        const std::pair<qint64, int> delays[] = {{0, -1}, {1, 30000}, {2, 60000}, {3, 300000}, {4, 15000}, {-1, 15000}};
        for (const auto& [value, delay] : delays) {
            QCOMPARE(AppDelegate::idleDelayMsForSetting(value), delay);
        }
        TestEnvironment env;
        AppDelegate delegate;
        delegate.setIdleDelayProvider([](qint64 value) { return value == 0 ? -1 : value == 1 ? 10000 : 150; });
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 1);
        delegate.applicationDidFinishLaunching();
        QVERIFY(!delegate.idleTimer().isActive());  // nothing to lock at the login screen
        MainViewController* main = logIn(delegate);
        QVERIFY(main);
        QTRY_VERIFY(delegate.idleTimer().isActive() && delegate.idleTimer().remainingTime() < 9600);
        const int before = delegate.idleTimer().remainingTime();
        QTest::keyClicks(main->searchField(), QStringLiteral("x"));
        QVERIFY(delegate.idleTimer().remainingTime() > before);

        // Setting 0: no idle lock at all.
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 0);
        QTest::keyClicks(main->searchField(), QStringLiteral("y"));
        QVERIFY(!delegate.idleTimer().isActive());

        // A short delay: the login screen comes back by itself.
        SettingsStore::setValue(key(keys::kTESSAROWHENIDLE), 2);
        QTest::keyClicks(main->searchField(), QStringLiteral("z"));
        QTRY_VERIFY(delegate.mainView() == nullptr);
        QVERIFY(delegate.loginView());
    }

    void addVaultCommandRunsOnceAfterTheDebounceAndAFailedSaveIsTold() {
        LoggedInApp app;
        QVERIFY(app.shown());
        auto& [env, delegate, main] = app;
        QVERIFY(main->addGroupButton()->isEnabled());
        // The panel it opens is cancelled.
        controls::ModalSeam::reset();
        controls::ModalSeam::nextFileNames({});
        const auto panelAsked = [] { return !controls::ModalSeam::lastOpenPanel().title.isEmpty(); };
        main->addGroupBtnAction();
        main->addGroupBtnAction();
        QVERIFY(!panelAsked());
        QTRY_VERIFY(panelAsked());
        // Forget that panel: the two presses must not ask a second one.
        controls::ModalSeam::reset();
        QTest::qWait(MainViewController::kAddDebounceMs + 100);
        QVERIFY(!panelAsked());

        // A save that fails shows an alert. The vault root turns into a plain file: nothing can
        // be written below it.
        const QString root = env.vaultRoot();
        QVERIFY(QDir().rename(root, root + QStringLiteral(".moved")));
        QVERIFY(TestEnvironment::writeFile(root, "not a directory"));

        // The add row creates a group and stores the local list.
        clickSidebarRow(*main, 2);
        QTRY_VERIFY(main->currentAlert() && main->currentAlert()->isVisible());
        QVERIFY(main->currentAlert()->informativeText().contains(QStringLiteral("could not be saved")));
        // The new group stays in the window, where the next successful save will store it.
        QCOMPARE(main->catalogue.groupDirList.size(), 4);
        QVERIFY(QFile::remove(root));
        QVERIFY(QDir().rename(root + QStringLiteral(".moved"), root));
        QTest::mouseClick(main->currentAlert()->button(QMessageBox::Ok), Qt::LeftButton);
        QTRY_VERIFY(!main->currentAlert());
        QVERIFY(main->SaveGroupList(0));
        QVERIFY(TestEnvironment::readFile(vaultpaths::AppGroupDirListPath()).contains("New Group"));
    }

    // A catalogue file that cannot be read whole (the reading is the catalogue's own test):
    // the window opens with what could be read and an alert names where the file was moved and
    // what was lost.
    void aDamagedCatalogueOpensWithWhatCouldBeRead() {
        LoggedInApp app([&](TestEnvironment&) {
            QVERIFY(TestEnvironment::writeFile(
                vaultpaths::AppGroupDirListPath(),
                "<plist version=\"1.0\"><array><dict><key>isHeader</key><true/></dict>"
                "<dict><key>name</key><string>All Items</string><key>FileModel</key><array>"
                "<dict><key>path</key><string>/nowhere/a.txt</string><key>name</key><string>a.txt</string></dict>"
                "<dict><key>path</key><string>/nowhere/b.txt</string><key>name</key><string>b.txt</string>"
                "<key>fileSize</key><string>big</string></dict>"
                "</array></dict><dict><key>isAddItem</key><true/></dict></array></plist>"));
        });
        QVERIFY(app.shown());
        QCOMPARE(app.main->itemModel()->rowCount(), 2);
        QCOMPARE(app.main->catalogue.damagedFiles.size(), 1);
        QTRY_VERIFY(app.main->currentAlert());
        const QString text = app.main->currentAlert()->informativeText();
        for (const QString& part : {app.main->catalogue.damagedFiles.first(), QStringLiteral("Groups kept: 1, items kept: 2."),
                                    QStringLiteral("item 1 (\"b.txt\"): \"fileSize\" could not be read")}) {
            QVERIFY2(text.contains(part), qPrintable(text));
        }
    }

    // What a new user ran into on a real desktop: typing after Return in a note's title, and a
    // "Show in File Manager" on a machine without one (a prompt's title bar is the menus test's).
    void returnInNoteTitleGoesOnInTheTextAndTheLabelFollowsTheSave() {
        testing::WindowOn<> window;
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        clickSidebarRow(*window.main, 1, key(kNotesListKey));
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
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<MainWindowTest>(argc, argv); }

#include "tst_main_window.moc"
