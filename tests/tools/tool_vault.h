#pragma once

#include "core/catalogue.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tessaro::testing {

// A vault set up by the library for the tool to work on, with a home folder for the
// user's files.
struct ToolVault {
    TestEnvironment env;
    QString home = env.base() + QStringLiteral("/home");
    ToolVault() {
        Catalogue catalogue;
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        QDir().mkpath(home);
    }
    // With the right password on standard input.
    ToolRun run(const QStringList& arguments) const { return runVaultTool(env, arguments, passwordLine()); }
    // A file in the home folder that holds "<name> bytes".
    QString file(const QString& name) const {
        const QString path = home + QLatin1Char('/') + name;
        TestEnvironment::writeFile(path, name.toUtf8() + " bytes");
        return path;
    }
    QString listed() const { return QString::fromUtf8(runVaultTool(env, {QStringLiteral("list")}).out); }
};

}  // namespace tessaro::testing
