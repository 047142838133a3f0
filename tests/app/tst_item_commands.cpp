// The main window's item commands driven through its real widgets, offscreen: the rows'
// buttons and progress, the action button and its menu, the File menu's hide and unhide,
// the group menu, drops and the open panel, and the refusals while a walk runs. What the
// window hands over to the vault library is recorded instead of run.
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/file_manager.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/progress_panel.h"
#include "app/shell_style.h"
#include "app/sidebar_model.h"
#include "controls/modal_seam.h"
#include "core/item_sorting.h"
#include "core/log.h"
#include "vault/vault_controller.h"
#include "core/record_check.h"
#include "app/ui_resources.h"
#include "support/test_environment.h"
#include "support/widget_events.h"
#include "support/window_steps.h"
#include "support/widget_test_main.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace tessaro;
using tessaro::controls::ModalSeam;
using tessaro::testing::sendDrop;
using tessaro::testing::logIn;
using tessaro::testing::makeItem;
using tessaro::testing::sidebarRowOf;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

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

    void AddFileActionForPaths(const QStringList& paths, std::function<void(bool)>) override { added << paths; }
    void visableChange(qsizetype shownRow, std::function<void()>) override { toggled << selected_ItemList.at(shownRow); }
    void hideAllShown() override { ++hideAll; }
    void unhideAllShown() override { ++unhideAll; }
    void hiddenAllItemFileModel(qint64 group, qint64 item) override { hiddenGroups.append({group, item}); }
    void encryptCancelBtnAction() override { ++cancels; }
};

// A vault of its own with the main window open on it.
struct OpenWindow : testing::WindowOn<RecordingMainView> {
    bool exposed() { return QTest::qWaitForWindowExposed(&window); }
};

// A user group of the local vault with these items (name, hidden), shown in the window.
GroupModelPtr addGroup(MainViewController& main, const QString& name, const QList<std::pair<QString, bool>>& items) {
    RowList& rows = main.catalogue.groupDirList;
    GroupModelPtr group = makeGroupRow(name, key(kLocalListKey), false, 1700000000);
    qint64 date = 1700000000 + rows.size() * 100;
    for (const auto& [itemName, hidden] : items) {
        group->fileModels->append(makeItem(itemName, hidden, date++));
    }
    rows.insert(rows.size() - 1, group);
    renumberRowList(rows);
    main.setLeftScrollView();
    return group;
}

// The group "Work" with a visible and a hidden item, in that order.
struct VisibleAndHidden {
    FileModelPtr visible;
    FileModelPtr hidden;
};
VisibleAndHidden addWorkGroup(MainViewController& main, const QString& visible, const QString& hidden) {
    GroupModelPtr group = addGroup(main, QStringLiteral("Work"), {{visible, false}, {hidden, true}});
    return {group->fileModels->at(0), group->fileModels->at(1)};
}

ItemDelegate::RowLayout layoutOf(MainViewController& main, qsizetype row) {
    return ItemDelegate::layoutFor(main.itemListView()->visualRect(main.itemModel()->index(static_cast<int>(row))));
}

ItemDelegate::RowLook lookOf(MainViewController& main, const FileModelPtr& item) {
    const qsizetype row = main.itemModel()->rowOf(item.get());
    return ItemDelegate::lookFor(*main.itemModel(), row, layoutOf(main, row));
}

void clickAt(MainViewController& main, const QPoint& point) {
    QTest::mouseClick(main.itemListView()->viewport(), Qt::LeftButton, {}, point);
}

// Selects an item by clicking its row's name.
void select(MainViewController& main, const FileModelPtr& item) {
    clickAt(main, layoutOf(main, main.itemModel()->rowOf(item.get())).name.center());
    QCOMPARE(main.selectedItem(), item);
}

void clickEye(MainViewController& main, const FileModelPtr& item) {
    clickAt(main, layoutOf(main, main.itemModel()->rowOf(item.get())).eye.center());
}

