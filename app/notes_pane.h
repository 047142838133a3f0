#pragma once

#include "core/group_model.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QToolButton;

namespace tessaro {

namespace notes {
class OpenNote;
}
class ItemListView;
class MainViewController;
class TSTextView;

// The right side while a notes row is selected: the notes list with its add and delete
// buttons, and the open note's title field, "Edited" label and editor. The records live in
// the controller's catalogue; the open note's content is saved through OpenNote.
class NotesPane : public QWidget {
    Q_OBJECT
public:
    explicit NotesPane(MainViewController& controller, QWidget* parent = nullptr);
    ~NotesPane() override;

    static constexpr int kRowHeight = 50;

    // Lists `shown` (sorted already) and opens the note at the controller's
    // selectGroup_ItemIndex, flushing the note open before.
    void showNotes(const FileModelList& shown);
    const FileModelList& shownNotes() const { return shown_; }
    // Opens the note of list row `row`.
    void openRow(qsizetype row);

    // A new note in the selected notes row, opened with its title ready for typing.
    void addNoteAction();
    // Deletes the open note; asks first when it holds any text.
    void deleteNoteAction();
    // Renames the open note to what the title field holds.
    void renameFromTitleField();
    // Writes the open note's pending change now; false (and the user told) when it failed.
    bool flush();
    // Before a lock or a quit takes the note away: true when its last change is on disk.
    // Otherwise the user is told why and asked whether to try again (`retry` runs) or stay
    // with the text still in the editor; nothing is thrown away unasked.
    bool saveBeforeLeaving(std::function<void()> retry);
    void langeuageAction();

    ItemListView* listView() const { return list_; }
    QLineEdit* titleField() const { return title_; }
    TSTextView* editor() const { return editor_; }
    QLabel* editedLabel() const { return edited_; }
    QPushButton* addNoteButton() const { return addButton_; }
    QPushButton* deleteNoteButton() const { return deleteButton_; }
    notes::OpenNote& openNote() const { return *openNote_; }

private:
    QWidget* buildFormatBar(QWidget* parent);
    void setFormatEnabled(bool enabled);
    void openNoteAt(qsizetype row);
    void showNoNote();
    void showLastEdit();
    void tell(const QString& headline, const QString& message);
    void refreshAfterChange();

    MainViewController& controller_;
    FileModelList shown_;
    ItemListView* list_ = nullptr;
    QStandardItemModel* model_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QLineEdit* title_ = nullptr;
    QLabel* edited_ = nullptr;
    TSTextView* editor_ = nullptr;
    QList<QToolButton*> formatButtons_;
    notes::OpenNote* openNote_ = nullptr;
    // The editor is being filled from disk: not a change to save.
    bool loading_ = false;
    // One alert about failing saves at a time, not one per keystroke.
    bool saveAlertShown_ = false;
    // A lock or quit is asking about a failed save: that question says it all.
    bool leaving_ = false;
    bool leaveQuestionShown_ = false;
    QString lastSaveError_;
};

// "%@ %@,%@": month name, day and year in the interface language.
QString noteDateText(qint64 secondsSince1970);

}  // namespace tessaro
