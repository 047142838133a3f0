#include "vault/vault_check.h"

#include "core/clean_path.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/item_attributes.h"
#include "crypto/item_paths.h"
#include "crypto/item_place.h"
#include "vault/vault_check_journal.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <functional>

namespace tessaro::vault {

namespace {

bool existsNoFollow(const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

QString text(const char* key, const char* english) {
    return LanguageBundle::localizedStringForKey(QString::fromLatin1(key), QString::fromUtf8(english));
}

struct VaultPart {
    QString directory;  // the vault directory (journal, containers)
    RowList* rows;
    bool local;
    QString key;        // removable vault key
};

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

    // The finding goes in first, so that a repair may add findings of its own after it and
    // correct its own by position.
    void add(const QString& subject, const QString& problem, const QString& repairText, bool repairable,
             const std::function<bool()>& apply = {}) {
        const qsizetype at = report_.findings.size();
        report_.findings.append(Finding{subject, problem, repairText, repairable, false, {}, false});
        if (repair_ && repairable && apply) {
            const bool repaired = apply();
            Finding& f = report_.findings[at];
            f.repaired = repaired;
            logLine(QStringLiteral("vault check: %1: %2; %3%4")
                        .arg(f.subject, f.problem, f.repair,
                             repaired ? QString() : QStringLiteral(" (failed: %1)").arg(f.failure)));
        }
    }

    void journal(const VaultPart& part) {
        const JournalRead read = readJournal(part.directory);
        const QString file = journalPath(part.directory);
        if (!read.refusal.isEmpty()) {
            const int at = report_.findings.size();
            add(file, text("check.journalRefused", "the journal was not read: %1").arg(read.refusal),
                text("check.journalSetAside", "nothing in it is acted on; it is set aside"), true,
                [] { return true; });
            setAside(part, {at});
            return;
        }
        if (!read.error.isEmpty()) {
            add(file, text("check.journalUnreadable", "the journal cannot be read: %1").arg(read.error),
                text("check.journalLookAtIt", "left alone: look at it, then remove it"), false);
            return;
        }
        bool settled = true;
        QList<int> refused;
        const detail::RecordsByPath records = detail::recordsByPath(*part.rows);
        for (const JournalEntry& e : read.entries) {
            detail::LineProof proof = detail::proveLine(e, records, part.directory);
            if (!proof.place) {
                refused.append(report_.findings.size());
                add(QStringLiteral("%1, line %2").arg(file).arg(e.line),
                    text("check.lineRefused", "this line is not acted on: %1").arg(proof.refusal),
                    text("check.lineSetAside", "the item keeps its state and the journal is set aside"), true,
                    [] { return true; });
                report_.findings[refused.last()].refusedLine = true;
                continue;
            }
            const qsizetype at = report_.findings.size();
            settled = journalEntry(part, e, proof) && settled;
            if (report_.findings.at(at).refusedLine) {
                refused.append(at);
            }
        }
        if (!refused.isEmpty()) {
            setAside(part, refused);
            return;
        }
        // A journal with nothing left to act on (its one line cut short by a crash, say) is
        // settled as well.
        if (settled && repair_ && read.size > 0) {
            report_.settledJournals.append(part.directory);
        }
    }

    // A journal with a line that cannot be proven is moved aside whole, so that it is never
    // acted on, at this start or any later one; the findings say where it went.
    void setAside(const VaultPart& part, const QList<int>& findings) {
        if (!repair_) {
            return;
        }
        QString error;
        const QString aside = setJournalAside(part.directory, &error);
        for (const int at : findings) {
            Finding& f = report_.findings[at];
            f.repaired = !aside.isEmpty();
            if (aside.isEmpty()) {
                f.failure = text("check.cannotSetAside", "the journal could not be set aside: %1").arg(error);
            } else {
                f.repair += QStringLiteral(" (%1)").arg(aside);
            }
        }
        logLine(QStringLiteral("vault check: journal of %1 set aside as %2").arg(part.directory, aside));
    }

    // One item the journal names, its line proven; false when its repair did not succeed.
    bool journalEntry(const VaultPart& part, const JournalEntry& entry, const detail::LineProof& proof) {
        const FileModelPtr record = proof.record;
        const walk::ItemPlace place = *proof.place;
        inJournal_.insert(place.storedTop());
        if (!entry.workDirectory.isEmpty()) {
            inJournal_.insert(place.container() + QLatin1Char('/') + entry.workDirectory);
        }
        const bool hide = entry.operation == JournalEntry::Operation::Hide;
        QString problem;
        QString repairText;
        std::function<detail::RepairStep()> step;
        if (hide && entry.phase == JournalEntry::Phase::Walking) {
            problem = text("check.hideInterrupted", "hiding was interrupted before the stored copy was complete");
            repairText = text("check.hideUndone", "the item stays visible at %1; the unfinished stored copy is removed")
                             .arg(entry.plainPath);
            step = [=] { return detail::undoHide(place, entry); };
        } else if (hide) {
            problem = text("check.hideRemovalInterrupted",
                           "hiding was interrupted while the plain item was being removed");
            repairText = text("check.hideFinished", "the hide is completed: plain files identical to the stored copy "
                                                    "are removed, any other file is kept, and the item is hidden");
            step = [=] { return detail::finishHide(place, entry); };
        } else if (entry.phase == JournalEntry::Phase::Walking) {
            problem = text("check.unhideInterrupted", "unhiding was interrupted before the item was complete");
            repairText = text("check.unhideUndone",
                              "the item stays hidden with its stored copy; the unfinished plain copy is removed");
            step = [=] { return detail::undoUnhide(place, entry); };
        } else {
            const QString where = entry.restoredPath.isEmpty() ? entry.plainPath : entry.restoredPath;
            problem = text("check.unhideRemovalInterrupted",
                           "unhiding was interrupted while the stored copy was being removed");
            repairText = entry.keepStoredCopy
                             ? text("check.unhideFinishedKept", "the item is visible at %1").arg(where)
                             : text("check.unhideFinished",
                                    "the item is visible at %1 and the rest of its stored copy is removed")
                                   .arg(where);
            step = [=] { return detail::finishUnhide(place, entry); };
        }
        bool ok = !repair_;
        const qsizetype at = report_.findings.size();
        add(record->name, problem, repairText, true, [&] {
            const detail::RepairStep done = step();
            ok = done.ok && !done.refused;
            if (done.refused) {
                // What the disk holds does not bear the line out: nothing was done, the item
                // keeps its state, and the journal goes aside with the others refused.
                Finding& f = report_.findings[at];
                f.refusedLine = true;
                f.subject = QStringLiteral("%1, line %2").arg(journalPath(part.directory)).arg(entry.line);
                f.problem = text("check.lineRefused", "this line is not acted on: %1").arg(done.failure);
                f.repair = text("check.lineSetAside", "the item keeps its state and the journal is set aside");
                return true;
            }
            report_.findings[at].failure = done.failure;
            // A step that failed before it moved anything leaves the item as the catalogue has it.
            if (!done.ok && done.placedAt.isEmpty()) {
                return false;
            }
            record->isEncrtypt = done.hidden;
            if (!done.placedAt.isEmpty()) {
                record->path = done.placedAt;
            }
            markChanged(part);
            if (!done.kept.isEmpty()) {
                add(entry.plainPath,
                    done.kept.size() == 1
                        ? text("check.plainKeptOne", "1 file differs from the stored copy")
                        : text("check.plainKeptMany", "%1 files differ from the stored copy").arg(done.kept.size()),
                    text("check.plainKeptWhere", "kept where they are: %1").arg(done.kept.join(QStringLiteral(", "))),
                    false);
            }
            return done.ok;
        });
        if (report_.findings.at(at).refusedLine) {
            ok = true;  // settled by setting the journal aside
        }
        return ok;
    }

    void records(const VaultPart& part) {
        for (const GroupModelPtr& row : *part.rows) {
            if (!row->fileModels) {
                continue;
            }
            for (const FileModelPtr& item : *row->fileModels) {
                const walk::PlaceCheck place = walk::placeOf(*item, part.directory);
                if (!place.place) {
                    add(item->name, text("check.recordOutside", "its record cannot be used: %1").arg(place.reason),
                        text("check.recordLeftAlone", "left alone: nothing is done with this item"), false);
                    continue;
                }
                const walk::ItemPaths paths = place.place->paths();
                if (inJournal_.contains(paths.storedTop)) {
                    continue;  // the journal's finding covers it
                }
                const bool stored = existsNoFollow(paths.storedTop);
                const bool plain = existsNoFollow(item->path);
                if (item->isEncrtypt && !stored && plain) {
                    add(item->name, text("check.onlyPlain", "marked hidden, but only its plain copy %1 exists").arg(item->path),
                        text("check.showsVisible", "it is shown as visible"), true, [&, item] {
                            item->isEncrtypt = false;
                            markChanged(part);
                            return true;
                        });
                } else if (!item->isEncrtypt && !plain && stored) {
                    add(item->name, text("check.onlyStored", "marked visible, but only its stored copy exists"),
                        text("check.showsHidden", "it is shown as hidden"), true, [&, item] {
                            item->isEncrtypt = true;
                            markChanged(part);
                            return true;
                        });
                } else if (item->isEncrtypt && stored && plain) {
                    add(item->name, text("check.plainStillThere", "hidden, but plain files are still there: %1").arg(item->path),
                        text("check.lookAtPlainFiles", "left alone: look at them, then unhide the item or remove them"),
                        false);
                } else if (!stored && !plain) {
                    add(item->name,
                        text("check.bothMissing", "neither its plain copy %1 nor its stored copy %2 exists").arg(item->path,
                                                                                                  paths.storedTop),
                        text("check.nothingToRestore", "left alone: nothing is left to restore"), false);
                }
            }
        }
    }

    void containers(const VaultPart& part) {
        QSet<QString> groupDirectories;
        QSet<QString> named;
        for (const GroupModelPtr& row : *part.rows) {
            // Only group folders inside the vault are looked into: a record is a claim.
            if (!row->path.isEmpty() && walk::isSingleComponent(row->path)) {
                groupDirectories.insert(row->path);
            }
            if (row->fileModels) {
                for (const FileModelPtr& item : *row->fileModels) {
                    named.insert(walk::pathsForRecord(*item).storedTop);
                }
            }
        }
        const QString recover = text("check.recoverHint", "left alone: `tessaro-vault recover --to DIR` brings its files back");
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
                        add(storedTop, text("check.noRecord", "no record names this stored copy"), recover, false);
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

QStringList CheckReport::unfinishedLines() const {
    QStringList lines;
    for (const Finding& f : findings) {
        if (!f.repaired && !f.failure.isEmpty()) {
            lines.append(LanguageBundle::localizedStringForKey(QStringLiteral("check.notDone"),
                                                               QStringLiteral("%1: could not be set right: %2"))
                             .arg(f.subject, f.failure));
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
