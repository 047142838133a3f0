#include "app/modal_window.h"

#include "app/app_delegate.h"

#include <QWidget>

namespace tessaro {

void showCentredModal(QWidget* window, QWidget* over) {
    window->setWindowModality(Qt::ApplicationModal);
    if (over) {
        const QRect owner = over->window()->geometry();
        window->move(owner.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void relabelOnLanguageChange(QWidget* window, std::function<void()> relabel) {
    if (AppDelegate* delegate = AppDelegate::sharedAppDelegate()) {
        QObject::connect(delegate, &AppDelegate::languageChanged, window, std::move(relabel));
    }
}

}  // namespace tessaro
