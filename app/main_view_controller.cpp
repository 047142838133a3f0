#include "app/main_view_controller.h"

#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/file_manager.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/notes_pane.h"
#include "app/progress_panel.h"
#include "app/shell_style.h"
#include "app/sidebar_model.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "controls/ts_palette.h"
#include "core/item_sorting.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "crypto/help_class.h"
#include "crypto/restored_mark.h"
#include "vault/vault_controller.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaro {

namespace {

bool vaultMounted(const QString& vaultKey) { return QFileInfo::exists(Volumes::pathFor(vaultKey)); }

QString localKey() { return QString::fromLatin1(kLocalListKey); }
QString notesKey() { return QString::fromLatin1(kNotesListKey); }

}  // namespace

MainViewController::MainViewController(CustomWindow& window, std::optional<UpLibrary> handedOver, QWidget* parent)
    : QWidget(parent), window_(window), handedOver_(std::move(handedOver)) {
    setObjectName(QStringLiteral("MainViewController"));
    addFileDebounce_.setSingleShot(true);
    addFileDebounce_.setInterval(kAddDebounceMs);
    addGroupDebounce_.setSingleShot(true);
    addGroupDebounce_.setInterval(kAddDebounceMs);
    connect(&addFileDebounce_, &QTimer::timeout, this, &MainViewController::addFilesAction);
    connect(&addGroupDebounce_, &QTimer::timeout, this, &MainViewController::addGroupAction);

    const QStringList trustedDrives = handedOver_ ? handedOver_->keys() : QStringList();
    buildInterface();
    setUp();
    closeForeignDriveVaults(trustedDrives);
    addUSBNotification();
    setLeftScrollView();
    sortpopAction(std::nullopt);
    connectVault();
}

MainViewController::~MainViewController() {
    removeScreenSizeChangeNotification();
    // The worker goes first: a walk still running stops at its next chunk.
    vault_.reset();
}

