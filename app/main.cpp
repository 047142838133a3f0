#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/ui_resources.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Name and organization place the settings under ~/.config/Tessaro.
    QApplication::setApplicationName(QStringLiteral("Tessaro"));
    QApplication::setOrganizationName(QStringLiteral("Tessaro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaro"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessaro"));
    tessaro::ui::installIconThemeFallback();
    QApplication::setWindowIcon(tessaro::ui::applicationIcon());

    tessaro::AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return app.exec();
}
