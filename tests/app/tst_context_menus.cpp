// The right-click menus of the main window driven through its real widgets, offscreen: the
// item row's, the sidebar rows' (every kind of row of every section) and the notes rows',
// with what their commands leave in the catalogue and on disk; the information window; show
// in file manager over a bus of the test's own; and leaving with a note that cannot be saved.
#include "app/file_info_window.h"
#include "app/file_manager.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/notes_pane.h"
#include "app/progress_panel.h"
#include "app/sidebar_model.h"
#include "app/ts_text_view.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "core/log.h"
#include "core/volumes.h"
#include "crypto/help_class.h"
#include "crypto/item_paths.h"
#include "notes/open_note.h"
#include "vault/vault_controller.h"
#include "support/private_bus.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace tessaro;
using tessaro::controls::ModalSeam;
using tessaro::testing::makeItem;
using tessaro::testing::sidebarRowOf;
using tessaro::testing::TestEnvironment;

namespace {

QString localKey() { return QString::fromLatin1(kLocalListKey); }
QString notesKey() { return QString::fromLatin1(kNotesListKey); }

// Records the toggles and group hides the menus ask for instead of walking fake records.
class ScriptedMainView : public MainViewController {
public:
    using MainViewController::MainViewController;
    FileModelList toggled;
    QList<std::pair<qint64, qint64>> hiddenGroups;

    void visableChange(qsizetype shownRow, std::function<void()>) override {
        toggled << selected_ItemList.at(shownRow);
        setRowWalkState(toggled.last(), WalkState::None);
    }
    void hiddenAllItemFileModel(qint64 group, qint64 item) override { hiddenGroups.append({group, item}); }
    void hiddenUPAllItemFileModel(qint64 group, qint64 item) override {
        hiddenGroups.append({group, item});
        hiddenOn << selectGroupName();
    }
    QStringList hiddenOn;
};

struct Window : testing::WindowOn<ScriptedMainView> {
    Window() { QTest::qWaitForWindowExposed(&window); }

    // A user group of list `listKey` holding real files of the sandbox (name, hidden).
    GroupModelPtr addGroup(const QString& listKey, const QString& name, const QList<std::pair<QString, bool>>& items) {
        RowList& rows = *(listKey == notesKey() ? &main->catalogue.groupNoteList
                          : listKey == localKey() ? &main->catalogue.groupDirList
                                                  : &main->catalogue.UPLibrary[listKey]);
        GroupModelPtr group = makeGroupRow(name, listKey, listKey == notesKey(), 1700000000);
        qint64 date = 1700000000 + rows.size() * 100;
        for (const auto& [itemName, hidden] : items) {
            FileModelPtr item = makeItem(itemName, hidden, date++);
            item->path = (listKey == notesKey() ? HelpClass::AppRootNoteDirPath() : env.base() + QStringLiteral("/home")) +
                         QLatin1Char('/') + itemName;
            item->groupName = listKey;
            // A note is a package folder around its text.
            TestEnvironment::writeFile(listKey == notesKey() ? item->path + QStringLiteral("/TXT.rtf") : item->path,
                                       "the user's only copy");
            group->fileModels->append(item);
        }
        rows.insert(rows.size() - 1, group);
        renumberRowList(rows);
        main->SaveGroupList(listKey == notesKey() ? 2 : 0);
        main->setLeftScrollView();
        return group;
    }
    void selectRow(const QString& listKey, qint64 index) { main->leftMouseUp(sidebarRowOf(*main, listKey, index)); }
    // A drive vault "V/Drive.flp" on a mounted volume, in the sidebar.
    QString addDriveVault() {
        const QString vaultKey = QStringLiteral("V/Drive.flp");
        env.mountVolume(QStringLiteral("V"));
        QDir().mkpath(Volumes::pathFor(vaultKey));
        main->catalogue.UPLibrary.insert(vaultKey, Catalogue::defaultRemovableList(QStringLiteral("V"), vaultKey, 1700000000));
        main->setLeftScrollView();
        return vaultKey;
    }
};

// What a menu offers: each entry's title and whether it can be chosen, "-" for disabled.
QStringList offered(QMenu* menu) {
    QStringList entries;
    if (!menu) {
        return {QStringLiteral("(no menu)")};
    }
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            entries << (action->isEnabled() ? QString() : QStringLiteral("-")) + action->text();
        }
    }
    return entries;
}