void MainViewController::buildInterface() {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, style::windowBackground());
    setPalette(pal);

    // The lists' scroll bars: a mid-grey handle that is plain to see on every background
    // of the window, darker under the pointer, on a track that stays quiet.
    setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: #f0f1f4; width: 12px; margin: 0; border: none; }"
        "QScrollBar::handle:vertical { background: #b4b7bf; min-height: 32px; border-radius: 4px; margin: 2px 2px; }"
        "QScrollBar::handle:vertical:hover, QScrollBar::handle:vertical:pressed { background: #8e929c; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; border: none; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Title bar: lock button, sort button, search field.
    auto* titleBar = new QWidget(this);
    titleBar->setObjectName(QStringLiteral("titleBar"));
    titleBar->setFixedHeight(48);
    titleBar->setStyleSheet(QStringLiteral(
        "#titleBar { background: #ffffff; border-bottom: 1px solid #dedfe4; }"
        "QToolButton { border: 1px solid transparent; border-radius: 6px; padding: 4px 10px; color: #2c2c2f; }"
        "QToolButton:hover { background: #eef0f4; border-color: #dedfe4; }"
        "QToolButton::menu-indicator { image: none; width: 0; }"
        "QLineEdit { border: 1px solid #d5d7de; border-radius: 7px; padding: 4px 8px; background: #f6f7f9; }"
        "QLineEdit:focus { border-color: #0E7C74; background: #ffffff; }"));
    auto* bar = new QHBoxLayout(titleBar);
    bar->setContentsMargins(10, 6, 12, 6);
    bar->setSpacing(8);
    lockButton_ = new QToolButton(titleBar);
    lockButton_->setObjectName(QStringLiteral("lockButton"));
    lockButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    lockButton_->setIcon(ui::picture(QStringLiteral("About/LockButtonIcon.png")));
    lockButton_->setIconSize(QSize(16, 16));
    connect(lockButton_, &QToolButton::clicked, this, &MainViewController::lockTessaroAction);
    bar->addWidget(lockButton_);
    bar->addStretch(1);
    sortButton_ = new QToolButton(titleBar);
    sortButton_->setObjectName(QStringLiteral("sortButton"));
    sortButton_->setPopupMode(QToolButton::InstantPopup);
    sortButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sortButton_->setIcon(ui::picture(QStringLiteral("About/DropDownMenuIcon.png")));
    sortButton_->setLayoutDirection(Qt::RightToLeft);  // the arrow after the text
    sortMenu_ = new QMenu(sortButton_);
    sortMenu_->setObjectName(QStringLiteral("sortMenu"));
    connect(sortMenu_, &QMenu::aboutToShow, this, &MainViewController::applicationDockMenu);
    connect(sortMenu_, &QMenu::triggered, this, [this](QAction* action) {
        if (isShowingNotes()) {
            NotesSortpopAction(action->data().toInt());
        } else {
            sortpopAction(action->data().toInt());
        }
    });
    sortButton_->setMenu(sortMenu_);
    bar->addWidget(sortButton_);
    searchField_ = new QLineEdit(titleBar);
    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setClearButtonEnabled(true);
    searchField_->setFixedWidth(220);
    connect(searchField_, &QLineEdit::textChanged, this, &MainViewController::controlTextDidChange);
    bar->addWidget(searchField_);
    root->addWidget(titleBar);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    root->addLayout(body, 1);

    // Sidebar: the groups, and below them the progress panel while a walk runs.
    auto* sidebarColumn = new QWidget(this);
    sidebarColumn->setObjectName(QStringLiteral("sidebarColumn"));
    sidebarColumn->setFixedWidth(232);
    auto* sidebarLayout = new QVBoxLayout(sidebarColumn);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(0);
    sidebarView_ = new QListView(sidebarColumn);
    sidebarView_->setObjectName(QStringLiteral("sidebar"));
    sidebarView_->setFrameShape(QFrame::NoFrame);
    sidebarView_->setSelectionMode(QAbstractItemView::NoSelection);
    sidebarView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sidebarView_->setMouseTracking(true);
    sidebarView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sidebarView_->setStyleSheet(QStringLiteral("QListView#sidebar { background: #eeeff2; border-right: 1px solid #dedfe4; padding-top: 6px; }"));
    sidebarModel_ = new SidebarModel(this);
    sidebarDelegate_ = new SidebarDelegate(this);
    sidebarView_->setModel(sidebarModel_);
    sidebarView_->setItemDelegate(sidebarDelegate_);
    connect(sidebarView_, &QListView::clicked, this, [this](const QModelIndex& index) { leftMouseUp(index.row()); });
    connect(sidebarModel_, &SidebarModel::groupNameEdited, this, &MainViewController::endEditName);
    connect(sidebarDelegate_, &QAbstractItemDelegate::closeEditor, this, [this](QWidget*, QAbstractItemDelegate::EndEditHint) {
        // Escape closes the editor without a new name: the group keeps the one it has,
        // and editing still ends (the notes list is stored then).
        for (qsizetype i = 0; i < sidebarEntries_.size(); ++i) {
            if (sidebarEntries_[i].group && sidebarEntries_[i].group->isEditing) {
                endEditName(i, sidebarEntries_[i].group->name);
            }
        }
    });
    sidebarView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sidebarView_, &QListView::customContextMenuRequested, this, &MainViewController::showGroupMenu);
    groupMenu_ = new QMenu(this);
    groupMenu_->setObjectName(QStringLiteral("groupMenu"));
    sidebarLayout->addWidget(sidebarView_, 1);
    progressView_ = new ProgressPanel(sidebarColumn);
    connect(progressView_, &ProgressPanel::cancelClicked, this, &MainViewController::encryptCancelBtnAction);
    connect(progressView_, &ProgressPanel::shownChanged, this, &MainViewController::updateItemControls);
    sidebarLayout->addWidget(progressView_);
    body->addWidget(sidebarColumn);

    // Right side: the item pane and the notes pane.
    rightStack_ = new QStackedWidget(this);
    body->addWidget(rightStack_, 1);
    // The item commands apply to the item pane only.
    connect(rightStack_, &QStackedWidget::currentChanged, this, &MainViewController::updateItemControls);

    auto* itemPane = new QWidget(rightStack_);
    auto* itemLayout = new QVBoxLayout(itemPane);
    itemLayout->setContentsMargins(0, 0, 0, 0);
    itemLayout->setSpacing(0);
    itemView_ = new ItemListView(itemPane);
    itemView_->setObjectName(QStringLiteral("itemList"));
    itemView_->setFrameShape(QFrame::NoFrame);
    itemView_->setUniformItemSizes(true);
    itemView_->setMouseTracking(true);
    itemView_->setSelectionMode(QAbstractItemView::NoSelection);
    itemView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    itemView_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    itemModel_ = new ItemListModel(this);
    itemDelegate_ = new ItemDelegate(this);
    itemView_->setModel(itemModel_);
    itemView_->setItemDelegate(itemDelegate_);
    itemView_->setAcceptsFileDrops(true);
    connect(itemView_, &ItemListView::filesDropped, this, &MainViewController::dropFilesAction);
    connect(itemView_, &QListView::clicked, this, [this](const QModelIndex& index) { selectItemAtRow(index.row()); });
    connect(itemDelegate_, &ItemDelegate::cancelEnBlock, this, [this](qsizetype) { encryptCancelBtnAction(); });
    connect(itemDelegate_, &ItemDelegate::visableChangeBlock, this, &MainViewController::visableBtnAction);
    connect(itemDelegate_, &ItemDelegate::openfileofpathBlock, this, [this](qsizetype row) {
        // Revealing a file while a walk may be moving it would show a half-written state.
        if (!isProgressShown()) {
            emit showInFileManagerRequested(itemModel_->items().at(row));
        }
    });
    connect(this, &MainViewController::showInFileManagerRequested, this, &MainViewController::showInFileManager);
    itemLayout->addWidget(itemView_, 1);
    itemLayout->addWidget(buildItemBar(itemPane));
    rightStack_->addWidget(itemPane);

    notesPane_ = new NotesPane(*this, rightStack_);
    notesView_ = notesPane_->listView();
    rightStack_->addWidget(notesPane_);

    installContextMenus();
    langeuageAction();
}

