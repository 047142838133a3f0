// The right-click menus of the main window: an item row's, a sidebar row's (groups of every
// section, and the password entry of a removable-drive vault's header) and a note row's,
// with the commands behind them: remove from the list, the information window, rename,
// delete and new group.
#include "app/context_menus.h"

#include "app/file_info_window.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/sidebar_model.h"
#include "app/ui_resources.h"
#include "app/window_log_lines.h"
#include "controls/modal_seam.h"
#include "controls/ts_palette.h"
#include "core/log.h"
#include "core/record_check.h"
#include "core/volumes.h"
#include "vault/item_operations.h"
#include "vault/list_commands.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMetaMethod>
#include <QPointer>

namespace tessaro {

void applyCommandMenuLook(QMenu* menu) {
    menu->setFont(controls::menuFont());
    QPalette pal = menu->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        pal.setColor(QPalette::Active, role, controls::inkColor());
        pal.setColor(QPalette::Inactive, role, controls::inkColor());
        pal.setColor(QPalette::Disabled, role, QColor(0, 0, 0, 77));
    }
    menu->setPalette(pal);
}

QAction* addCommand(QMenu* menu, const QString& title, int tag, bool applies) {
    QAction* action = menu->addAction(title);
    action->setData(tag);
    action->setFont(controls::menuFont());
    action->setEnabled(applies);
    return action;
}

namespace {

void logWindow(const char* line) { logLine(QString::fromUtf8(line)); }

QString localKey() { return QString::fromLatin1(kLocalListKey); }
QString notesKey() { return QString::fromLatin1(kNotesListKey); }

QMenu* makeMenu(QWidget* parent, const char* objectName) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QLatin1String(objectName));
    return menu;
}

}  // namespace

void MainViewController::installContextMenus() {
    // Named by langeuageAction, which runs next and again at every switch of language.
    itemMenu_ = makeMenu(this, "itemMenu");
    noteMenu_ = makeMenu(this, "noteMenu");
    itemView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(itemView_, &QWidget::customContextMenuRequested, this, &MainViewController::showItemMenu);
    notesView_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(notesView_, &QWidget::customContextMenuRequested, this, &MainViewController::showNoteMenu);
}

RowList* MainViewController::rowsOf(const QString& listKey) {
    if (listKey == localKey()) {
        return &catalogue.groupDirList;
    }
    if (listKey == notesKey()) {
        return &catalogue.groupNoteList;
    }
    auto it = catalogue.UPLibrary.find(listKey);
    return it == catalogue.UPLibrary.end() ? nullptr : &it.value();
}

bool MainViewController::saveListOf(const QString& listKey) {
    if (listKey == localKey()) {
        return SaveGroupList(0);
    }
    if (listKey == notesKey()) {
        return SaveGroupList(2);
    }
    if (!QFileInfo::exists(Volumes::pathFor(listKey))) {
        return false;  // the drive went: nothing of it can be written
    }
    // A drive vault's list is written for the selected vault: for a command on another
    // vault's row, that vault stands as selected for the length of the write.
    const QString selected = catalogue.selectGroupName;
    catalogue.selectGroupName = listKey;
    const bool saved = SaveGroupList(1);
    catalogue.selectGroupName = selected;
    return saved;
}

// ---- Item rows ---------------------------------------------------------------------------

void MainViewController::showItemMenu(const QPoint& position) {
    // While a walk runs the rows' files may be half moved: no command is offered.
    const QModelIndex index = itemView_->indexAt(position);
    if (isProgressShown() || !index.isValid()) {
        return;
    }
    selectItemAtRow(index.row());
    if (QMenu* menu = groupChildFile_Menu(index.row())) {
        menu->popup(itemView_->viewport()->mapToGlobal(position));
    }
}

QMenu* MainViewController::groupChildFile_Menu(qsizetype shownRow) {
    if (shownRow < 0 || shownRow >= selected_ItemList.size()) {
        return nullptr;
    }
    const FileModelPtr item = selected_ItemList[shownRow];
    const bool idle = !isProgressShown() && !itemModel_->rowEditing(item.get());
    itemMenu_->clear();
    applyCommandMenuLook(itemMenu_);
    const struct {
        int tag;
        const char* key;
        bool applies;
    } entries[] = {
        {1, item->isEncrtypt ? "groupChildFile_Item0" : "groupChildFile_Item1", idle},
        {2, "groupChildFile_Item2", true},
        // A hidden item's path holds nothing to show; a damaged record's path is not ours.
        {3, "groupChildFile_Item3", idle && !item->isEncrtypt && !recordDamage(*item)},
        {4, "groupChildFile_Item4", idle},
    };
    const std::weak_ptr<FileModel> chosen = item;
    for (const auto& entry : entries) {
        QAction* action = addCommand(itemMenu_, ui::text(entry.key), entry.tag, entry.applies);
        // By item, not by row: the list may be re-sorted while the menu is open.
        connect(action, &QAction::triggered, this, [this, chosen, tag = entry.tag] {
            if (const FileModelPtr target = chosen.lock()) {
                fileCellAction(tag, selected_ItemList.indexOf(target));
            }
        });
    }
    return itemMenu_;
}

