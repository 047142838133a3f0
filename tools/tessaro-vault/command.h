#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tessaro {
class VaultLock;
}

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
// Prints each problem a walk reported, one "tessaro-vault: ..." line each, on stderr.
void printProblems(const QStringList& problems);

// The words after a subcommand: switches it knows ("--move") and the positional words.
struct ParsedArguments {
    QStringList switches;
    QStringList positional;
    bool has(const QString& name) const { return switches.contains(name); }
};
// Absent (after a message on stderr) when a word starting with "--" is not in `known`.
std::optional<ParsedArguments> parseArguments(const QString& command, const QStringList& arguments,
                                              const QStringList& known);

// The writer's lock of the vault that holds `directory` (or of `directory` itself when it
// lies in no vault), waiting briefly; absent after a message naming who holds it.
std::shared_ptr<VaultLock> lockVault(const QString& directory, const QString& command);

// Reads the password from standard input: without echo on a terminal (after `prompt`),
// otherwise the first line of the piped input. Never from the command line.
std::optional<QString> readPassword(const QString& prompt);

}  // namespace tessaro::cli
