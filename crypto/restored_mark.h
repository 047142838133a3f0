#pragma once

#include <QString>

namespace tessaro::walk {

// What tells a restored copy from whatever took its place: "photo (restored).jpg",
// "photo (restored 2).jpg". The window sets the marks in its language; walks read them on
// the worker. Marks that could not be part of a file name are refused (English stays).
QString restoredMark(int n);
void setRestoredMarks(const QString& first, const QString& numbered);

}  // namespace tessaro::walk