void MainViewController::fileCellAction(int tag, qsizetype shownRow) {
    if (shownRow < 0 || shownRow >= selected_ItemList.size()) {
        return;
    }
    const FileModelPtr item = selected_ItemList[shownRow];
    switch (tag) {
    case 1: visableBtnAction(shownRow); return;
    case 2: showFileInfo(item); break;
    case 3:
        if (isProgressShown() || item->isEncrtypt) {
            return;
        }
        showInFileManager(item);
        return;
    case 4: removeFromListAction(item); return;
    default: return;
    }
    emit userActionPerformed();
}

void MainViewController::showFileInfo(const FileModelPtr& item) {
    if (!item) {
        return;
    }
    if (fileInfo_) {
        fileInfo_->close();
    }
    auto* info = new FileInfoWindowController(this);
    info->setAttribute(Qt::WA_DeleteOnClose);
    info->setWindowModality(Qt::ApplicationModal);
    // The size text ends in the word "hidden" whatever the state (the rows show it for hidden
    // items only); this window says the state on its own line, so a visible item is not
    // called hidden here.
    QString size = contentSizeForPath(*item);
    const QString hiddenWord = QLatin1Char(',') + ui::text("encrypted.stringvalue");
    if (size.endsWith(hiddenWord)) {
        size.chop(hiddenWord.size());
    }
    info->showItem(*item, size);
    fileInfo_ = info;
    info->show();
    // Centred over the main window once it has its frame.
    const QRect frame = window()->frameGeometry();
    info->move(frame.center() - QPoint(info->width() / 2, info->height() / 2));
    connect(info, &QDialog::finished, this, [this] { emit userActionPerformed(); });
}

FileInfoWindowController* MainViewController::fileInfoWindow() const { return fileInfo_.data(); }

void MainViewController::removeFromListAction(const FileModelPtr& item) {
    if (!item || isProgressShown() || itemModel_->rowEditing(item.get()) || refusedAsDamaged(*item)) {
        return;
    }
    if (!item->isEncrtypt) {
        removeVisibleItem(item);
        emit userActionPerformed();
        return;
    }
    // The record is the only way back to a hidden item's files: it is unhidden first, and
    // the record goes only once the unhide completed.
    controls::ModalSeam::QuestionRequest request;
    request.title = ui::text("wenxintishi");
    request.message = ui::text("removeitemformlistmessage.text");
    request.informativeText = ui::text("removeitemformlistinfomation.text").arg(item->name);
    request.safeTitle = ui::text("removeFromList.cancel");
    request.riskyTitle = ui::text("removeFromList.unhideAndRemove");
    QPointer<MainViewController> self(this);
    controls::ModalSeam::question(this, request, [self, item](QMessageBox::StandardButton answer) {
        if (!self || answer != QMessageBox::Yes) {
            return;
        }
        const qsizetype row = self->selected_ItemList.indexOf(item);
        if (!item->isEncrtypt) {
            self->removeVisibleItem(item);  // unhidden meanwhile: nothing left to do first
            return;
        }
        const vault::DiskState disk = vault::diskStateOf(*item);
        // An absent vault directory (a pulled drive) makes every container look gone.
        if (!disk.plain && !disk.stored && QFileInfo(vault::vaultDirectoryOf(*item)).isDir()) {
            // Nothing of it is left to reach: the record is all there is.
            item->isEncrtypt = false;
            self->removeVisibleItem(item);
            return;
        }
        if (!self->beginToggle(row)) {
            // A walk began while the question was open: the item stays, and the user knows.
            if (self->isProgressShown()) {
                self->showAlert(ui::text("removeFromList.kept.title"), ui::text("removeFromList.busy.message").arg(item->path));
            }
            return;
        }
        self->visableChange(row, [self, item] {
            if (!self) {
                return;
            }
            if (item->isEncrtypt) {
                self->showAlert(ui::text("removeFromList.kept.title"), ui::text("removeFromList.kept.message").arg(item->path));
                return;
            }
            self->removeVisibleItem(item);
        });
    });
}

