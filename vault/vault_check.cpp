#include "vault/vault_check.h"
#include "core/clean_path.h"

#include "core/atomic_file.h"
#include "core/file_system.h"
#include "core/log.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/item_attributes.h"
#include "crypto/item_paths.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"
#include "crypto/tree_walk.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessaro::vault {

namespace {


bool existsNoFollow(const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

bool removeEntry(const QString& path) {
    fs::Handle parent = fs::openDirectory(parentOfPath(path));
    return parent && fs::removeTreeAt(parent.get(), lastPathComponent(path).toUtf8());
}

// Whether the plain file holds exactly the bytes its stored copy restores to.
bool sameAsStored(const QString& plain, const QString& stored, storedfile::ItemClass itemClass) {
    fs::Handle in(::open(QFile::encodeName(stored).constData(), O_RDONLY | O_CLOEXEC));
    fs::Handle mine(::open(QFile::encodeName(plain).constData(), O_RDONLY | O_CLOEXEC));
    if (!in || !mine) {
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

// Finishes a hide whose stored copy is complete: removes the plain files that equal their
// stored copy, then the folders left empty. Returns the plain files kept.
QStringList removePlainCopiesOf(const QString& plainPath, const QString& storedTop, storedfile::ItemClass itemClass) {
    QStringList kept;
    const QFileInfo top(plainPath);
    if (!top.exists()) {
        return kept;
    }
    if (!top.isDir() || top.isSymLink()) {
        if (sameAsStored(plainPath, storedTop, itemClass)) {
            QFile::remove(plainPath);
        } else {
            kept.append(plainPath);
        }
        return kept;
    }
    QStringList folders{plainPath};
    QDirIterator it(plainPath, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink()) {
            folders.append(file);
            continue;
        }
        const QString relative = file.mid(plainPath.size());
        if (sameAsStored(file, storedTop + QLatin1Char('/') + swappedName(relative), itemClass)) {
            QFile::remove(file);
        } else {
            kept.append(file);
        }
    }
    for (auto f = folders.crbegin(); f != folders.crend(); ++f) {
        QDir().rmdir(*f);
    }
    return kept;
}

struct VaultPart {
    QString directory;  // the vault directory (journal, containers)
    RowList* rows;
    bool local;
    QString key;        // removable vault key
};

FileModelPtr recordFor(const RowList& rows, const QString& storedTop) {
    for (const GroupModelPtr& row : rows) {
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& item : *row->fileModels) {
            if (walk::pathsForRecord(*item).storedTop == storedTop) {
                return item;
            }
        }
    }
    return nullptr;
}

class Checker {
public:
    Checker(bool repair, CheckReport& report) : repair_(repair), report_(report) {}

    void markChanged(const VaultPart& part) {
        if (part.local) {
            report_.localChanged = true;
        } else if (!report_.changedRemovableVaults.contains(part.key)) {
            report_.changedRemovableVaults.append(part.key);
        }
    }

    void add(const QString& subject, const QString& problem, const QString& repairText, bool repairable,
             const std::function<bool()>& apply = {}) {
        Finding f{subject, problem, repairText, repairable, false};
        if (repair_ && repairable && apply) {
            f.repaired = apply();
            logLine(QStringLiteral("vault check: %1: %2; %3%4")
                        .arg(subject, problem, repairText, f.repaired ? QString() : QStringLiteral(" (failed)")));
        }
        report_.findings.append(f);
    }

    void journal(const VaultPart& part) {
        QString error;
        const QList<JournalEntry> entries = readJournal(part.directory, &error);
        if (!error.isEmpty()) {
            add(journalPath(part.directory), QStringLiteral("the journal cannot be read: %1").arg(error),
                QStringLiteral("left alone: look at it, then remove it"), false);
            return;
        }
        bool settled = true;
        for (const JournalEntry& e : entries) {
            settled = journalEntry(part, e) && settled;
        }
        // A journal with nothing left to act on (its one line cut short by a crash, say) is
        // settled as well.
        if (settled && repair_ && QFileInfo(journalPath(part.directory)).size() > 0) {
            report_.settledJournals.append(part.directory);
        }
    }

    // One item the journal names; false when its repair did not succeed.
    bool journalEntry(const VaultPart& part, const JournalEntry& journalLine) {
        const JournalEntry* entry = &journalLine;
        const FileModelPtr record = recordFor(*part.rows, entry->storedTop);
        inJournal_.insert(entry->storedTop);
        if (!entry->workDirectory.isEmpty()) {
            inJournal_.insert(parentOfPath(entry->storedTop) + QLatin1Char('/') + entry->workDirectory);
        }
        const QString name = record ? record->name : lastPathComponent(entry->plainPath);
        const bool hide = entry->operation == JournalEntry::Operation::Hide;
        const walk::ItemPaths paths{entry->plainPath, entry->storedTop, walk::classForItemName(entry->plainPath)};
        QString problem;
        QString repairText;
        std::function<bool()> apply;
        if (hide && entry->phase == JournalEntry::Phase::Walking) {
            problem = QStringLiteral("hiding was interrupted before the stored copy was complete");
            repairText = QStringLiteral("%1 stays where it is and the item shows as visible; the unfinished copy goes")
                             .arg(entry->plainPath);
            apply = [=] {
                const bool removed = entry->workDirectory.isEmpty() ||
                                     removeEntry(parentOfPath(entry->storedTop) + QLatin1Char('/') + entry->workDirectory);
                if (record) {
                    record->isEncrtypt = false;
                }
                return removed;
            };
        } else if (hide) {
            problem = QStringLiteral("hiding was interrupted while the plain item was being removed");
            repairText = QStringLiteral("the hide is finished: plain files that equal their stored copy go, any other "
                                        "stays, and the item shows as hidden");
            apply = [=, this] {
                const QStringList kept = removePlainCopiesOf(paths.plainPath, paths.storedTop, paths.itemClass);
                if (entry->workDirectory.size()) {
                    removeEntry(parentOfPath(entry->storedTop) + QLatin1Char('/') + entry->workDirectory);
                }
                if (record) {
                    record->isEncrtypt = true;
                }
                if (!kept.isEmpty()) {
                    add(entry->plainPath, QStringLiteral("%1 file(s) differ from the stored copy").arg(kept.size()),
                        QStringLiteral("kept where they are: %1").arg(kept.join(QStringLiteral(", "))), false);
                }
                return true;
            };
        } else if (entry->phase == JournalEntry::Phase::Walking) {
            problem = QStringLiteral("unhiding was interrupted before the item was complete");
            repairText = QStringLiteral("the stored copy stays and the item shows as hidden; the unfinished plain copy goes");
            apply = [=] {
                const bool removed = entry->temporary.isEmpty() ||
                                     removeEntry(parentOfPath(entry->plainPath) + QLatin1Char('/') + entry->temporary);
                if (record) {
                    record->isEncrtypt = true;
                }
                return removed;
            };
        } else {
            const QString where = entry->restoredPath.isEmpty() ? entry->plainPath : entry->restoredPath;
            problem = QStringLiteral("unhiding was interrupted while the stored copy was being removed");
            repairText = entry->keepStoredCopy
                             ? QStringLiteral("the item shows as visible at %1").arg(where)
                             : QStringLiteral("the item shows as visible at %1 and the rest of its stored copy goes")
                                   .arg(where);
            apply = [=] {
                bool ok = true;
                QString placedAt = where;
                const QString temporary = parentOfPath(entry->plainPath) + QLatin1Char('/') + entry->temporary;
                if (!entry->temporary.isEmpty() && existsNoFollow(temporary)) {
                    // Complete and durable, but not moved yet: moved now, never over anything.
                    const QString target = existsNoFollow(where) ? walk::freeNameBeside(where) : where;
                    if (!renameNoReplace(temporary, target)) {
                        return false;
                    }
                    placedAt = target;
                }
                if (!existsNoFollow(placedAt)) {
                    return false;
                }
                if (!entry->keepStoredCopy && existsNoFollow(entry->storedTop)) {
                    ok = removeEntry(entry->storedTop);
                    QDir().rmdir(parentOfPath(entry->storedTop));
                }
                if (record) {
                    record->isEncrtypt = false;
                    record->path = placedAt;
                }
                return ok;
            };
        }
        bool ok = !repair_;
        add(name, problem, repairText, true, [&, apply] {
            ok = apply();
            if (ok && record) {
                markChanged(part);
            }
            return ok;
        });
        return ok;
    }

    void records(const VaultPart& part) {
        for (const GroupModelPtr& row : *part.rows) {
            if (!row->fileModels) {
                continue;
            }
            for (const FileModelPtr& item : *row->fileModels) {
                const walk::ItemPaths paths = walk::pathsForRecord(*item);
                if (inJournal_.contains(paths.storedTop)) {
                    continue;  // the journal's finding covers it
                }
                const bool stored = existsNoFollow(paths.storedTop);
                const bool plain = existsNoFollow(item->path);
                if (item->isEncrtypt && !stored && plain) {
                    add(item->name, QStringLiteral("marked hidden, but only its plain copy %1 exists").arg(item->path),
                        QStringLiteral("it shows as visible"), true, [&, item] {
                            item->isEncrtypt = false;
                            markChanged(part);
                            return true;
                        });
                } else if (!item->isEncrtypt && !plain && stored) {
                    add(item->name, QStringLiteral("marked visible, but only its stored copy exists"),
                        QStringLiteral("it shows as hidden"), true, [&, item] {
                            item->isEncrtypt = true;
                            markChanged(part);
                            return true;
                        });
                } else if (item->isEncrtypt && stored && plain) {
                    add(item->name, QStringLiteral("hidden, but plain files are still there: %1").arg(item->path),
                        QStringLiteral("left alone: look at them, then unhide the item or remove them"), false);
                } else if (!stored && !plain) {
                    add(item->name,
                        QStringLiteral("neither its plain copy %1 nor its stored copy %2 exists").arg(item->path,
                                                                                                  paths.storedTop),
                        QStringLiteral("left alone: nothing is left to restore"), false);
                }
            }
        }
    }

    void containers(const VaultPart& part) {
        QSet<QString> groupDirectories;
        QSet<QString> named;
        for (const GroupModelPtr& row : *part.rows) {
            if (!row->path.isEmpty()) {
                groupDirectories.insert(row->path);
            }
            if (row->fileModels) {
                for (const FileModelPtr& item : *row->fileModels) {
                    named.insert(walk::pathsForRecord(*item).storedTop);
                }
            }
        }
        const QString recover = QStringLiteral("left alone: `tessaro-vault recover --to DIR` brings its files back");
        for (const QString& group : groupDirectories) {
            const QDir dir(part.directory + QLatin1Char('/') + group);
            for (const QString& container : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                          QDir::NoDotAndDotDot)) {
                const QString containerPath = dir.filePath(container);
                for (const QString& entry : QDir(containerPath).entryList(QDir::AllEntries | QDir::Hidden |
                                                                          QDir::System | QDir::NoDotAndDotDot)) {
                    const QString storedTop = containerPath + QLatin1Char('/') + entry;
                    if (!named.contains(storedTop) && !inJournal_.contains(storedTop) &&
                        !walk::ItemAttributes::isAttributeFileIn(containerPath, entry)) {
                        add(storedTop, QStringLiteral("no record names this stored copy"), recover, false);
                    }
                }
            }
        }
    }

private:
    bool repair_;
    CheckReport& report_;
    QSet<QString> inJournal_;
};

}  // namespace

QStringList CheckReport::repairedLines() const {
    QStringList lines;
    for (const Finding& f : findings) {
        if (f.repaired) {
            lines.append(QStringLiteral("%1: %2; %3").arg(f.subject, f.problem, f.repair));
        }
    }
    return lines;
}

CheckReport checkVault(Catalogue& catalogue, bool repair) {
    CheckReport report;
    Checker checker(repair, report);
    QList<VaultPart> parts;
    const QString root = vaultpaths::AppRootDirKey();
    if (!root.isEmpty()) {
        parts.append(VaultPart{root, &catalogue.groupDirList, true, QString()});
    }
    for (auto it = catalogue.UPLibrary.begin(); it != catalogue.UPLibrary.end(); ++it) {
        const QString directory = Volumes::pathFor(it.key());
        if (QFileInfo(directory).isDir()) {
            parts.append(VaultPart{directory, &it.value(), false, it.key()});
        }
    }
    // The journal first: its repair decides the state of the item it names.
    for (const VaultPart& part : parts) {
        checker.journal(part);
    }
    for (const VaultPart& part : parts) {
        checker.records(part);
        checker.containers(part);
    }
    return report;
}

}  // namespace tessaro::vault
