// The main window's commands on items: adding (open panel and drops), the item list's
// action button and its menu, the File menu's hide and unhide, the rows' eye buttons and the
// group rows' menu. Each refuses what would overlap a running walk and then hands over to
// the vault library (main_view_controller_hooks.cpp).
#include "app/main_view_controller.h"

#include "app/context_menus.h"
#include "app/drive_vaults.h"
#include "app/item_list_view.h"
#include "app/progress_panel.h"
#include "app/ui_resources.h"
#include "app/window_log_lines.h"
#include "controls/modal_seam.h"
#include "controls/ts_palette.h"
#include "core/log.h"
#include "core/record_check.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace tessaro {

namespace {

// The open panel's choice reaches the add this much later, once the panel is gone.
constexpr int kAddAfterPanelMs = 500;

QString actionTitle(qint64 mode) {
    return LanguageBundle::localizedStringForKey(QStringLiteral("file_Item%1").arg(mode));
}

void logWindow(const char* line) { logLine(QString::fromUtf8(line)); }

}  // namespace

QWidget* MainViewController::buildItemBar(QWidget* itemPane) {
    auto* itemBar = new QWidget(itemPane);
    itemBar->setObjectName(QStringLiteral("itemBar"));
    itemBar->setFixedHeight(48);
    itemBar->setStyleSheet(QStringLiteral(
        "#itemBar { background: #ffffff; border-top: 1px solid #dedfe4; }"
        "QPushButton { border: 1px solid #d5d7de; border-radius: 7px; padding: 5px 12px; background: #ffffff; color: #2c2c2f; }"
        "QPushButton:hover { background: #f1f3f7; }"
        "QPushButton:disabled { color: #b4b6bd; border-color: #e6e7eb; }"
        "QPushButton#addFileButton { border-color: #0E7C74; color: #0E7C74; font-weight: 600; }"
        "QPushButton#addFileButton:hover { background: #E3F4F1; }"
        // The action button and its arrow read as one split button.
        "QPushButton#rightBottom_leftBtn[split=\"true\"] { border-top-right-radius: 0; border-bottom-right-radius: 0; }"
        "QToolButton#fileItemMenuButton { border: 1px solid #d5d7de; border-left: none; background: #ffffff;"
        "  border-top-right-radius: 7px; border-bottom-right-radius: 7px; padding: 5px 7px; }"
        "QToolButton#fileItemMenuButton:hover { background: #f1f3f7; }"
        "QToolButton#fileItemMenuButton::menu-indicator { image: none; width: 0; }"
        "QLabel { color: #787a82; }"));
    auto* layout = new QHBoxLayout(itemBar);
    layout->setContentsMargins(14, 8, 14, 8);
    layout->setSpacing(8);
    addFileButton_ = new QPushButton(itemBar);
    addFileButton_->setObjectName(QStringLiteral("addFileButton"));
    addFileButton_->setIcon(ui::picture(QStringLiteral("About/addFileBtn.png")));
    addFileButton_->setIconSize(QSize(16, 16));
    connect(addFileButton_, &QPushButton::clicked, this, &MainViewController::addFileAction);
    addGroupButton_ = new QPushButton(itemBar);
    addGroupButton_->setObjectName(QStringLiteral("addGroupButton"));
    addGroupButton_->setIcon(ui::picture(QStringLiteral("About/AddGroupForUP.png")));
    addGroupButton_->setIconSize(QSize(16, 16));
    connect(addGroupButton_, &QPushButton::clicked, this, &MainViewController::addGroupBtnAction);
    // Until drives are on, the button says so rather than doing nothing when clicked.
    addGroupButton_->setEnabled(kDriveVaultsAvailable);
    itemCountLabel_ = new QLabel(itemBar);
    itemCountLabel_->setObjectName(QStringLiteral("itemCountLabel"));

    rightBottom_leftBtn_ = new QPushButton(itemBar);
    rightBottom_leftBtn_->setObjectName(QStringLiteral("rightBottom_leftBtn"));
    rightBottom_leftBtn_->setProperty("split", true);
    connect(rightBottom_leftBtn_, &QPushButton::clicked, this, &MainViewController::rightBottom_leftBtnAction);
    fileItemMenuButton_ = new QToolButton(itemBar);
    fileItemMenuButton_->setObjectName(QStringLiteral("fileItemMenuButton"));
    fileItemMenuButton_->setIcon(ui::picture(QStringLiteral("About/DropDownMenuIcon.png")));
    fileItemMenuButton_->setIconSize(QSize(12, 12));
    fileItemMenu_ = new QMenu(fileItemMenuButton_);
    fileItemMenu_->setObjectName(QStringLiteral("fileItemMenu"));
    connect(fileItemMenu_, &QMenu::triggered, this, [this](QAction* action) { file_popAction(action->data().toInt()); });
    connect(fileItemMenuButton_, &QToolButton::clicked, this, &MainViewController::popUpFileItemMenu);

    auto* split = new QHBoxLayout;
    split->setSpacing(0);
    split->addWidget(rightBottom_leftBtn_);
    split->addWidget(fileItemMenuButton_);
    layout->addWidget(addFileButton_);
    layout->addWidget(addGroupButton_);
    layout->addStretch(1);
    layout->addWidget(itemCountLabel_);
    layout->addSpacing(6);
    layout->addLayout(split);
    return itemBar;
}

