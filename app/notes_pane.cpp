#include "app/notes_pane.h"

#include "app/item_list_view.h"
#include "app/main_view_controller.h"
#include "app/shell_style.h"
#include "app/ts_text_view.h"
#include "app/ui_resources.h"
#include "app/window_log_lines.h"
#include "controls/modal_seam.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "crypto/help_class.h"
#include "notes/notes_store.h"
#include "notes/open_note.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int kDateRole = Qt::UserRole + 1;
constexpr int kListWidth = 240;

QLocale interfaceLocale() {
    return QLocale(LanguageBundle::currentDirectory().startsWith(QLatin1String("zh")) ? QLocale::Chinese : QLocale::English);
}

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

QString editedText(qint64 secondsSince1970) {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(secondsSince1970);
    return ui::text("notes.edited")
        .arg(interfaceLocale().monthName(when.date().month()))
        .arg(when.date().day())
        .arg(when.date().year())
        .arg(twoDigits(when.time().hour()), twoDigits(when.time().minute()), twoDigits(when.time().second()));
}

// A row: the title, and the creation date below it.
class NoteRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(), NotesPane::kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        if (option.state & QStyle::State_Selected) {
            painter->fillRect(option.rect, style::rowSelected());
        }
        painter->setPen(style::separator());
        painter->drawLine(option.rect.bottomLeft() + QPoint(12, 0), option.rect.bottomRight());
        const QRect text = option.rect.adjusted(12, 6, -10, -6);
        QFont titleFont = option.font;
        titleFont.setWeight(QFont::DemiBold);
        painter->setFont(titleFont);
        painter->setPen(style::primaryText());
        const QRect top(text.left(), text.top(), text.width(), text.height() / 2);
        painter->drawText(top, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(titleFont).elidedText(index.data().toString(), Qt::ElideRight, top.width()));
        QFont dateFont = option.font;
        dateFont.setPointSizeF(option.font.pointSizeF() * 0.88);
        painter->setFont(dateFont);
        painter->setPen(style::secondaryText());
        painter->drawText(QRect(text.left(), top.bottom(), text.width(), text.height() / 2), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(kDateRole).toString());
        painter->restore();
    }
};

}  // namespace

QString noteDateText(qint64 secondsSince1970) {
    const QDate date = QDateTime::fromSecsSinceEpoch(secondsSince1970).date();
    return ui::text("notes.date").arg(interfaceLocale().monthName(date.month())).arg(date.day()).arg(date.year());
}

