#pragma once

#include "core/catalogue.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>

class QScreen;

namespace tessaro {

// The one main window. Its content is the guide, the login screen or the main window
// controller; sizes are given as content sizes (the area below the menu bar).
class CustomWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CustomWindow(QWidget* parent = nullptr);

    // The window is in full-screen mode.
    bool isFullState = false;
    // The removable-drive vault table carried across a lock; absent until the first lock.
    std::optional<UpLibrary> UPLibrary;

    // Asked before the window closes; false keeps it open (the guard then decides later).
    std::function<bool()> closeGuard;

    // Hides (guide) or shows (login and main) the title bar's own buttons.
    void hiddenCustomButton(bool hidden);
    bool customButtonsHidden() const { return buttonsHidden_; }
    void setZoomEnabled(bool enabled);
    bool zoomEnabled() const { return zoomEnabled_; }

    // Installs a controller as the content. The previous one is deleted on the next turn
    // of the event loop, so a controller may replace itself from its own handler.
    void setContentController(QWidget* controller);
    QWidget* contentController() const { return controller_; }

    void setContentMinimumSize(const QSize& size);
    void setContentMaximumSize(const QSize& size);
    // Resizes the content. A shown window keeps its centre where it is and stays whole on
    // its screen (shrinking to the screen when it would not fit).
    void setContentSize(const QSize& size);
    QSize contentSize() const;
    // Minimum, maximum and current content size all at once (the login screen).
    void setFixedContentSize(const QSize& size);

    // The window's rectangle (frame excluded) moved and, if need be, shrunk so that the
    // whole window, frame included, lies on the screen it is mostly on.
    QRect fittedOnScreen(const QRect& geometry) const;
    // Puts the window at `geometry` (frame excluded), fitted on the screen.
    void placeOnScreen(const QRect& geometry);
    // Centres the window on its screen (before it is first shown).
    void centreOnScreen();

signals:
    void customButtonsHiddenChanged(bool hidden);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int chromeHeight() const;
    void applyWindowFlags();
    QScreen* screenFor(const QRect& geometry) const;

    QPointer<QWidget> controller_;
    bool buttonsHidden_ = false;
    bool zoomEnabled_ = true;
};

}  // namespace tessaro
