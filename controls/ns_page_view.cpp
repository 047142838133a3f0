#include "controls/ns_page_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace tessaro::controls {

namespace {
// A touch larger than the dot, so that a dot is easy to hit.
constexpr int kHitMargin = 4;
}  // namespace

NSPageView::NSPageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageView"));
    setCursor(Qt::PointingHandCursor);
}

void NSPageView::setCount(int count) {
    count_ = std::clamp(count, 0, kDotCount);
    updateGeometry();
    update();
}

void NSPageView::setPageIndex(qint64 index) {
    pageIndex_ = index;
    update();
}

QSize NSPageView::sizeHint() const {
    return QSize(kDotCount * kDotSize + (kDotCount - 1) * kDotSpacing + 2 * kHitMargin, kDotSize + 2 * kHitMargin);
}

QRect NSPageView::dotRect(int dot) const {
    // The visible dots are centred; hidden ones would follow them on the right.
    const int shown = std::max(count_, 1);
    const int rowWidth = shown * kDotSize + (shown - 1) * kDotSpacing;
    const int left = (width() - rowWidth) / 2;
    return QRect(left + dot * (kDotSize + kDotSpacing), (height() - kDotSize) / 2, kDotSize, kDotSize);
}

QColor NSPageView::dotColour(int dot) const {
    return dot == pageIndex_ ? QColor(Qt::white) : QColor(26, 25, 25);
}

void NSPageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int dot = 0; dot < count_; ++dot) {
        painter.setBrush(dotColour(dot));
        painter.drawEllipse(dotRect(dot));
    }
}

int NSPageView::dotAt(const QPoint& point) const {
    for (int dot = 0; dot < count_; ++dot) {
        if (dotRect(dot).adjusted(-kHitMargin, -kHitMargin, kHitMargin, kHitMargin).contains(point)) {
            return dot;
        }
    }
    return -1;
}

void NSPageView::mousePressEvent(QMouseEvent* event) {
    pressedDot_ = dotAt(event->position().toPoint());
    event->accept();
}

void NSPageView::mouseReleaseEvent(QMouseEvent* event) {
    const int released = dotAt(event->position().toPoint());
    if (released >= 0 && released == pressedDot_) {
        // The sixth dot stands for page 5 only when six pages exist.
        pageIndex_ = released == kDotCount - 1 && count_ != kDotCount ? kDotCount - 2 : released;
    }
    pressedDot_ = -1;
    update();
    if (PageActionBlock) {
        PageActionBlock(pageIndex_);
    }
    event->accept();
}

}  // namespace tessaro::controls
