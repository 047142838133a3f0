#pragma once

#include <QColor>

// The colours of the main window, in one place so that rows, bars and panes agree.
namespace tessaro::style {

// The pictures' teal, so that selection, bars and icons read as one family.
inline QColor accent() { return QColor(0x0E, 0x7C, 0x74); }
inline QColor windowBackground() { return QColor(251, 251, 252); }
inline QColor sidebarBackground() { return QColor(238, 239, 242); }
inline QColor sidebarHover() { return QColor(0, 0, 0, 14); }
inline QColor sidebarText() { return QColor(44, 44, 47); }
inline QColor sidebarHeaderText() { return QColor(110, 112, 120); }
inline QColor sidebarMutedText() { return QColor(120, 122, 130); }
inline QColor countBadge() { return QColor(0, 0, 0, 22); }
inline QColor separator() { return QColor(222, 223, 228); }
inline QColor rowSelected() { return QColor(0xE3, 0xF4, 0xF1); }
inline QColor primaryText() { return QColor(30, 30, 34); }
inline QColor secondaryText() { return QColor(120, 122, 130); }
inline QColor progressTrack() { return QColor(220, 224, 232); }

}  // namespace tessaro::style
