// The notes side of the main window: the list's source and order, its sort menu, and the
// menu command that makes a note.
#include "app/main_view_controller.h"

#include "app/item_list_view.h"
#include "app/notes_pane.h"
#include "app/sidebar_model.h"
#include "app/ui_resources.h"
#include "controls/ts_palette.h"
#include "core/item_sorting.h"
#include "notes/notes_store.h"

#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace tessaro {

namespace {

// Entries 4 and 5 of the notes sort menu set the direction.
constexpr int kNotesSortAscending = 4;
constexpr int kNotesSortDescending = 5;

QString notesSortTitle(qint64 n) {
    return LanguageBundle::localizedStringForKey(QStringLiteral("NotesSortbyItem%1").arg(n));
}

}  // namespace

void MainViewController::setNoteTableListView() {
    FileModelList shown = searchField_->text().isEmpty() ? *composeItemList(catalogue.groupNoteList, selectGroupIndex)
                                                         : searchFiles;
    if (notesSortType < 1 || notesSortType > 3) {
        notesSortType = 1;
    }
    notes::sortNotes(shown, notesSortType, isAscending);
    const bool searching = !searchField_->text().isEmpty();
    notesView_->setPlaceholderText(searching ? ui::text("search.noResults").arg(searchField_->text())
                                             : ui::text("notesList.empty"));
    notesPane_->showNotes(shown);
}

void MainViewController::NotesSortpopAction(std::optional<int> tag) {
    if (notesSortType < 1 || notesSortType > 3) {
        notesSortType = 1;
    }
    if (tag) {
        if (*tag >= 1 && *tag <= 3) {
            notesSortType = *tag;
        } else if (*tag == kNotesSortAscending) {
            isAscending = true;
        } else if (*tag == kNotesSortDescending) {
            isAscending = false;
        }
    }
    sortButton_->setText(ui::text("SortBtn.title").arg(notesSortTitle(tag ? *tag : notesSortType)));
    if (tag) {
        setNoteTableListView();
        emit userActionPerformed();
    }
}

void MainViewController::notesSortMenu() {
    for (int n = 1; n <= kNotesSortDescending; ++n) {
        const QString title = notesSortTitle(n);
        if (title.isEmpty()) {
            continue;
        }
        if (n == kNotesSortAscending) {
            sortMenu_->addSeparator();
        }
        QAction* action = sortMenu_->addAction(title);
        action->setData(n);
        action->setFont(controls::menuFont());
        const bool ticked = n == notesSortType || (n == kNotesSortAscending && isAscending) ||
                            (n == kNotesSortDescending && !isAscending);
        action->setCheckable(ticked);
        action->setChecked(ticked);
    }
}

void MainViewController::addNoteFileAction() {
    if (!isShowingNotes()) {
        const qsizetype allNotes = findSidebarRow(sidebarEntries_, QString::fromLatin1(kNotesListKey), 1);
        if (allNotes < 0) {
            return;
        }
        leftMouseUp(allNotes);
    }
    notesPane_->addNoteAction();
}

}  // namespace tessaro