bool MainViewController::isProgressShown() const { return progressView_->isProgressShown() || walkRunning(); }

// ---- Adding ----------------------------------------------------------------------------

void MainViewController::addFileAction() {
    logWindow(windowlog::kAddFileToApp);
    addFileDebounce_.start();
}

void MainViewController::addFilesAction() {
    logWindow(windowlog::kAddFileToApp);
    controls::ModalSeam::OpenPanelRequest request;
    request.title = ui::text("openPanel.title");
    // Where the last choice was made: files are often added from one folder in turns.
    request.directory = lastAddDirectory_.isEmpty() ? QDir::homePath() : lastAddDirectory_;
    request.acceptLabel = ui::text("openPanel.choose");
    QPointer<MainViewController> self(this);
    controls::ModalSeam::openPanel(this, request, [self](const QStringList& paths) {
        if (!self || paths.isEmpty()) {
            return;
        }
        self->lastAddDirectory_ = QFileInfo(paths.first()).absolutePath();
        QTimer::singleShot(kAddAfterPanelMs, self, [self, paths] { self->AddFileActionForPaths(paths); });
        emit self->userActionPerformed();
    });
}

void MainViewController::dropFilesAction(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    logWindow(windowlog::kDropFinished);
    // On the next turn, so that the other application's drag ends before the add begins.
    QTimer::singleShot(0, this, [this, paths] { AddFileActionForPaths(paths); });
    emit userActionPerformed();
}

// ---- Rows ------------------------------------------------------------------------------

FileModelPtr MainViewController::selectedItem() const {
    if (selectGroup_ItemIndex < 0 || selectGroup_ItemIndex >= selected_ItemList.size() || isShowingNotes()) {
        return nullptr;
    }
    return selected_ItemList[selectGroup_ItemIndex];
}

void MainViewController::selectItemAtRow(qsizetype shownRow) {
    if (shownRow < 0 || shownRow >= selected_ItemList.size()) {
        return;
    }
    selectGroup_ItemIndex = shownRow;
    selectedRecord_ = selected_ItemList[shownRow];
    itemModel_->setSelectedRow(shownRow);
    updateItemControls();
}

void MainViewController::setRowWalkState(const FileModelPtr& item, WalkState state) {
    itemModel_->setRowWalkState(item, state);
    updateItemControls();
}

bool MainViewController::beginToggle(qsizetype shownRow) {
    if (isProgressShown() || shownRow < 0 || shownRow >= selected_ItemList.size()) {
        return false;
    }
    const FileModelPtr& item = selected_ItemList[shownRow];
    if (itemModel_->rowEditing(item.get()) || refusedAsDamaged(*item)) {
        return false;
    }
    itemModel_->setRowEditing(item, true);
    updateItemControls();
    return true;
}

