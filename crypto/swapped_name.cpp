#include "crypto/swapped_name.h"

#include <QStringList>

#include <vector>

namespace tessaro {

QString swappedComponent(const QString& component) {
    // Pieces are [start, length) runs of code units: one unit, or two for a valid pair.
    struct Piece {
        qsizetype start;
        qsizetype length;
    };
    std::vector<Piece> pieces;
    pieces.reserve(static_cast<size_t>(component.size()));
    for (qsizetype i = 0; i < component.size();) {
        const bool pair = component.at(i).isHighSurrogate() && i + 1 < component.size() &&
                          component.at(i + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        pieces.push_back({i, length});
        i += length;
    }
    QString out;
    out.reserve(component.size());
    for (size_t i = 0; i < pieces.size(); i += 2) {
        if (i + 1 < pieces.size()) {
            out.append(component.mid(pieces[i + 1].start, pieces[i + 1].length));
        }
        out.append(component.mid(pieces[i].start, pieces[i].length));
    }
    return out;
}

QString swappedName(const QString& relativePath) {
    QStringList parts;
    for (const QString& component : relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        parts.append(swappedComponent(component));
    }
    return parts.join(QLatin1Char('/'));
}

}  // namespace tessaro
