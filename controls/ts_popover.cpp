#include "controls/ts_popover.h"

#include "controls/shake.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaro::controls {

namespace {
constexpr qreal kCornerRadius = 6;
}

TSPopover::TSPopover(QWidget* host) : QWidget(host) {
    setObjectName(QStringLiteral("popover"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, kArrowHeight + 8, 12, 8);
    hide();
}

void TSPopover::setContentViewController(QWidget* content) {
    if (content_) {
        layout()->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = content;
    content->setParent(this);
    layout()->addWidget(content);
}

void TSPopover::showRelativeTo(QWidget* anchor, const QSize& size) {
    QWidget* host = parentWidget();
    // Where the anchor rests: a shaking field must not drag the arrow along.
    const QPoint offset = anchor->parentWidget() ? anchor->parentWidget()->mapTo(host, QPoint(0, 0)) : QPoint();
    const QRect anchorRect(offset + restingPosition(anchor), anchor->size());
    const int x = std::clamp(anchorRect.center().x() - size.width() / 2, 0, std::max(0, host->width() - size.width()));
    arrowX_ = anchorRect.center().x() - x;
    setGeometry(x, anchorRect.bottom() + 1, size.width(), size.height());
    raise();
    if (!isVisible()) {
        qApp->installEventFilter(this);
        show();
    }
    update();
}

void TSPopover::hideEvent(QHideEvent* event) {
    qApp->removeEventFilter(this);
    QWidget::hideEvent(event);
}

bool TSPopover::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && isVisible()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool inside = widget && rect().contains(mapFromGlobal(mouse->globalPosition().toPoint()));
        if (!inside) {
            hide();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TSPopover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).adjusted(0.5, kArrowHeight + 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(body, kCornerRadius, kCornerRadius);
    QPainterPath arrow;
    const qreal ax = std::clamp<qreal>(arrowX_, kCornerRadius + kArrowHeight, width() - kCornerRadius - kArrowHeight);
    arrow.moveTo(ax - kArrowHeight, body.top() + 1);
    arrow.lineTo(ax, 0.5);
    arrow.lineTo(ax + kArrowHeight, body.top() + 1);
    arrow.closeSubpath();
    path = path.united(arrow);
    painter.fillPath(path, QColor(255, 255, 255));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
    painter.drawPath(path);
}

}  // namespace tessaro::controls