bool MainViewController::refusedAsDamaged(const FileModel& item) {
    const std::optional<QString> damage = recordDamage(item);
    if (!damage) {
        return false;
    }
    showAlert(ui::text("damagedRecord.title"), ui::text("damagedRecord.message").arg(item.path, *damage));
    return true;
}

void MainViewController::visableBtnAction(qsizetype shownRow) {
    // The row stays editing until its toggle ends, so further clicks are refused by
    // beginToggle and there is never an earlier request to cancel.
    if (!beginToggle(shownRow)) {
        return;
    }
    const std::weak_ptr<FileModel> pending = selected_ItemList[shownRow];
    QTimer::singleShot(kVisableDebounceMs, this, [this, pending] {
        const FileModelPtr item = pending.lock();
        if (!item) {
            return;
        }
        // The list may have been rebuilt meanwhile, and another walk may have started.
        const qsizetype row = selected_ItemList.indexOf(item);
        if (row < 0 || isProgressShown()) {
            itemModel_->setRowEditing(item, false);
            updateItemControls();
            return;
        }
        visableChange(row);
    });
    emit userActionPerformed();
}

void MainViewController::setModeAndToggleSelectedItemIf(qint64 mode, bool hidden) {
    setDoFileType(mode);
    const FileModelPtr item = selectedItem();
    if (item && item->isEncrtypt == hidden && beginToggle(selectGroup_ItemIndex)) {
        visableChange(selectGroup_ItemIndex);
    }
}

// ---- The action button and its menu ----------------------------------------------------

void MainViewController::setDoFileType(qint64 mode) {
    doFileType_ = std::clamp<qint64>(mode, 1, 4);
    rightBottom_leftBtn_->setText(actionTitle(doFileType_));
    updateItemControls();
}

void MainViewController::setDoFileTypeForSelectedItem() {
    const FileModelPtr item = selectedItem();
    setDoFileType(item && item->isEncrtypt ? 3 : 2);
}

bool MainViewController::shownVaultHas(bool hidden) const {
    const RowList* rows = selectedRows();
    if (!rows || catalogue.selectGroupName == QLatin1String(kNotesListKey)) {
        return false;
    }
    for (const GroupModelPtr& row : *rows) {
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& item : std::as_const(*row->fileModels)) {
            if (item->isEncrtypt == hidden) {
                return true;
            }
        }
    }
    return false;
}

bool MainViewController::actionButtonApplies() const {
    switch (doFileType_) {
    case 1: return shownVaultHas(false);
    case 2:
    case 3: {
        const FileModelPtr item = selectedItem();
        return item && !itemModel_->rowEditing(item.get());
    }
    case 4: {
        const FileModelPtr item = selectedItem();
        return item && !itemModel_->rowEditing(item.get());
    }
    default: return false;
    }
}

void MainViewController::updateItemControls() {
    const bool busy = isProgressShown();
    rightBottom_leftBtn_->setEnabled(!busy && actionButtonApplies());
    // The arrow's menu starts walks of its own: it is offered only while none runs. The
    // button alone then has all its corners rounded.
    fileItemMenuButton_->setVisible(!busy);
    if (rightBottom_leftBtn_->property("split").toBool() == busy) {
        rightBottom_leftBtn_->setProperty("split", !busy);
        rightBottom_leftBtn_->style()->unpolish(rightBottom_leftBtn_);
        rightBottom_leftBtn_->style()->polish(rightBottom_leftBtn_);
    }
    emit itemCommandsChanged();
}

void MainViewController::rightBottom_leftBtnAction() {
    if (isProgressShown()) {
        return;
    }
    switch (doFileType_) {
    case 1:
        // The button reads "hide all", so a click hides all, as the menu's first entry does.
        file_popAction(1);
        return;
    case 2: setModeAndToggleSelectedItemIf(3, false); break;
    case 3: setModeAndToggleSelectedItemIf(2, true); break;
    case 4: file_popAction(4); return;
    default: setDoFileType(doFileType_); break;
    }
    emit userActionPerformed();
}

