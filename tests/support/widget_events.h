#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace tessaro::testing {

// Drags `urls` onto the middle of `target` and drops them there, as a file manager would;
// `enterAccepted` (may be null) tells whether the target took the drag.
inline void sendDrop(QWidget* target, const QList<QUrl>& urls, bool* enterAccepted = nullptr) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (enterAccepted) {
        *enterAccepted = enter.isAccepted();
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}

}  // namespace tessaro::testing
