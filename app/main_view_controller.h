#pragma once

#include "app/item_list_model.h"
#include "core/catalogue.h"
#include "core/list_composition.h"

#include <QHash>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QListView;
class QMenu;

class QPushButton;
class QStackedWidget;
class QToolButton;

namespace tessaro {

struct MountedVolume;
class VolumeMonitor;

namespace vault {
class VaultController;
}
class VaultLock;
class CustomWindow;
class FileInfoWindowController;
class ItemListView;
class NotesPane;
class ProgressPanel;
class SidebarDelegate;
class SidebarModel;

// What the user sees after login: the sidebar of the catalogue's sections on the left, the
// item list of the selected group (or the notes list) on the right, the lock button, the
// sort button and the search field across the top. Owns the catalogue while it lives.
class MainViewController : public QWidget {
    Q_OBJECT
public:
    // `handedOver` is the removable-drive table kept across a lock (absent at the first
    // login of a launch). Loads the catalogue and builds both lists.
    MainViewController(CustomWindow& window, std::optional<UpLibrary> handedOver, QWidget* parent = nullptr);
    ~MainViewController() override;

    Catalogue catalogue;

    // View state.
    qint64 selectGroupIndex = 1;
    qint64 selectGroup_ItemIndex = 0;
    FileModelList selected_ItemList;
    FileModelList searchFiles;
    qint64 sortType = 1;
    qint64 notesSortType = 0;
    bool isAscending = true;
    bool iswriteFrameSize = false;
    bool isBeginEditing = false;
    const QString& selectGroupName() const { return catalogue.selectGroupName; }

    void setUp();
    void setLeftScrollView();
    void setRightScrollView();
    void setNoteTableListView();
    // A choice of the notes sort menu by tag (1 to 5), or none: the title only.
    void NotesSortpopAction(std::optional<int> tag);
    // Creates a note in the selected notes row (File > New Note); selects the all-notes
    // row first when the item list is shown.
    void addNoteFileAction();
    NotesPane* notesPane() const { return notesPane_; }
    // A choice of the sort menu by tag (1 to 8), or none: the title only.
    void sortpopAction(std::optional<int> tag);
    // Rebuilds the item sort menu that the sort button pops up and returns it.
    QMenu* applicationDockMenu();
    void controlTextDidChange(const QString& text);
    // From the window's resize notification, or directly (`fromNotification` false).
    void screenResize(bool fromNotification);
    void addScreenSizeChangeNotification();
    void removeScreenSizeChangeNotification();
    void lockTessaroAction();
    // Quit or close: with a walk running, one question first (its item and progress; the
    // default keeps working); a yes stops the walk safely, saves what is true, and only
    // then calls `terminate`. Without a walk, `terminate` runs at once.
    void applicationShouldTerminate(std::function<void()> terminate);
    bool walkRunning() const;
    // Stores one list; tells the user when the change could not be stored.
    bool SaveGroupList(int which);
    QString contentSizeForPath(const FileModel& item) const;
    // Relabels every text after a language switch.
    void langeuageAction();

    // The sidebar's row handlers.
    void leftMouseUp(qsizetype sidebarRow);
    void endEditName(qsizetype sidebarRow, const QString& name);

    // The item pane's buttons, File > Add Files and its shortcut: each cancels its own
    // pending request and schedules the command 0.25 s later, so that a quick double click
    // runs it once.
    void addFileAction();
    void addGroupBtnAction();
    // The open panel (files and folders, several at once); what it returns goes to
    // AddFileActionForPaths half a second later.
    void addFilesAction();
    void addGroupAction();
    // Files and folders dropped on the item list from another application.
    void dropFilesAction(const QStringList& paths);

    // ---- The progress panel at the bottom of the sidebar ----
    ProgressPanel* progressView() const { return progressView_; }
    // Commands that would overlap a running walk are refused while this holds: the panel is
    // shown, or a walk runs or waits (hiding a group shows no panel).
    bool isProgressShown() const;
    // The vault operations behind the commands; walks run on its worker.
    vault::VaultController* vaultController() const { return vault_.get(); }
    // The writer's lock of the vault, held while this window shows it.
    void holdVaultLock(std::shared_ptr<VaultLock> lock) { writerLock_ = std::move(lock); }

