#pragma once

#include <QString>

class QAction;
class QMenu;

namespace tessaro {

// The look shared by the item, group and notes menus: the menu font, dark ink, and entries
// that do not apply drawn black at 30 % and not choosable.
void applyCommandMenuLook(QMenu* menu);

// Appends an entry carrying `tag` (its data), enabled only when it `applies`.
QAction* addCommand(QMenu* menu, const QString& title, int tag, bool applies);

}  // namespace tessaro
