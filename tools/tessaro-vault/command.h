#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tessaro::cli {

// One subcommand of tessaro-vault. Each lives in a file of its own and registers itself.
struct Command {
    QString name;
    QString usage;    // e.g. "store SRC DESTDIR"
    QString summary;  // one line for --help
    // Gets the arguments after the subcommand's name; returns the exit status.
    std::function<int(const QStringList& arguments)> run;
};

bool registerCommand(Command command);

// Prints "tessaro-vault: <message>" on stderr and returns `status`, for one-line failures.
int fail(const QString& message, int status = 2);
void printLine(const QString& line);

// Reads the password from standard input: without echo on a terminal (after `prompt`),
// otherwise the first line of the piped input. Never from the command line.
std::optional<QString> readPassword(const QString& prompt);

}  // namespace tessaro::cli
