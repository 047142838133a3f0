#include "controls/ts_view.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace tessaro::controls {

namespace {

class FocusBorder : public QObject {
public:
    FocusBorder(TSView* frame, QWidget* field, QColor idle, QColor focused)
        : QObject(field), frame_(frame), idle_(idle), focused_(focused) {
        apply(field->hasFocus());
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            apply(event->type() == QEvent::FocusIn);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void apply(bool focus) {
        frame_->setBorderWidth(focus ? 2.0 : 0.5);
        frame_->setBorderColour(focus ? focused_ : idle_);
    }
    TSView* frame_;
    QColor idle_;
    QColor focused_;
};

}  // namespace

TSView::TSView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_StyledBackground, false); }

void TSView::setFillColour(const QColor& colour) {
    fill_ = colour;
    update();
}

void TSView::setBorderColour(const QColor& colour) {
    border_ = colour;
    update();
}

void TSView::setBorderWidth(qreal width) {
    borderWidth_ = width;
    update();
}

void TSView::setCornerRadius(qreal radius) {
    cornerRadius_ = radius;
    update();
}

void TSView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = borderWidth_ / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(box, cornerRadius_, cornerRadius_);
    painter.fillPath(path, fill_);
    if (borderWidth_ > 0) {
        painter.setPen(QPen(border_, borderWidth_));
        painter.drawPath(path);
    }
}

void followFocus(TSView* frame, QWidget* field, const QColor& idle, const QColor& focused) {
    field->installEventFilter(new FocusBorder(frame, field, idle, focused));
}

}  // namespace tessaro::controls
