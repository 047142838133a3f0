#pragma once

#include "core/catalogue.h"
#include "core/list_composition.h"

#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QListView;
class QMenu;

class QPushButton;
class QStackedWidget;
class QToolButton;

namespace tessaro {

class CustomWindow;
class ItemDelegate;
class ItemListModel;
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
    // Stores one list; tells the user when the change could not be stored.
    bool SaveGroupList(int which);
    QString contentSizeForPath(const FileModel& item) const;
    // Relabels every text after a language switch.
    void langeuageAction();

    // The sidebar's row handlers.
    void leftMouseUp(qsizetype sidebarRow);
    void endEditName(qsizetype sidebarRow, const QString& name);

    // The item pane's buttons: each cancels its own pending request and schedules the
    // command 0.25 s later, so that a quick double click runs it once.
    void addFileBtnAction();
    void addGroupBtnAction();
    void addFilesAction();
    void addGroupAction();

    // Parts of the window, for the delegate, the screenshots and the tests.
    QListView* sidebarView() const { return sidebarView_; }
    QListView* itemListView() const { return itemView_; }
    QListView* notesListView() const { return notesView_; }
    SidebarModel* sidebarModel() const { return sidebarModel_; }
    ItemListModel* itemModel() const { return itemModel_; }
    QLineEdit* searchField() const { return searchField_; }
    QToolButton* sortButton() const { return sortButton_; }
    QToolButton* lockButton() const { return lockButton_; }
    QPushButton* addFileButton() const { return addFileButton_; }
    QPushButton* addGroupButton() const { return addGroupButton_; }
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
    void addFilesRequested();
    void addGroupRequested();
    void visableChangeRequested(const FileModelPtr& item);
    void showInFileManagerRequested(const FileModelPtr& item);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildInterface();
    void viewDidAppear();
    RowList* selectedRows();
    bool selectionIsRemovable() const;
    void createGroupFromAddRow(const SidebarEntry& addRow);
    void showAlert(const QString& headline, const QString& message);
    void updateItemCountLabel();

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
    QListView* itemView_ = nullptr;
    ItemListModel* itemModel_ = nullptr;
    ItemDelegate* itemDelegate_ = nullptr;
    QListView* notesView_ = nullptr;
    ItemListModel* notesModel_ = nullptr;
    ItemDelegate* notesDelegate_ = nullptr;
    QPushButton* addFileButton_ = nullptr;
    QPushButton* addGroupButton_ = nullptr;
    QLabel* itemCountLabel_ = nullptr;
    QTimer addFileDebounce_;
    QTimer addGroupDebounce_;
    QPointer<QMessageBox> alert_;
    QList<SidebarEntry> sidebarEntries_;
};

}  // namespace tessaro
