#pragma once

#include "support/test_environment.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

namespace tessaro::testing {

// One run of the real tessaro-vault binary on a test environment's settings file and
// volumes root.
struct ToolRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    QByteArray out;
    QByteArray err;
};

ToolRun runVaultTool(const TestEnvironment& env, const QStringList& arguments, const QByteArray& input = {},
                     const QString& workingDirectory = {});

// The same with arguments passed as raw bytes (names that are not UTF-8).
ToolRun runVaultToolRaw(const TestEnvironment& env, const QList<QByteArray>& arguments, const QByteArray& input = {});

// The environment's password as standard input.
QByteArray passwordLine();

QString vaultToolPath();

// Both streams of a run, for a failure message.
inline std::string text(const ToolRun& run) { return (run.out + run.err).toStdString(); }

}  // namespace tessaro::testing
