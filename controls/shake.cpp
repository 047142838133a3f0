#include "controls/shake.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <QSequentialAnimationGroup>
#include <QWidget>

namespace tessaro::controls {

namespace {
constexpr char kRestProperty[] = "tessaroShakeRest";
constexpr char kAnimationName[] = "tessaroShake";
}  // namespace

bool isShaking(const QWidget* target) {
    return target && target->findChild<QSequentialAnimationGroup*>(QString::fromLatin1(kAnimationName)) != nullptr;
}

QPoint restingPosition(const QWidget* target) {
    const QVariant saved = target->property(kRestProperty);
    return saved.isValid() ? saved.toPoint() : target->pos();
}

void shake(QWidget* target) {
    if (!target) {
        return;
    }
    if (auto* running = target->findChild<QSequentialAnimationGroup*>(QString::fromLatin1(kAnimationName))) {
        running->stop();
        delete running;
    }
    const QPoint rest = restingPosition(target);
    target->setProperty(kRestProperty, rest);

    auto* group = new QSequentialAnimationGroup(target);
    group->setObjectName(QString::fromLatin1(kAnimationName));
    const QPoint right = rest + QPoint(kShakeDistance, 0);
    const QPoint left = rest - QPoint(kShakeDistance, 0);
    // Right to left and back is one cycle; reversing twice makes four strokes.
    const QPoint stops[] = {right, left, right, left, right};
    for (int i = 0; i + 1 < 5; ++i) {
        auto* stroke = new QPropertyAnimation(target, "pos", group);
        stroke->setStartValue(stops[i]);
        stroke->setEndValue(stops[i + 1]);
        stroke->setDuration(kShakeStrokeMs);
        stroke->setEasingCurve(QEasingCurve::InOutQuad);
        group->addAnimation(stroke);
    }
    QObject::connect(group, &QAbstractAnimation::finished, target, [target = QPointer<QWidget>(target), group] {
        if (target) {
            target->move(target->property(kRestProperty).toPoint());
            target->setProperty(kRestProperty, QVariant());
        }
        group->setObjectName(QString());
        group->deleteLater();
    });
    target->move(right);
    group->start();
}

}  // namespace tessaro::controls
