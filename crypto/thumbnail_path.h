#pragma once

#include <QString>

namespace tessaro {

// Where an item's thumbnail lives: pictures get one of their own, named after the MD5 of
// their path (relative to the vault directory on a drive, absolute in the local vault);
// every other item shares one per extension. Creates the "Thumb" directory when missing.
QString getFileThumbImagePath(const QString& itemPath, const QString& directoryName);

}  // namespace tessaro