void MainViewController::removeVisibleItem(const FileModelPtr& item) {
    QStringList keys{localKey()};
    keys.append(catalogue.UPLibrary.keys());
    for (const QString& key : std::as_const(keys)) {
        RowList* rows = rowsOf(key);
        if (!rows || !vault::findRecord(*rows, item).found()) {
            continue;
        }
        const vault::ListChange change = vault::removeVisibleRecord(*rows, item);
        if (!change.done) {
            showAlert(ui::text("removeFromList.refused.title"), change.refusal);
            return;
        }
        saveListOf(key);
        setRightScrollView();
        return;
    }
}

// ---- Sidebar rows ------------------------------------------------------------------------

void MainViewController::showGroupMenu(const QPoint& position) {
    const QModelIndex index = sidebarView_->indexAt(position);
    if (QMenu* menu = index.isValid() ? group_itemMenu(index.row()) : nullptr) {
        menu->popup(sidebarView_->viewport()->mapToGlobal(position));
    }
}

QMenu* MainViewController::group_itemMenu(qsizetype sidebarRow) {
    if (sidebarRow < 0 || sidebarRow >= sidebarEntries_.size()) {
        return nullptr;
    }
    const SidebarEntry& entry = sidebarEntries_[sidebarRow];
    groupMenu_->clear();
    applyCommandMenuLook(groupMenu_);
    if (entry.isHeader) {
        if (!entry.isRemovableVault) {
            return nullptr;
        }
        // The password window is another part's: until it listens, the entry says what it
        // is but cannot be chosen.
        const bool listened = isSignalConnected(QMetaMethod::fromSignal(&MainViewController::changePasswordRequested));
        QAction* change = addCommand(groupMenu_, ui::text("changePassword"), 1, listened);
        connect(change, &QAction::triggered, this, [this, key = entry.groupName] {
            emit changePasswordRequested(key);
            emit userActionPerformed();
        });
        return groupMenu_;
    }
    if (!entry.group) {
        return nullptr;
    }
    const RowList* rows = rowsOf(entry.groupName);
    const bool userGroup = rows && vault::isUserGroup(*rows, entry.groupRow);
    const bool idle = !isProgressShown();
    bool hasVisible = false;
    if (entry.group->fileModels) {
        for (const FileModelPtr& item : std::as_const(*entry.group->fileModels)) {
            hasVisible = hasVisible || !item->isEncrtypt;
        }
    }
    // The all-items row shows every group's items but holds only its own, so "hide this
    // group" there would not do what it says; notes are never hidden.
    const bool canHide = idle && userGroup && entry.isGroupDir && hasVisible;
    const bool canAdd = !entry.isRemovableVault || QFileInfo::exists(Volumes::pathFor(entry.groupName));
    const struct {
        int tag;
        bool applies;
    } entries[] = {{1, canHide}, {2, userGroup}, {3, userGroup && idle}, {4, canAdd}};
    const GroupModelPtr group = entry.group;
    for (const auto& command : entries) {
        QAction* action = addCommand(groupMenu_, LanguageBundle::localizedStringForKey(QStringLiteral("group_Item%1").arg(command.tag)),
                                     command.tag, command.applies);
        // By row record: the sidebar may be rebuilt while the menu is open.
        connect(action, &QAction::triggered, this, [this, group, tag = command.tag] {
            for (qsizetype i = 0; i < sidebarEntries_.size(); ++i) {
                if (sidebarEntries_[i].group == group) {
                    group_popAction(tag, i);
                    return;
                }
            }
        });
    }
    return groupMenu_;
}

void MainViewController::group_popAction(int tag, qsizetype sidebarRow) {
    if (sidebarRow < 0 || sidebarRow >= sidebarEntries_.size()) {
        return;
    }
    const SidebarEntry entry = sidebarEntries_[sidebarRow];
    switch (tag) {
    case 1:
        if (isProgressShown() || !entry.isGroupDir) {
            return;
        }
        logWindow(windowlog::kHideGroup);
        if (entry.groupName == localKey()) {
            hiddenAllItemFileModel(entry.groupRow, 0);
        } else {
            // A drive vault's walk stores the selected vault's list: its row is selected first.
            if (sidebarModel_->selectedRow() != sidebarRow) {
                leftMouseUp(sidebarRow);
            }
            hiddenUPAllItemFileModel(entry.groupRow, 0);
        }
        break;
    case 2:
        logWindow(windowlog::kRenameGroup);
        renameGroupAt(sidebarRow);
        break;
    case 3:
        if (isProgressShown()) {
            return;
        }
        logWindow(windowlog::kDeleteGroup);
        deleteGroupAt(entry);
        break;
    case 4:
        logWindow(windowlog::kNewGroupCommand);
        newGroupFrom(entry);
        break;
    default: return;
    }
    emit userActionPerformed();
}

