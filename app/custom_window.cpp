#include "app/custom_window.h"

#include <QMenuBar>

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
    // Changing the flags of a shown window hides it; show it again where it was.
    const bool wasVisible = isVisible();
    setWindowFlags(flags);
    if (wasVisible) {
        show();
    }
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

void CustomWindow::setContentSize(const QSize& size) {
    resize(size.width(), size.height() + chromeHeight());
}

QSize CustomWindow::contentSize() const {
    return QSize(width(), std::max(0, height() - chromeHeight()));
}

void CustomWindow::setFixedContentSize(const QSize& size) {
    // Loosen first, so that a smaller fixed size is not held up by the old minimum.
    setMinimumSize(0, 0);
    setMaximumSize(kQtMaximumSize, kQtMaximumSize);
    setContentMinimumSize(size);
    setContentMaximumSize(size);
    setContentSize(size);
}

}  // namespace tessaro
