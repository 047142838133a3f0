#pragma once

class QLineEdit;
class QPlainTextEdit;
class QTextEdit;

// The Edit menu's standard commands, run on whichever text field has the focus.
namespace tessaro::editcommands {

// Values are the Edit menu's item tags.
enum class EditCommand { Undo = 1, Redo, Cut, Copy, Paste, SelectAll };

// The focused line or text field; all null when the focus is elsewhere.
struct EditTarget {
    QLineEdit* line = nullptr;
    QTextEdit* rich = nullptr;
    QPlainTextEdit* plain = nullptr;
};

EditTarget focusedTextWidget();
// Whether the command would do anything on the target now.
bool canRun(const EditTarget& target, EditCommand command);
// Runs the command when it can.
void run(const EditTarget& target, EditCommand command);

}  // namespace tessaro::editcommands
