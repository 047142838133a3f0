#include "vault/vault_check_journal.h"

#include "crypto/item_attributes.h"

#include "core/atomic_file.h"
#include "core/clean_path.h"
#include "core/localized_text.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"
#include "crypto/tree_walk.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::vault::detail {

namespace {

QString text(const char* key, const char* english) {
    return LanguageBundle::localizedStringForKey(QString::fromLatin1(key), QString::fromUtf8(english));
}

std::optional<struct stat> lstatOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

// "name (restored).ext", "name (restored 2).ext": the names an unhide gives an item whose
// place was taken.
bool isRestoredName(const QString& name, const QString& plainName) {
    if (name == plainName) {
        return true;
    }
    const QString extension = nameExtension(plainName);
    const QString stem = extension.isEmpty() ? plainName : plainName.left(plainName.size() - extension.size() - 1);
    const QRegularExpression pattern(QStringLiteral("^%1 \\(restored( [1-9][0-9]{0,2})?\\)%2$")
                                         .arg(QRegularExpression::escape(stem),
                                              extension.isEmpty() ? QString()
                                                                  : QStringLiteral("\\.") +
                                                                        QRegularExpression::escape(extension)));
    return pattern.match(name).hasMatch();
}

// The plain length a stored file restores to, as far as its frame tells: exact for the
// binary class, within one cipher block for the text class.
bool lengthMatches(const QString& stored, qint64 plainSize, storedfile::ItemClass itemClass) {
    fs::Handle in(::open(QFile::encodeName(stored).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const storedfile::FrameResult frame = storedfile::readFrame(in.get(), st.st_size, walk::currentHeaderLength());
    if (!frame.frame) {
        return false;
    }
    const qint64 body = frame.frame->bodyLength;
    return itemClass == storedfile::ItemClass::Binary ? plainSize == body
                                                     : plainSize >= body - 16 && plainSize < body;
}

// Whether the plain file holds exactly the bytes its stored copy restores to. The plain
// file is opened without following a link: a link is never "the same" as a stored file.
bool sameAsStored(const QString& plain, const QString& stored, storedfile::ItemClass itemClass) {
    fs::Handle in(::open(QFile::encodeName(stored).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    fs::Handle mine(::open(QFile::encodeName(plain).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in || !mine || ::fstat(mine.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    QByteArray other;
    bool equal = true;
    const auto compare = [&](const char* data, qint64 size) {
        other.resize(size);
        qint64 got = 0;
        while (got < size) {
            const ssize_t n = ::read(mine.get(), other.data() + got, static_cast<size_t>(size - got));
            if (n <= 0) {
                equal = false;
                return true;
            }
            got += n;
        }
        equal = equal && std::memcmp(other.constData(), data, static_cast<size_t>(size)) == 0;
        return true;
    };
    const auto result = storedfile::restoreStream(in.get(), stored, itemClass, walk::currentHeaderLength(),
                                                  storedfile::Progress{}, compare, plain);
    char extra = 0;
    return result.done() && equal && ::read(mine.get(), &extra, 1) == 0;
}

// Every entry below a stored top (not following links), as paths relative to it ("/x").
struct StoredTree {
    QStringList folders;  // pre-order
    QStringList files;
    QStringList links;
};

StoredTree storedTreeOf(const QString& storedTop) {
    StoredTree tree;
    QDirIterator it(storedTop, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(storedTop.size());
        const QFileInfo info = it.fileInfo();
        (info.isSymLink() ? tree.links : info.isDir() ? tree.folders : tree.files).append(relative);
    }
    return tree;
}

RepairStep failed(const QString& why) {
    RepairStep step;
    step.failure = why;
    return step;
}

RepairStep refusedStep(const QString& why) {
    RepairStep step = failed(why);
    step.refused = true;
    return step;
}

// The stored top in its container, both opened below the vault base without a link.
struct OpenStored {
    fs::Handle container;
    int containerError = 0;
    std::optional<struct stat> top;
};

OpenStored openStored(const walk::ItemPlace& place) {
    OpenStored s;
    s.container = place.openContainer();
    s.containerError = s.container ? 0 : errno;
    if (s.container) {
        s.top = fs::statAt(s.container.get(), place.storedName().toUtf8());
    }
    return s;
}

// After the stored copy went, its container goes too when nothing else is in it.
void removeEmptyContainer(const walk::ItemPlace& place) {
    fs::Handle base = fs::openDirectory(place.vaultBase());
    const QString relative = place.containerRelative();
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    fs::Handle parent = base ? walk::openFolderBeneath(base.get(), slash < 0 ? QString() : relative.left(slash))
                             : fs::Handle();
    if (parent && ::unlinkat(parent.get(), relative.mid(slash + 1).toUtf8().constData(), AT_REMOVEDIR) == 0) {
        fs::syncHandle(parent.get());
    }
}

bool plainExists(const QString& path) { return lstatOf(path).has_value(); }

// The plain path of an entry of a stored top, given relative to it ("/xx/yy").
QString counterpartOf(const QString& plain, const QString& storedRelative) {
    return plain + QLatin1Char('/') + swappedName(storedRelative);
}

}  // namespace

RecordsByPath recordsByPath(const RowList& rows) {
    RecordsByPath records;
    for (const GroupModelPtr& row : rows) {
        if (row->fileModels) {
            for (const FileModelPtr& item : *row->fileModels) {
                records.insert(item->path, item);
            }
        }
    }
    return records;
}

LineProof proveLine(const JournalEntry& entry, const RecordsByPath& records, const QString& vaultDirectory) {
    LineProof proof;
    if (!entry.damage.isEmpty()) {
        proof.refusal = entry.damage;
        return proof;
    }
    const bool hide = entry.operation == JournalEntry::Operation::Hide;
    QList<FileModelPtr> candidates = records.values(entry.plainPath);
    if (!hide && entry.phase == JournalEntry::Phase::Placed && !entry.restoredPath.isEmpty()) {
        // Saved as restored there, but the journal not yet cleared.
        candidates += records.values(entry.restoredPath);
    }
    if (candidates.isEmpty()) {
        proof.refusal = text("journal.noRecord", "no item of the vault is at %1").arg(entry.plainPath);
        return proof;
    }
    QString placeRefusal;
    for (const FileModelPtr& record : candidates) {
        walk::PlaceCheck check = walk::placeOf(*record, vaultDirectory);
        if (!check.place) {
            placeRefusal = check.reason;
        } else if (check.place->storedTop() == entry.storedTop) {
            proof.record = record;
            proof.place = std::move(check.place);
            break;
        }
    }
    if (!proof.place) {
        proof.refusal = !placeRefusal.isEmpty()
                            ? placeRefusal
                            : text("journal.notItsStoredCopy", "%1 is not the stored copy of the item at %2")
                                  .arg(entry.storedTop, entry.plainPath);
        return proof;
    }
    const QString notOurs = text("journal.notOurName", "\"%1\" is no name this walk made");
    if (hide) {
        if (!entry.temporary.isEmpty() || !entry.restoredPath.isEmpty()) {
            proof.refusal = text("journal.hideNamesPlainSide", "a hide names a place beside the plain item");
        } else if (!entry.workDirectory.isEmpty() &&
                   !isWalkMadeName(entry.workDirectory, walk::kWorkDirectoryPrefix, entry.token)) {
            proof.refusal = notOurs.arg(entry.workDirectory);
        }
    } else if (!entry.workDirectory.isEmpty()) {
        proof.refusal = notOurs.arg(entry.workDirectory);
    } else if (!entry.temporary.isEmpty() &&
               !isWalkMadeName(entry.temporary, walk::kRestoreTemporaryPrefix, entry.token)) {
        proof.refusal = notOurs.arg(entry.temporary);
    } else if (!entry.restoredPath.isEmpty() &&
               (QDir::cleanPath(entry.restoredPath) != entry.restoredPath ||
                parentOfPath(entry.restoredPath) != parentOfPath(entry.plainPath) ||
                !isRestoredName(lastPathComponent(entry.restoredPath), lastPathComponent(entry.plainPath)))) {
        proof.refusal = text("journal.restoredElsewhere", "%1 is not beside the item's place %2")
                            .arg(entry.restoredPath, entry.plainPath);
    }
    if (!proof.refusal.isEmpty()) {
        proof.place.reset();
        proof.record.reset();
    }
    return proof;
}

QString incompleteAgainst(const QString& plain, const walk::ItemPlace& place) {
    const auto mine = lstatOf(plain);
    if (!mine) {
        return text("journal.plainMissing", "nothing is at %1").arg(plain);
    }
    if (S_ISLNK(mine->st_mode)) {
        return text("journal.plainIsLink", "%1 is a symbolic link").arg(plain);
    }
    const auto stored = lstatOf(place.storedTop());
    if (!stored) {
        return QString();  // nothing left to hold it against
    }
    const QString shortFile = text("journal.plainShort", "%1 is missing or not complete").arg(plain);
    if (!S_ISDIR(stored->st_mode)) {
        return S_ISREG(mine->st_mode) && lengthMatches(place.storedTop(), mine->st_size, place.itemClass())
                   ? QString()
                   : shortFile;
    }
    if (!S_ISDIR(mine->st_mode)) {
        return shortFile;
    }
    const StoredTree tree = storedTreeOf(place.storedTop());
    for (const QString& folder : tree.folders) {
        const auto st = lstatOf(counterpartOf(plain, folder));
        if (!st || !S_ISDIR(st->st_mode)) {
            return text("journal.plainShort", "%1 is missing or not complete").arg(counterpartOf(plain, folder));
        }
    }
    for (const QString& link : tree.links) {
        const auto st = lstatOf(counterpartOf(plain, link));
        if (!st || !S_ISLNK(st->st_mode)) {
            return text("journal.plainShort", "%1 is missing or not complete").arg(counterpartOf(plain, link));
        }
    }
    for (const QString& file : tree.files) {
        const QString counterpart = counterpartOf(plain, file);
        const auto st = lstatOf(counterpart);
        if (!st || !S_ISREG(st->st_mode) ||
            !lengthMatches(place.storedTop() + file, st->st_size, place.itemClass())) {
            return text("journal.plainShort", "%1 is missing or not complete").arg(counterpart);
        }
    }
    return QString();
}

RepairStep undoHide(const walk::ItemPlace& place, const JournalEntry& entry) {
    const OpenStored stored = openStored(place);
    RepairStep step;
    // A hide killed before it made its container or work folder left nothing to take away.
    if (!stored.container && stored.containerError != ENOENT) {
        return failed(text("journal.cannotOpen", "%1 cannot be opened: %2")
                          .arg(place.container(), fs::errorText(stored.containerError)));
    }
    if (stored.container && !entry.workDirectory.isEmpty() &&
        !fs::removeTreeAt(stored.container.get(), entry.workDirectory.toUtf8())) {
        return failed(text("journal.cannotRemove", "%1 cannot be removed: %2")
                          .arg(place.container() + QLatin1Char('/') + entry.workDirectory, fs::errorText(errno)));
    }
    step.ok = true;
    // Visible, unless the plain item is gone and only the stored copy holds the item.
    step.hidden = !plainExists(place.plainPath()) && stored.top.has_value();
    return step;
}

RepairStep finishHide(const walk::ItemPlace& place, const JournalEntry& entry) {
    const OpenStored stored = openStored(place);
    if (!stored.top) {
        // The line says the copy was complete, but no copy is there: nothing may go.
        RepairStep step;
        step.ok = plainExists(place.plainPath());
        step.hidden = false;
        step.failure = step.ok ? QString() : text("journal.bothGone", "neither copy of the item is left");
        return step;
    }
    if (!entry.workDirectory.isEmpty()) {
        fs::removeTreeAt(stored.container.get(), entry.workDirectory.toUtf8());
    }
    RepairStep step;
    step.ok = true;
    step.hidden = true;
    const QString plain = place.plainPath();
    const auto top = lstatOf(plain);
    if (!top) {
        return step;
    }
    if (!S_ISDIR(stored.top->st_mode)) {
        if (S_ISREG(top->st_mode) && sameAsStored(plain, place.storedTop(), place.itemClass())) {
            ::unlink(QFile::encodeName(plain).constData());
        } else {
            step.kept.append(plain);
        }
        return step;
    }
    if (!S_ISDIR(top->st_mode)) {
        step.kept.append(plain);
        return step;
    }
    // Only what the stored copy holds is looked at: plain files equal to their stored copy
    // go, and then the folders the stored copy has, when empty. Anything else stays.
    const StoredTree tree = storedTreeOf(place.storedTop());
    for (const QString& file : tree.files) {
        const QString counterpart = counterpartOf(plain, file);
        const auto st = lstatOf(counterpart);
        if (st && S_ISREG(st->st_mode) && sameAsStored(counterpart, place.storedTop() + file, place.itemClass())) {
            ::unlink(QFile::encodeName(counterpart).constData());
        }
    }
    for (auto folder = tree.folders.crbegin(); folder != tree.folders.crend(); ++folder) {
        ::rmdir(QFile::encodeName(counterpartOf(plain, *folder)).constData());
    }
    ::rmdir(QFile::encodeName(plain).constData());
    if (plainExists(plain)) {
        QDirIterator left(plain, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                          QDirIterator::Subdirectories);
        while (left.hasNext()) {
            const QString path = left.next();
            if (!left.fileInfo().isDir() || left.fileInfo().isSymLink()) {
                step.kept.append(path);
            }
        }
    }
    return step;
}

RepairStep undoUnhide(const walk::ItemPlace& place, const JournalEntry& entry) {
    RepairStep step;
    if (!entry.temporary.isEmpty()) {
        fs::Handle parent = fs::openDirectory(parentOfPath(place.plainPath()));
        if (parent && !fs::removeTreeAt(parent.get(), entry.temporary.toUtf8())) {
            return failed(text("journal.cannotRemove", "%1 cannot be removed: %2")
                              .arg(parentOfPath(place.plainPath()) + QLatin1Char('/') + entry.temporary,
                                   fs::errorText(errno)));
        }
    }
    step.ok = true;
    step.hidden = !(plainExists(place.plainPath()) && !plainExists(place.storedTop()));
    return step;
}

RepairStep finishUnhide(const walk::ItemPlace& place, const JournalEntry& entry) {
    const QString where = entry.restoredPath.isEmpty() ? place.plainPath() : entry.restoredPath;
    QString placedAt = where;
    const QString temporary = parentOfPath(place.plainPath()) + QLatin1Char('/') + entry.temporary;
    if (!entry.temporary.isEmpty() && plainExists(temporary)) {
        // Complete and durable by the line's word; proven so before it is moved, and never
        // moved over anything.
        const QString why = incompleteAgainst(temporary, place);
        if (!why.isEmpty()) {
            return refusedStep(why);
        }
        const QString target = plainExists(where) ? walk::freeNameBeside(where) : where;
        QString error;
        if (!renameNoReplace(temporary, target, &error)) {
            return failed(text("journal.cannotMove", "%1 cannot be moved to %2: %3").arg(temporary, target, error));
        }
        placedAt = target;
    }
    // The stored copy goes only when a complete plain copy, not a link, stands in its place.
    const QString why = incompleteAgainst(placedAt, place);
    if (!why.isEmpty()) {
        return refusedStep(why);
    }
    RepairStep step;
    step.placedAt = placedAt;
    step.hidden = false;
    step.ok = true;
    if (!entry.keepStoredCopy) {
        const OpenStored stored = openStored(place);
        if (stored.top) {
            if (!fs::removeTreeAt(stored.container.get(), place.storedName().toUtf8())) {
                step.ok = false;
                step.failure = text("journal.cannotRemove", "%1 cannot be removed: %2")
                                   .arg(place.storedTop(), fs::errorText(errno));
                return step;
            }
            // The links and attributes kept beside the copy go with it, or the container stays.
            const QByteArray attributes = walk::ItemAttributes::fileNameFor(place.storedName().toUtf8());
            ::unlinkat(stored.container.get(), attributes.constData(), 0);
            fs::syncHandle(stored.container.get());
        }
        removeEmptyContainer(place);
    }
    return step;
}

}  // namespace tessaro::vault::detail