void MainViewController::langeuageAction() {
    walk::setRestoredMarks(ui::text("restoredMark.first"), ui::text("restoredMark.numbered"));
    lockButton_->setText(QStringLiteral("  %1").arg(ui::text("lockFileBtn.title")));
    searchField_->setPlaceholderText(ui::text("searchField.placeholderString"));
    searchField_->setAccessibleName(searchField_->placeholderText());
    sidebarView_->setAccessibleName(ui::text("sidebar.accessibleName"));
    itemView_->setAccessibleName(ui::text("itemList.accessibleName"));
    itemMenu_->setAccessibleName(ui::text("itemMenu.accessibleName"));
    noteMenu_->setAccessibleName(ui::text("noteMenu.accessibleName"));
    groupMenu_->setAccessibleName(ui::text("groupMenu.accessibleName"));
    progressView_->encryptCancelBtn()->setToolTip(ui::text("encryptCancelBtn.toolTip"));
    progressView_->encryptCancelBtn()->setAccessibleName(progressView_->encryptCancelBtn()->toolTip());
    addFileButton_->setText(ui::text("addFileBtn.title"));
    addGroupButton_->setText(ui::text("addGroupBtn.title"));
    addFileButton_->setToolTip(ui::text("addFileBtn.toolTip"));
    addGroupButton_->setToolTip(ui::text(addGroupButton_->isEnabled() ? "addGroupBtn.toolTip" : "addGroupBtn.unavailable"));
    notesPane_->langeuageAction();
    fileItemMenuButton_->setToolTip(ui::text("file_itemMenu.toolTip"));
    fileItemMenuButton_->setAccessibleName(fileItemMenuButton_->toolTip());
    file_popAction(std::nullopt);
    if (!progressView_->isProgressShown()) {
        progressView_->showCompleted();
    }
    if (sidebarModel_->count() > 0) {
        setLeftScrollView();
        if (isShowingNotes()) {
            NotesSortpopAction(std::nullopt);
        } else {
            sortpopAction(std::nullopt);
        }
    }
}

void MainViewController::setUp() {
    isAscending = true;
    sortType = 1;
    selectGroupIndex = 1;
    selectGroup_ItemIndex = 0;
    catalogue.selectGroupName = localKey();
    catalogue.setUp(std::move(handedOver_), AppDelegate::isFirstRun());
    handedOver_.reset();
}

RowList* MainViewController::selectedRows() {
    const QString& key = catalogue.selectGroupName;
    if (key == localKey()) {
        return &catalogue.groupDirList;
    }
    if (key == notesKey()) {
        return &catalogue.groupNoteList;
    }
    auto it = catalogue.UPLibrary.find(key);
    return it == catalogue.UPLibrary.end() ? nullptr : &it.value();
}

const RowList* MainViewController::selectedRows() const { return const_cast<MainViewController*>(this)->selectedRows(); }

bool MainViewController::selectionIsRemovable() const {
    const QString& key = catalogue.selectGroupName;
    return key != localKey() && key != notesKey();
}

