#pragma once

namespace tessaro::ui {

// Qt's own panels (open and save, font, colour) carry texts of their own: they follow the
// interface language through Qt's translations where the system has them installed.
// Installs the translation for the language in force, or takes it away for English; false
// when the language needs one that is not installed, and the panels stay in English.
bool followInterfaceLanguageInQtPanels();

}  // namespace tessaro::ui
