#pragma once

#include <QPoint>

class QWidget;

namespace tessaro::controls {

// The sign of refused input: the widget moves to 10 points right of where it rests, to 10
// points left and back, two times over (0.06 s per stroke, easing in and out), and ends
// where it rests. A shake started while one runs starts over from the rest position.
inline constexpr int kShakeDistance = 10;
inline constexpr int kShakeStrokeMs = 60;
void shake(QWidget* target);
// True while `target` is shaking (tests).
bool isShaking(const QWidget* target);
// Where `target` rests: its position, or while it shakes the one it returns to.
QPoint restingPosition(const QWidget* target);

}  // namespace tessaro::controls
