#pragma once

#include <QString>
#include <functional>

class QPixmap;
class QWidget;

namespace tessaro::screenshots {

// The change-password window over `mainWindow` in its states: empty, typing a weak and a
// strong password, a refused old password with its alert, the warning before the change,
// and the removable-drive vault `driveKey`. Each picture goes to `save` with its name.
void renderChangePassword(QWidget* mainWindow, const QString& driveKey, const QString& suffix, bool chinese,
                          const std::function<void(QWidget*, const QString&)>& save);

}  // namespace tessaro::screenshots
