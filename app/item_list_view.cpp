#include "app/item_list_view.h"

#include "app/shell_style.h"
#include "app/ui_resources.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tessaro {

void ItemListView::setPlaceholderText(const QString& text) {
    placeholder_ = text;
    viewport()->update();
}

void ItemListView::setPlaceholderPicture(const QString& name) {
    picture_ = name;
    viewport()->update();
}

void ItemListView::setAcceptsFileDrops(bool accepts) {
    acceptsFileDrops_ = accepts;
    setAcceptDrops(accepts);
    viewport()->setAcceptDrops(accepts);
}

QStringList ItemListView::localPathsFromUrls(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        // "/a/folder/" and "/a/folder" name one item; keep the spelling without the slash.
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (!path.isEmpty()) {
            paths.append(path);
        }
    }
    return paths;
}

QStringList ItemListView::droppablePaths(const QDropEvent* event) const {
    // A drag that starts in this application (a row of this very list) is not an add.
    if (!acceptsFileDrops_ || event->source() || !event->mimeData()->hasUrls()) {
        return {};
    }
    return localPathsFromUrls(event->mimeData()->urls());
}

void ItemListView::dragEnterEvent(QDragEnterEvent* event) {
    if (droppablePaths(event).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropHighlight(true);
}

void ItemListView::dragMoveEvent(QDragMoveEvent* event) {
    if (droppablePaths(event).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void ItemListView::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropHighlight(false);
    event->accept();
}

void ItemListView::dropEvent(QDropEvent* event) {
    setDropHighlight(false);
    const QStringList paths = droppablePaths(event);
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit filesDropped(paths);
}

void ItemListView::setDropHighlight(bool on) {
    if (dropHighlight_ != on) {
        dropHighlight_ = on;
        viewport()->update();
    }
}

void ItemListView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    QPainter painter(viewport());
    const QRect view = viewport()->rect();
    if (dropHighlight_) {
        // Where the drop lands: the whole list, outlined in the accent colour.
        painter.setRenderHint(QPainter::Antialiasing);
        QColor wash = style::accent();
        wash.setAlpha(18);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(view).adjusted(4.5, 4.5, -4.5, -4.5), 8, 8);
        painter.fillPath(outline, wash);
        painter.setPen(QPen(style::accent(), 2));
        painter.drawPath(outline);
    }
    if (model() && model()->rowCount() > 0) {
        return;
    }
    // A short, centred paragraph rather than one line across a wide window, under the
    // picture when there is one.
    const int width = std::min(view.width() - 80, 380);
    QRect textArea(view.center().x() - width / 2, view.top(), width, view.height());
    const QIcon picture = picture_.isEmpty() ? QIcon() : ui::picture(picture_);
    if (!picture.isNull()) {
        const QSize size(120, 96);
        const QFontMetrics metrics(painter.font());
        const QRect textBounds = metrics.boundingRect(QRect(0, 0, width, view.height()), Qt::TextWordWrap, placeholder_);
        const int total = size.height() + 16 + textBounds.height();
        const int top = view.center().y() - total / 2;
        picture.paint(&painter, QRect(QPoint(view.center().x() - size.width() / 2, top), size));
        textArea = QRect(textArea.left(), top + size.height() + 16, width, textBounds.height());
    }
    painter.setPen(style::secondaryText());
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
}

}  // namespace tessaro