QMenu* MainViewController::file_itemMenu() {
    fileItemMenu_->clear();
    applyCommandMenuLook(fileItemMenu_);

    const bool hidesAll = doFileType_ == 1 || doFileType_ == 2;
    const FileModelPtr item = selectedItem();
    const bool editing = item && itemModel_->rowEditing(item.get());
    const bool idle = !isProgressShown();
    const struct {
        int tag;
        QString key;
        bool applies;
    } entries[] = {
        {1, hidesAll ? QStringLiteral("file_Item1") : QStringLiteral("file_Item0"), idle && shownVaultHas(!hidesAll)},
        {2, QStringLiteral("file_Item2"), idle && item && !editing && !item->isEncrtypt},
        {3, QStringLiteral("file_Item3"), idle && item && !editing && item->isEncrtypt},
        {4, QStringLiteral("file_Item4"), idle && item && !editing},
    };
    for (const auto& entry : entries) {
        addCommand(fileItemMenu_, LanguageBundle::localizedStringForKey(entry.key), entry.tag, entry.applies);
    }
    return fileItemMenu_;
}

void MainViewController::popUpFileItemMenu() {
    if (isProgressShown()) {
        return;
    }
    QMenu* menu = file_itemMenu();
    // Just above the bar, not over its edge, right edges aligned: the bar is the window's
    // bottom edge.
    const QSize size = menu->sizeHint();
    const QWidget* bar = fileItemMenuButton_->parentWidget();
    const int right = fileItemMenuButton_->mapTo(bar, QPoint(fileItemMenuButton_->width(), 0)).x();
    menu->popup(bar->mapToGlobal(QPoint(right - size.width(), -size.height() - 2)));
}

void MainViewController::file_popAction(std::optional<int> tag) {
    if (!tag) {
        rightBottom_leftBtn_->setText(actionTitle(doFileType_));
        return;
    }
    if (isProgressShown()) {
        return;
    }
    switch (*tag) {
    case 1:
        progressView_->addAnimation();
        everyItemBatchHides_ = doFileType_ == 1 || doFileType_ == 2;
        if (*everyItemBatchHides_) {
            logWindow(windowlog::kHideAll);
            hideAllShown();
        } else {
            logWindow(windowlog::kUnhideAll);
            unhideAllShown();
        }
        setRightScrollView();
        break;
    case 2:
        logWindow(windowlog::kHideSelected);
        setModeAndToggleSelectedItemIf(2, false);
        break;
    case 3:
        logWindow(windowlog::kUnhideSelected);
        setModeAndToggleSelectedItemIf(3, true);
        break;
    case 4:
        setDoFileType(4);
        logWindow(windowlog::kRemoveSelected);
        if (const FileModelPtr item = selectedItem()) {
            removeFromListAction(item);
        }
        return;  // the removal re-arms the idle timer itself, or not, as it goes
    default: return;
    }
    emit userActionPerformed();
}

// ---- File menu -------------------------------------------------------------------------

bool MainViewController::canHideSelectedItem() const {
    const FileModelPtr item = selectedItem();
    return !isProgressShown() && item && !item->isEncrtypt && !itemModel_->rowEditing(item.get());
}

bool MainViewController::canUnhideSelectedItem() const {
    const FileModelPtr item = selectedItem();
    return !isProgressShown() && item && item->isEncrtypt && !itemModel_->rowEditing(item.get());
}

// The mode each sets is the one that undoes it.
void MainViewController::hideItemAction() {
    if (!isProgressShown()) {
        setModeAndToggleSelectedItemIf(3, false);
        emit userActionPerformed();
    }
}

void MainViewController::unHideItemAction() {
    if (!isProgressShown()) {
        setModeAndToggleSelectedItemIf(2, true);
        emit userActionPerformed();
    }
}

}  // namespace tessaro
