#include "app/custom_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace tessaro {

namespace {
constexpr int kQtMaximumSize = QWIDGETSIZE_MAX;
}

CustomWindow::CustomWindow(QWidget* parent) : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setUnifiedTitleAndToolBarOnMac(true);
    applyWindowFlags();
}

int CustomWindow::chromeHeight() const {
    const QMenuBar* bar = menuWidget() ? qobject_cast<const QMenuBar*>(menuWidget()) : nullptr;
    if (!bar || bar->isNativeMenuBar() || bar->isHidden()) {
        return 0;
    }
    return bar->sizeHint().height();
}

void CustomWindow::applyWindowFlags() {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (!buttonsHidden_) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
        if (zoomEnabled_) {
            flags |= Qt::WindowMaximizeButtonHint | Qt::WindowFullscreenButtonHint;
        }
    }
    if (flags == windowFlags()) {
        return;
    }
    // Recreating a shown window (what setWindowFlags does) hides it and lets the window
    // manager place it anew, a little off each time; a shown window gets its new buttons
    // in place instead.
    if (QWindow* handle = windowHandle(); handle && isVisible()) {
        overrideWindowFlags(flags);
        handle->setFlags(flags);
        return;
    }
    setWindowFlags(flags);
}

void CustomWindow::closeEvent(QCloseEvent* event) {
    if (closeGuard && !closeGuard()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CustomWindow::hiddenCustomButton(bool hidden) {
    buttonsHidden_ = hidden;
    applyWindowFlags();
    emit customButtonsHiddenChanged(hidden);
}

void CustomWindow::setZoomEnabled(bool enabled) {
    zoomEnabled_ = enabled;
    applyWindowFlags();
}

void CustomWindow::setContentController(QWidget* controller) {
    QWidget* old = takeCentralWidget();
    setCentralWidget(controller);
    controller_ = controller;
    if (old && old != controller) {
        old->hide();
        old->deleteLater();
    }
}

void CustomWindow::setContentMinimumSize(const QSize& size) {
    setMinimumSize(size.width(), size.height() + chromeHeight());
}

void CustomWindow::setContentMaximumSize(const QSize& size) {
    const int w = std::min(size.width(), kQtMaximumSize);
    const int h = std::min(size.height() + chromeHeight(), kQtMaximumSize);
    setMaximumSize(w, h);
}

// A rectangle of `size` with the centre of `around`, counted in doubled coordinates so
// that growing and shrinking back lands on the same pixels.
static QRect centredOn(const QRect& around, const QSize& size) {
    return QRect(QPoint((2 * around.x() + around.width() - size.width()) / 2,
                        (2 * around.y() + around.height() - size.height()) / 2),
                 size);
}

void CustomWindow::setContentSize(const QSize& size) {
    const QSize target =
        QSize(size.width(), size.height() + chromeHeight()).boundedTo(maximumSize()).expandedTo(minimumSize());
    if (!isVisible()) {
        resize(target);
        return;
    }
    placeOnScreen(centredOn(geometry(), target));
}

QScreen* CustomWindow::screenFor(const QRect& geometry) const {
    if (QScreen* at = QGuiApplication::screenAt(geometry.center())) {
        return at;
    }
    return screen() ? screen() : QGuiApplication::primaryScreen();
}

QRect CustomWindow::fittedOnScreen(const QRect& geometry) const {
    const QScreen* target = screenFor(geometry);
    if (!target) {
        return geometry;
    }
    const QRect available = target->availableGeometry();
    // The window manager's frame, known once the window has been shown.
    const QRect frame = frameGeometry();
    const QRect client = this->geometry();
    const QMargins margins = isVisible() ? QMargins(client.left() - frame.left(), client.top() - frame.top(),
                                                    frame.right() - client.right(), frame.bottom() - client.bottom())
                                         : QMargins();
    QRect fitted = geometry;
    const QSize room(available.width() - margins.left() - margins.right(),
                     available.height() - margins.top() - margins.bottom());
    fitted.setSize(geometry.size().boundedTo(room).expandedTo(minimumSize()));
    // Right and bottom first, so that a window larger than the screen keeps its title bar
    // and its left edge on the screen.
    fitted.moveRight(std::min(fitted.right(), available.right() - margins.right()));
    fitted.moveBottom(std::min(fitted.bottom(), available.bottom() - margins.bottom()));
    fitted.moveLeft(std::max(fitted.left(), available.left() + margins.left()));
    fitted.moveTop(std::max(fitted.top(), available.top() + margins.top()));
    return fitted;
}

void CustomWindow::placeOnScreen(const QRect& geometry) {
    setGeometry(fittedOnScreen(geometry));
}

void CustomWindow::centreOnScreen() {
    const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target) {
        return;
    }
    QRect centred(QPoint(0, 0), size());
    centred.moveCenter(target->availableGeometry().center());
    setGeometry(fittedOnScreen(centred));
}

QSize CustomWindow::contentSize() const {
    return QSize(width(), std::max(0, height() - chromeHeight()));
}

void CustomWindow::setFixedContentSize(const QSize& size) {
    // Loosen first, so that a smaller fixed size is not held up by the old minimum; and
    // place before the new limits, which would otherwise shrink the window from its corner.
    const QRect before = geometry();
    setMinimumSize(0, 0);
    setMaximumSize(kQtMaximumSize, kQtMaximumSize);
    const QSize target(size.width(), size.height() + chromeHeight());
    if (isVisible()) {
        placeOnScreen(centredOn(before, target));
    } else {
        resize(target);
    }
    setContentMinimumSize(size);
    setContentMaximumSize(size);
}

}  // namespace tessaro