NotesPane::NotesPane(MainViewController& controller, QWidget* parent) : QWidget(parent), controller_(controller) {
    setObjectName(QStringLiteral("notesPane"));
    openNote_ = new notes::OpenNote(HelpClass::AppRootNoteDirPath(), this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* listColumn = new QWidget(this);
    listColumn->setFixedWidth(kListWidth);
    auto* listLayout = new QVBoxLayout(listColumn);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 6, 8, 6);
    addButton_ = new QPushButton(listColumn);
    addButton_->setObjectName(QStringLiteral("addNoteButton"));
    addButton_->setIcon(ui::picture(QStringLiteral("About/addFileBtn.png")));
    connect(addButton_, &QPushButton::clicked, this, [] { logLine(QString::fromUtf8(windowlog::kAddFileToApp)); });
    connect(addButton_, &QPushButton::clicked, this, &NotesPane::addNoteAction);
    deleteButton_ = new QPushButton(listColumn);
    deleteButton_->setObjectName(QStringLiteral("deleteNoteButton"));
    connect(deleteButton_, &QPushButton::clicked, this, &NotesPane::deleteNoteAction);
    buttons->addWidget(addButton_);
    buttons->addStretch(1);
    buttons->addWidget(deleteButton_);
    listLayout->addLayout(buttons);

    list_ = new ItemListView(listColumn);
    list_->setObjectName(QStringLiteral("notesList"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setPlaceholderPicture(QStringLiteral("About/NotesPlaceholder@2x.png"));
    // Files dropped here become vault items, as on the item list.
    list_->setAcceptsFileDrops(true);
    connect(list_, &ItemListView::filesDropped, &controller_, &MainViewController::dropFilesAction);
    model_ = new QStandardItemModel(this);
    list_->setModel(model_);
    list_->setItemDelegate(new NoteRowDelegate(list_));
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) { openRow(index.row()); });
    listLayout->addWidget(list_, 1);
    layout->addWidget(listColumn);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setStyleSheet(QStringLiteral("color: #dedfe4;"));
    layout->addWidget(divider);

    auto* editorColumn = new QWidget(this);
    auto* editorLayout = new QVBoxLayout(editorColumn);
    editorLayout->setContentsMargins(12, 8, 12, 8);
    editorLayout->setSpacing(4);
    editor_ = new TSTextView(editorColumn);
    editor_->setFrameShape(QFrame::NoFrame);
    title_ = new QLineEdit(editorColumn);
    title_->setObjectName(QStringLiteral("noteTitleField"));
    title_->setFrame(false);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    connect(title_, &QLineEdit::editingFinished, this, &NotesPane::renameFromTitleField);
    // Return ends the title: what is typed next is the note's text, not more title. A long
    // title then shows its beginning again, not the end the caret left in view.
    connect(title_, &QLineEdit::returnPressed, this, [this] {
        title_->setCursorPosition(0);
        if (editor_->isEnabled()) {
            editor_->setFocus(Qt::OtherFocusReason);
        }
    });
    edited_ = new QLabel(editorColumn);
    edited_->setObjectName(QStringLiteral("noteEditedLabel"));
    edited_->setStyleSheet(QStringLiteral("color: #8a8d96;"));
    editorLayout->addWidget(title_);
    editorLayout->addWidget(edited_);
    editorLayout->addWidget(buildFormatBar(editorColumn));
    editorLayout->addWidget(editor_, 1);
    // Tab follows the column from top to bottom: title, format bar, text.
    QWidget* previous = title_;
    for (QToolButton* button : std::as_const(formatButtons_)) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, editor_);
    layout->addWidget(editorColumn, 1);

    // Every change is saved, coalesced; the font and colour panels' changes too (they
    // arrive as document changes as well, so the blocks only restart the idle timer).
    connect(editor_, &QTextEdit::textChanged, this, [this] {
        if (!loading_ && openNote_->note()) {
            openNote_->changed();
            emit controller_.userActionPerformed();
        }
    });
    editor_->changeFontBlock = [this] { emit controller_.userActionPerformed(); };
    editor_->changeColorBlock = [this] { emit controller_.userActionPerformed(); };
    connect(editor_, &TSTextView::picturesRefused, this,
            [this] { tell(ui::text("notes.picturesRefused.title"), ui::text("notes.picturesRefused.message")); });
    connect(openNote_, &notes::OpenNote::saveFailed, this, [this](const QString& reason) {
        lastSaveError_ = reason;
        if (!saveAlertShown_ && !leaving_) {
            saveAlertShown_ = true;
            controls::ModalSeam::alert(this, {ui::text("notes.saveFailed.title"), ui::text("notes.saveFailed.message").arg(reason), {}},
                                       [this](QMessageBox::StandardButton) { saveAlertShown_ = false; });
        }
    });
    connect(openNote_, &notes::OpenNote::written, this, &NotesPane::showLastEdit);
    connect(openNote_, &notes::OpenNote::keptAside, this,
            [this](const QString& path) { tell(ui::text("notes.keptAside.title"), ui::text("notes.keptAside.message").arg(path)); });
    // Quitting runs no lock: the last change is written here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &NotesPane::flush);

    langeuageAction();
    showNoNote();
}

QWidget* NotesPane::buildFormatBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("noteFormatBar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    struct Command {
        const char* name;  // object name, and the tooltip's key after "notes.format."
        QString face;
        void (TSTextView::*run)();
        QKeySequence shortcut;
    };
    const Command commands[] = {
        {"bold", QStringLiteral("B"), &TSTextView::BlodFontAction, QKeySequence::Bold},
        {"italic", QStringLiteral("I"), &TSTextView::ItalicFontAction, QKeySequence::Italic},
        {"underline", QStringLiteral("U"), &TSTextView::UnderLineAction, QKeySequence::Underline},
        {"bigger", QStringLiteral("A+"), &TSTextView::BiggerAction, QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        {"smaller", QStringLiteral("A\u2212"), &TSTextView::SmallerAction, QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        {"alignLeft", QStringLiteral("\u2261\u2190"), &TSTextView::contentAlignLeft, {}},
        {"alignCenter", QStringLiteral("\u2261"), &TSTextView::contentAlignCenter, {}},
        {"alignRight", QStringLiteral("\u2192\u2261"), &TSTextView::contentAlignRight, {}},
        {"font", QStringLiteral("Aa"), &TSTextView::orderFrontFontPanel, {}},
        {"color", QStringLiteral("\u25A0"), &TSTextView::orderFrontColorPanel, {}},
    };
    for (const Command& command : commands) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String("format_") + QLatin1String(command.name));
        button->setText(command.face);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, editor_, command.run);
        formatButtons_.append(button);
        layout->addWidget(button);
        if (!command.shortcut.isEmpty()) {
            auto* action = new QAction(editor_);
            action->setShortcut(command.shortcut);
            action->setShortcutContext(Qt::WidgetShortcut);
            connect(action, &QAction::triggered, editor_, command.run);
            editor_->addAction(action);
        }
    }
    layout->addStretch(1);
    return bar;
}