bool MainViewController::isShowingNotes() const { return rightStack_->currentWidget() == notesPane_; }

void MainViewController::setLeftScrollView() {
    sidebarEntries_ = composeSidebar(catalogue.groupDirList, catalogue.UPLibrary, catalogue.groupNoteList, vaultMounted);
    qsizetype selected = findSidebarRow(sidebarEntries_, catalogue.selectGroupName, selectGroupIndex);
    if (selected < 0) {
        // The selected row is gone (its drive was pulled, or its group deleted): fall back
        // to the local all-items group rather than showing a list nobody selected.
        catalogue.selectGroupName = localKey();
        selectGroupIndex = 1;
        selected = findSidebarRow(sidebarEntries_, catalogue.selectGroupName, selectGroupIndex);
    }
    sidebarModel_->setEntries(sidebarEntries_, selected);
    for (qsizetype i = 0; i < sidebarEntries_.size(); ++i) {
        if (sidebarEntries_[i].group && sidebarEntries_[i].group->isEditing) {
            sidebarView_->edit(sidebarModel_->index(static_cast<int>(i)));
        }
    }
    if (selected >= 0 && sidebarEntries_[selected].isGroupNote) {
        rightStack_->setCurrentWidget(notesPane_);
        setNoteTableListView();
        NotesSortpopAction(std::nullopt);
    } else {
        if (isShowingNotes()) {
            notesPane_->flush();
            rightStack_->setCurrentWidget(itemView_->parentWidget());
            sortpopAction(std::nullopt);
        }
        setRightScrollView();
        rightStack_->setCurrentWidget(itemView_->parentWidget());
    }
}

void MainViewController::setRightScrollView() {
    std::shared_ptr<FileModelList> shown;
    RowList* rows = selectedRows();
    if (!searchField_->text().isEmpty()) {
        shown = std::make_shared<FileModelList>(searchFiles);
    } else if (rows && catalogue.selectGroupName != notesKey()) {
        shown = composeItemList(*rows, selectGroupIndex);
    } else {
        shown = std::make_shared<FileModelList>();
    }
    if (sortType == 0) {
        sortType = 1;
    }
    const FileModelPtr inWalk = HelpClass::fileModel();
    sortItemList(*shown, sortType, isAscending, inWalk.get());
    selected_ItemList = *shown;
    itemModel_->setItems(selected_ItemList);
    // The selection follows its item to wherever the new order put it. An item the search
    // leaves out is selected again when it comes back; no other item takes its place.
    if (const FileModelPtr chosen = selectedRecord_.lock()) {
        selectGroup_ItemIndex = selected_ItemList.indexOf(chosen);
    } else if (selectGroup_ItemIndex >= 0 && selectGroup_ItemIndex < selected_ItemList.size()) {
        selectedRecord_ = selected_ItemList[selectGroup_ItemIndex];
    }
    if (selectGroup_ItemIndex >= 0 && selectGroup_ItemIndex < selected_ItemList.size()) {
        itemModel_->setSelectedRow(selectGroup_ItemIndex);
    }
    const bool searching = !searchField_->text().isEmpty();
    itemView_->setPlaceholderText(searching ? ui::text("search.noResults").arg(searchField_->text())
                                            : ui::text("itemList.empty"));
    itemView_->setPlaceholderPicture(searching ? QString() : QStringLiteral("About/DropArrow.png"));
    updateItemCountLabel();
    updateItemControls();
    emit userActionPerformed();
}

void MainViewController::updateItemCountLabel() {
    const qsizetype n = selected_ItemList.size();
    itemCountLabel_->setText(n == 1 ? ui::text("itemCount.one") : ui::text("itemCount.format").arg(n));
}

QString MainViewController::itemCountText() const { return itemCountLabel_->text(); }

