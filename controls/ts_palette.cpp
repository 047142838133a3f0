#include "controls/ts_palette.h"

namespace tessaro::controls {

QColor inkColor(qreal alpha) {
    QColor c = QColor::fromRgbF(0.1725f, 0.1725f, 0.1843f);
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

QFont menuFont() {
    QFont font(QStringLiteral("KannadaSangamMN"));
    font.setPixelSize(15);
    return font;
}

}  // namespace tessaro::controls