    // ---- Item rows ----
    // What runs on an item's row. Hiding and Unhiding keep its buttons from starting
    // anything else; None ends the operation and frees the row.
    void setRowWalkState(const FileModelPtr& item, WalkState state);
    // The eye button of a shown row: refused while the progress panel is shown or the row
    // is editing; otherwise the row becomes editing and visableChange follows 0.25 s later.
    void visableBtnAction(qsizetype shownRow);
    static constexpr int kVisableDebounceMs = 250;
    // The selected item, when the shown list has one.
    FileModelPtr selectedItem() const;
    // Selects the item of shown row `shownRow`. The selection is kept by item: a re-sort,
    // a search or a rebuild moves it with its item, never onto another one.
    void selectItemAtRow(qsizetype shownRow);

    // ---- The item list's action button and its menu ----
    // Mode 1 hides every item of the shown vault, 2 hides the selected item, 3 unhides it,
    // 4 removes it from the list; the title is "file_Item<mode>".
    qint64 doFileType() const { return doFileType_; }
    void setDoFileType(qint64 mode);
    // What a finished toggle leaves: mode 3 when the selected item is hidden, else 2.
    void setDoFileTypeForSelectedItem();
    void rightBottom_leftBtnAction();
    // Rebuilds the menu of the arrow beside the button and returns it.
    QMenu* file_itemMenu();
    // The arrow's click: the menu, above the bar, unless a walk runs.
    void popUpFileItemMenu();
    // A choice of that menu by tag (1 to 4), or none: the button's title only.
    void file_popAction(std::optional<int> tag);

    // ---- File menu: hide or unhide the selected item ----
    void hideItemAction();
    void unHideItemAction();
    bool canHideSelectedItem() const;
    bool canUnhideSelectedItem() const;

    // ---- Context menus (context_menus.cpp) ----
    // The menu of a sidebar row: the group commands for a group, all-items or add row of
    // any section, the one-entry password menu for a removable-drive vault's header; none
    // for the other headers.
    QMenu* group_itemMenu(qsizetype sidebarRow);
    // 1 hides the group's items, 2 renames it in place, 3 deletes it (its items move to
    // the all-items row), 4 makes a new group.
    void group_popAction(int tag, qsizetype sidebarRow);
    // F2 and the Edit menu: opens the selected group's name for editing, when it has one of
    // its own to change.
    void renameSelectedGroup();
    // The menu of item row `shownRow`: toggle, information, show in file manager, remove.
    QMenu* groupChildFile_Menu(qsizetype shownRow);
    void fileCellAction(int tag, qsizetype shownRow);
    // Takes the item out of its vault's list. A visible item's record goes and its file stays;
    // a hidden item is unhidden first (after a question), and its record goes only when the
    // unhide completed.
    void removeFromListAction(const FileModelPtr& item);
    // The information window of an item, modal over the main window.
    void showFileInfo(const FileModelPtr& item);
    FileInfoWindowController* fileInfoWindow() const;
    // The menu of notes list row `row` (-1: below the rows): delete that note, new note.
    QMenu* note_itemMenu(qsizetype row);
    void note_popAction(int tag, qsizetype row);

    // ---- Vaults on removable drives ----
    // The monitor every main window listens to; a Linux mount-table monitor unless one was
    // given (tests give a fake). Not owned by the window: it outlives every lock.
    static void setVolumeMonitor(VolumeMonitor* monitor);
    static VolumeMonitor* volumeMonitor();
    void addUSBNotification();
    // A volume came (offer its first vault not yet open) or went (its vaults close, the
    // local all-items group is selected).
    void deviceMounted(const MountedVolume& volume, bool mounted);

    // Shows a visible item in the desktop's file manager; tells the user when it cannot.
    void showInFileManager(const FileModelPtr& item);

