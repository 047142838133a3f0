#include "app/edit_commands.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace tessaro::editcommands {

namespace {

template <class Widget>
void runOn(Widget* widget, EditCommand command) {
    switch (command) {
    case EditCommand::Undo: widget->undo(); break;
    case EditCommand::Redo: widget->redo(); break;
    case EditCommand::Cut: widget->cut(); break;
    case EditCommand::Copy: widget->copy(); break;
    case EditCommand::Paste: widget->paste(); break;
    case EditCommand::SelectAll: widget->selectAll(); break;
    }
}

}  // namespace

EditTarget focusedTextWidget() {
    QWidget* focus = QApplication::focusWidget();
    return {qobject_cast<QLineEdit*>(focus), qobject_cast<QTextEdit*>(focus), qobject_cast<QPlainTextEdit*>(focus)};
}

bool canRun(const EditTarget& target, EditCommand command) {
    const bool clipboardHasText = !QGuiApplication::clipboard()->text().isEmpty();
    if (QLineEdit* line = target.line) {
        // A password field gives nothing away through the clipboard.
        const bool secret = line->echoMode() != QLineEdit::Normal;
        switch (command) {
        case EditCommand::Undo: return line->isUndoAvailable();
        case EditCommand::Redo: return line->isRedoAvailable();
        case EditCommand::Cut: return !secret && !line->isReadOnly() && line->hasSelectedText();
        case EditCommand::Copy: return !secret && line->hasSelectedText();
        case EditCommand::Paste: return !line->isReadOnly() && clipboardHasText;
        case EditCommand::SelectAll: return !line->text().isEmpty();
        }
    }
    const bool readOnly = target.rich ? target.rich->isReadOnly() : target.plain && target.plain->isReadOnly();
    QTextDocument* document = target.rich ? target.rich->document() : target.plain ? target.plain->document() : nullptr;
    if (!document) {
        return false;
    }
    const bool selection = target.rich ? target.rich->textCursor().hasSelection() : target.plain->textCursor().hasSelection();
    switch (command) {
    case EditCommand::Undo: return !readOnly && document->isUndoAvailable();
    case EditCommand::Redo: return !readOnly && document->isRedoAvailable();
    case EditCommand::Cut: return !readOnly && selection;
    case EditCommand::Copy: return selection;
    case EditCommand::Paste: return !readOnly && clipboardHasText;
    case EditCommand::SelectAll: return !document->isEmpty();
    }
    return false;
}

void run(const EditTarget& target, EditCommand command) {
    if (!canRun(target, command)) {
        return;
    }
    if (target.line) {
        runOn(target.line, command);
    } else if (target.rich) {
        runOn(target.rich, command);
    } else if (target.plain) {
        runOn(target.plain, command);
    }
}

}  // namespace tessaro::editcommands
