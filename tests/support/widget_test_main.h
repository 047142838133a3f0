#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace tessaro::testing {

// The main function of a widget test: a home directory and settings of its own, offscreen
// unless the caller chose a platform, then the Qt Test object's slots. `laptopScreen` gives
// the offscreen platform a 1280 x 800 screen instead of its small default one.
template <typename Test>
int runWidgetTest(int argc, char** argv, bool laptopScreen = false) {
    // Nothing a test does may reach the real home directory or settings.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // A laptop-sized screen: room for the main window, and small enough that a stored size
    // from a larger screen does not fit.
    if (laptopScreen && qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen")) {
        const QString config = home.filePath(QStringLiteral("screens.json"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"({"screens":[{"name":"laptop","x":0,"y":0,"width":1280,"height":800,)"
                       R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
            file.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
        }
    }
    QApplication app(argc, argv);
    Test test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace tessaro::testing