    // ---- Hand-over points to the vault library ----
    // The window's side ends here: each is called once the window has done its part
    // (refusals, debouncing, the panel), on the GUI thread.
    //
    // Adds the chosen or dropped paths (absolute, in the order given, not yet filtered for
    // duplicates), or opens a removable-drive vault when the first one is one.
    virtual void AddFileActionForPaths(const QStringList& paths, std::function<void(bool failed)> completion = {});
    // Toggles the item of shown row `shownRow` (an index into selected_ItemList). The row
    // is editing already; when the toggle ends, or does not start, the row is freed with
    // setRowWalkState(item, WalkState::None) and the completion runs.
    virtual void visableChange(qsizetype shownRow, std::function<void()> completion = {});
    // Hides (unhides) every item of the shown vault. The progress panel is already shown;
    // it is removed (removeAnimation) when the last item is done.
    virtual void hideAllShown();
    virtual void unhideAllShown();
    // Hides every item of the local vault's group `groupIndex` from `itemIndex` on, without
    // the progress panel.
    virtual void hiddenAllItemFileModel(qint64 groupIndex, qint64 itemIndex);
    // The same for group `groupIndex` of the selected removable-drive vault.
    virtual void hiddenUPAllItemFileModel(qint64 groupIndex, qint64 itemIndex);
    // The cancel button of the panel or of a row: stops the walk that runs.
    virtual void encryptCancelBtnAction();

    // Parts of the window, for the delegate, the screenshots and the tests.
    QListView* sidebarView() const { return sidebarView_; }
    ItemListView* itemListView() const { return itemView_; }
    ItemListView* notesListView() const { return notesView_; }
    SidebarModel* sidebarModel() const { return sidebarModel_; }
    ItemListModel* itemModel() const { return itemModel_; }
    QLineEdit* searchField() const { return searchField_; }
    QToolButton* sortButton() const { return sortButton_; }
    QToolButton* lockButton() const { return lockButton_; }
    QPushButton* addFileButton() const { return addFileButton_; }
    QPushButton* addGroupButton() const { return addGroupButton_; }
    QPushButton* rightBottom_leftBtn() const { return rightBottom_leftBtn_; }
    QToolButton* fileItemMenuButton() const { return fileItemMenuButton_; }
    QMenu* fileItemMenu() const { return fileItemMenu_; }
    QMenu* sortMenu() const { return sortMenu_; }
    QMessageBox* currentAlert() const { return alert_; }
    QString itemCountText() const;
    bool isShowingNotes() const;

