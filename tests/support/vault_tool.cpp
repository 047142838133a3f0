#include "support/vault_tool.h"

#include <QFile>
#include <QProcess>

#include <unistd.h>

#include <vector>

namespace tessaro::testing {

QString vaultToolPath() { return QStringLiteral(TESSARO_BUILT_BIN_DIR) + QStringLiteral("/tessaro-vault"); }

QByteArray passwordLine() { return QByteArray(TestEnvironment::kPassword) + "\n"; }

namespace {

QStringList commonArguments(const TestEnvironment& env) {
    return {QStringLiteral("--settings"), env.settingsFile(), QStringLiteral("--volumes"), env.volumesRoot(),
            QStringLiteral("--verbose")};
}

// With `raw` words the child executes them itself: QProcess passes its arguments as text, and
// a name that is not UTF-8 would not survive the trip.
ToolRun runTool(const TestEnvironment& env, const QStringList& arguments, QList<QByteArray> raw,
                const QByteArray& input, const QString& workingDirectory) {
    QProcess p;
    p.setWorkingDirectory(workingDirectory);
    std::vector<char*> argv;
    if (!raw.isEmpty()) {
        QList<QByteArray> words{QFile::encodeName(vaultToolPath())};
        for (const QString& a : commonArguments(env)) {
            words.append(a.toUtf8());
        }
        raw = words + raw;
        for (QByteArray& word : raw) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        p.setChildProcessModifier([&argv] {
            ::execv(argv[0], argv.data());
            ::_exit(127);
        });
    }
    p.start(vaultToolPath(), commonArguments(env) + arguments);
    ToolRun run;
    if (!p.waitForStarted(30000)) {
        run.err = p.errorString().toUtf8();
        return run;
    }
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

}  // namespace

ToolRun runVaultTool(const TestEnvironment& env, const QStringList& arguments, const QByteArray& input,
                     const QString& workingDirectory) {
    return runTool(env, arguments, {}, input, workingDirectory);
}

ToolRun runVaultToolRaw(const TestEnvironment& env, const QList<QByteArray>& arguments, const QByteArray& input) {
    return runTool(env, {}, arguments, input, {});
}

}  // namespace tessaro::testing