QAction* entry(QMenu* menu, int tag) {
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->data().toInt() == tag) {
            return action;
        }
    }
    return nullptr;
}

// A right click as the desktop sends it, on `widget` at `point`.
void rightClick(QWidget* widget, const QPoint& point) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, point, widget->mapToGlobal(point));
    QApplication::sendEvent(widget, &event);
}

QString t(const char* key) { return ui::text(key); }

// The group commands are the same for the local vault's groups and the notes groups.
void eachSection() {
    QTest::addColumn<QString>("list");
    QTest::newRow("local vault") << localKey();
    QTest::newRow("notes") << notesKey();
}

// Plays the desktop's file manager on the test's own bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown << uris; }
};

// Stands in for the desktop's folder opener on PATH: notes each folder it is asked to open.
struct FolderOpener {
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    FolderOpener() {
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\necho \"$1\" >> \"$0.asked\"\n");
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(bin.path()));
    }
    ~FolderOpener() { qputenv("PATH", path); }
    QList<QUrl> opened() const {
        QList<QUrl> urls;
        QFile asked(bin.filePath(QStringLiteral("xdg-open.asked")));
        if (asked.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : asked.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    urls << QUrl(QString::fromUtf8(line));
                }
            }
        }
        return urls;
    }
};

}  // namespace

class ContextMenusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() { ModalSeam::reset(); }
    void cleanup() {
        FileManager::setBusForTests({});
        FileManager::setHandlerForTests({});
    }

    void itemMenuOffersWhatTheItemsStateAllows() {
        Window w;
        const GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"),
                                               {{QStringLiteral("shown.txt"), false}, {QStringLiteral("kept.txt"), true}});
        const FileModelPtr shown = group->fileModels->at(0);
        const FileModelPtr kept = group->fileModels->at(1);
        const QString hide = t("groupChildFile_Item1"), unhide = t("groupChildFile_Item0"), info = t("groupChildFile_Item2"),
                      reveal = t("groupChildFile_Item3"), remove = t("groupChildFile_Item4");
        const struct {
            const char* name;
            FileModelPtr item;
            bool walking;
            QStringList expected;
        } cases[] = {
            {"visible", shown, false, {hide, info, reveal, remove}},
            {"hidden: nothing to show", kept, false, {unhide, info, "-" + reveal, remove}},
            {"in a walk: only information", shown, true, {"-" + hide, info, "-" + reveal, "-" + remove}},
        };
        for (const auto& c : cases) {
            w.main->setRowWalkState(c.item, c.walking ? WalkState::Hiding : WalkState::None);
            QCOMPARE(offered(w.main->groupChildFile_Menu(w.main->selected_ItemList.indexOf(c.item))), c.expected);
        }
        w.main->setRowWalkState(shown, WalkState::None);

        // A right click selects the row and pops the menu up, except while the panel shows.
        ItemListView* list = w.main->itemListView();
        const QPoint onKept = list->visualRect(w.main->itemModel()->index(static_cast<int>(w.main->selected_ItemList.indexOf(kept)))).center();
        w.main->progressView()->addAnimation();
        rightClick(list->viewport(), onKept);
        QVERIFY(!w.main->findChild<QMenu*>(QStringLiteral("itemMenu"))->isVisible());
        w.main->progressView()->removeAnimation();
        QTRY_VERIFY(!w.main->isProgressShown());
        rightClick(list->viewport(), onKept);
        QMenu* menu = w.main->findChild<QMenu*>(QStringLiteral("itemMenu"));
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(w.main->selectedItem(), kept);
        menu->close();
        // Entry 1 toggles the item after the eye button's pause.
        entry(menu, 1)->trigger();
        QTRY_COMPARE(w.main->toggled, FileModelList{kept});
    }

    void removingAVisibleItemKeepsItsFileAndRenumbers() {
        Window w;
        const GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"),
                                               {{QStringLiteral("a.txt"), false}, {QStringLiteral("b.txt"), false}, {QStringLiteral("c.txt"), false}});
        const FileModelPtr b = group->fileModels->at(1);
        const FileModelPtr c = group->fileModels->at(2);
        w.selectRow(localKey(), group->index);
        QMenu* menu = w.main->groupChildFile_Menu(w.main->selected_ItemList.indexOf(b));
        entry(menu, 4)->trigger();
        QCOMPARE(ModalSeam::alertCount(), 0);  // nothing to lose: no question
        QCOMPARE(group->fileModels->size(), 2);
        QVERIFY(!w.main->selected_ItemList.contains(b));
        QCOMPARE(c->fileIndex, 1);
        QCOMPARE(TestEnvironment::readFile(b->path), QByteArray("the user's only copy"));
        // Stored: a fresh load no longer has it.
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        QCOMPARE(reloaded.groupDirList.at(group->index)->fileModels->size(), 2);

        // The action button's entry 4 removes the selected item the same way.
        w.main->selectItemAtRow(w.main->selected_ItemList.indexOf(c));
        LogCapture log;
        w.main->file_popAction(4);
        QCOMPARE(group->fileModels->size(), 1);
        QVERIFY(log.contains(QStringLiteral("移除选中文件")));
        QVERIFY(QFileInfo::exists(c->path));
    }

    // A hidden item goes through the real worker: the file comes back whole before its
    // record goes; Cancel changes nothing; a container that cannot be read back keeps the
    // record, the only way to the file; an item with nothing left on disk goes at once.
    void removingAHiddenItemUnhidesItFirst_data() {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("disk");
        QTest::addColumn<bool>("removed");
        QTest::newRow("cancel changes nothing") << QMessageBox::No << "intact" << false;
        QTest::newRow("unhidden, then removed") << QMessageBox::Yes << "intact" << true;
        QTest::newRow("damaged container: the record stays") << QMessageBox::Yes << "damaged" << false;
        QTest::newRow("nothing left: removed without a walk") << QMessageBox::Yes << "gone" << true;
    }
    void removingAHiddenItemUnhidesItFirst() {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, disk);
        QFETCH(bool, removed);
        testing::LoggedInApp app;
        QVERIFY(app.main);
        const QString path = app.env.base() + QStringLiteral("/home/tax return.txt");
        const QByteArray bytes("line one\nline two\n");
        QVERIFY(TestEnvironment::writeFile(path, bytes));
        app.main->AddFileActionForPaths({path});
        app.main->vaultController()->waitUntilIdle();
        QTRY_VERIFY(!app.main->isProgressShown());
        const FileModelList& all = *app.main->catalogue.groupDirList.at(1)->fileModels;
        QCOMPARE(all.size(), 1);
        const FileModelPtr item = all.first();
        QVERIFY(item->isEncrtypt && !QFileInfo::exists(path));
        QFile stored(walk::pathsForRecord(*item).storedTop);
        if (disk == QLatin1String("damaged")) {
            QVERIFY(stored.resize(stored.size() / 2));
        } else if (disk == QLatin1String("gone")) {
            QVERIFY(stored.remove());
        }

        ModalSeam::nextAnswer(answer);
        entry(app.main->groupChildFile_Menu(0), 4)->trigger();
        QCOMPARE(ModalSeam::lastQuestion().message, t("removeitemformlistmessage.text"));
        QTRY_VERIFY_WITH_TIMEOUT(all.isEmpty() == removed && (removed || answer == QMessageBox::No || app.main->currentAlert()), 20000);
        app.main->vaultController()->waitUntilIdle();
        QTest::qWait(20);
        QCOMPARE(all.contains(item), !removed);
        if (!removed) {
            QVERIFY(item->isEncrtypt);
            // Told why the item is still there when the user asked for it to go.
            QCOMPARE(app.main->currentAlert() != nullptr, answer == QMessageBox::Yes);
        }
        if (disk == QLatin1String("intact") && removed) {
            QCOMPARE(TestEnvironment::readFile(path), bytes);
        }
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        QCOMPARE(reloaded.groupDirList.at(1)->fileModels->size(), removed ? 0 : 1);
    }

    void groupMenuOffersWhatEachRowAllows() {
        Window w;
        const GroupModelPtr work = w.addGroup(localKey(), QStringLiteral("Work"), {{QStringLiteral("a.txt"), false}});
        const GroupModelPtr done = w.addGroup(localKey(), QStringLiteral("Done"), {{QStringLiteral("b.txt"), true}});
        const GroupModelPtr diary = w.addGroup(notesKey(), QStringLiteral("Diary"), {});
        const QString vault = w.addDriveVault();
        const GroupModelPtr trip = w.addGroup(vault, QStringLiteral("Trip"), {{QStringLiteral("c.jpg"), false}});
        const QString hide = t("group_Item1"), rename = t("group_Item2"), remove = t("group_Item3"), add = t("group_Item4");
        const QStringList allOrAddRow{"-" + hide, "-" + rename, "-" + remove, add};
        const qint64 localAdd = w.main->catalogue.groupDirList.size() - 1;
        const qint64 notesAdd = w.main->catalogue.groupNoteList.size() - 1;
        const struct {
            const char* name;
            QString list;
            qint64 index;
            bool walking;
            QStringList expected;
        } cases[] = {
            {"local header", localKey(), 0, false, {"(no menu)"}},
            {"notes header", notesKey(), 0, false, {"(no menu)"}},
            {"drive header, nothing listening", vault, 0, false, {"-" + t("changePassword")}},
            {"local all items", localKey(), 1, false, allOrAddRow},
            {"local add row", localKey(), localAdd, false, allOrAddRow},
            {"all notes", notesKey(), 1, false, allOrAddRow},
            {"notes add row", notesKey(), notesAdd, false, allOrAddRow},
            {"group with a visible item", localKey(), work->index, false, {hide, rename, remove, add}},
            {"group with hidden items only", localKey(), done->index, false, {"-" + hide, rename, remove, add}},
            {"notes group: nothing to hide", notesKey(), diary->index, false, {"-" + hide, rename, remove, add}},
            {"drive group", vault, trip->index, false, {hide, rename, remove, add}},
            {"group while a walk runs", localKey(), work->index, true, {"-" + hide, rename, "-" + remove, add}},
        };
        for (const auto& c : cases) {
            c.walking ? w.main->progressView()->addAnimation() : w.main->progressView()->removeAnimation();
            QTRY_COMPARE(w.main->isProgressShown(), c.walking);
            QCOMPARE(offered(w.main->group_itemMenu(sidebarRowOf(*w.main, c.list, c.index))), c.expected);
        }
        w.main->progressView()->removeAnimation();
        QTRY_VERIFY(!w.main->isProgressShown());

        // Hiding the group hands its items to the walk.
        LogCapture log;
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, localKey(), work->index)), 1)->trigger();
        QCOMPARE(w.main->hiddenGroups, (QList<std::pair<qint64, qint64>>{{work->index, 0}}));
        QVERIFY(log.contains(QStringLiteral("隐藏本组文件夹")));
        // A drive group's walk is the drive vault's: its list is the one selected and stored.
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, vault, trip->index)), 1)->trigger();
        QCOMPARE(w.main->hiddenGroups.last(), (std::pair<qint64, qint64>{trip->index, 0}));
        QCOMPARE(w.main->hiddenOn, QStringList{vault});

        // Once the password window listens, the drive header's entry asks it for that vault.
        QSignalSpy asked(w.main, &MainViewController::changePasswordRequested);
        QMenu* header = w.main->group_itemMenu(sidebarRowOf(*w.main, vault, 0));
        QVERIFY(header->actions().first()->isEnabled());
        header->actions().first()->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().first().toString(), vault);
    }

    void renameEditsTheNameInPlaceAndStoresIt_data() { eachSection(); }
    void renameEditsTheNameInPlaceAndStoresIt() {
        QFETCH(QString, list);
        Window w;
        const GroupModelPtr group = w.addGroup(list, QStringLiteral("Work"), {});
        // The all-items row has no name of its own to change.
        w.selectRow(list, 1);
        w.main->renameSelectedGroup();
        QVERIFY(!w.main->sidebarView()->findChild<QLineEdit*>());

        LogCapture log;
        // A blank name is not taken: the row would have no name to find it by.
        for (const QString& typed : {QStringLiteral("   "), QStringLiteral("Taxes 2025")}) {
            entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, group->index)), 2)->trigger();
            QPointer<QLineEdit> editor;
            QTRY_VERIFY((editor = w.main->sidebarView()->findChild<QLineEdit*>()) && editor->isVisible());
            editor->selectAll();
            QTest::keyClicks(editor, typed);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!group->isEditing && !editor);
            QTest::qWait(20);  // the sidebar is rebuilt on the next turn
            QCOMPARE(group->name, typed.trimmed().isEmpty() ? QStringLiteral("Work") : typed);
        }
        QVERIFY(log.contains(QStringLiteral("重命名文件夹")));
        QVERIFY(!group->isEditing);
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        const RowList& rows = list == notesKey() ? reloaded.groupNoteList : reloaded.groupDirList;
        QCOMPARE(rows.at(group->index)->name, QStringLiteral("Taxes 2025"));
    }

    // Notes too: dropping a notes group's records would leave its notes unreachable.
    void deletingAGroupMovesItsItemsToAllItems_data() { eachSection(); }
    void deletingAGroupMovesItsItemsToAllItems() {
        QFETCH(QString, list);
        Window w;
        w.addGroup(list, QStringLiteral("First"), {});
        const GroupModelPtr last = w.addGroup(list, QStringLiteral("Last"), {{QStringLiteral("a.txt"), false}, {QStringLiteral("b.txt"), true}});
        const FileModelList items = *last->fileModels;
        w.selectRow(list, last->index);
        const qint64 before = last->index;

        LogCapture log;
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, before)), 3)->trigger();
        QVERIFY(log.contains(QStringLiteral("删除文件夹")));
        QCOMPARE(ModalSeam::alertCount(), 0);
        const RowList& rows = list == notesKey() ? w.main->catalogue.groupNoteList : w.main->catalogue.groupDirList;
        QVERIFY(!rows.contains(last));
        QCOMPARE(rows.at(1)->fileModels->mid(rows.at(1)->fileModels->size() - 2), items);
        // The selection goes to the row before the deleted one.
        QCOMPARE(w.main->selectGroupIndex, before - 1);
        QCOMPARE(w.main->selectGroupName(), list);
        for (const FileModelPtr& item : items) {
            QCOMPARE(item->groupIndex, 1);
            const QString content = list == notesKey() ? item->path + QStringLiteral("/TXT.rtf") : item->path;
            QCOMPARE(TestEnvironment::readFile(content), QByteArray("the user's only copy"));
        }
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        const RowList& stored = list == notesKey() ? reloaded.groupNoteList : reloaded.groupDirList;
        QCOMPARE(stored.size(), rows.size());
        QCOMPARE(stored.at(1)->fileModels->size(), rows.at(1)->fileModels->size());
    }

    void newGroupOpensItsNameForEditing_data() { eachSection(); }
    void newGroupOpensItsNameForEditing() {
        QFETCH(QString, list);
        Window w;
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, 1)), 4)->trigger();
        const RowList& rows = list == notesKey() ? w.main->catalogue.groupNoteList : w.main->catalogue.groupDirList;
        const GroupModelPtr made = rows.at(rows.size() - 2);
        QCOMPARE(made->name, t("group_Item4"));
        QVERIFY(made->isEditing);
        QVERIFY(rows.last()->isAddItem);
        QCOMPARE(w.main->selectGroupName(), list);
        QCOMPARE(w.main->selectGroupIndex, made->index);
        QTRY_VERIFY(w.main->sidebarView()->findChild<QLineEdit*>());
    }

    void informationWindowShowsTheItem_data() {
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<bool>("withThumbnail");
        QTest::newRow("visible picture with its thumbnail") << false << true;
        QTest::newRow("hidden, no thumbnail: the type's icon") << true << false;
    }
    void informationWindowShowsTheItem() {
        QFETCH(bool, hidden);
        QFETCH(bool, withThumbnail);
        Window w;
        const GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"), {{QStringLiteral("photo.png"), hidden}});
        const FileModelPtr item = group->fileModels->at(0);
        const QString thumbnail = HelpClass::getFileThumbImagePath(item->path, localKey());
        QFile::remove(thumbnail);
        if (withThumbnail) {
            QImage red(40, 40, QImage::Format_RGB32);
            red.fill(Qt::red);
            QVERIFY(red.save(thumbnail, "PNG"));
        }
        entry(w.main->groupChildFile_Menu(w.main->selected_ItemList.indexOf(item)), 2)->trigger();
        FileInfoWindowController* info = w.main->fileInfoWindow();
        QVERIFY(info);
        QTRY_VERIFY(info->isVisible());
        QCOMPARE(info->windowTitle(), QStringLiteral("Tessaro Preview"));
        QCOMPARE(info->size(), QSize(484, 225));
        QVERIFY(info->isModal());
        QCOMPARE(info->fileNameLabel()->text(), QStringLiteral("photo.png"));
        QCOMPARE(info->filesizeLabel()->text(), QStringLiteral("Size:"));
        QCOMPARE(info->filesizeValueLabel()->text(), QStringLiteral("1000.00 B"));  // never called hidden here
        QCOMPARE(info->filePathLabel()->text(), item->path);
        QCOMPARE(info->stateLabel()->text(), t(hidden ? "hideState.text" : "unhideState.text"));
        const QImage shown = info->fileIconView()->pixmap().toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2) == QColor(Qt::red), withThumbnail);
        QTest::keyClick(info, Qt::Key_Escape);
        QTRY_VERIFY(!w.main->fileInfoWindow());
    }

    void showInFileManagerAsksTheDesktopOrOpensTheFolder_data() {
        QTest::addColumn<bool>("serviceAnswers");
        QTest::newRow("FileManager1 shows the item") << true;
        QTest::newRow("no service: the folder opens") << false;
    }
    void showInFileManagerAsksTheDesktopOrOpensTheFolder() {
        QFETCH(bool, serviceAnswers);
        testing::PrivateBus bus;
        QVERIFY2(bus.isReady(), qPrintable(bus.error()));
        FakeFileManager service;
        if (serviceAnswers) {
            QVERIFY(bus.serverSide().registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &service,
                                                    QDBusConnection::ExportAllSlots));
        }
        FolderOpener opener;
        FileManager::setBusForTests(bus.client().name());
        Window w;
        const GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"), {{QStringLiteral("report #1.pdf"), false}});
        const FileModelPtr item = group->fileModels->at(0);
        entry(w.main->groupChildFile_Menu(0), 3)->trigger();
        if (serviceAnswers) {
            QTRY_COMPARE(service.shown, QStringList{QUrl::fromLocalFile(item->path).toString()});
            QVERIFY(opener.opened().isEmpty());
        } else {
            QTRY_COMPARE(opener.opened(), QList<QUrl>{QUrl::fromLocalFile(QFileInfo(item->path).absolutePath())});
        }
        QTest::qWait(20);
        QVERIFY(!w.main->currentAlert());
    }

    void noteRowMenuDeletesThatNoteOrAddsOne() {
        Window w;
        w.selectRow(notesKey(), 1);
        NotesPane* pane = w.main->notesPane();
        QCOMPARE(offered(w.main->note_itemMenu(-1)), (QStringList{"-" + t("note_Item1"), t("note_Item2")}));
        entry(w.main->note_itemMenu(-1), 2)->trigger();
        entry(w.main->note_itemMenu(-1), 2)->trigger();
        QCOMPARE(pane->shownNotes().size(), 2);
        const FileModelPtr first = pane->shownNotes().at(0);
        const FileModelPtr second = pane->shownNotes().at(1);
        // The note pointed at goes, not the one open; an empty note goes without a question.
        pane->openRow(1);
        rightClick(w.main->notesListView()->viewport(), w.main->notesListView()->visualRect(w.main->notesListView()->model()->index(0, 0)).center());
        QMenu* menu = w.main->findChild<QMenu*>(QStringLiteral("noteMenu"));
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        entry(menu, 1)->trigger();
        QCOMPARE(pane->shownNotes(), FileModelList{second});
        QVERIFY(!QFileInfo::exists(first->path));
        QVERIFY(QFileInfo::exists(second->path));
    }

    // A note change that cannot be written is never dropped by a lock or a quit: the user is
    // asked to try again or stay, and the lock waits for a save that worked.
    void leavingWithAnUnsavedNoteAsksFirst() {
        Window w;
        w.selectRow(notesKey(), 1);
        NotesPane* pane = w.main->notesPane();
        pane->addNoteAction();
        const FileModelPtr note = pane->openNote().note();
        QVERIFY(note);
        // The package's place taken by a file: no save can land there, root or not.
        QVERIFY(QDir(note->path).removeRecursively());
        QVERIFY(TestEnvironment::writeFile(note->path, "in the way"));
        QTest::keyClicks(pane->editor(), QStringLiteral("the only copy"));
        QSignalSpy locked(w.main, &MainViewController::lockCompleted);
        bool quit = false;

        ModalSeam::nextAnswer(QMessageBox::No);
        w.main->lockTessaroAction();
        QCOMPARE(ModalSeam::lastQuestion().title, t("notes.unsavedOnLeave.title"));
        QTest::qWait(20);
        ModalSeam::nextAnswer(QMessageBox::No);
        w.main->applicationShouldTerminate([&] { quit = true; });
        QTest::qWait(50);
        QCOMPARE(ModalSeam::alertCount(), 2);  // the question alone, no second alert per save
        QCOMPARE(locked.size(), 0);
        QVERIFY(!quit);
        QCOMPARE(pane->editor()->toPlainText(), QStringLiteral("the only copy"));

        // The way is clear again: trying again saves, and the quit goes on.
        QVERIFY(QFile::remove(note->path));
        QVERIFY(QDir().mkpath(note->path));
        ModalSeam::nextAnswer(QMessageBox::Yes);
        QVERIFY(QFile::rename(note->path, note->path + QStringLiteral(".x")));  // blocked once more
        QVERIFY(TestEnvironment::writeFile(note->path, "in the way"));
        w.main->applicationShouldTerminate([&] { quit = true; });
        QVERIFY(!quit);
        QVERIFY(QFile::remove(note->path));
        QVERIFY(QFile::rename(note->path + QStringLiteral(".x"), note->path));
        QTRY_VERIFY(quit);
        QVERIFY(TestEnvironment::readFile(note->path + QStringLiteral("/TXT.rtf")).contains("the only copy"));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<ContextMenusTest>(argc, argv); }

#include "tst_context_menus.moc"
