#pragma once

#include <QColor>
#include <QFont>

namespace tessaro::controls {

// The dark ink used for menu texts and the tutorial backdrop: red 0.1725, green 0.1725,
// blue 0.1843 (44, 44, 47 of 255).
QColor inkColor(qreal alpha = 1.0);

// The font of the sort and language pop-up menus ("KannadaSangamMN", 15 points); the
// system substitutes its closest family when that one is not installed. Points here are
// the window's own unit, one per logical pixel, as every other size of the window is: 15
// typographic points would be a third larger than the rest of the window's text.
QFont menuFont();

}  // namespace tessaro::controls