    static constexpr int kAddDebounceMs = 250;

signals:
    // After each user action that re-arms the idle timer.
    void userActionPerformed();
    // The lock's last step ran; the delegate puts a new login screen into the window.
    void lockCompleted();
    void showInFileManagerRequested(const FileModelPtr& item);
    // What the selected item's commands can do has changed (selection, item state, panel).
    void itemCommandsChanged();
    // A removable-drive vault's header asked to change that vault's password. Its menu entry
    // is offered only while something is connected here.
    void changePasswordRequested(const QString& vaultKey);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the drive vault at `path`, asking for its password when it is not this
    // machine's; `completion` gets true when nothing was opened.
    void openDriveVaultAt(const QString& path, std::function<void(bool failed)> completion);
    // Adding items that lie on a drive: into the selected vault of that drive, or one the
    // user opens or creates there.
    void addToDrive(const QStringList& paths);
    void askDriveVaultName(const QString& volume, const QStringList& paths);
    void chooseExistingDriveVault(const QString& volume, const QStringList& paths);
    // Vaults remembered in "KUPNAMES" that were not made here under this password close
    // until they are opened with it; `trusted` (kept across a lock) stay.
    void closeForeignDriveVaults(const QStringList& trusted);
    void buildInterface();
    // Fills the sort menu with the notes' entries.
    void notesSortMenu();
    void viewDidAppear();
    RowList* selectedRows();
    const RowList* selectedRows() const;
    bool selectionIsRemovable() const;
    void createGroupFromAddRow(const SidebarEntry& addRow);
    void showAlert(const QString& headline, const QString& message);
    void updateItemCountLabel();
    QWidget* buildItemBar(QWidget* itemPane);
    // Enables the action button and shows its arrow as the panel and selection allow.
    void updateItemControls();
    bool actionButtonApplies() const;
    // Whether the shown vault holds an item that is hidden (visible).
    bool shownVaultHas(bool hidden) const;
    // The row becomes editing unless something refuses it; true when it did.
    bool beginToggle(qsizetype shownRow);
    // A record whose paths are not the vault's own: the user is told why nothing happens.
    bool refusedAsDamaged(const FileModel& item);
    // Sets the action button's mode, then toggles the selected item when it is in the
    // state `hidden`.
    void setModeAndToggleSelectedItemIf(qint64 mode, bool hidden);
    void showGroupMenu(const QPoint& position);
    // The right clicks of the item and notes lists (context_menus.cpp).
    void installContextMenus();
    void showItemMenu(const QPoint& position);
    void showNoteMenu(const QPoint& position);
    void deleteGroupAt(const SidebarEntry& entry);
    void newGroupFrom(const SidebarEntry& entry);
    void renameGroupAt(qsizetype sidebarRow);
    // Stores the row list `listKey` (the local vault, a drive vault, the notes), whichever
    // is selected.
    bool saveListOf(const QString& listKey);
    RowList* rowsOf(const QString& listKey);
    // Takes a visible item's record out of the list that holds it, stores it and rebuilds.
    void removeVisibleItem(const FileModelPtr& item);
    void connectVault();
    // Hides (or unhides) every item of the shown vault on the worker.
    void everyShownItem(bool hide);
    // The lock's steps once no walk runs any more.
    void finishLock();
    // Brings the item's row into view when it is shown, without moving a row already in view.
    void scrollToItem(const FileModelPtr& item);

    CustomWindow& window_;
    std::optional<UpLibrary> handedOver_;
    bool appeared_ = false;

    QToolButton* lockButton_ = nullptr;
    QToolButton* sortButton_ = nullptr;
    QMenu* sortMenu_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QListView* sidebarView_ = nullptr;
    SidebarModel* sidebarModel_ = nullptr;
    SidebarDelegate* sidebarDelegate_ = nullptr;
    QStackedWidget* rightStack_ = nullptr;
    ItemListView* itemView_ = nullptr;
    ItemListModel* itemModel_ = nullptr;
    ItemDelegate* itemDelegate_ = nullptr;
    ItemListView* notesView_ = nullptr;
    NotesPane* notesPane_ = nullptr;
    QPushButton* addFileButton_ = nullptr;
    QPushButton* addGroupButton_ = nullptr;
    QLabel* itemCountLabel_ = nullptr;
    ProgressPanel* progressView_ = nullptr;
    QPushButton* rightBottom_leftBtn_ = nullptr;
    QToolButton* fileItemMenuButton_ = nullptr;
    QMenu* fileItemMenu_ = nullptr;
    QMenu* groupMenu_ = nullptr;
    QMenu* itemMenu_ = nullptr;
    QMenu* noteMenu_ = nullptr;
    QPointer<FileInfoWindowController> fileInfo_;
    qint64 doFileType_ = 1;
    QTimer addFileDebounce_;
    QString lastAddDirectory_;
    QTimer addGroupDebounce_;
    QPointer<QMessageBox> alert_;
    QList<SidebarEntry> sidebarEntries_;
    std::unique_ptr<vault::VaultController> vault_;
    QHash<const FileModel*, std::function<void()>> toggleCompletions_;
    std::shared_ptr<VaultLock> writerLock_;
    bool locking_ = false;
    // A walk of the running batch was stopped by the user.
    bool walkCancelled_ = false;
    // The running batch is a hide all (unhide all) from the action button or its menu.
    std::optional<bool> everyItemBatchHides_;
    // The item the user selected; selectGroup_ItemIndex is its row in the shown list.
    std::weak_ptr<FileModel> selectedRecord_;
    bool quitAsked_ = false;
};

}  // namespace tessaro