NotesPane::~NotesPane() {
    // Before the editor's document goes.
    openNote_->close();
}

void NotesPane::langeuageAction() {
    addButton_->setText(ui::text("notes.add"));
    addButton_->setToolTip(ui::text("notes.add.toolTip"));
    deleteButton_->setText(ui::text("notes.delete"));
    list_->setPlaceholderText(ui::text("notesList.empty"));
    title_->setPlaceholderText(ui::text("notes.title.placeholder"));
    title_->setAccessibleName(title_->placeholderText());
    editor_->setAccessibleName(ui::text("noteEditor.accessibleName"));
    list_->setAccessibleName(ui::text("notesList.accessibleName"));
    for (QToolButton* button : std::as_const(formatButtons_)) {
        const QString key = QStringLiteral("notes.format.") + button->objectName().mid(7);
        button->setToolTip(LanguageBundle::localizedStringForKey(key));
        button->setAccessibleName(button->toolTip());
    }
    for (int row = 0; row < model_->rowCount() && row < shown_.size(); ++row) {
        model_->item(row)->setData(noteDateText(shown_.at(row)->createDate), kDateRole);
    }
    showLastEdit();
}

// The label says when the text last changed on disk, as `notes list` does; the note's
// creation date would stay the same however much was typed since.
void NotesPane::showLastEdit() {
    if (const FileModelPtr note = openNote_->note()) {
        edited_->setText(editedText(notes::lastEdited(*note, HelpClass::AppRootNoteDirPath())));
    }
}

void NotesPane::setFormatEnabled(bool enabled) {
    for (QToolButton* button : std::as_const(formatButtons_)) {
        button->setEnabled(enabled);
    }
}

bool NotesPane::flush() { return openNote_->flush(); }

bool NotesPane::saveBeforeLeaving(std::function<void()> retry) {
    leaving_ = true;
    const bool saved = flush();
    leaving_ = false;
    if (saved) {
        return true;
    }
    if (leaveQuestionShown_) {
        return false;
    }
    leaveQuestionShown_ = true;
    controls::ModalSeam::QuestionRequest request;
    request.title = ui::text("notes.unsavedOnLeave.title");
    request.message = ui::text("notes.unsavedOnLeave.message").arg(openNote_->note() ? openNote_->note()->name : QString());
    request.informativeText = lastSaveError_;
    request.safeTitle = ui::text("notes.unsavedOnLeave.stay");
    request.riskyTitle = ui::text("notes.unsavedOnLeave.retry");
    controls::ModalSeam::question(this, request,
                                  [pane = QPointer<NotesPane>(this), retry = std::move(retry)](QMessageBox::StandardButton answer) {
                                      if (!pane) {
                                          return;
                                      }
                                      pane->leaveQuestionShown_ = false;
                                      if (answer == QMessageBox::Yes && retry) {
                                          retry();
                                      }
                                  });
    return false;
}

void NotesPane::tell(const QString& headline, const QString& message) {
    controls::ModalSeam::alert(this, {headline, message, {}});
}

void NotesPane::showNotes(const FileModelList& shown) {
    shown_ = shown;
    model_->clear();
    for (const FileModelPtr& note : shown_) {
        auto* item = new QStandardItem(note->name);
        item->setData(noteDateText(note->createDate), kDateRole);
        item->setEditable(false);
        model_->appendRow(item);
    }
    qint64& selected = controller_.selectGroup_ItemIndex;
    if (shown_.isEmpty()) {
        selected = 0;
        showNoNote();
        return;
    }
    selected = std::clamp<qint64>(selected, 0, shown_.size() - 1);
    openNoteAt(selected);
}

void NotesPane::openRow(qsizetype row) {
    if (row < 0 || row >= shown_.size()) {
        return;
    }
    controller_.selectGroup_ItemIndex = row;
    openNoteAt(row);
    emit controller_.userActionPerformed();
}

