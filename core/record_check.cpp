#include "core/record_check.h"

#include <QStringList>

namespace tessaro {

namespace {

// Shown in a reason: long or odd names stay readable and cannot fake a line of their own.
QString quoted(const QString& text) {
    constexpr qsizetype kShown = 80;
    QString shown;
    for (const QChar c : text.left(kShown)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    if (text.size() > kShown) {
        shown += QChar(0x2026);
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

bool isDotName(const QString& component) { return component == QLatin1String(".") || component == QLatin1String(".."); }

// What is wrong with one component of a path, or nothing.
std::optional<QString> componentProblem(const QString& component) {
    if (component.isEmpty()) {
        return QStringLiteral("an empty component (a doubled or trailing \"/\")");
    }
    if (isDotName(component)) {
        return QStringLiteral("a \"%1\" component").arg(component);
    }
    return std::nullopt;
}

// Entries of a vault folder that hold no containers; a record naming one as its group
// folder would act on the vault's own files.
bool isVaultsOwnEntry(const QString& component) {
    static const QStringList own{QStringLiteral("Notes"), QStringLiteral("Thumb"), QStringLiteral("GroupDirlist.plist"),
                                 QStringLiteral("GroupNoteslist.plist"), QStringLiteral("GroupMoveUPlist.plist")};
    return component.startsWith(QLatin1Char('.')) || own.contains(component);
}

}  // namespace

std::optional<QString> recordDamage(const QString& name, const QString& path, const QString& encryptedPath) {
    const QChar nul(u'\0');
    if (name.contains(nul) || path.contains(nul) || encryptedPath.contains(nul)) {
        return QStringLiteral("a path or name holds a NUL character");
    }
    if (name.isEmpty()) {
        return QStringLiteral("the name is empty");
    }
    if (isDotName(name) || name.contains(QLatin1Char('/'))) {
        return QStringLiteral("the name %1 is not a single file name").arg(quoted(name));
    }
    if (!path.startsWith(QLatin1Char('/'))) {
        return QStringLiteral("the path %1 is not absolute").arg(quoted(path));
    }
    if (path == QLatin1String("/")) {
        return QStringLiteral("the path is the root folder");
    }
    for (const QString& component : path.mid(1).split(QLatin1Char('/'))) {
        if (const auto problem = componentProblem(component)) {
            return QStringLiteral("the path %1 has %2").arg(quoted(path), *problem);
        }
    }
    if (encryptedPath.isEmpty()) {
        return QStringLiteral("it names no stored place in the vault");
    }
    if (encryptedPath.startsWith(QLatin1Char('/'))) {
        return QStringLiteral("its stored place %1 is not inside the vault").arg(quoted(encryptedPath));
    }
    const QStringList parts = encryptedPath.split(QLatin1Char('/'));
    for (const QString& component : parts) {
        if (const auto problem = componentProblem(component)) {
            return QStringLiteral("its stored place %1 has %2").arg(quoted(encryptedPath), *problem);
        }
    }
    if (parts.size() != 2) {
        return QStringLiteral("its stored place %1 is not a group folder and an item folder").arg(quoted(encryptedPath));
    }
    if (isVaultsOwnEntry(parts.first())) {
        return QStringLiteral("its stored place %1 is one of the vault's own files").arg(quoted(encryptedPath));
    }
    return std::nullopt;
}

std::optional<QString> recordDamage(const FileModel& record) {
    return recordDamage(record.name, record.path, record.encryptedPath);
}

QString damagedRecordRefusal(const FileModel& record, const QString& reason, const QString& done) {
    const QString item = record.path.isEmpty() ? quoted(record.name) : quoted(record.path);
    return QStringLiteral("%1 cannot be %2: its catalogue record is damaged (%3)").arg(item, done, reason);
}

}  // namespace tessaro