void MainViewController::renameSelectedGroup() { renameGroupAt(sidebarModel_->selectedRow()); }

void MainViewController::renameGroupAt(qsizetype sidebarRow) {
    if (sidebarRow < 0 || sidebarRow >= sidebarEntries_.size()) {
        return;
    }
    const SidebarEntry entry = sidebarEntries_[sidebarRow];
    const RowList* rows = rowsOf(entry.groupName);
    if (!entry.group || !rows || !vault::isUserGroup(*rows, entry.groupRow)) {
        return;
    }
    // The row is selected first: its new name is stored in the selected vault's list.
    if (sidebarModel_->selectedRow() != sidebarRow) {
        leftMouseUp(sidebarRow);
    }
    entry.group->isEditing = true;
    const QModelIndex index = sidebarModel_->index(static_cast<int>(sidebarRow));
    sidebarView_->setFocus();
    sidebarView_->edit(index);
}

void MainViewController::deleteGroupAt(const SidebarEntry& entry) {
    RowList* rows = rowsOf(entry.groupName);
    if (!rows) {
        return;
    }
    const bool inSelectedList = catalogue.selectGroupName == entry.groupName;
    // Nothing on disk is deleted and no item is lost: the group's items (notes too) move to
    // the all-items row, so no question is needed.
    const vault::GroupDeletion deletion = vault::deleteGroup(*rows, entry.groupRow, inSelectedList ? selectGroupIndex : 1);
    if (!deletion.change.done) {
        showAlert(ui::text("groupDelete.refused.title"), deletion.change.refusal);
        return;
    }
    if (inSelectedList && deletion.selectGroupIndex != selectGroupIndex) {
        selectGroupIndex = deletion.selectGroupIndex;
        selectGroup_ItemIndex = 0;
    }
    saveListOf(entry.groupName);
    setLeftScrollView();
}

void MainViewController::newGroupFrom(const SidebarEntry& entry) {
    if (entry.isRemovableVault && !QFileInfo::exists(Volumes::pathFor(entry.groupName))) {
        setLeftScrollView();  // the drive went: its rows leave the sidebar
        return;
    }
    {
        const QSignalBlocker block(searchField_);
        searchField_->clear();
        searchFiles.clear();
    }
    logWindow(entry.isGroupNote ? windowlog::kNewNotesGroup : windowlog::kNewFileGroup);
    catalogue.selectGroupName = entry.groupName;
    createGroupFromAddRow(entry);
}

// ---- Note rows ---------------------------------------------------------------------------

void MainViewController::showNoteMenu(const QPoint& position) {
    const QModelIndex index = notesView_->indexAt(position);
    if (QMenu* menu = note_itemMenu(index.isValid() ? index.row() : -1)) {
        menu->popup(notesView_->viewport()->mapToGlobal(position));
    }
}

QMenu* MainViewController::note_itemMenu(qsizetype row) {
    if (!isShowingNotes()) {
        return nullptr;
    }
    noteMenu_->clear();
    applyCommandMenuLook(noteMenu_);
    const bool onNote = row >= 0 && row < notesPane_->shownNotes().size();
    QAction* remove = addCommand(noteMenu_, ui::text("note_Item1"), 1, onNote);
    noteMenu_->addSeparator();
    QAction* add = addCommand(noteMenu_, ui::text("note_Item2"), 2, true);
    const std::weak_ptr<FileModel> note = onNote ? notesPane_->shownNotes().at(row) : nullptr;
    connect(remove, &QAction::triggered, this, [this, note] {
        if (const FileModelPtr target = note.lock()) {
            note_popAction(1, notesPane_->shownNotes().indexOf(target));
        }
    });
    connect(add, &QAction::triggered, this, [this] { note_popAction(2, -1); });
    return noteMenu_;
}

void MainViewController::note_popAction(int tag, qsizetype row) {
    if (tag == 1 && row >= 0 && row < notesPane_->shownNotes().size()) {
        // Opened first, so that the question (for a note with text) names the note the
        // user pointed at, and the deletion takes exactly that one.
        notesPane_->openRow(row);
        notesPane_->deleteNoteAction();
    } else if (tag == 2) {
        notesPane_->addNoteAction();
    }
}

}  // namespace tessaro
