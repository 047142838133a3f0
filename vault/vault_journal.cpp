#include "vault/vault_journal.h"

#include "core/atomic_file.h"
#include "core/file_system.h"
#include "core/localized_text.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonParseError>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::vault {

namespace {

QString text(const char* key, const char* english) {
    return LanguageBundle::localizedStringForKey(QString::fromLatin1(key), QString::fromUtf8(english));
}

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

bool isTokenText(const QString& text, int shortest) {
    if (text.size() < shortest || text.size() > 64) {
        return false;
    }
    for (const QChar c : text) {
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
              (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))) {
            return false;
        }
    }
    return true;
}

// An object that is no entry we write is damage, not a crash: a crash cuts a line short,
// and a cut line is no JSON object at all.
std::optional<JournalEntry> entryFrom(const QByteArray& line, int number) {
    QJsonParseError parsed{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parsed);
    if (parsed.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    JournalEntry e;
    e.line = number;
    const QString op = o.value(QStringLiteral("operation")).toString();
    const QString phase = o.value(QStringLiteral("phase")).toString();
    e.operation = op == QLatin1String("unhide") ? JournalEntry::Operation::Unhide : JournalEntry::Operation::Hide;
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
    e.token = o.value(QStringLiteral("token")).toString();
    const bool hide = e.operation == JournalEntry::Operation::Hide;
    if (op != QLatin1String("hide") && op != QLatin1String("unhide")) {
        e.damage = text("journal.badOperation", "its operation \"%1\" is neither hide nor unhide").arg(op);
    } else if (phase != QLatin1String("walking") && phase != (hide ? QLatin1String("stored") : QLatin1String("placed"))) {
        e.damage = text("journal.badPhase", "its phase \"%1\" is no phase of %2").arg(phase, op);
    } else if (e.storedTop.isEmpty() || e.plainPath.isEmpty()) {
        e.damage = text("journal.namesNoItem", "it names no item");
    } else if (o.contains(QStringLiteral("token")) && !isTokenText(e.token, 12)) {
        e.damage = text("journal.badToken", "its token \"%1\" is not one Tessaro makes").arg(e.token);
    }
    return e;
}

// The journal opened without following a link, and proven a regular file of this user.
// On failure `why` says what is wrong and `code` is the system's error, or 0 when the file
// opened but is not one to trust.
fs::Handle openChecked(const QString& path, int flags, QString& why, struct stat& st, int& code) {
    fs::Handle fd(::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    code = fd ? 0 : errno;
    if (!fd) {
        why = code == ELOOP ? text("journal.isLink", "it is a symbolic link") : fs::errorText(code);
        return fd;
    }
    if (::fstat(fd.get(), &st) != 0) {
        why = fs::errorText(errno);
    } else if (!S_ISREG(st.st_mode)) {
        why = text("journal.notRegular", "it is not a regular file");
    } else if (st.st_uid != ::geteuid()) {
        why = text("journal.otherOwner", "it belongs to another user");
    } else {
        return fd;
    }
    return fs::Handle();
}

}  // namespace

QString journalPath(const QString& vaultDirectory) {
    return vaultDirectory + QLatin1Char('/') + QLatin1String(kJournalFileName);
}

QString newWalkToken() { return QString::fromLatin1(fs::randomSuffix() + fs::randomSuffix()); }

bool isWalkMadeName(const QString& name, const char* prefix, const QString& token) {
    const QString start = QString::fromLatin1(prefix);
    if (!name.startsWith(start)) {
        return false;
    }
    const QString random = name.mid(start.size());
    return token.isEmpty() ? isTokenText(random, 6) : random == token;
}

JournalRead readJournal(const QString& vaultDirectory) {
    JournalRead read;
    const QString path = journalPath(vaultDirectory);
    struct stat st {};
    QString why;
    int code = 0;
    fs::Handle fd = openChecked(path, O_RDONLY, why, st, code);
    if (!fd) {
        if (code != ENOENT) {
            (code == 0 || code == ELOOP ? read.refusal : read.error) = why;
        }
        return read;
    }
    read.size = st.st_size;
    if (st.st_size > kLongestJournal) {
        read.refusal =
            text("journal.tooLong", "it is %1 bytes long, longer than any journal Tessaro writes").arg(st.st_size);
        return read;
    }
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        read.error = file.errorString();
        return read;
    }
    // Read to the end of what fstat saw and no further, whatever is appended meanwhile.
    const QByteArray all = file.read(st.st_size);
    QHash<QString, qsizetype> itemAt;
    int number = 0;
    for (const QByteArray& line : all.split('\n')) {
        ++number;
        const auto entry = line.trimmed().isEmpty() ? std::nullopt : entryFrom(line, number);
        if (!entry) {
            continue;
        }
        // An entry that names no item is its own key: it is refused on its own.
        const QString key = entry->storedTop.isEmpty() ? QStringLiteral("\n%1").arg(number) : entry->storedTop;
        const auto known = itemAt.constFind(key);
        if (known != itemAt.constEnd()) {
            read.entries[*known] = *entry;
        } else {
            itemAt.insert(key, read.entries.size());
            read.entries.append(*entry);
        }
    }
    return read;
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
    if (!e.token.isEmpty()) {
        o.insert(QStringLiteral("token"), e.token);
    }
    // A line that a crash cuts short starts after a newline of its own and is passed over.
    const QByteArray line = '\n' + QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    const QString path = journalPath(vaultDirectory);
    struct stat before {};
    const bool existed = ::lstat(QFile::encodeName(path).constData(), &before) == 0;
    struct stat st {};
    QString why;
    int code = 0;
    fs::Handle fd = openChecked(path, O_WRONLY | O_APPEND | O_CREAT, why, st, code);
    bool ok = static_cast<bool>(fd);
    if (ok && !fs::writeAll(fd.get(), line.constData(), line.size())) {
        ok = false;
        why = fs::errorText(errno);
    }
    ok = ok && fs::syncHandle(fd.get()) && fd.close();
    if (ok && !existed) {
        syncDirectory(vaultDirectory);
    }
    if (!ok && error) {
        *error = why.isEmpty() ? fs::errorText(errno) : why;
    }
    return ok;
}

bool clearJournal(const QString& vaultDirectory) {
    // Emptied rather than removed: the next walk appends without creating the file and
    // syncing its folder again. Not synced either: a clearing that a crash undoes only makes
    // the next start act on lines whose outcome is already in place, which changes nothing.
    // Cut through the descriptor that was checked, never by path: a link put in its place
    // would carry a truncate by path to whatever file it names.
    struct stat st {};
    QString why;
    int code = 0;
    fs::Handle fd = openChecked(journalPath(vaultDirectory), O_WRONLY, why, st, code);
    if (!fd) {
        return code == ENOENT;
    }
    return ::ftruncate(fd.get(), 0) == 0;
}

QString setJournalAside(const QString& vaultDirectory, QString* error) {
    fs::Handle directory = fs::openDirectory(vaultDirectory);
    const qint64 seconds = QDateTime::currentSecsSinceEpoch();
    for (int attempt = 0; directory && attempt < 100; ++attempt) {
        const QString name = QString::fromLatin1(kRejectedJournalPrefix) + QString::number(seconds) +
                             (attempt == 0 ? QString() : QStringLiteral("-%1").arg(attempt));
        if (fs::renameNoReplaceAt(directory.get(), kJournalFileName, directory.get(), name.toUtf8())) {
            fs::syncHandle(directory.get());
            return vaultDirectory + QLatin1Char('/') + name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    if (error) {
        *error = fs::errorText(errno);
    }
    return QString();
}

}  // namespace tessaro::vault
