// tessaro-vault: maintenance and rescue of a vault without the window, on the same
// libraries as the application.
#include "tools/tessaro-vault/command.h"

#include "core/file_system.h"
#include "core/log.h"
#include "core/vault_lock.h"
#include "core/vault_paths.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "vault/vault_move.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringDecoder>

#include <cstdio>
#include <map>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

namespace tessaro::cli {

namespace {
std::map<QString, Command>& commands() {
    static std::map<QString, Command> table;
    return table;
}

void printUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: tessaro-vault [--settings FILE] [--volumes DIR] [--verbose] COMMAND [ARGUMENTS]\n\n"
                 "Options:\n"
                 "  --settings FILE  the settings file to use (default: the application's own)\n"
                 "  --volumes DIR    the directory where removable drives are mounted\n"
                 "  --verbose        also print the system log lines on stderr\n"
                 "  --help           show this help\n\n"
                 "Commands:\n");
    for (const auto& [name, command] : commands()) {
        std::fprintf(out, "  %s\n      %s\n", qPrintable(command.usage), qPrintable(command.summary));
    }
    std::fprintf(out, "\nPasswords are read from standard input, never from the command line.\n");
}
}  // namespace

bool registerCommand(Command command) {
    const QString name = command.name;
    commands()[name] = std::move(command);
    return true;
}

int fail(const QString& message, int status) {
    std::fprintf(stderr, "tessaro-vault: %s\n", message.toUtf8().constData());
    return status;
}

void printLine(const QString& line) {
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
}

void printProblems(const QStringList& problems) {
    for (const QString& problem : problems) {
        std::fprintf(stderr, "tessaro-vault: %s\n", problem.toUtf8().constData());
    }
}

std::optional<ParsedArguments> parseArguments(const QString& command, const QStringList& arguments,
                                              const QStringList& known) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (const QString& word : arguments) {
        if (!optionsEnded && word == QLatin1String("--")) {
            optionsEnded = true;  // a path that begins with "--" follows
        } else if (optionsEnded || !word.startsWith(QLatin1String("--"))) {
            parsed.positional.append(word);
        } else if (known.contains(word)) {
            parsed.switches.append(word);
        } else {
            fail(QStringLiteral("%1: unknown option %2").arg(command, word));
            return std::nullopt;
        }
    }
    return parsed;
}

std::shared_ptr<VaultLock> lockVault(const QString& directory, const QString& command) {
    QString vault = vaultpaths::vaultDirectoryContaining(directory);
    if (vault.isEmpty()) {
        vault = directory;
    }
    QString refusal;
    auto lock = VaultLock::acquire(vault, QStringLiteral("tessaro-vault %1").arg(command), VaultLock::kDefaultWaitMs,
                                   &refusal);
    if (!lock) {
        fail(QStringLiteral("%1: %2").arg(command, refusal), 1);
    }
    return lock;
}

std::optional<QString> readPassword(const QString& prompt) {
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", qPrintable(prompt));
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') {
        line.append(static_cast<char>(c));
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (c == EOF && line.isEmpty()) {
        return std::nullopt;
    }
    // Bytes that are not UTF-8 would silently become other characters than were typed.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(line);
    if (decoder.hasError()) {
        fail(QStringLiteral("the password read from standard input is not valid UTF-8"));
        return std::nullopt;
    }
    return text;
}

}  // namespace tessaro::cli

int main(int argc, char** argv) {
    using namespace tessaro::cli;
    QCoreApplication app(argc, argv);
    // A size limit must end a write with an error, not the process.
    ::signal(SIGXFSZ, SIG_IGN);
    tessaro::setLogToStderr(false);

    // Qt decodes the arguments with replacement characters where they are not UTF-8, and a
    // path spelled that way names another file, or none.
    for (int i = 1; i < argc; ++i) {
        if (!tessaro::fs::isValidUtf8Name(QByteArray(argv[i]))) {
            return fail(QStringLiteral("the argument \"%1\" is not valid UTF-8: a name that is not UTF-8 cannot be kept "
                                       "in the catalogue; rename the file first")
                            .arg(tessaro::fs::displayName(QByteArray(argv[i]))));
        }
    }
    QStringList arguments = app.arguments().mid(1);
    while (!arguments.isEmpty() && arguments.first().startsWith(QLatin1String("--"))) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--help")) {
            printUsage(stdout);
            return 0;
        }
        if (option == QLatin1String("--verbose")) {
            tessaro::setLogToStderr(true);
            continue;
        }
        if (option == QLatin1String("--settings") || option == QLatin1String("--volumes")) {
            if (arguments.isEmpty()) {
                return fail(QStringLiteral("%1 needs a path").arg(option));
            }
            const QString value = QFileInfo(arguments.takeFirst()).absoluteFilePath();
            if (option == QLatin1String("--settings")) {
                tessaro::SettingsStore::useFile(value);
            } else {
                tessaro::Volumes::setRoot(value);
            }
            continue;
        }
        return fail(QStringLiteral("unknown option %1 (see --help)").arg(option));
    }
    if (arguments.isEmpty()) {
        printUsage(stderr);
        return 2;
    }
    const QString name = arguments.takeFirst();
    const auto it = commands().find(name);
    if (it == commands().end()) {
        return fail(QStringLiteral("unknown command \"%1\" (see --help)").arg(name));
    }
    if (arguments.mid(0, arguments.indexOf(QLatin1String("--"))).contains(QLatin1String("--help"))) {
        std::fprintf(stdout, "Usage: tessaro-vault [options] %s\n%s\n", qPrintable(it->second.usage),
                     qPrintable(it->second.summary));
        return 0;
    }
    // A move of the vault cut short is settled before a command looks at the root, as the
    // window does at launch; what was done goes to stderr, away from the listings. A move
    // whose vault is held is still running in the window: the command's own lock speaks.
    using Outcome = tessaro::vault::MoveRecovery::Outcome;
    const tessaro::vault::MoveRecovery moved = tessaro::vault::finishInterruptedMove();
    if (moved.outcome != Outcome::None && moved.outcome != Outcome::Postponed && !moved.log.isEmpty()) {
        std::fprintf(stderr, "tessaro-vault: %s\n", qPrintable(moved.log));
    }
    return it->second.run(arguments);
}
