#include "vault/vault_journal.h"

#include "core/atomic_file.h"
#include "core/file_system.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro::vault {

namespace {

QString operationText(JournalEntry::Operation o) {
    return o == JournalEntry::Operation::Hide ? QStringLiteral("hide") : QStringLiteral("unhide");
}

QString phaseText(JournalEntry::Phase p) {
    switch (p) {
    case JournalEntry::Phase::Walking: return QStringLiteral("walking");
    case JournalEntry::Phase::Stored: return QStringLiteral("stored");
    case JournalEntry::Phase::Placed: return QStringLiteral("placed");
    }
    return QString();
}

std::optional<JournalEntry> entryFrom(const QByteArray& line) {
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    const QJsonObject o = doc.object();
    const QString op = o.value(QStringLiteral("operation")).toString();
    if (!doc.isObject() || (op != QLatin1String("hide") && op != QLatin1String("unhide")) ||
        o.value(QStringLiteral("storedTop")).toString().isEmpty()) {
        return std::nullopt;
    }
    JournalEntry e;
    const QString phase = o.value(QStringLiteral("phase")).toString();
    e.operation = op == QLatin1String("hide") ? JournalEntry::Operation::Hide : JournalEntry::Operation::Unhide;
    e.phase = phase == QLatin1String("stored")   ? JournalEntry::Phase::Stored
              : phase == QLatin1String("placed") ? JournalEntry::Phase::Placed
                                                 : JournalEntry::Phase::Walking;
    e.plainPath = o.value(QStringLiteral("plainPath")).toString();
    e.storedTop = o.value(QStringLiteral("storedTop")).toString();
    e.workDirectory = o.value(QStringLiteral("workDirectory")).toString();
    e.temporary = o.value(QStringLiteral("temporary")).toString();
    e.restoredPath = o.value(QStringLiteral("restoredPath")).toString();
    e.keepStoredCopy = o.value(QStringLiteral("keepStoredCopy")).toBool();
    e.startedMs = static_cast<qint64>(o.value(QStringLiteral("started")).toDouble());
    return e;
}

}  // namespace

QString journalPath(const QString& vaultDirectory) {
    return vaultDirectory + QLatin1Char('/') + QLatin1String(kJournalFileName);
}

QList<JournalEntry> readJournal(const QString& vaultDirectory, QString* error) {
    QList<JournalEntry> entries;
    QFile file(journalPath(vaultDirectory));
    if (!file.exists()) {
        return entries;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return entries;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const auto entry = line.trimmed().isEmpty() ? std::nullopt : entryFrom(line);
        if (!entry) {
            continue;
        }
        auto same = std::find_if(entries.begin(), entries.end(),
                                 [&](const JournalEntry& e) { return e.storedTop == entry->storedTop; });
        if (same != entries.end()) {
            *same = *entry;
        } else {
            entries.append(*entry);
        }
    }
    return entries;
}

bool appendJournal(const QString& vaultDirectory, const JournalEntry& e, QString* error) {
    QJsonObject o;
    o.insert(QStringLiteral("version"), 1);
    o.insert(QStringLiteral("operation"), operationText(e.operation));
    o.insert(QStringLiteral("phase"), phaseText(e.phase));
    o.insert(QStringLiteral("plainPath"), e.plainPath);
    o.insert(QStringLiteral("storedTop"), e.storedTop);
    o.insert(QStringLiteral("workDirectory"), e.workDirectory);
    o.insert(QStringLiteral("temporary"), e.temporary);
    o.insert(QStringLiteral("restoredPath"), e.restoredPath);
    o.insert(QStringLiteral("keepStoredCopy"), e.keepStoredCopy);
    o.insert(QStringLiteral("started"), static_cast<double>(e.startedMs));
    // A line that a crash cuts short starts after a newline of its own and is passed over.
    const QByteArray line = '\n' + QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    const QString path = journalPath(vaultDirectory);
    const bool existed = QFile::exists(path);
    fs::Handle fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    bool ok = static_cast<bool>(fd);
    qint64 written = 0;
    while (ok && written < line.size()) {
        const ssize_t n = ::write(fd.get(), line.constData() + written, static_cast<size_t>(line.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += n > 0 ? n : 0;
    }
    ok = ok && fs::syncHandle(fd.get()) && fd.close();
    if (ok && !existed) {
        syncDirectory(vaultDirectory);
    }
    if (!ok && error) {
        *error = fs::errorText(errno);
    }
    return ok;
}

bool clearJournal(const QString& vaultDirectory) {
    // Emptied rather than removed: the next walk appends without creating the file and
    // syncing its folder again. Not synced either: a clearing that a crash undoes only makes
    // the next start act on lines whose outcome is already in place, which changes nothing.
    const QByteArray path = QFile::encodeName(journalPath(vaultDirectory));
    return ::truncate(path.constData(), 0) == 0 || errno == ENOENT;
}

}  // namespace tessaro::vault
