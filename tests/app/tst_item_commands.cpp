// The main window's item commands driven through its real widgets, offscreen: the rows'
// buttons and progress, the action button and its menu, the File menu, the right-click menus
// of item, group and note rows, the information window, show in file manager over a bus of
// the test's own, drops and the open panel, and the refusals while a walk runs. What the
// window hands over to the vault library is recorded instead of run, except where the flow
// itself is the point (removing a hidden item).
#include "app/app_delegate.h"
#include "app/file_info_window.h"
#include "app/file_manager.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/notes_pane.h"
#include "app/progress_panel.h"
#include "app/shell_style.h"
#include "app/sidebar_model.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "core/item_sorting.h"
#include "core/log.h"
#include "core/record_check.h"
#include "core/volumes.h"
#include "crypto/help_class.h"
#include "crypto/item_paths.h"
#include "vault/vault_controller.h"
#include "support/private_bus.h"
#include "support/widget_events.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDialogButtonBox>
#include <QDir>
#include <QTemporaryDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace tessaro;
using tessaro::controls::ModalSeam;
using tessaro::testing::logIn;
using tessaro::testing::makeItem;
using tessaro::testing::sendDrop;
using tessaro::testing::sidebarRowOf;
using tessaro::testing::TestEnvironment;

namespace {

QString localKey() { return QString::fromLatin1(kLocalListKey); }
QString notesKey() { return QString::fromLatin1(kNotesListKey); }
QString t(const char* key) { return ui::text(key); }

// Records what reaches the vault library instead of running it.
class RecordingMainView : public MainViewController {
public:
    using MainViewController::MainViewController;

    QList<QStringList> added;
    FileModelList toggled;
    int hideAll = 0;
    int unhideAll = 0;
    int cancels = 0;
    QList<std::pair<qint64, qint64>> hiddenGroups;
    QStringList hiddenOn;  // the list selected when a drive group's hide was asked for

    void AddFileActionForPaths(const QStringList& paths, std::function<void(bool)>) override { added << paths; }
    void visableChange(qsizetype shownRow, std::function<void()>) override { toggled << selected_ItemList.at(shownRow); }
    void hideAllShown() override { ++hideAll; }
    void unhideAllShown() override { ++unhideAll; }
    void hiddenAllItemFileModel(qint64 group, qint64 item) override { hiddenGroups.append({group, item}); }
    void hiddenUPAllItemFileModel(qint64 group, qint64 item) override {
        hiddenGroups.append({group, item});
        hiddenOn << selectGroupName();
    }
    void encryptCancelBtnAction() override { ++cancels; }