void NotesPane::openNoteAt(qsizetype row) {
    const FileModelPtr& note = shown_.at(row);
    list_->setCurrentIndex(model_->index(static_cast<int>(row), 0));
    list_->scrollTo(model_->index(static_cast<int>(row), 0));
    deleteButton_->setEnabled(true);
    title_->setEnabled(true);
    if (openNote_->note() == note) {
        // The same note stays open: reading it again would throw away the undo history.
        title_->setText(note->name);
        return;
    }
    loading_ = true;
    const notes::NoteText opened = openNote_->open(note, editor_->document());
    loading_ = false;
    editor_->setReadOnly(openNote_->isReadOnly());
    editor_->setEnabled(true);
    setFormatEnabled(!openNote_->isReadOnly());
    title_->setText(note->name);
    title_->setCursorPosition(0);
    showLastEdit();
    if (opened.state == notes::NoteText::State::Refused) {
        tell(ui::text("notes.openRefused.title"), ui::text("notes.openRefused.message").arg(opened.reason));
    }
}

void NotesPane::showNoNote() {
    openNote_->close();
    loading_ = true;
    editor_->clear();
    loading_ = false;
    editor_->setEnabled(false);
    setFormatEnabled(false);
    title_->clear();
    title_->setEnabled(false);
    edited_->clear();
    deleteButton_->setEnabled(false);
}

void NotesPane::refreshAfterChange() {
    controller_.SaveGroupList(2);
    controller_.setLeftScrollView();
    emit controller_.userActionPerformed();
}

void NotesPane::addNoteAction() {
    RowList& rows = controller_.catalogue.groupNoteList;
    flush();
    const notes::NoteCreated created = notes::createNote(rows, controller_.selectGroupIndex, HelpClass::AppRootNoteDirPath(),
                                                         HelpClass::getMacAddress(), QDateTime::currentSecsSinceEpoch());
    if (!created.note) {
        tell(ui::text("notes.addFailed.title"), created.error);
        return;
    }
    {
        // A search would hide the new note.
        const QSignalBlocker block(controller_.searchField());
        controller_.searchField()->clear();
        controller_.searchFiles.clear();
    }
    refreshAfterChange();
    // The list is sorted: the new note is wherever its keys put it.
    const qsizetype row = shown_.indexOf(created.note);
    if (row >= 0) {
        openRow(row);
    }
    title_->setFocus();
    title_->selectAll();
}

void NotesPane::deleteNoteAction() {
    const FileModelPtr note = openNote_->note();
    if (!note) {
        return;
    }
    // Kept on disk while the question waits: the answer may be Cancel, or never come.
    flush();
    auto remove = [this, note] {
        RowList& rows = controller_.catalogue.groupNoteList;
        if (openNote_->note() == note) {
            openNote_->close();
        }
        QString error;
        const bool removed = notes::deleteNote(rows, note->groupIndex, note->fileIndex, HelpClass::AppRootNoteDirPath(), &error);
        refreshAfterChange();
        if (!removed) {
            tell(ui::text("notes.deleteFailed.title"), error);
        }
    };
    if (editor_->document()->isEmpty()) {
        remove();
        return;
    }
    controls::ModalSeam::QuestionRequest request;
    request.title = ui::text("notes.deleteQuestion.title").arg(note->name);
    request.message = ui::text("notes.deleteQuestion.message");
    request.safeTitle = ui::text("alert.cancel");
    request.riskyTitle = ui::text("notes.delete");
    controls::ModalSeam::question(this, request,
                                  [pane = QPointer<NotesPane>(this), remove](QMessageBox::StandardButton answer) {
                                      if (pane && answer == QMessageBox::Yes) {
                                          remove();
                                      }
                                  });
}

void NotesPane::renameFromTitleField() {
    const FileModelPtr note = openNote_->note();
    if (!note || !controller_.isShowingNotes()) {
        return;
    }
    emit controller_.userActionPerformed();
    const QString title = title_->text();
    if (title.isEmpty()) {
        // A note keeps a title; an emptied field shows the one it has.
        title_->setText(note->name);
        return;
    }
    if (title == note->name) {
        return;
    }
    const notes::NoteRenamed renamed = openNote_->rename(controller_.catalogue.groupNoteList, title);
    if (!renamed.ok) {
        title_->setText(note->name);
        tell(ui::text("notes.renameFailed.title"), renamed.error);
        return;
    }
    controller_.SaveGroupList(2);
    const qsizetype row = shown_.indexOf(note);
    if (row >= 0) {
        model_->item(static_cast<int>(row))->setText(note->name);
    }
}

}  // namespace tessaro
