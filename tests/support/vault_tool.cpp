#include "support/vault_tool.h"

#include <QFile>
#include <QProcess>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaro::testing {

QString vaultToolPath() { return QStringLiteral(TESSARO_BUILT_BIN_DIR) + QStringLiteral("/tessaro-vault"); }

QByteArray passwordLine() { return QByteArray(TestEnvironment::kPassword) + "\n"; }

namespace {

QStringList commonArguments(const TestEnvironment& env) {
    return {QStringLiteral("--settings"), env.settingsFile(), QStringLiteral("--volumes"), env.volumesRoot(),
            QStringLiteral("--verbose")};
}

}  // namespace

ToolRun runVaultTool(const TestEnvironment& env, const QStringList& arguments, const QByteArray& input,
                     const QString& workingDirectory) {
    QProcess p;
    if (!workingDirectory.isEmpty()) {
        p.setWorkingDirectory(workingDirectory);
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

ToolRun runVaultToolRaw(const TestEnvironment& env, const QList<QByteArray>& arguments, const QByteArray& input) {
    QList<QByteArray> words{QFile::encodeName(vaultToolPath())};
    for (const QString& a : commonArguments(env)) {
        words.append(a.toUtf8());
    }
    words.append(arguments);
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            ::close(fd);
        }
        std::vector<char*> argv;
        for (QByteArray& w : words) {
            argv.push_back(w.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (!input.isEmpty()) {
        [[maybe_unused]] const ssize_t written = ::write(in[1], input.constData(), static_cast<size_t>(input.size()));
    }
    ::close(in[1]);
    ToolRun run;
    // Both pipes at once: a child that fills one while the other is read would hang.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, -1) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<qsizetype>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace tessaro::testing