    // What reached the library, in one line.
    QString calls() const {
        QStringList names;
        for (const FileModelPtr& item : toggled) {
            names << item->name;
        }
        return QStringLiteral("toggled [%1], hide all %2, unhide all %3, groups %4")
            .arg(names.join(QLatin1Char(',')))
            .arg(hideAll)
            .arg(unhideAll)
            .arg(hiddenGroups.size());
    }
};

// A user group of list `listKey` holding real files below `home` (name, hidden), stored and
// shown in the window.
GroupModelPtr addGroup(MainViewController& main, const QString& home, const QString& listKey, const QString& name,
                       const QList<std::pair<QString, bool>>& items) {
    const bool notes = listKey == notesKey();
    RowList& rows = *(notes ? &main.catalogue.groupNoteList
                      : listKey == localKey() ? &main.catalogue.groupDirList
                                              : &main.catalogue.UPLibrary[listKey]);
    GroupModelPtr group = makeGroupRow(name, listKey, notes, 1700000000);
    qint64 date = 1700000000 + rows.size() * 100;
    for (const auto& [itemName, hidden] : items) {
        FileModelPtr item = makeItem(itemName, hidden, date++);
        item->path = (notes ? HelpClass::AppRootNoteDirPath() : home) + QLatin1Char('/') + itemName;
        item->groupName = listKey;
        // A note is a package folder around its text.
        TestEnvironment::writeFile(notes ? item->path + QStringLiteral("/TXT.rtf") : item->path, "the user's only copy");
        group->fileModels->append(item);
    }
    rows.insert(rows.size() - 1, group);
    renumberRowList(rows);
    main.SaveGroupList(notes ? 2 : 0);
    main.setLeftScrollView();
    return group;
}

// The group "Work" with the visible "shown.txt" and the hidden "kept.txt".
std::pair<FileModelPtr, FileModelPtr> addWorkGroup(MainViewController& main, const QString& home) {
    const GroupModelPtr group =
        addGroup(main, home, localKey(), QStringLiteral("Work"), {{QStringLiteral("shown.txt"), false}, {QStringLiteral("kept.txt"), true}});
    return {group->fileModels->at(0), group->fileModels->at(1)};
}

struct Window : testing::WindowOn<RecordingMainView> {
    Window() { QVERIFY(QTest::qWaitForWindowExposed(&window)); }
    QString home() const { return env.base() + QStringLiteral("/home"); }
    GroupModelPtr addGroup(const QString& listKey, const QString& name, const QList<std::pair<QString, bool>>& items) {
        return ::addGroup(*main, home(), listKey, name, items);
    }
    std::pair<FileModelPtr, FileModelPtr> work() { return addWorkGroup(*main, home()); }
    void selectRow(const QString& listKey, qint64 index) { main->leftMouseUp(sidebarRowOf(*main, listKey, index)); }
};

ItemDelegate::RowLayout layoutOf(MainViewController& main, const FileModelPtr& item) {
    const QModelIndex index = main.itemModel()->index(static_cast<int>(main.itemModel()->rowOf(item.get())));
    return ItemDelegate::layoutFor(main.itemListView()->visualRect(index));
}

// What a row shows, in one line: state text and colour, the progress bar, the cancel
// button, the eye's image and state, and the folder button ("-" where it is disabled).
QString lookOf(MainViewController& main, const FileModelPtr& item) {
    const ItemDelegate::RowLook look =
        ItemDelegate::lookFor(*main.itemModel(), main.itemModel()->rowOf(item.get()), layoutOf(main, item));
    QStringList parts{look.stateText, look.stateColour.name()};
    if (look.showsProgress) {
        parts << QStringLiteral("bar %1").arg(look.progressBar.width());
    }
    if (look.showsCancel) {
        parts << QStringLiteral("cancel");
    }
    parts << QStringLiteral("%1eye %2%3")
                 .arg(look.visableBtnEnabled ? "" : "-", look.visableImage.section(QLatin1Char('/'), -1),
                      look.visableBtnSelected ? " selected" : "");
    if (look.showsOpenPath) {
        parts << (look.openPathEnabled ? QStringLiteral("folder") : QStringLiteral("-folder"));
    }
    return parts.join(QStringLiteral(", "));
}

void clickAt(MainViewController& main, const QPoint& point) {
    QTest::mouseClick(main.itemListView()->viewport(), Qt::LeftButton, {}, point);
}

// Selects an item by clicking its row's name.
void select(MainViewController& main, const FileModelPtr& item) {
    clickAt(main, layoutOf(main, item).name.center());
    QCOMPARE(main.selectedItem(), item);
}

void clickEye(MainViewController& main, const FileModelPtr& item) { clickAt(main, layoutOf(main, item).eye.center()); }

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
    QByteArray asked() const { return TestEnvironment::readFile(bin.filePath(QStringLiteral("xdg-open.asked"))); }
};

}  // namespace

class ItemCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() { ModalSeam::reset(); }
    void cleanup() {
        FileManager::setBusForTests({});
        FileManager::setHandlerForTests({});
    }

    void rowShowsProgressInPlaceOfItsEyeButton() {
        Window w;
        const auto [big, old] = w.work();
        const ItemDelegate::RowLayout layout = layoutOf(*w.main, big);
        QStringList asked;
        bool desktopAnswers = true;
        FileManager::setHandlerForTests([&](const QString& path) {
            asked << path;
            return desktopAnswers;
        });

        // Idle rows: the eye is selected exactly when the item is visible, and only a
        // visible item can be shown in the file manager.
        QCOMPARE(lookOf(*w.main, big), QStringLiteral("Visible, #ffbe32, eye visableon.png selected, folder"));
        QCOMPARE(lookOf(*w.main, old), QStringLiteral("Hidden, #7a7c87, eye visableoff.png, -folder"));
        clickAt(*w.main, layoutOf(*w.main, old).openPathBtn.center());
        clickAt(*w.main, layout.openPathBtn.center());
        QTRY_COMPARE(asked, QStringList{big->path});
        QTest::qWait(50);
        QVERIFY(!w.main->currentAlert());
        // No file manager answers: the user learns where the item is instead of nothing.
        desktopAnswers = false;
        clickAt(*w.main, layout.openPathBtn.center());
        QTRY_VERIFY(w.main->currentAlert());
        QVERIFY(w.main->currentAlert()->informativeText().contains(big->path));
        w.main->currentAlert()->close();

        // A hide runs, 40 % through, in far more steps than a screen can show: the value is
        // current at once, the row repaints once. The record says visible until the walk's
        // outcome is known; the badge already has the colour of where it is going.
        w.main->setRowWalkState(big, WalkState::Hiding);
        QSignalSpy repaints(w.main->itemModel(), &QAbstractItemModel::dataChanged);
        for (int step = 1; step <= 400; ++step) {
            big->currentEncryptSize = step;
            big->cell->itemChanged();
        }
        QCOMPARE(w.main->itemModel()->cell(w.main->itemModel()->rowOf(big.get())).progress, 0.4);
        QCOMPARE(repaints.size(), 0);
        QTRY_COMPARE(repaints.size(), 1);
        QTest::qWait(ItemListModel::kRepaintIntervalMs * 3);
        QCOMPARE(repaints.size(), 1);
        const int bar = static_cast<int>(layout.visableBtn.width() * 0.4);
        const QString hiding = QStringLiteral("Hiding…, #7a7c87, bar %1, cancel, -eye ").arg(bar);
        QCOMPARE(lookOf(*w.main, big), hiding);
        // Drawn: the bar's fill where the eye's frame begins, the empty track beyond it.
        const QImage image = w.main->itemListView()->viewport()->grab().toImage();
        const int y = layout.visableBtn.center().y();
        QCOMPARE(QColor(image.pixel(layout.visableBtn.left() + 4, y)), style::accent());
        QCOMPARE(QColor(image.pixel(layout.visableBtn.left() + bar + 6, y)), style::progressTrack());

        // The state survives a rebuild of the list.
        w.main->setRightScrollView();
        QCOMPARE(lookOf(*w.main, big), hiding);
        QVERIFY(w.main->itemModel()->rowEditing(big.get()));

        // While a walk runs the row's button cancels it, and so does the panel's.
        w.main->progressView()->addAnimation();
        clickAt(*w.main, layout.cancelEncryptBtn.center());
        QCOMPARE(w.main->cancels, 1);
        QCOMPARE(asked.size(), 2);
        QTRY_COMPARE(w.main->progressView()->height(), ProgressPanel::kHeight);
        QTest::mouseClick(w.main->progressView()->encryptCancelBtn(), Qt::LeftButton);
        QCOMPARE(w.main->cancels, 2);
        w.main->progressView()->removeAnimation();

        // Done: the eye is back, unselected, and the row is free again.
        big->isEncrtypt = true;
        big->currentEncryptSize = 1000;
        big->cell->itemChanged();
        w.main->setRowWalkState(big, WalkState::None);
        QCOMPARE(lookOf(*w.main, big), QStringLiteral("Hidden, #7a7c87, eye visableoff.png, -folder"));

        // An unhide: its own text, and the eye is disabled until it has started.
        w.main->setRowWalkState(old, WalkState::Unhiding);
        QCOMPARE(lookOf(*w.main, old), QStringLiteral("Unhiding…, #ffbe32, -eye visableoff.png, -folder"));
    }

    void eyeButtonWaitsAndRefusesBusyRows() {
        Window w;
        const auto [a, b] = w.work();

        // A double click toggles once, a quarter of a second later.
        clickEye(*w.main, a);
        clickEye(*w.main, a);
        QVERIFY(w.main->itemModel()->rowEditing(a.get()));
        QVERIFY(w.main->toggled.isEmpty());
        QTRY_COMPARE(w.main->toggled.size(), 1);
        QCOMPARE(w.main->toggled.first(), a);
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);
        QCOMPARE(w.main->toggled.size(), 1);

        // The row is editing until the toggle frees it: its eye does nothing meanwhile.
        clickEye(*w.main, a);
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);
        QCOMPARE(w.main->toggled.size(), 1);
        w.main->setRowWalkState(a, WalkState::None);

        // A walk that starts while a click waits wins: the click is dropped, the row freed.
        // (A click while the panel is already shown is refused with every other command.)
        clickEye(*w.main, b);
        w.main->progressView()->addAnimation();
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);
        QCOMPARE(w.main->toggled.size(), 1);
        QVERIFY(!w.main->itemModel()->rowEditing(b.get()));
        w.main->progressView()->removeAnimation();
        clickEye(*w.main, b);
        QTRY_COMPARE(w.main->toggled.size(), 2);
        QCOMPARE(w.main->toggled.last(), b);
    }

    // The action button and its menu act as the mode says, each setting the mode that undoes
    // it; nothing starts while the panel is shown.
    void actionButtonAndMenuFollowTheModeAndThePanel() {
        Window w;
        const auto [shown, kept] = w.work();
        QPushButton* button = w.main->rightBottom_leftBtn();
        // Each case: the mode, the item, the button (0) or menu entry used, then what it toggled
        // and the mode and button title that follow.
        const struct {
            const char* name;
            qint64 mode;
            FileModelPtr item;
            int menuEntry;
            const char* expected;
        } cases[] = {
            {"hide a visible item", 2, shown, 0, "toggled [shown.txt], hide all 0, unhide all 0, groups 0; 3 Unhide Selected"},
            {"hide a hidden item: only the mode turns", 2, kept, 0, "toggled [], hide all 0, unhide all 0, groups 0; 3 Unhide Selected"},
            {"unhide a hidden item", 3, kept, 0, "toggled [kept.txt], hide all 0, unhide all 0, groups 0; 2 Hide Selected"},
            {"unhide a visible item: only the mode turns", 3, shown, 0, "toggled [], hide all 0, unhide all 0, groups 0; 2 Hide Selected"},
            {"menu: unhide selected", 2, kept, 3, "toggled [kept.txt], hide all 0, unhide all 0, groups 0; 3 Unhide Selected"},
        };
        LogCapture log;
        for (const auto& c : cases) {
            select(*w.main, c.item);
            w.main->setDoFileType(c.mode);
            w.main->toggled.clear();
            c.menuEntry ? entry(w.main->file_itemMenu(), c.menuEntry)->trigger() : QTest::mouseClick(button, Qt::LeftButton);
            const QString got = QStringLiteral("%1; %2 %3").arg(w.main->calls()).arg(w.main->doFileType()).arg(button->text());
            QVERIFY2(got == QLatin1String(c.expected), qPrintable(QStringLiteral("%1: %2").arg(c.name, got)));
            w.main->setRowWalkState(c.item, WalkState::None);
        }
        QVERIFY(log.contains(QStringLiteral("显示选中文件")));

        // A row that is busy takes no second operation from the button.
        select(*w.main, shown);
        w.main->setDoFileType(2);
        w.main->setRowWalkState(shown, WalkState::Hiding);
        QVERIFY(!button->isEnabled());
        w.main->setRowWalkState(shown, WalkState::None);
        QVERIFY(button->isEnabled());

        const QString hideAll = t("file_Item1"), hide = t("file_Item2"), unhide = t("file_Item3"), remove = t("file_Item4");
        QCOMPARE(offered(w.main->file_itemMenu()), (QStringList{hideAll, hide, "-" + unhide, remove}));
        select(*w.main, kept);
        QCOMPARE(offered(w.main->file_itemMenu()), (QStringList{hideAll, "-" + hide, unhide, remove}));

        // Entry 1 unhides all once the mode is past "hide", with the panel: its arrow goes, and
        // no command, menu entry or eye starts anything until the panel has gone.
        select(*w.main, shown);
        w.main->setDoFileType(3);
        w.main->toggled.clear();
        QCOMPARE(entry(w.main->file_itemMenu(), 1)->text(), t("file_Item0"));
        entry(w.main->file_itemMenu(), 1)->trigger();
        QVERIFY(log.contains(QStringLiteral("都不隐藏")));
        QVERIFY(w.main->fileItemMenuButton()->isHidden());
        QVERIFY(!button->isEnabled());
        w.main->hideItemAction();
        w.main->unHideItemAction();
        w.main->rightBottom_leftBtnAction();
        for (int tag : {1, 2, 3}) {
            w.main->file_popAction(tag);
        }
        clickEye(*w.main, shown);
        w.main->group_popAction(1, sidebarRowOf(*w.main, localKey(), 2));
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);
        QCOMPARE(w.main->calls(), QStringLiteral("toggled [], hide all 0, unhide all 1, groups 0"));
        QCOMPARE(w.main->doFileType(), 3);
        QVERIFY(!w.main->itemModel()->rowEditing(shown.get()));
        w.main->progressView()->removeAnimation();
        QVERIFY(w.main->fileItemMenuButton()->isVisible());

        // Mode 1 hides all, with the panel; mode 4 takes the selected item off the list.
        w.main->setDoFileType(1);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.main->hideAll, 1);
        QVERIFY(w.main->isProgressShown());
        w.main->progressView()->removeAnimation();
        QTRY_VERIFY(!w.main->isProgressShown());
        w.main->setDoFileType(4);
        QCOMPARE(button->text(), QStringLiteral("Remove from List"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!w.main->selected_ItemList.contains(shown));
        QVERIFY(log.contains(QStringLiteral("移除选中文件")));

        // With a vault that holds nothing hidden, "unhide all" has nothing to act on.
        kept->isEncrtypt = false;
        w.main->setDoFileType(3);
        QVERIFY(!entry(w.main->file_itemMenu(), 1)->isEnabled());
    }

    // Neither command is offered at the login screen (checked after the lock below), with
    // nothing to act on, or while a walk runs.
    void fileMenuHideAndUnhideFollowTheSelectedItem() {
        testing::LoggedInApp app;
        QVERIFY(app.shown());
        AppDelegate& delegate = app.delegate;
        MainViewController* main = app.main;
        // Which of the two commands can be chosen.
        const auto offers = [&] {
            return QStringLiteral("%1 %2").arg(delegate.HideItem()->isEnabled() ? "hide" : "-",
                                               delegate.UnHideItem()->isEnabled() ? "unhide" : "-");
        };
        QCOMPARE(offers(), QStringLiteral("- -"));
        const auto [shown, kept] = addWorkGroup(*main, app.env.base());
        // The first click after a keyboard login reaches its row.
        QCOMPARE(main->selectedItem(), shown);
        clickEye(*main, kept);
        QVERIFY(main->itemModel()->rowEditing(kept.get()));
        // A walk starts (and drops that click): nothing is offered until it ends.
        main->progressView()->addAnimation();
        QCOMPARE(offers(), QStringLiteral("- -"));
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);
        main->progressView()->removeAnimation();
        select(*main, shown);
        QCOMPARE(offers(), QStringLiteral("hide -"));
        select(*main, kept);
        QCOMPARE(offers(), QStringLiteral("- unhide"));

        // The notes have no such items; back in the group, its first item is selected.
        main->leftMouseUp(sidebarRowOf(*main, notesKey(), 1));
        QCOMPARE(offers(), QStringLiteral("- -"));
        main->leftMouseUp(sidebarRowOf(*main, localKey(), 2));
        QCOMPARE(offers(), QStringLiteral("hide -"));
        select(*main, kept);

        // The command sets the action button's mode (unhide leaves "hide" as the next step).
        delegate.UnHideItem()->trigger();
        QCOMPARE(main->doFileType(), 2);

        delegate.lockTessaroAction();
        QTRY_VERIFY(delegate.loginView());
        QCOMPARE(offers(), QStringLiteral("- -"));
    }

    void selectionFollowsItsItemAcrossResortsSearchesAndRebuilds() {
        Window w;
        GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"),
                                       {{QStringLiteral("holiday.png"), true}, {QStringLiteral("notes.txt"), true},
                                        {QStringLiteral("plan.txt"), false}});
        const FileModelPtr holiday = group->fileModels->at(0);
        w.main->sortpopAction(kSortByHiddenState);
        select(*w.main, holiday);
        const qsizetype before = w.main->selectGroup_ItemIndex;

        // Unhidden, it sorts to the other end: the selection goes with it, and so do the
        // action button and the commands.
        holiday->isEncrtypt = false;
        w.main->setRightScrollView();
        QVERIFY(w.main->selectGroup_ItemIndex != before);
        QCOMPARE(w.main->selectedItem(), holiday);
        QCOMPARE(w.main->itemModel()->selectedRow(), w.main->itemModel()->rowOf(holiday.get()));
        w.main->setDoFileTypeForSelectedItem();
        QTest::mouseClick(w.main->rightBottom_leftBtn(), Qt::LeftButton);
        QCOMPARE(w.main->toggled, FileModelList({holiday}));
        w.main->setRowWalkState(holiday, WalkState::None);

        // A search that leaves it out selects nothing else; cleared, it is selected again.
        w.main->searchField()->setText(QStringLiteral("txt"));
        QCOMPARE(w.main->selectedItem(), nullptr);
        QVERIFY(!w.main->rightBottom_leftBtn()->isEnabled());
        w.main->hideItemAction();
        QCOMPARE(w.main->toggled.size(), 1);
        w.main->searchField()->clear();
        QCOMPARE(w.main->selectedItem(), holiday);
        QCOMPARE(w.main->itemModel()->cell(w.main->itemModel()->rowOf(holiday.get())).selected, true);
    }

    void newRowsAndTheRunningRowAreScrolledIntoView() {
        Window w;
        QList<std::pair<QString, bool>> many;
        for (int i = 0; i < 40; ++i) {
            many.append({QStringLiteral("item %1.txt").arg(i, 2, 10, QLatin1Char('0')), true});
        }
        GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"), many);
        const QRect view = w.main->itemListView()->viewport()->rect();
        auto inView = [&](const FileModelPtr& item) {
            const QModelIndex index = w.main->itemModel()->index(static_cast<int>(w.main->itemModel()->rowOf(item.get())));
            return view.contains(w.main->itemListView()->visualRect(index));
        };
        const FileModelPtr last = group->fileModels->last();
        QVERIFY(!inView(last));
        emit w.main->vaultController()->walkStarted(last, vault::VaultController::Kind::Unhide, true);
        QVERIFY(inView(last));
        // A new row comes into view with its add (the newest goes first when descending).
        w.main->sortpopAction(kSortDescending);
        w.main->itemListView()->scrollToBottom();
        QVERIFY(!inView(last));
        emit w.main->vaultController()->added({last}, group->index);
        QVERIFY(inView(last));
        w.main->setRowWalkState(last, WalkState::None);
    }

    // Drops and the open panel's choice both reach the add, with the local paths only.
    void droppedFilesAndThePanelsChoiceReachTheAdd() {
        Window w;
        const QString file = w.env.base() + QStringLiteral("/inbox/report.pdf");
        const QString folder = w.env.base() + QStringLiteral("/inbox/Photos 2024");
        QVERIFY(TestEnvironment::writeFile(file, "pdf"));
        QVERIFY(QDir().mkpath(folder));
        QWidget* target = w.main->itemListView()->viewport();
        QCOMPARE(w.main->itemModel()->rowCount(), 0);  // the empty list's placeholder takes drops too

        LogCapture log;
        bool accepted = false;
        sendDrop(target,
                 {QUrl::fromLocalFile(file), QUrl::fromLocalFile(folder + QLatin1Char('/')),
                  QUrl(QStringLiteral("https://example.com/report.pdf")), QUrl::fromLocalFile(file)},
                 &accepted);
        QVERIFY(accepted);
        // Every local path in order, the folder without its trailing slash; the duplicate
        // is for the add to drop.
        QTRY_COMPARE(w.main->added, (QList<QStringList>{{file, folder, file}}));
        QVERIFY(log.contains(QStringLiteral("拖拽文件完成")));

        // Nothing local: the drag is refused and the drop adds nothing.
        sendDrop(target, {QUrl(QStringLiteral("https://example.com/a")), QUrl(QStringLiteral("smb://server/share/b"))},
                 &accepted);
        QVERIFY(!accepted);
        QTest::qWait(50);
        QCOMPARE(w.main->added.size(), 1);

        // Onto a list with rows as well.
        w.addGroup(localKey(), QStringLiteral("Work"), {{QStringLiteral("a.txt"), true}});
        sendDrop(target, {QUrl::fromLocalFile(file)}, &accepted);
        QTRY_COMPARE(w.main->added.size(), 2);
        QCOMPARE(w.main->added.last(), QStringList({file}));

        // The add button: a double click asks once, in the home folder first.
        const QStringList chosen = {w.env.base() + QStringLiteral("/a.txt"), w.env.base() + QStringLiteral("/Folder")};
        ModalSeam::nextFileNames(chosen);
        QTest::mouseClick(w.main->addFileButton(), Qt::LeftButton);
        QTest::mouseClick(w.main->addFileButton(), Qt::LeftButton);
        QTRY_COMPARE(w.main->added.size(), 3);
        QCOMPARE(w.main->added.last(), chosen);
        const ModalSeam::OpenPanelRequest& asked = ModalSeam::lastOpenPanel();
        QVERIFY(asked.canChooseFiles && asked.canChooseDirectories && asked.allowsMultipleSelection && asked.canCreateDirectories);
        QCOMPARE(asked.directory, QDir::homePath());
        QVERIFY(log.contains(QStringLiteral("add file to app")));

        // Cancelled: nothing is added. The panel opened where the last choice was made.
        ModalSeam::nextFileNames({});
        w.main->addFileAction();
        QTest::qWait(MainViewController::kAddDebounceMs + 700);
        QCOMPARE(w.main->added.size(), 3);
        QCOMPARE(ModalSeam::lastOpenPanel().directory, w.env.base());
    }

    // Names typed or pasted into the open panel are added as they are, folders included, once
    // its button is pressed. Return on a folder (its name typed, its path pasted, or its row
    // in the list) is a place to go: the panel opens it and stays.
    void openPanelTakesFoldersAsTheyAre() {
        Window w;
        const QString pick = w.env.base() + QStringLiteral("/pick");
        const QString photos = pick + QStringLiteral("/Photos");
        const QString notes = pick + QStringLiteral("/notes.txt");
        QVERIFY(QDir().mkpath(photos));
        QVERIFY(TestEnvironment::writeFile(notes, "x"));
        enum class How { Paste, PasteThenReturn, TypeThenReturn, ListRowThenReturn };
        const struct {
            const char* name;
            How how;
            QString typed;
            QStringList added;  // none: the panel went into the folder and was then cancelled
        } cases[] = {
            {"two quoted names", How::Paste, QStringLiteral(R"("Photos" "notes.txt")"), {photos, notes}},
            {"a folder's name", How::Paste, QStringLiteral("Photos"), {photos}},
            {"a file's name", How::Paste, QStringLiteral("notes.txt"), {notes}},
            {"Return on a typed name", How::TypeThenReturn, QStringLiteral("Photos"), {}},
            {"Return on a pasted path", How::PasteThenReturn, photos, {}},
            {"Return on a list row", How::ListRowThenReturn, QString(), {}},
        };
        for (const auto& c : cases) {
            std::optional<QStringList> got;
            ModalSeam::OpenPanelRequest request;
            request.directory = pick;
            ModalSeam::openPanel(w.main, request, [&got](const QStringList& paths) { got = paths; });
            auto* dialog = w.main->findChild<QFileDialog*>(QStringLiteral("openPanel"));
            QVERIFY(dialog);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QWidget* target = name;
            if (c.how == How::ListRowThenReturn) {
                auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
                QTRY_VERIFY(list->model()->rowCount(list->rootIndex()) == 2);
                const QModelIndexList rows =
                    list->model()->match(list->model()->index(0, 0, list->rootIndex()), Qt::DisplayRole, QStringLiteral("Photos"));
                QCOMPARE(rows.size(), 1);
                list->setCurrentIndex(rows.first());
                target = list;
            } else if (c.how == How::TypeThenReturn) {
                // Letter by letter, as typed: the name completes in a list that has the keys.
                dialog->activateWindow();
                name->setFocus();
                QTest::keyClicks(name, c.typed);
            } else {
                // All at once: typed letter by letter into a field without the keyboard focus,
                // the dialog would keep selecting each partial name.
                name->setText(c.typed);
            }
            if (c.how == How::Paste) {
                QAbstractButton* accept = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Open);
                QTRY_VERIFY(accept->isEnabled());
                QTest::mouseClick(accept, Qt::LeftButton);
            } else {
                QTest::keyClick(target, Qt::Key_Return);
                QTRY_COMPARE(QDir::cleanPath(dialog->directory().absolutePath()), photos);
                QTest::qWait(50);
                QVERIFY2(!got.has_value(), c.name);
                QTest::keyClick(dialog, Qt::Key_Escape);
            }
            QTRY_VERIFY2(got.has_value(), c.name);
            QCOMPARE(*got, c.added);
            QTRY_VERIFY(!w.main->findChild<QFileDialog*>(QStringLiteral("openPanel")));
        }
    }

    // A record whose paths would lead out of the vault (as a catalogue file may say) is
    // shown as damaged, with the reason; its eye button, the action button, the File menu
    // and its folder button each say why nothing happens, and nothing reaches the library.
    void aDamagedRecordSaysWhyEveryCommandIsRefused() {
        Window w;
        const auto [shown, hidden] = w.work();
        shown->encryptedPath = QStringLiteral("11-22/../../..");
        shown->damage = *recordDamage(*shown);
        w.main->setRightScrollView();
        const QString look = lookOf(*w.main, shown);
        QVERIFY2(look.startsWith(t("damagedLabel.stringValue") + QLatin1Char(',')) && look.endsWith(QLatin1String("-folder")),
                 qPrintable(look));
        QCOMPARE(w.main->itemModel()->descriptionFor(w.main->itemModel()->rowOf(shown.get())), shown->damage);
        QStringList revealed;
        FileManager::setHandlerForTests([&](const QString& path) {
            revealed << path;
            return true;
        });
        const std::function<void()> commands[] = {
            [&] { clickEye(*w.main, shown); },
            [&] { w.main->hideItemAction(); },
            [&] { w.main->file_popAction(2); },
            [&] { emit w.main->showInFileManagerRequested(shown); },
        };
        for (const auto& command : commands) {
            select(*w.main, shown);
            command();
            QTRY_VERIFY(w.main->currentAlert());
            QCOMPARE(w.main->currentAlert()->text(), ui::text("damagedRecord.title"));
            QVERIFY(w.main->currentAlert()->informativeText().contains(QStringLiteral("a \"..\" component")));
            QVERIFY(!w.main->itemModel()->rowEditing(shown.get()));
            w.main->currentAlert()->close();
            QTRY_VERIFY(!w.main->currentAlert());
        }
        QTest::qWait(MainViewController::kVisableDebounceMs + 50);
        QVERIFY(w.main->toggled.isEmpty());
        QVERIFY(revealed.isEmpty());
        // The sound record beside it still works.
        clickEye(*w.main, hidden);
        QTRY_COMPARE(w.main->toggled, FileModelList{hidden});
    }

    // Entry 4 on a visible item removes it from the list at once: nothing to lose, no question.
    void itemMenuOffersWhatTheItemsStateAllows() {
        Window w;
        const auto [shown, kept] = w.work();
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

        entry(w.main->groupChildFile_Menu(w.main->selected_ItemList.indexOf(shown)), 4)->trigger();
        QCOMPARE(ModalSeam::alertCount(), 0);
        QVERIFY(!w.main->selected_ItemList.contains(shown));
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        QCOMPARE(reloaded.groupDirList.at(2)->fileModels->size(), 1);
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
        // The record goes only with the file back whole.
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
        // A drive vault on a mounted volume, in the sidebar.
        const QString vault = QStringLiteral("V/Drive.flp");
        w.env.mountVolume(QStringLiteral("V"));
        QDir().mkpath(Volumes::pathFor(vault));
        w.main->catalogue.UPLibrary.insert(vault, Catalogue::defaultRemovableList(QStringLiteral("V"), vault, 1700000000));
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
        w.main->group_itemMenu(sidebarRowOf(*w.main, vault, 0))->actions().first()->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().first().toString(), vault);
    }

    // A new group opens its name for editing, above the add row and selected; a rename
    // edits in place too. A blank name is not taken: the row would have no name to find it by.
    // Deleting a group asks nothing, moves its items to all items (notes too: dropping a notes
    // group's records would leave its notes unreachable) and selects the row before it.
    void groupsAreNamedDeletedAndStored_data() {
        QTest::addColumn<QString>("list");
        QTest::newRow("local vault") << localKey();
        QTest::newRow("notes") << notesKey();
    }
    void groupsAreNamedDeletedAndStored() {
        QFETCH(QString, list);
        Window w;
        const GroupModelPtr last = w.addGroup(list, QStringLiteral("Last"), {{QStringLiteral("a.txt"), false}, {QStringLiteral("b.txt"), true}});
        const FileModelList items = *last->fileModels;
        // The all-items row has no name of its own to change.
        w.selectRow(list, 1);
        w.main->renameSelectedGroup();
        QVERIFY(!w.main->sidebarView()->findChild<QLineEdit*>());

        LogCapture log;
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, 1)), 4)->trigger();
        const RowList& rows = list == notesKey() ? w.main->catalogue.groupNoteList : w.main->catalogue.groupDirList;
        const GroupModelPtr group = rows.at(rows.size() - 2);
        QVERIFY(rows.last()->isAddItem);
        QCOMPARE(w.main->selectGroupName(), list);
        QCOMPARE(w.main->selectGroupIndex, group->index);
        const auto typeName = [&](const QString& typed) {
            QPointer<QLineEdit> editor;
            QTRY_VERIFY((editor = w.main->sidebarView()->findChild<QLineEdit*>()) && editor->isVisible());
            editor->selectAll();
            QTest::keyClicks(editor, typed);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!group->isEditing && !editor);
            QTest::qWait(20);  // the sidebar is rebuilt on the next turn
        };
        typeName(QStringLiteral("   "));
        QCOMPARE(group->name, t("group_Item4"));
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, group->index)), 2)->trigger();
        typeName(QStringLiteral("Taxes 2025"));
        QCOMPARE(group->name, QStringLiteral("Taxes 2025"));
        QVERIFY(log.contains(QStringLiteral("重命名文件夹")));

        const qint64 before = last->index;
        w.selectRow(list, before);
        entry(w.main->group_itemMenu(sidebarRowOf(*w.main, list, before)), 3)->trigger();
        QVERIFY(log.contains(QStringLiteral("删除文件夹")));
        QCOMPARE(ModalSeam::alertCount(), 0);
        QVERIFY(!rows.contains(last));
        QCOMPARE(rows.at(1)->fileModels->mid(rows.at(1)->fileModels->size() - 2), items);
        QCOMPARE(w.main->selectGroupIndex, before - 1);
        QCOMPARE(w.main->selectGroupName(), list);
        Catalogue reloaded;
        QVERIFY(reloaded.setUp(std::nullopt, false));
        const RowList& stored = list == notesKey() ? reloaded.groupNoteList : reloaded.groupDirList;
        QCOMPARE(stored.size(), rows.size());
        QCOMPARE(stored.at(group->index)->name, QStringLiteral("Taxes 2025"));
    }

    // The size is given for a hidden item too, never replaced by "hidden"; the picture is the
    // item's thumbnail where there is one, its type's icon otherwise.
    void informationWindowShowsTheItem() {
        Window w;
        const GroupModelPtr group = w.addGroup(localKey(), QStringLiteral("Work"),
                                               {{QStringLiteral("photo.png"), false}, {QStringLiteral("scan.png"), true}});
        for (const FileModelPtr& item : *group->fileModels) {
            const bool withThumbnail = !item->isEncrtypt;
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
            QVERIFY(info->isModal());
            QCOMPARE((QStringList{info->fileNameLabel()->text(), info->filesizeLabel()->text(),
                                  info->filesizeValueLabel()->text(), info->filePathLabel()->text(), info->stateLabel()->text()}),
                     (QStringList{item->name, "Size:", "1000.00 B", item->path,
                                  t(item->isEncrtypt ? "hideState.text" : "unhideState.text")}));
            const QImage shown = info->fileIconView()->pixmap().toImage();
            QVERIFY(!shown.isNull());
            QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2) == QColor(Qt::red), withThumbnail);
            QTest::keyClick(info, Qt::Key_Escape);
            QTRY_VERIFY(!w.main->fileInfoWindow());
        }
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
            QVERIFY(opener.asked().isEmpty());
        } else {
            QTRY_COMPARE(opener.asked(), QUrl::fromLocalFile(QFileInfo(item->path).absolutePath()).toString().toUtf8() + '\n');
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
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<ItemCommandsTest>(argc, argv); }

#include "tst_item_commands.moc"
