#include "access/single_instance.h"
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/ui_resources.h"

#include <QApplication>
#include <QDBusConnection>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Name and organization place the settings under ~/.config/Tessaro.
    QApplication::setApplicationName(QStringLiteral("Tessaro"));
    QApplication::setOrganizationName(QStringLiteral("Tessaro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaro"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessaro"));

    // A second launch brings the running window to the front: two windows on one vault
    // would overwrite each other's catalogue.
    tessaro::access::SingleInstance instance;
    switch (instance.claim()) {
    case tessaro::access::SingleInstance::Claim::First: break;
    case tessaro::access::SingleInstance::Claim::HandedOver: return 0;
    case tessaro::access::SingleInstance::Claim::Unreachable:
        std::fprintf(stderr, "tessaro: another Tessaro is running but does not answer; close it first (lock file %s)\n",
                     qPrintable(instance.lockPath()));
        return 1;
    }

    tessaro::ui::installIconThemeFallback();
    QApplication::setWindowIcon(tessaro::ui::applicationIcon());

    tessaro::AppDelegate delegate;
    QObject::connect(&instance, &tessaro::access::SingleInstance::activationRequested, &delegate,
                     &tessaro::AppDelegate::applicationShouldHandleReopen);
    delegate.watchSessionLock(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
    delegate.applicationDidFinishLaunching();
    return app.exec();
}
