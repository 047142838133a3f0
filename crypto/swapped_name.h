#pragma once

#include <QString>

namespace tessaro {

// The name a file gets inside an item container: within every "/"-separated component,
// neighbours are exchanged pairwise (0<->1, 2<->3, ...; an odd last one stays). Empty
// components vanish, so a leading "/" is dropped. The operation is its own inverse and is
// used in both directions.
//
// Names are exchanged by whole code points: for names inside the Basic Multilingual Plane
// that is exactly the exchange of UTF-16 code units, while a surrogate pair (an emoji, say)
// moves as one piece and the result stays a valid name. A lone surrogate counts as one piece.
QString swappedName(const QString& relativePath);

// One component, without looking for "/".
QString swappedComponent(const QString& component);

}  // namespace tessaro