QAction* menuEntry(QMenu* menu, int tag) {
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == tag) {
            return action;
        }
    }
    return nullptr;
}

}  // namespace

class ItemCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() { ModalSeam::reset(); }
    void cleanup() { FileManager::setHandlerForTests({}); }

    void rowShowsProgressInPlaceOfItsEyeButton() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [big, old] = addWorkGroup(*w.main, QStringLiteral("big.iso"), QStringLiteral("old.txt"));

        // Idle rows: the eye is selected exactly when the item is visible, and only a
        // visible item can be shown in the file manager.
        ItemDelegate::RowLook look = lookOf(*w.main, big);
        QVERIFY(!look.showsProgress && !look.showsCancel);
        QVERIFY(look.visableBtnSelected);
        QCOMPARE(look.visableImage, QStringLiteral("About/visableon.png"));
        QVERIFY(look.showsOpenPath && look.openPathEnabled);
        QCOMPARE(look.stateText, QStringLiteral("Visible"));
        QCOMPARE(look.stateColour, QColor(255, 190, 50));
        look = lookOf(*w.main, old);
        QVERIFY(!look.visableBtnSelected);
        QCOMPARE(look.visableImage, QStringLiteral("About/visableoff.png"));
        QVERIFY(look.showsOpenPath && !look.openPathEnabled);
        QCOMPARE(look.stateText, QStringLiteral("Hidden"));
        QCOMPARE(look.stateColour, QColor(122, 124, 135));

        // A hide runs, 40 % through. The record says visible until the walk's outcome is
        // known; the badge already has the colour of where it is going.
        w.main->setRowWalkState(big, WalkState::Hiding);
        big->currentEncryptSize = 400;
        big->cell->itemChanged();
        const qsizetype row = w.main->itemModel()->rowOf(big.get());
        const ItemDelegate::RowLayout layout = layoutOf(*w.main, row);
        look = lookOf(*w.main, big);
        QVERIFY(look.showsProgress && look.showsCancel);
        QVERIFY(!look.showsOpenPath);
        QVERIFY(look.visableImage.isEmpty());
        QCOMPARE(look.progressBar.width(), static_cast<int>(layout.visableBtn.width() * 0.4));
        QCOMPARE(look.stateText, QStringLiteral("Hiding…"));
        QCOMPARE(look.stateColour, QColor(122, 124, 135));
        // Drawn: the bar's fill where the eye's frame begins, the empty track beyond it.
        QTest::qWait(ItemListModel::kRepaintIntervalMs * 3);
        const QImage image = w.main->itemListView()->viewport()->grab().toImage();
        const int y = layout.visableBtn.center().y();
        QCOMPARE(QColor(image.pixel(layout.visableBtn.left() + 4, y)), style::accent());
        QCOMPARE(QColor(image.pixel(layout.visableBtn.left() + look.progressBar.width() + 6, y)), style::progressTrack());

        // The state survives a rebuild of the list.
        w.main->setRightScrollView();
        QCOMPARE(w.main->itemModel()->cell(w.main->itemModel()->rowOf(big.get())).walkState, WalkState::Hiding);
        QVERIFY(w.main->itemModel()->cell(w.main->itemModel()->rowOf(big.get())).isEditing);

        // Done: the eye is back, unselected, and the row is free again.
        big->isEncrtypt = true;
        big->currentEncryptSize = 1000;
        big->cell->itemChanged();
        w.main->setRowWalkState(big, WalkState::None);
        look = lookOf(*w.main, big);
        QVERIFY(!look.showsProgress && !look.showsCancel);
        QVERIFY(look.visableBtnEnabled && !look.visableBtnSelected);
        QCOMPARE(look.stateText, QStringLiteral("Hidden"));

        // An unhide: its own text, and the eye is disabled until it has started.
        w.main->setRowWalkState(old, WalkState::Unhiding);
        look = lookOf(*w.main, old);
        QCOMPARE(look.stateText, QStringLiteral("Unhiding…"));
        QCOMPARE(look.stateColour, QColor(255, 190, 50));
        QVERIFY(!look.visableBtnEnabled && !look.openPathEnabled);
    }

    void progressRepaintsAreCoalesced() {
        OpenWindow w;
        QVERIFY(w.exposed());
        GroupModelPtr group = addGroup(*w.main, QStringLiteral("Work"), {{QStringLiteral("big.iso"), true}});
        const FileModelPtr big = group->fileModels->at(0);
        big->fileSize = 100000;
        QSignalSpy repaints(w.main->itemModel(), &QAbstractItemModel::dataChanged);
        // A walk's steps, far more of them than a screen can show.
        for (int step = 1; step <= 500; ++step) {
            big->currentEncryptSize = step * 40;
            big->cell->itemChanged();
        }
        QCOMPARE(w.main->itemModel()->cell(0).progress, 0.2);  // the value is current at once
        QCOMPARE(repaints.size(), 0);
        QTRY_COMPARE(repaints.size(), 1);
        QTest::qWait(ItemListModel::kRepaintIntervalMs * 3);
        QCOMPARE(repaints.size(), 1);
    }

    void eyeButtonWaitsAndRefusesBusyRows() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [a, b] = addWorkGroup(*w.main, QStringLiteral("a.txt"), QStringLiteral("b.txt"));

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

    void folderButtonShowsAVisibleItemAndCancelButtonsStopTheWalk() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [big, old] = addWorkGroup(*w.main, QStringLiteral("big.iso"), QStringLiteral("old.txt"));
        const ItemDelegate::RowLayout bigRow = layoutOf(*w.main, w.main->itemModel()->rowOf(big.get()));
        const ItemDelegate::RowLayout oldRow = layoutOf(*w.main, w.main->itemModel()->rowOf(old.get()));
        QStringList asked;
        bool desktopAnswers = true;
        FileManager::setHandlerForTests([&](const QString& path) {
            asked << path;
            return desktopAnswers;
        });

        clickAt(*w.main, oldRow.openPathBtn.center());  // hidden: nothing to show
        clickAt(*w.main, bigRow.openPathBtn.center());
        QTRY_COMPARE(asked, QStringList{big->path});
        QTest::qWait(50);
        QVERIFY(!w.main->currentAlert());
        // No file manager answers: the user learns where the item is instead of nothing.
        desktopAnswers = false;
        clickAt(*w.main, bigRow.openPathBtn.center());
        QTRY_VERIFY(w.main->currentAlert());
        QVERIFY(w.main->currentAlert()->informativeText().contains(big->path));
        w.main->currentAlert()->close();

        // While a walk runs the row's button cancels it, and so does the panel's.
        w.main->progressView()->addAnimation();
        big->currentEncryptSize = 250;
        big->cell->itemChanged();
        clickAt(*w.main, bigRow.cancelEncryptBtn.center());
        QCOMPARE(w.main->cancels, 1);
        QCOMPARE(asked.size(), 2);
        QTRY_COMPARE(w.main->progressView()->height(), ProgressPanel::kHeight);
        QTest::mouseClick(w.main->progressView()->encryptCancelBtn(), Qt::LeftButton);
        QCOMPARE(w.main->cancels, 2);
    }

    void actionButtonFollowsItsMode() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [shown, kept] = addWorkGroup(*w.main, QStringLiteral("shown.txt"), QStringLiteral("kept.txt"));
        QPushButton* button = w.main->rightBottom_leftBtn();
        QCOMPARE(w.main->doFileType(), 1);
        QCOMPARE(button->text(), QStringLiteral("Hide All"));

        struct Case {
            const char* name;
            qint64 mode;
            bool selectHidden;
            bool toggles;
            qint64 modeAfter;
            const char* titleAfter;
        };
        const Case cases[] = {
            {"hide a visible item", 2, false, true, 3, "Unhide Selected"},
            {"hide a hidden item: only the mode turns", 2, true, false, 3, "Unhide Selected"},
            {"unhide a hidden item", 3, true, true, 2, "Hide Selected"},
            {"unhide a visible item: only the mode turns", 3, false, false, 2, "Hide Selected"},
        };
        for (const Case& c : cases) {
            const FileModelPtr item = c.selectHidden ? kept : shown;
            select(*w.main, item);
            w.main->setDoFileType(c.mode);
            w.main->toggled.clear();
            QVERIFY2(button->isEnabled(), c.name);
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY2(w.main->toggled.size() == (c.toggles ? 1 : 0), c.name);
            if (c.toggles) {
                QVERIFY2(w.main->toggled.first() == item, c.name);
            }
            QVERIFY2(w.main->doFileType() == c.modeAfter, c.name);
            QVERIFY2(button->text() == QLatin1String(c.titleAfter), c.name);
            w.main->setRowWalkState(item, WalkState::None);
        }

        // A row that is busy takes no second operation from the button.
        select(*w.main, shown);
        w.main->setDoFileType(2);
        w.main->setRowWalkState(shown, WalkState::Hiding);
        QVERIFY(!button->isEnabled());
        w.main->setRowWalkState(shown, WalkState::None);
        QVERIFY(button->isEnabled());

        // Mode 1 hides all, with the panel; mode 4 takes the selected item off the list.
        w.main->setDoFileType(1);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.main->hideAll, 1);
        QVERIFY(w.main->isProgressShown());
        QCOMPARE(w.main->doFileType(), 1);
        w.main->progressView()->removeAnimation();
        QTRY_VERIFY(!w.main->isProgressShown());
        w.main->setDoFileType(4);
        QCOMPARE(button->text(), QStringLiteral("Remove from List"));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!w.main->selected_ItemList.contains(shown));
    }

    void actionMenuOffersWhatApplies() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [shown, kept] = addWorkGroup(*w.main, QStringLiteral("shown.txt"), QStringLiteral("kept.txt"));

        select(*w.main, shown);
        QMenu* menu = w.main->file_itemMenu();
        QCOMPARE(menu->actions().size(), 4);
        QCOMPARE(menuEntry(menu, 1)->text(), QStringLiteral("Hide All"));
        QVERIFY(menuEntry(menu, 1)->isEnabled());
        QVERIFY(menuEntry(menu, 2)->isEnabled());
        QVERIFY(!menuEntry(menu, 3)->isEnabled());
        QVERIFY(menuEntry(menu, 4)->isEnabled());

        select(*w.main, kept);
        menu = w.main->file_itemMenu();
        QVERIFY(!menuEntry(menu, 2)->isEnabled());
        QVERIFY(menuEntry(menu, 3)->isEnabled());

        // Entry 1 unhides all once the mode is past "hide".
        w.main->setDoFileType(3);
        menu = w.main->file_itemMenu();
        QCOMPARE(menuEntry(menu, 1)->text(), QStringLiteral("Unhide All"));
        LogCapture log;
        menuEntry(menu, 1)->trigger();
        QCOMPARE(w.main->unhideAll, 1);
        QCOMPARE(w.main->hideAll, 0);
        QVERIFY(log.contains(QStringLiteral("都不隐藏")));
        // The panel is up: the arrow is gone and nothing else starts.
        QVERIFY(w.main->isProgressShown());
        QVERIFY(w.main->fileItemMenuButton()->isHidden());
        QVERIFY(!w.main->rightBottom_leftBtn()->isEnabled());
        w.main->file_popAction(3);
        QVERIFY(w.main->toggled.isEmpty());
        w.main->progressView()->removeAnimation();
        QVERIFY(w.main->fileItemMenuButton()->isVisible());

        // Entry 3 on the hidden item: mode 3 and a toggle.
        menu = w.main->file_itemMenu();
        menuEntry(menu, 3)->trigger();
        QCOMPARE(w.main->toggled, FileModelList({kept}));
        QCOMPARE(w.main->doFileType(), 3);
        QVERIFY(log.contains(QStringLiteral("显示选中文件")));

        // With a vault that holds nothing hidden, "unhide all" has nothing to act on.
        w.main->setRowWalkState(kept, WalkState::None);
        kept->isEncrtypt = false;
        menu = w.main->file_itemMenu();
        QVERIFY(!menuEntry(menu, 1)->isEnabled());
    }

    void commandsAreRefusedWhileThePanelIsShown() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const FileModelPtr shown = addWorkGroup(*w.main, QStringLiteral("shown.txt"), QStringLiteral("kept.txt")).visible;
        select(*w.main, shown);
        w.main->setDoFileType(2);
        QVERIFY(w.main->canHideSelectedItem());
        w.main->progressView()->addAnimation();

        QVERIFY(!w.main->canHideSelectedItem());
        QVERIFY(!w.main->canUnhideSelectedItem());
        w.main->hideItemAction();
        w.main->unHideItemAction();
        w.main->rightBottom_leftBtnAction();
        w.main->file_popAction(1);
        w.main->file_popAction(2);
        clickEye(*w.main, shown);
        const qsizetype groupRow = sidebarRowOf(*w.main, key(kLocalListKey), 2);
        QVERIFY(!w.main->group_itemMenu(groupRow)->actions().first()->isEnabled());
        w.main->group_popAction(1, groupRow);
        QTest::qWait(MainViewController::kVisableDebounceMs + 100);

        QVERIFY(w.main->toggled.isEmpty());
        QCOMPARE(w.main->hideAll + w.main->unhideAll, 0);
        QVERIFY(w.main->hiddenGroups.isEmpty());
        QCOMPARE(w.main->doFileType(), 2);
        QVERIFY(!w.main->itemModel()->rowEditing(shown.get()));
        QVERIFY(w.main->isProgressShown());
    }

    void fileMenuHideAndUnhideFollowTheSelectedItem() {
        TestEnvironment env;
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QVERIFY(!delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        MainViewController* main = logIn(delegate);
        QVERIFY(QTest::qWaitForWindowExposed(delegate.mainWindow()));
        QVERIFY(main);
        QCOMPARE(delegate.HideItem()->text(), QStringLiteral("Hide Selected Item"));

        // An empty list: nothing to act on.
        QVERIFY(!delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        const auto [shown, kept] = addWorkGroup(*main, QStringLiteral("shown.txt"), QStringLiteral("kept.txt"));
        select(*main, shown);
        QVERIFY(delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        select(*main, kept);
        QVERIFY(!delegate.HideItem()->isEnabled() && delegate.UnHideItem()->isEnabled());

        main->progressView()->addAnimation();
        QVERIFY(!delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        main->progressView()->removeAnimation();
        QVERIFY(delegate.UnHideItem()->isEnabled());

        // The notes have no such items; back in the group, its first item is selected.
        main->leftMouseUp(sidebarRowOf(*main, key(kNotesListKey), 1));
        QVERIFY(!delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        main->leftMouseUp(sidebarRowOf(*main, key(kLocalListKey), 2));
        QVERIFY(delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
        select(*main, kept);

        // The command sets the action button's mode (unhide leaves "hide" as the next step).
        delegate.UnHideItem()->trigger();
        QCOMPARE(main->doFileType(), 2);
        QCOMPARE(main->rightBottom_leftBtn()->text(), QStringLiteral("Hide Selected"));

        delegate.lockTessaroAction();
        QTRY_VERIFY(delegate.loginView());
        QVERIFY(!delegate.HideItem()->isEnabled() && !delegate.UnHideItem()->isEnabled());
    }

    void firstClickOnAnEyeAfterAKeyboardLoginToggles() {
        testing::LoggedInApp app;
        QVERIFY(app.shown());
        MainViewController* main = app.main;
        const auto [shown, kept] = addWorkGroup(*main, QStringLiteral("shown.txt"), QStringLiteral("kept.txt"));
        QCOMPARE(main->selectedItem(), shown);
        clickEye(*main, kept);
        QVERIFY(main->itemModel()->rowEditing(kept.get()));
    }

    void selectionFollowsItsItemAcrossResortsSearchesAndRebuilds() {
        OpenWindow w;
        QVERIFY(w.exposed());
        GroupModelPtr group = addGroup(*w.main, QStringLiteral("Work"),
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
        QCOMPARE(w.main->rightBottom_leftBtn()->text(), QStringLiteral("Hide Selected"));
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
        OpenWindow w;
        QVERIFY(w.exposed());
        QList<std::pair<QString, bool>> many;
        for (int i = 0; i < 40; ++i) {
            many.append({QStringLiteral("item %1.txt").arg(i, 2, 10, QLatin1Char('0')), true});
        }
        GroupModelPtr group = addGroup(*w.main, QStringLiteral("Work"), many);
        const QRect view = w.main->itemListView()->viewport()->rect();
        auto inView = [&](const FileModelPtr& item) {
            const QModelIndex index = w.main->itemModel()->index(static_cast<int>(w.main->itemModel()->rowOf(item.get())));
            return view.contains(w.main->itemListView()->visualRect(index));
        };
        using VC = vault::VaultController;
        const FileModelPtr last = group->fileModels->last();
        QVERIFY(!inView(last));
        emit w.main->vaultController()->walkStarted(last, VC::Kind::Unhide, true);
        QVERIFY(inView(last));
        // A new row comes into view with its add (the newest goes first when descending).
        w.main->sortpopAction(kSortDescending);
        w.main->itemListView()->scrollToBottom();
        QVERIFY(!inView(last));
        emit w.main->vaultController()->added({last}, group->index);
        QVERIFY(inView(last));
        w.main->setRowWalkState(last, WalkState::None);
    }

    void droppedFilesReachTheAdd() {
        OpenWindow w;
        QVERIFY(w.exposed());
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
        addGroup(*w.main, QStringLiteral("Work"), {{QStringLiteral("a.txt"), true}});
        sendDrop(target, {QUrl::fromLocalFile(file)}, &accepted);
        QTRY_COMPARE(w.main->added.size(), 2);
        QCOMPARE(w.main->added.last(), QStringList({file}));
    }

    void openPanelChoiceReachesTheAdd() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const QStringList chosen = {w.env.base() + QStringLiteral("/a.txt"), w.env.base() + QStringLiteral("/Folder")};
        LogCapture log;
        ModalSeam::nextFileNames(chosen);
        // A double click asks once.
        QTest::mouseClick(w.main->addFileButton(), Qt::LeftButton);
        QTest::mouseClick(w.main->addFileButton(), Qt::LeftButton);
        QTRY_COMPARE(w.main->added.size(), 1);
        QCOMPARE(w.main->added.first(), chosen);
        const ModalSeam::OpenPanelRequest& asked = ModalSeam::lastOpenPanel();
        QVERIFY(asked.canChooseFiles && asked.canChooseDirectories && asked.allowsMultipleSelection);
        QVERIFY(asked.canCreateDirectories);
        QCOMPARE(asked.directory, QDir::homePath());
        QVERIFY(log.contains(QStringLiteral("add file to app")));

        // Cancelled: nothing is added. The panel opened where the last choice was made.
        ModalSeam::nextFileNames({});
        w.main->addFileAction();
        QTest::qWait(MainViewController::kAddDebounceMs + 700);
        QCOMPARE(w.main->added.size(), 1);
        QCOMPARE(ModalSeam::lastOpenPanel().directory, w.env.base());
    }

    void openPanelTakesFoldersAsTheyAre() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const QString pick = w.env.base() + QStringLiteral("/pick");
        QVERIFY(QDir().mkpath(pick + QStringLiteral("/Photos")));
        QVERIFY(TestEnvironment::writeFile(pick + QStringLiteral("/notes.txt"), "x"));

        struct Case {
            const char* typed;
            QStringList expected;
        };
        const Case cases[] = {
            {R"("Photos" "notes.txt")", {pick + QStringLiteral("/Photos"), pick + QStringLiteral("/notes.txt")}},
            {"Photos", {pick + QStringLiteral("/Photos")}},
            {"notes.txt", {pick + QStringLiteral("/notes.txt")}},
        };
        for (const Case& c : cases) {
            std::optional<QStringList> got;
            ModalSeam::OpenPanelRequest request;
            request.directory = pick;
            ModalSeam::openPanel(w.main, request, [&got](const QStringList& paths) { got = paths; });
            auto* dialog = w.main->findChild<QFileDialog*>(QStringLiteral("openPanel"));
            QVERIFY(dialog);
            // All at once, as a paste: typed letter by letter into a field without the
            // keyboard focus, the dialog would keep selecting each partial name.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromUtf8(c.typed));
            QAbstractButton* accept = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Open);
            QVERIFY(accept);
            QTRY_VERIFY(accept->isEnabled());
            QTest::mouseClick(accept, Qt::LeftButton);
            QTRY_VERIFY2(got.has_value(), c.typed);
            QCOMPARE(*got, c.expected);
            QTRY_VERIFY(!w.main->findChild<QFileDialog*>(QStringLiteral("openPanel")));
        }

        // Return on a folder is a place to go, whether its name or its whole path was typed
        // or it was selected in the list: the panel opens it and stays; only its button adds.
        for (const char* how : {"name", "path", "list"}) {
            std::optional<QStringList> got;
            ModalSeam::OpenPanelRequest request;
            request.directory = pick;
            ModalSeam::openPanel(w.main, request, [&got](const QStringList& paths) { got = paths; });
            auto* dialog = w.main->findChild<QFileDialog*>(QStringLiteral("openPanel"));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QWidget* target = name;
            if (qstrcmp(how, "list") == 0) {
                auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
                QTRY_VERIFY(list->model()->rowCount(list->rootIndex()) == 2);
                const QModelIndexList photos =
                    list->model()->match(list->model()->index(0, 0, list->rootIndex()), Qt::DisplayRole, QStringLiteral("Photos"));
                QCOMPARE(photos.size(), 1);
                list->setCurrentIndex(photos.first());
                target = list;
            } else if (qstrcmp(how, "name") == 0) {
                // Letter by letter, as typed: the name completes in a list that has the keys.
                dialog->activateWindow();
                name->setFocus();
                QTest::keyClicks(name, QStringLiteral("Photos"));
            } else {
                name->setText(pick + QStringLiteral("/Photos"));
            }
            QTest::keyClick(target, Qt::Key_Return);
            QTRY_COMPARE(QDir::cleanPath(dialog->directory().absolutePath()), pick + QStringLiteral("/Photos"));
            QTest::qWait(50);
            QVERIFY2(!got.has_value(), how);
            QTest::keyClick(dialog, Qt::Key_Escape);
            QTRY_VERIFY(got.has_value());
            QVERIFY(got->isEmpty());
            QTRY_VERIFY(!w.main->findChild<QFileDialog*>(QStringLiteral("openPanel")));
        }
    }

    // A record whose paths would lead out of the vault (as a catalogue file may say) is
    // shown as damaged, with the reason; its eye button, the action button, the File menu
    // and its folder button each say why nothing happens, and nothing reaches the library.
    void aDamagedRecordSaysWhyEveryCommandIsRefused() {
        OpenWindow w;
        QVERIFY(w.exposed());
        const auto [shown, hidden] = addWorkGroup(*w.main, QStringLiteral("a.txt"), QStringLiteral("b.txt"));
        shown->encryptedPath = QStringLiteral("11-22/../../..");
        shown->damage = *recordDamage(*shown);
        w.main->setRightScrollView();
        QCOMPARE(lookOf(*w.main, shown).stateText, ui::text("damagedLabel.stringValue"));
        QVERIFY(!lookOf(*w.main, shown).openPathEnabled);
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
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<ItemCommandsTest>(argc, argv); }

#include "tst_item_commands.moc"