void MainViewController::leftMouseUp(qsizetype sidebarRow) {
    if (sidebarRow < 0 || sidebarRow >= sidebarEntries_.size()) {
        return;
    }
    const SidebarEntry entry = sidebarEntries_[sidebarRow];
    {
        const QSignalBlocker block(searchField_);
        searchField_->clear();
        searchFiles.clear();
    }
    catalogue.selectGroupName = entry.groupName;
    if (entry.isAddItem) {
        createGroupFromAddRow(entry);
        return;
    }
    if (!entry.canSelected) {
        return;
    }
    selectGroupIndex = entry.groupRow;
    sidebarModel_->setSelectedRow(sidebarRow);
    selectGroup_ItemIndex = 0;
    selectedRecord_.reset();
    if (entry.isGroupNote) {
        rightStack_->setCurrentWidget(notesPane_);
        setNoteTableListView();
        NotesSortpopAction(std::nullopt);
    } else {
        for (const SidebarEntry& other : std::as_const(sidebarEntries_)) {
            if (other.group && other.group->isEditing && other.group != entry.group) {
                other.group->isEditing = false;
            }
        }
        if (isShowingNotes()) {
            notesPane_->flush();
            rightStack_->setCurrentWidget(itemView_->parentWidget());
            sortpopAction(std::nullopt);
        }
        setRightScrollView();
        rightStack_->setCurrentWidget(itemView_->parentWidget());
    }
}

void MainViewController::createGroupFromAddRow(const SidebarEntry& addRow) {
    RowList* rows = selectedRows();
    if (!rows || rows->isEmpty()) {
        return;
    }
    const bool isNotes = addRow.isGroupNote;
    GroupModelPtr group = makeGroupRow(ui::text("group_Item4"), addRow.groupName, isNotes,
                                       QDateTime::currentSecsSinceEpoch());
    group->isEditing = true;
    rows->insert(rows->size() - 1, group);
    renumberRowList(*rows);
    selectGroupIndex = group->index;
    selectGroup_ItemIndex = 0;
    selectedRecord_.reset();
    if (!isNotes) {
        if (addRow.groupName == localKey()) {
            SaveGroupList(0);
        } else if (vaultMounted(addRow.groupName)) {
            SaveGroupList(1);
        }
    }
    setLeftScrollView();
    emit userActionPerformed();
}

void MainViewController::endEditName(qsizetype sidebarRow, const QString& name) {
    if (sidebarRow < 0 || sidebarRow >= sidebarEntries_.size() || !sidebarEntries_[sidebarRow].group) {
        return;
    }
    const SidebarEntry entry = sidebarEntries_[sidebarRow];
    GroupModel& group = *entry.group;
    if (!group.isEditing && group.name == name) {
        return;
    }
    // A blank name would leave a row nobody can see to click: the group keeps its name.
    if (!name.trimmed().isEmpty()) {
        group.name = name;
    }
    group.isEditing = false;
    if (entry.isGroupNote) {
        SaveGroupList(2);
    } else if (entry.isRemovableVault) {
        SaveGroupList(1);
    } else {
        SaveGroupList(0);
    }
    sidebarEntries_[sidebarRow].title = group.name;
    QTimer::singleShot(0, this, &MainViewController::setLeftScrollView);
    emit userActionPerformed();
}

bool MainViewController::SaveGroupList(int which) {
    const bool saved = catalogue.SaveGroupList(which);
    if (!saved) {
        showAlert(ui::text("catalogueSaveFailed.title"), ui::text("catalogueSaveFailed.message").arg(catalogue.lastError));
    }
    return saved;
}

