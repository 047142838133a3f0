#pragma once

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
    };
    struct SavePanelRequest {
        QString title;
        QString message;
        QString directory;
        QString suggestedName;
    };

    // The next alert is answered with this button.
    static void nextAnswer(QMessageBox::StandardButton button);
    // The next panel is answered with these paths; an empty list cancels it.
    static void nextFileNames(const QStringList& paths);
    // Forgets answers that were not used (tests, between cases).
    static void reset();

    // What the last alert and the last save panel asked, answered or not.
    static const AlertRequest& lastAlert();
    static const SavePanelRequest& lastSavePanel();
    // Questions asked so far (tests count them).
    static int alertCount();

    // A warning with one OK button, as a sheet on `parent`'s window.
    static void alert(QWidget* parent, const AlertRequest& request,
                      std::function<void(QMessageBox::StandardButton)> done = {});
    // A save panel as a sheet on `parent`'s window; `done` gets the chosen path or nothing.
    static void savePanel(QWidget* parent, const SavePanelRequest& request,
                          std::function<void(std::optional<QString>)> done);
};

}  // namespace tessaro::controls
