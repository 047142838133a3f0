#pragma once

#include "core/localized_text.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tessaro::ui {

// Every visible text of the windows goes through the language-aware lookup.
inline QString text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }

// A picture by its relative resource name ("About/LockButtonIcon.png"), with its "@2x"
// sibling added for high-density screens. A missing picture gives a null icon, which the
// widgets simply leave out.
QIcon picture(const QString& name);
QPixmap picturePixmap(const QString& name, const QSize& size, qreal devicePixelRatio);

// The application icon from the installed hicolor sizes compiled into the resources.
QIcon applicationIcon();

// File-type icons come from the desktop's icon theme; without a desktop session (offscreen
// rendering) the theme is Adwaita when it is installed.
void installIconThemeFallback();

}  // namespace tessaro::ui