void MainViewController::showAlert(const QString& headline, const QString& message) {
    if (alert_) {
        // One at a time: a second failure while the first is shown adds its reason.
        alert_->setInformativeText(alert_->informativeText() + QStringLiteral("\n\n") + message);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, ui::text("wenxintishi"), QString(), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("alert"));
    box->setText(headline);
    box->setInformativeText(message);
    box->button(QMessageBox::Ok)->setText(ui::text("alert.ok"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    connect(box, &QMessageBox::finished, this, [this] { emit userActionPerformed(); });
    alert_ = box;
    box->open();
}

QString MainViewController::contentSizeForPath(const FileModel& item) const { return HelpClass::contentSizeForPath(item); }

void MainViewController::sortpopAction(std::optional<int> tag) {
    QString chosenTitle = ui::text("SortbyItem1");
    if (tag) {
        const int t = *tag;
        if (t >= 1 && t <= 6) {
            sortType = t;
        } else if (t == kSortAscending) {
            isAscending = true;
        } else if (t == kSortDescending) {
            isAscending = false;
        }
        chosenTitle = LanguageBundle::localizedStringForKey(QStringLiteral("SortbyItem%1").arg(t));
    } else if (sortType >= 1 && sortType <= 6) {
        chosenTitle = LanguageBundle::localizedStringForKey(QStringLiteral("SortbyItem%1").arg(sortType));
    }
    sortButton_->setText(ui::text("SortBtn.title").arg(chosenTitle));
    if (tag) {
        if (isShowingNotes()) {
            setNoteTableListView();
        } else {
            setRightScrollView();
        }
        emit userActionPerformed();
    }
}

QMenu* MainViewController::applicationDockMenu() {
    sortMenu_->clear();
    if (isShowingNotes()) {
        notesSortMenu();
        return sortMenu_;
    }
    sortMenu_->setFont(controls::menuFont());
    QPalette pal = sortMenu_->palette();
    pal.setColor(QPalette::Text, controls::inkColor());
    pal.setColor(QPalette::WindowText, controls::inkColor());
    sortMenu_->setPalette(pal);
    for (int n = 1; n <= 8; ++n) {
        const QString title = LanguageBundle::localizedStringForKey(QStringLiteral("SortbyItem%1").arg(n));
        if (title.isEmpty()) {
            continue;
        }
        if (n == kSortAscending) {
            sortMenu_->addSeparator();
        }
        QAction* action = sortMenu_->addAction(title);
        action->setData(n);
        action->setFont(controls::menuFont());
        // Only the ticked items are checkable, so that the others draw no empty box.
        const bool ticked = n == sortType || (n == kSortAscending && isAscending) || (n == kSortDescending && !isAscending);
        action->setCheckable(ticked);
        action->setChecked(ticked);
        // A removable drive's items are listed with their state as the drive had it, so
        // sorting by that state is not offered there.
        if (n == kSortByHiddenState && selectionIsRemovable()) {
            action->setEnabled(false);
        }
    }
    return sortMenu_;
}

void MainViewController::controlTextDidChange(const QString& text) {
    searchFiles.clear();
    if (catalogue.selectGroupName == notesKey()) {
        FileModelList all;
        for (const GroupModelPtr& row : std::as_const(catalogue.groupNoteList)) {
            if (row->fileModels) {
                all.append(*row->fileModels);
            }
        }
        searchFiles = searchItems(all, text);
        setNoteTableListView();
    } else {
        // Over what the selected row shows, so that the all-items row searches every group.
        RowList* rows = selectedRows();
        if (rows) {
            searchFiles = searchItems(*composeItemList(*rows, selectGroupIndex), text);
        }
        setRightScrollView();
    }
    emit userActionPerformed();
}

void MainViewController::screenResize(bool fromNotification) {
    if (fromNotification && !iswriteFrameSize) {
        return;
    }
    if (iswriteFrameSize) {
        const QSize size = window_.contentSize();
        SettingsStore::setValue(QString::fromLatin1(keys::mainWindowSizeWidth), static_cast<double>(size.width()));
        SettingsStore::setValue(QString::fromLatin1(keys::mainWindowSizeHeight), static_cast<double>(size.height()));
    }
}

void MainViewController::addScreenSizeChangeNotification() { window_.installEventFilter(this); }

void MainViewController::removeScreenSizeChangeNotification() { window_.removeEventFilter(this); }

bool MainViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_) {
        if (event->type() == QEvent::Resize) {
            screenResize(true);
        } else if (event->type() == QEvent::WindowStateChange) {
            window_.isFullState = window_.isFullScreen();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainViewController::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!appeared_) {
        appeared_ = true;
        viewDidAppear();
    }
}

void MainViewController::viewDidAppear() {
    window_.setContentMinimumSize(QSize(800, 420));
    if (SettingsStore::contains(QString::fromLatin1(keys::mainWindowSizeWidth))) {
        window_.setContentSize(QSize(qRound(SettingsStore::doubleValue(QString::fromLatin1(keys::mainWindowSizeWidth))),
                                     qRound(SettingsStore::doubleValue(QString::fromLatin1(keys::mainWindowSizeHeight)))));
    }
    iswriteFrameSize = true;
    addScreenSizeChangeNotification();
    if (QWidget* focus = window_.focusWidget()) {
        focus->clearFocus();
    }
    emit userActionPerformed();
    if (!catalogue.damageReports.isEmpty()) {
        showAlert(ui::text("catalogueDamaged.title"),
                  ui::text("catalogueDamaged.message").arg(catalogue.damageSummary()));
    }
}

void MainViewController::lockTessaroAction() {
    if (locking_) {
        return;
    }
    // The note's last keystroke goes to disk before anything of the session is let go. When
    // it cannot, the window stays open with the text in it and the user chooses to try
    // again or stay: locking would throw the only copy of the change away.
    if (!notesPane_->saveBeforeLeaving([this] { lockTessaroAction(); })) {
        return;
    }
    locking_ = true;
    if (walkRunning()) {
        // A walk in progress is cancelled safely and waiting items stay as they are on disk;
        // the lock follows as soon as the worker is free. The window stays responsive.
        progressView_->setText(ui::text("lockingAfterWalk"));
        vault_->stopAll([this] { finishLock(); });
        return;
    }
    if (vault_ && vault_->savesPending()) {
        // The next login reads the catalogue files: they must hold what the window holds.
        vault_->stopAll([this] { finishLock(); });
        return;
    }
    finishLock();
}

void MainViewController::applicationShouldTerminate(std::function<void()> terminate) {
    // As for a lock: quitting with a note change that cannot be written would lose it.
    if (!notesPane_->saveBeforeLeaving([this, terminate] { applicationShouldTerminate(terminate); })) {
        return;
    }
    if (!walkRunning()) {
        if (vault_ && vault_->savesPending()) {
            // Only catalogue writes wait: a moment, nothing to ask.
            vault_->stopAll(std::move(terminate));
            return;
        }
        terminate();
        return;
    }
    if (quitAsked_) {
        return;  // one question at a time
    }
    if (locking_) {
        // The walk is being stopped already (a lock, or an earlier yes): quit once it has.
        progressView_->setText(ui::text("quittingAfterWalk"));
        vault_->stopAll(std::move(terminate));
        return;
    }
    quitAsked_ = true;
    controls::ModalSeam::QuestionRequest request;
    request.title = ui::text("AppName.text");
    if (const FileModelPtr item = vault_->current()) {
        const qint64 size = item->fileSize.load();
        const qint64 done = item->currentEncryptSize.load();
        const int percent = size > 0 ? static_cast<int>(std::clamp<qint64>(done * 100 / size, 0, 100)) : 0;
        const bool unhiding = vault_->currentKind() == vault::VaultController::Kind::Unhide;
        request.message = ui::text(unhiding ? "quitDuringUnhide.message" : "quitDuringHide.message")
                              .arg(item->name, QString::number(percent));
    } else {
        request.message = ui::text("quitDuringAdd.message");
    }
    request.informativeText = ui::text("quitDuringWalk.informative");
    request.safeTitle = ui::text("quitDuringWalk.keep");
    request.riskyTitle = ui::text("quitDuringWalk.stop");
    QPointer<MainViewController> self(this);
    auto answered = [self, terminate = std::move(terminate)](QMessageBox::StandardButton answer) {
        if (!self) {
            return;
        }
        self->quitAsked_ = false;
        emit self->userActionPerformed();
        if (answer != QMessageBox::Yes) {
            return;
        }
        if (!self->walkRunning()) {
            terminate();  // it ended while the question was open
            return;
        }
        // As the lock does: the walk is cancelled and undoes its half copy, waiting items
        // stay as they are, the catalogue says what is on disk; then the application ends.
        self->locking_ = true;
        self->progressView_->setText(ui::text("quittingAfterWalk"));
        self->vault_->stopAll(terminate);
    };
    controls::ModalSeam::question(this, request, std::move(answered));
}

void MainViewController::finishLock() {
    for (auto it = catalogue.UPLibrary.begin(); it != catalogue.UPLibrary.end();) {
        if (QFileInfo::exists(Volumes::pathFor(it.key()))) {
            ++it;
        } else {
            it = catalogue.UPLibrary.erase(it);
        }
    }
    window_.UPLibrary = catalogue.UPLibrary;
    if (window_.isFullState) {
        window_.isFullState = false;
        window_.showNormal();
    }
    QTimer::singleShot(0, this, [this] {
        removeScreenSizeChangeNotification();
        iswriteFrameSize = false;
        // Locked, the window no longer writes the vault: the tools may.
        writerLock_.reset();
        emit lockCompleted();
    });
}

void MainViewController::showInFileManager(const FileModelPtr& item) {
    if (refusedAsDamaged(*item)) {
        return;
    }
    const QString path = item->path;
    FileManager::showItem(path, this, [this, path](bool shown) {
        if (!shown) {
            showAlert(ui::text("fileManagerFailed.title"), ui::text("fileManagerFailed.message").arg(path));
        }
    });
    emit userActionPerformed();
}



}  // namespace tessaro
