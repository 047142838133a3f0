#pragma once

#include <QColor>
#include <QFont>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace tessaro::controls {

// Every modal question a window asks (alerts, save and open panels) goes through here, so
// that a test can answer it before it is asked instead of clicking a dialog on a timer.
// Answers arrive on a later turn of the event loop either way, as they would from a sheet.
class ModalSeam {
public:
    struct AlertRequest {
        QString title;
        QString message;
        QString informativeText;
        // The button's text; the localized "alert.ok" when empty.
        QString buttonTitle = {};
    };
    // A question with two answers; the safe one is the default, so that Return or Escape
    // never does what the user did not choose.
    struct QuestionRequest {
        QString title;
        QString message;
        QString informativeText;
        QString safeTitle;    // answered as QMessageBox::No
        QString riskyTitle;   // answered as QMessageBox::Yes
    };
    struct SavePanelRequest {
        QString title;
        QString message;
        QString directory;
        QString suggestedName;
    };
    struct OpenPanelRequest {
        QString title;
        QString directory;
        // The accept button's text; the dialog's own when empty.
        QString acceptLabel;
        bool allowsMultipleSelection = true;
        bool canChooseFiles = true;
        bool canChooseDirectories = true;
        bool canCreateDirectories = true;
    };

    // The next alert is answered with this button.
    static void nextAnswer(QMessageBox::StandardButton button);
    // The next panel is answered with these paths; an empty list cancels it.
    static void nextFileNames(const QStringList& paths);
    // The next font (colour) panel is answered with this choice; an invalid colour cancels.
    static void nextFont(const QFont& font);
    static void nextColor(const QColor& color);
    // Forgets answers that were not used (tests, between cases).
    static void reset();

    // What the last alert and the last save panel asked, answered or not.
    static const AlertRequest& lastAlert();
    static const SavePanelRequest& lastSavePanel();
    static const OpenPanelRequest& lastOpenPanel();
    // Questions asked so far (tests count them).
    static int alertCount();

    // A warning with one OK button, as a sheet on `parent`'s window.
    static void alert(QWidget* parent, const AlertRequest& request,
                      std::function<void(QMessageBox::StandardButton)> done = {});
    // A question as a sheet on `parent`'s window; `done` gets Yes (the risky answer) or No.
    static void question(QWidget* parent, const QuestionRequest& request,
                         std::function<void(QMessageBox::StandardButton)> done);
    // What the last question asked.
    static const QuestionRequest& lastQuestion();
    // The font (colour) panel, starting at `current`; `done` only runs when one was chosen.
    static void fontPanel(QWidget* parent, const QFont& current, std::function<void(const QFont&)> done);
    static void colorPanel(QWidget* parent, const QColor& current, std::function<void(const QColor&)> done);
    // A save panel as a sheet on `parent`'s window; `done` gets the chosen path or nothing.
    static void savePanel(QWidget* parent, const SavePanelRequest& request,
                          std::function<void(std::optional<QString>)> done);
    // An open panel as a sheet on `parent`'s window; `done` gets the chosen paths, none
    // when it was cancelled. With both files and folders choosable, its accept button takes
    // a selected folder as it is; a double click opens a folder to look inside.
    static void openPanel(QWidget* parent, const OpenPanelRequest& request,
                          std::function<void(const QStringList&)> done);
};

}  // namespace tessaro::controls
