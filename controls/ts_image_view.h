#pragma once

#include <QIcon>
#include <QPropertyAnimation>
#include <QWidget>

namespace tessaro::controls {

// A picture that can be turned about its centre, as the lock picture of the password
// screens is while the user types.
class TSImageView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal angle READ angle WRITE setAngle)
public:
    explicit TSImageView(QWidget* parent = nullptr);

    // The picture, drawn at `size` points.
    void setPicture(const QIcon& picture, const QSize& size);
    QSize sizeHint() const override { return pictureSize_; }

    // Radians, clockwise.
    qreal angle() const { return angle_; }
    void setAngle(qreal radians);
    // Turns from the current angle to `radians` in `milliseconds`, holding the end angle.
    void turnTo(qreal radians, int milliseconds);
    qreal targetAngle() const { return target_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon icon_;
    QSize pictureSize_;
    qreal angle_ = 0;
    qreal target_ = 0;
    QPropertyAnimation turn_;
};

}  // namespace tessaro::controls
