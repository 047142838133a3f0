#include "core/log.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Nothing a test does may reach the real home directory or settings.
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    if (qEnvironmentVariableIsEmpty("TESSARO_BIN_DIR")) {
        qputenv("TESSARO_BIN_DIR", TESSARO_BUILT_BIN_DIR);
    }
    if (qEnvironmentVariableIsEmpty("TESSARO_SOURCE_DIR")) {
        qputenv("TESSARO_SOURCE_DIR", TESSARO_BUILT_SOURCE_DIR);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    tessaro::setLogToStderr(qEnvironmentVariableIsSet("TESSARO_TEST_LOG"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
