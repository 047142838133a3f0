// group new NAME, group rename GROUP NAME, group delete GROUP: the sidebar's group commands
// on the local vault. A deleted group's items move to All Items; nothing on disk changes.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "vault/list_commands.h"

#include <QDateTime>

namespace tessaro::cli {
namespace {

// The user group an argument names: its name, or "#N" for the group at position N as
// `list` shows it (for two groups of one name). -1 after a message.
qint64 groupNamed(const RowList& rows, const QString& argument) {
    QList<qint64> named;
    for (qint64 i = 0; i < rows.size(); ++i) {
        if (vault::isUserGroup(rows, i) && rows[i]->name == argument) {
            named.append(i);
        }
    }
    if (named.size() == 1) {
        return named.first();
    }
    if (named.size() > 1) {
        fail(QStringLiteral("group: %1 groups are named %2; name one by its position, e.g. #%3 (see list)")
                 .arg(QString::number(named.size()), argument, QString::number(named.first())));
        return -1;
    }
    bool isNumber = false;
    const qint64 position = argument.startsWith(QLatin1Char('#')) ? argument.mid(1).toLongLong(&isNumber) : -1;
    if (isNumber && vault::isUserGroup(rows, position)) {
        return position;
    }
    const bool builtIn = rows.size() > 1 && rows[1] && rows[1]->name == argument;
    fail(builtIn ? QStringLiteral("group: %1 is the vault's own group; it cannot be renamed or deleted").arg(argument)
                 : QStringLiteral("group: no group of the vault is %1 (see list)").arg(argument));
    return -1;
}

int run(const QStringList& arguments) {
    const std::optional<ParsedArguments> parsed = parseArguments(QStringLiteral("group"), arguments, {});
    if (!parsed) {
        return 2;
    }
    const QStringList words = parsed->positional;
    const QString action = words.value(0);
    const qsizetype wanted = action == QLatin1String("rename") ? 3 : 2;
    if (!(action == QLatin1String("new") || action == QLatin1String("rename") || action == QLatin1String("delete")) ||
        words.size() != wanted) {
        return fail(QStringLiteral("group needs: new NAME, rename GROUP NAME or delete GROUP"));
    }
    if (!confirmPassword(QStringLiteral("group"))) {
        return 1;
    }
    auto vault = openVaultForChanges(QStringLiteral("group"));
    if (!vault) {
        return 1;
    }
    RowList& rows = vault->catalogue.groupDirList;
    if (action == QLatin1String("new")) {
        if (words[1].trimmed().isEmpty()) {
            return fail(QStringLiteral("group: a group needs a name"));
        }
        const GroupModelPtr group = vault::newGroup(rows, words[1], QDateTime::currentSecsSinceEpoch());
        if (!group) {
            return fail(QStringLiteral("group: the vault's list has no place for a new group"), 1);
        }
        if (!vault->save(0)) {
            return 1;
        }
        printLine(QStringLiteral("created\t%1\t%2").arg(QString::number(group->index), group->name));
        return 0;
    }
    const qint64 index = groupNamed(rows, words[1]);
    if (index < 0) {
        return 2;
    }
    if (action == QLatin1String("rename")) {
        const QString before = rows[index]->name;
        const vault::ListChange change = vault::renameGroup(rows, index, words[2]);
        if (!change.done) {
            return fail(QStringLiteral("group: %1").arg(change.refusal));
        }
        if (!vault->save(0)) {
            return 1;
        }
        printLine(QStringLiteral("renamed\t%1\t%2").arg(before, words[2]));
        return 0;
    }
    const QString name = rows[index]->name;
    const vault::GroupDeletion deletion = vault::deleteGroup(rows, index, 1);
    if (!deletion.change.done) {
        return fail(QStringLiteral("group: %1").arg(deletion.change.refusal));
    }
    if (!vault->save(0)) {
        return 1;
    }
    printLine(QStringLiteral("deleted\t%1\t%2 items moved to %3")
                  .arg(name, QString::number(deletion.movedItems), rows[1]->name));
    return 0;
}

const bool registered = registerCommand(
    {QStringLiteral("group"), QStringLiteral("group new NAME | group rename GROUP NAME | group delete GROUP"),
     QStringLiteral("add, rename or delete a group of the local vault (GROUP: its name, or #N as list shows it); a "
                    "deleted group's items move to All Items and nothing on disk changes (password from stdin)"),
     run});

}  // namespace
}  // namespace tessaro::cli
