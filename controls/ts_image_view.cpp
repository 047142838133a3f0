#include "controls/ts_image_view.h"

#include <QPainter>

#include <numbers>

namespace tessaro::controls {

TSImageView::TSImageView(QWidget* parent) : QWidget(parent), turn_(this, "angle") {
    setAttribute(Qt::WA_TranslucentBackground);
}

void TSImageView::setPicture(const QIcon& picture, const QSize& size) {
    icon_ = picture;
    pictureSize_ = size;
    setMinimumSize(size);
    updateGeometry();
    update();
}

void TSImageView::setAngle(qreal radians) {
    angle_ = radians;
    update();
}

void TSImageView::turnTo(qreal radians, int milliseconds) {
    turn_.stop();
    target_ = radians;
    turn_.setStartValue(angle_);
    turn_.setEndValue(radians);
    turn_.setDuration(milliseconds);
    turn_.start();
}

void TSImageView::paintEvent(QPaintEvent*) {
    if (icon_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.rotate(angle_ * 180.0 / std::numbers::pi);
    const QPixmap pixmap = icon_.pixmap(pictureSize_, devicePixelRatioF());
    painter.drawPixmap(QPointF(-pictureSize_.width() / 2.0, -pictureSize_.height() / 2.0), pixmap);
}

}  // namespace tessaro::controls
