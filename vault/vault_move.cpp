#include "vault/vault_move.h"

#include "core/atomic_file.h"
#include "core/catalogue_format.h"
#include "core/file_system.h"
#include "core/log.h"
#include "core/plist.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_lock.h"
#include "core/vault_paths.h"
#include "vault/tree_copy.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaro::vault {

namespace {

constexpr char kMarkerName[] = ".tessaro-moving";
constexpr char kStagingPrefix[] = ".tessaro-move-";

QString settingKey(const char* key) { return QString::fromLatin1(key); }
QByteArray native(const QString& path) { return QFile::encodeName(path); }
QString parentOf(const QString& path) { return QFileInfo(path).absolutePath(); }
QByteArray nameOf(const QString& path) { return native(QFileInfo(path).fileName()); }

MoveResult problem(MoveProblem kind, const QString& detail = QString()) {
    MoveResult result;
    result.problem = kind;
    result.detail = detail;
    return result;
}

// The path with every existing part resolved (links, ".."), the missing tail kept as given.
QString resolved(const QString& path) {
    QString existing = QDir::cleanPath(path);
    QString tail;
    while (!existing.isEmpty() && existing != QLatin1String("/") && !QFileInfo::exists(existing)) {
        tail = QFileInfo(existing).fileName() + (tail.isEmpty() ? QString() : QLatin1Char('/') + tail);
        existing = parentOf(existing);
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const QString base = canonical.isEmpty() ? existing : canonical;
    return tail.isEmpty() ? base : joinPath(base, tail);
}

bool isWithin(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// The nearest folder that exists on the way up from `path`.
QString nearestExisting(const QString& path) {
    QString at = path;
    while (!QFileInfo::exists(at) && at != QLatin1String("/")) {
        at = parentOf(at);
    }
    return at;
}

QByteArray newToken() { return fs::randomSuffix() + fs::randomSuffix(); }

bool isToken(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9]{12}$"));
    return pattern.match(text).hasMatch();
}

// Whether the folder carries this move's marker: the proof that a tree there is ours.
bool carriesMarker(const QString& folder, const QString& token) {
    const fs::Handle dir(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) {
        return false;
    }
    const fs::Handle file = fs::openForReadingAt(dir.get(), kMarkerName, false);
    struct stat st {};
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 64) {
        return false;
    }
    char buffer[64];
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    return n > 0 && QByteArray(buffer, static_cast<qsizetype>(n)).trimmed() == token.toLatin1();
}

void removeMarker(const QString& folder) { ::unlink(native(joinPath(folder, QLatin1String(kMarkerName))).constData()); }

// Removes a tree this move made, through its parent, never following a link.
bool removeOurTree(const QString& path) {
    const fs::Handle parent = fs::openDirectory(parentOf(path));
    return parent && fs::removeTreeAt(parent.get(), nameOf(path)) && fs::syncHandle(parent.get());
}

// --- the record of a move in progress ---------------------------------------------------

struct Pending {
    QString phase;  // "renaming", "copying" or "removing"
    QString from;
    QString to;
    QString token;
    bool destinationExisted = false;
    QString staging() const { return joinPath(parentOf(to), QLatin1String(kStagingPrefix) + token); }
};

QVariant pendingValue(const Pending& p) {
    const QJsonObject object{{QStringLiteral("phase"), p.phase},
                             {QStringLiteral("from"), p.from},
                             {QStringLiteral("to"), p.to},
                             {QStringLiteral("token"), p.token},
                             {QStringLiteral("destinationExisted"), p.destinationExisted}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The record, when it is one this program could have written.
std::optional<Pending> readPending() {
    const QString text = SettingsStore::stringValue(settingKey(keys::kVAULTMOVEINPROGRESS));
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    Pending p;
    p.phase = object.value(QStringLiteral("phase")).toString();
    p.from = object.value(QStringLiteral("from")).toString();
    p.to = object.value(QStringLiteral("to")).toString();
    p.token = object.value(QStringLiteral("token")).toString();
    p.destinationExisted = object.value(QStringLiteral("destinationExisted")).toBool();
    const auto clean = [](const QString& path) {
        return path.startsWith(QLatin1Char('/')) && QDir::cleanPath(path) == path && path != QLatin1String("/");
    };
    const bool knownPhase = p.phase == QLatin1String("renaming") || p.phase == QLatin1String("copying") ||
                            p.phase == QLatin1String("removing");
    if (!knownPhase || !clean(p.from) || !clean(p.to) || !isToken(p.token)) {
        return Pending{};  // present but not ours: dropped, nothing acted on
    }
    return p;
}

bool clearPending() { return SettingsStore::remove(settingKey(keys::kVAULTMOVEINPROGRESS)); }

// The old copy is first renamed to a name that proves it ours, so that a removal cut short
// leaves nothing that looks like a vault and the next start can finish it by that name.
QString oldCopyName(const Pending& p) {
    return joinPath(parentOf(p.from), QLatin1String(kStagingPrefix) + p.token + QLatin1String("-old"));
}

bool removeOldCopy(const Pending& p) {
    const QString old = oldCopyName(p);
    if (carriesMarker(p.from, p.token) && ::rename(native(p.from).constData(), native(old).constData()) != 0) {
        return false;
    }
    return !QFileInfo::exists(old) || removeOurTree(old);
}

// Whether the setting names `root` after all: a write reported as failed may still have
// landed, and then the copy there is the vault and must not be undone.
bool switchedTo(const QString& root) { return SettingsStore::stringValue(settingKey(keys::kRootDirKey)) == root; }

// --- the two ways ------------------------------------------------------------------------

struct Move {
    const MoveOptions& options;
    Pending pending;
    std::vector<QString> createdParents;

    // Undoes what this move did before the switch: its copy, its marker, its record.
    void rollBack(const QString& copy) {
        if (!copy.isEmpty() && QFileInfo::exists(copy)) {
            removeOurTree(copy);
            if (copy == pending.to && pending.destinationExisted) {
                ::mkdir(native(copy).constData(), 0700);
            }
        }
        removeMarker(pending.from);
        for (auto it = createdParents.rbegin(); it != createdParents.rend(); ++it) {
            ::rmdir(native(*it).constData());
        }
        clearPending();
    }

    MoveResult renamed() {
        syncDirectory(parentOf(pending.from));
        syncDirectory(parentOf(pending.to));
        QString error;
        if (!rewriteNotePaths(pending.to, pending.from, pending.to, &error)) {
            // The notes are still found by package name; the old paths are only untidy.
            logLine(QStringLiteral("vault move: note paths not rewritten: %1").arg(error));
        }
        if (!SettingsStore::setValues({{settingKey(keys::kRootDirKey), pending.to},
                                       {settingKey(keys::kVAULTMOVEINPROGRESS), QVariant()}}) &&
            !switchedTo(pending.to)) {
            const int back = options.rename(native(pending.to), native(pending.from));
            if (back == 0) {
                rewriteNotePaths(pending.from, pending.to, pending.from, &error);
                rollBack(QString());
            }
            return problem(MoveProblem::SettingsNotWritten, SettingsStore::filePath());
        }
        removeMarker(pending.to);
        MoveResult result;
        result.moved = true;
        result.newRoot = pending.to;
        return result;
    }

    MoveResult copied() {
        pending.phase = QStringLiteral("copying");
        const QString staging = pending.staging();
        if (!SettingsStore::setValue(settingKey(keys::kVAULTMOVEINPROGRESS), pendingValue(pending))) {
            rollBack(QString());
            return problem(MoveProblem::SettingsNotWritten, SettingsStore::filePath());
        }
        const fs::Handle parent = fs::openDirectory(parentOf(staging));
        if (!parent || !fs::makeDirectoryAt(parent.get(), nameOf(staging), 0700)) {
            const int code = errno;
            rollBack(QString());
            return problem(code == EACCES || code == EPERM || code == EROFS ? MoveProblem::NotWritable
                                                                            : MoveProblem::CopyFailed,
                           fs::errorText(code));
        }
        // Marked before anything else lands in it, so that whatever a kill leaves is known as ours.
        QString error;
        if (!writeFileAtomically(joinPath(staging, QLatin1String(kMarkerName)), pending.token.toLatin1() + '\n', &error,
                                 0600)) {
            rollBack(staging);
            return problem(MoveProblem::CopyFailed, error);
        }
        const fs::Handle source = fs::openDirectory(pending.from);
        const fs::Handle target = fs::openDirectoryAt(parent.get(), nameOf(staging));
        TreeCopy walk(options.progress, options.cancel);
        walk.skipAtTop(kMarkerName);  // the copy was given its own first
        const bool ok = source && target && walk.measure(source.get()) &&
                        walk.copy(source.get(), target.get()) && fs::syncFileSystem(target.get()) &&
                        walk.compare(source.get(), target.get());
        if (!ok) {
            rollBack(staging);
            if (walk.cancelled()) {
                return problem(MoveProblem::Cancelled);
            }
            return problem(MoveProblem::CopyFailed, walk.error().isEmpty() ? fs::errorText(errno) : walk.error());
        }
        if (!rewriteNotePaths(staging, pending.from, pending.to, &error) ||
            ::rename(native(staging).constData(), native(pending.to).constData()) != 0) {
            const QString reason = error.isEmpty() ? fs::errorText(errno) : error;
            rollBack(staging);
            return problem(MoveProblem::CopyFailed, reason);
        }
        syncDirectory(parentOf(pending.to));
        // From here on the new place is the vault.
        pending.phase = QStringLiteral("removing");
        if (!SettingsStore::setValues({{settingKey(keys::kRootDirKey), pending.to},
                                       {settingKey(keys::kVAULTMOVEINPROGRESS), pendingValue(pending)}}) &&
            !switchedTo(pending.to)) {
            rollBack(pending.to);
            return problem(MoveProblem::SettingsNotWritten, SettingsStore::filePath());
        }
        MoveResult result;
        result.moved = true;
        result.copied = true;
        result.newRoot = pending.to;
        if (!removeOldCopy(pending)) {
            result.leftBehind = pending.from;
            logLine(QStringLiteral("vault move: the old copy at %1 could not be removed in full").arg(pending.from));
        }
        removeMarker(pending.to);
        clearPending();
        return result;
    }
};

int plainRename(const QByteArray& from, const QByteArray& to) { return ::rename(from.constData(), to.constData()); }

// Replaces the root part of every "path" text of the document that lies below `oldRoot`.
bool rewritePaths(plist::Value& value, const QString& oldRoot, const QString& newRoot) {
    bool changed = false;
    for (std::size_t i = 0; i < value.items.size(); ++i) {
        plist::Value& item = value.items[i];
        if (value.isDictionary() && value.keys[i] == QLatin1String("path") && item.type == plist::Value::Type::String &&
            isWithin(item.string, oldRoot) && item.string != oldRoot) {
            item.string = newRoot + item.string.mid(oldRoot.size());
            changed = true;
        } else if (item.isArray() || item.isDictionary()) {
            changed = rewritePaths(item, oldRoot, newRoot) || changed;
        }
    }
    return changed;
}

}  // namespace

bool rewriteNotePaths(const QString& vaultFolder, const QString& oldRoot, const QString& newRoot, QString* error) {
    const QString path = joinPath(vaultFolder, QLatin1String(vaultpaths::kGroupNotesList));
    catalogue::FileRead read = catalogue::readCatalogueFile(path);
    if (read.status != catalogue::FileRead::Status::Read || !read.root) {
        return true;
    }
    const QString from = QDir::cleanPath(oldRoot);
    if (!rewritePaths(*read.root, from, QDir::cleanPath(newRoot))) {
        return true;
    }
    const plist::SerializeResult bytes = plist::serialize(*read.root);
    if (!bytes.bytes) {
        *error = bytes.error;
        return false;
    }
    return writeFileAtomically(path, *bytes.bytes, error, 0600);
}

MoveResult checkMoveDestination(const QString& vaultRoot, const QString& destination) {
    if (vaultRoot.isEmpty() || !QFileInfo(vaultRoot).isDir()) {
        return problem(MoveProblem::NoVault, vaultRoot);
    }
    if (!destination.startsWith(QLatin1Char('/'))) {
        return problem(MoveProblem::NotAbsolute, destination);
    }
    const QString to = QDir::cleanPath(destination);
    const QString root = resolved(vaultRoot);
    if (isWithin(resolved(to), root) || isWithin(to, QDir::cleanPath(vaultRoot))) {
        return problem(MoveProblem::InsideVault, to);
    }
    struct stat st {};
    if (::lstat(native(to).constData(), &st) == 0) {
        if (!S_ISDIR(st.st_mode) || !QDir(to).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            return problem(MoveProblem::NotEmpty, to);
        }
    }
    const QString writableHere = parentOf(to) == to ? to : nearestExisting(parentOf(to));
    if (::access(native(writableHere).constData(), W_OK | X_OK) != 0) {
        return problem(MoveProblem::NotWritable, writableHere);
    }
    return {};
}

MoveResult moveVault(const QString& destination, const MoveOptions& given) {
    MoveOptions options = given;
    if (!options.rename) {
        options.rename = &plainRename;
    }
    const QString from = QDir::cleanPath(vaultpaths::AppRootDirKey());
    MoveResult check = checkMoveDestination(from, destination);
    if (check.problem != MoveProblem::None) {
        return check;
    }
    QString refusal;
    const auto lock = VaultLock::acquire(from, QStringLiteral("moving the vault"), options.lockWaitMs, &refusal);
    if (!lock) {
        return problem(MoveProblem::VaultInUse, refusal);
    }
    // Journal lines name stored tops by absolute path; they must be settled where they are.
    if (!readJournal(from).entries.isEmpty()) {
        return problem(MoveProblem::UnfinishedWork, from);
    }

    Move move{options, {}, {}};
    move.pending = {QStringLiteral("renaming"), from, QDir::cleanPath(destination), QString::fromLatin1(newToken()),
                    QFileInfo::exists(QDir::cleanPath(destination))};
    QString error;
    if (!writeFileAtomically(joinPath(from, QLatin1String(kMarkerName)), move.pending.token.toLatin1() + '\n', &error,
                             0600)) {
        return problem(MoveProblem::CopyFailed, error);
    }
    if (!SettingsStore::setValue(settingKey(keys::kVAULTMOVEINPROGRESS), pendingValue(move.pending))) {
        move.rollBack(QString());
        return problem(MoveProblem::SettingsNotWritten, SettingsStore::filePath());
    }
    if (!fs::makePath(parentOf(move.pending.to), 0700, &move.createdParents)) {
        const int code = errno;
        move.rollBack(QString());
        return problem(MoveProblem::NotWritable, fs::errorText(code));
    }
    if (options.rename(native(from), native(move.pending.to)) == 0) {
        logLine(QStringLiteral("vault moved: %1 -> %2").arg(from, move.pending.to));
        return move.renamed();
    }
    const int code = errno;
    if (code != EXDEV) {
        move.rollBack(QString());
        const bool denied = code == EACCES || code == EPERM || code == EROFS;
        return problem(denied ? MoveProblem::NotWritable : MoveProblem::CopyFailed, fs::errorText(code));
    }
    MoveResult result = move.copied();
    logLine(result.moved ? QStringLiteral("vault copied: %1 -> %2").arg(from, move.pending.to)
                         : QStringLiteral("vault not moved: %1").arg(result.detail));
    return result;
}

MoveRecovery finishInterruptedMove() {
    MoveRecovery result;
    if (!SettingsStore::contains(settingKey(keys::kVAULTMOVEINPROGRESS))) {
        return result;
    }
    const Pending p = readPending().value_or(Pending{});
    result.root = p.from;
    result.other = p.to;
    // Whoever holds either place's lock is working there: leave everything for a later start.
    QString refusal;
    std::shared_ptr<VaultLock> lock;
    for (const QString& place : {p.from, p.to}) {
        if (!place.isEmpty() && QFileInfo(place).isDir()) {
            lock = VaultLock::acquire(place, QStringLiteral("finishing a vault move"), 0, &refusal);
            if (!lock) {
                result.outcome = MoveRecovery::Outcome::Postponed;
                result.log = QStringLiteral("an interrupted move of the vault waits: %1").arg(refusal);
                logLine(QStringLiteral("vault move: %1").arg(result.log));
                return result;
            }
            break;
        }
    }
    if (p.phase.isEmpty()) {
        result.outcome = MoveRecovery::Outcome::Dropped;
        result.log = QStringLiteral("a record of a vault move that cannot be read was dropped; nothing was changed");
    } else if (p.phase == QLatin1String("renaming")) {
        if (carriesMarker(p.from, p.token)) {
            removeMarker(p.from);
            result.outcome = MoveRecovery::Outcome::StayedAtOld;
            result.log = QStringLiteral("a move of the vault had not begun; it stays at %1").arg(p.from);
        } else if (!QFileInfo::exists(p.from) && carriesMarker(p.to, p.token)) {
            QString error;
            rewriteNotePaths(p.to, p.from, p.to, &error);
            if (!SettingsStore::setValue(settingKey(keys::kRootDirKey), p.to)) {
                result.outcome = MoveRecovery::Outcome::Unsettled;
                result.log = QStringLiteral("the vault was moved to %1 but the settings cannot be written").arg(p.to);
                logLine(QStringLiteral("vault move: %1").arg(result.log));
                return result;  // the record stays, for the next start
            }
            removeMarker(p.to);
            result.outcome = MoveRecovery::Outcome::MovedToNew;
            result.root = p.to;
            result.other = p.from;
            result.log = QStringLiteral("an interrupted move of the vault was finished: it is now at %1").arg(p.to);
        } else {
            result.outcome = MoveRecovery::Outcome::Unsettled;
            result.log = QStringLiteral("an interrupted move of the vault from %1 to %2 left neither place marked; "
                                        "nothing was changed")
                             .arg(p.from, p.to);
        }
    } else if (p.phase == QLatin1String("copying") && !switchedTo(p.to)) {
        // The setting still names the old place, which was never touched: the copy goes.
        QStringList removed;
        if (carriesMarker(p.staging(), p.token) || (QFileInfo(p.staging()).isDir() && QDir(p.staging()).isEmpty(
                                                       QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))) {
            if (removeOurTree(p.staging())) {
                removed << p.staging();
            }
        }
        if (carriesMarker(p.to, p.token) && QFileInfo::exists(p.from)) {
            if (removeOurTree(p.to)) {
                removed << p.to;
                if (p.destinationExisted) {
                    ::mkdir(native(p.to).constData(), 0700);
                }
            }
        }
        removeMarker(p.from);
        result.outcome = MoveRecovery::Outcome::StayedAtOld;
        result.log = QStringLiteral("an interrupted copy of the vault to %1 was removed (%2); the vault stays at %3")
                         .arg(p.to, removed.isEmpty() ? QStringLiteral("nothing was left") : removed.join(QStringLiteral(", ")),
                              p.from);
    } else {
        // Removing, or a copy whose switch landed: the new place is the vault, the old copy goes.
        const bool removed = !carriesMarker(p.to, p.token) || removeOldCopy(p);
        removeMarker(p.to);
        result.outcome = MoveRecovery::Outcome::MovedToNew;
        result.root = p.to;
        result.other = p.from;
        if (!removed) {
            result.leftBehind = p.from;
        }
        result.log = removed ? QStringLiteral("a move of the vault to %1 was finished").arg(p.to)
                             : QStringLiteral("the vault is at %1; its old copy at %2 could not be removed").arg(p.to, p.from);
    }
    clearPending();
    logLine(QStringLiteral("vault move: %1").arg(result.log));
    return result;
}

}  // namespace tessaro::vault
