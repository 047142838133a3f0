// The encryption walk: an item's files into its stored top, assembled out of sight.
#include "crypto/tree_walk.h"
#include "core/clean_path.h"

#include "core/log.h"
#include "core/log_lines.h"
#include "crypto/help_class.h"
#include "crypto/owner_stamp.h"
#include "crypto/swapped_name.h"
#include "crypto/walk_support.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::walk {

namespace {

using namespace detail;


class StoreWalk : public WalkBase {
public:
    StoreWalk(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& callback,
              const storedfile::Frame& frame, WalkReport& report)
        : WalkBase(model, paths, callback, report, QStringLiteral("nothing of %1 was removed").arg(paths.plainPath)),
          frame_(frame) {}

    void directory(int source, int stored, const QString& relative, qint64 index) {
        const QString where = joined(paths_.plainPath, relative);
        visitFolder(source, relative, where, [&](const fs::Entry& entry, const QString& name, int key) {
            const QString childRelative = relative + QLatin1Char('/') + name;
            const QByteArray storedName = swappedComponent(name).toUtf8();
            if (entry.isLink) {
                link(source, entry.name, childRelative);
                return;
            }
            if (!entry.isDirectory) {
                ++index;
                file(source, entry.name, stored, key, storedName, childRelative, index, true);
                return;
            }
            if (!fs::makeDirectoryAt(stored, storedName, 0700)) {
                const int code = errno;
                fail(creationFailure(name, where, code, created_.clashWith(key, name)), code);
                return;
            }
            created_.add(key, name);
            fs::Handle innerSource = fs::openDirectoryAt(source, entry.name);
            fs::Handle innerStored = fs::openDirectoryAt(stored, storedName);
            if (!innerSource || !innerStored) {
                fail(QStringLiteral("cannot open %1: %2").arg(where + QLatin1Char('/') + name, fs::errorText(errno)),
                     errno);
                return;
            }
            // The file index restarts after a subfolder from where it was before it.
            directory(innerSource.get(), innerStored.get(), childRelative, index);
        });
        // The folder's time goes on after its last entry, which would have changed it.
        struct stat st {};
        if (!stopped() && ::fstat(source, &st) == 0) {
            keepAttributes(stored, st, true, storedRelative(relative), attributes_);
        }
    }

    // A link is kept as its text in the item's attribute file: never followed, nothing it
    // points to is read, and no link is made inside the vault.
    void link(int sourceDirectory, const QByteArray& sourceName, const QString& relative) {
        const QString sourcePath = joined(paths_.plainPath, relative);
        const auto st = fs::statAt(sourceDirectory, sourceName);
        QByteArray target(4096, Qt::Uninitialized);
        const ssize_t n = st ? ::readlinkat(sourceDirectory, sourceName.constData(), target.data(), target.size()) : -1;
        if (!st || !S_ISLNK(st->st_mode) || n <= 0 || n >= target.size()) {
            const int code = errno;
            fail(QStringLiteral("cannot read the link %1: %2").arg(sourcePath, st && S_ISLNK(st->st_mode)
                                                                                  ? fs::errorText(code)
                                                                                  : QStringLiteral("it changed")),
                 code);
            return;
        }
        target.truncate(n);
        if (!fs::isValidUtf8Name(target)) {
            fail(QStringLiteral("the link %1 points to \"%2\", which is not valid UTF-8 and cannot be kept; change it first")
                     .arg(sourcePath, fs::displayName(target)),
                 0);
            return;
        }
        const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
        attributes_.keepLink(storedRelative(relative.left(slash)),
                             KeptLink{swappedComponent(relative.mid(slash + 1)), target, st->st_mtim});
        finished(relative, *st, 0);
    }

    // `relative` empty: the item is this one file.
    void file(int sourceDirectory, const QByteArray& sourceName, int storedDirectory, int key,
              const QByteArray& storedName, const QString& relative, qint64 index, bool followLink) {
        const QString sourcePath = joined(paths_.plainPath, relative);
        const QString storedPath = relative.isEmpty() ? paths_.storedTop
                                                      : paths_.storedTop + QLatin1Char('/') + swappedName(relative);
        const QString name = QString::fromUtf8(sourceName);
        fs::Handle in = fs::openForReadingAt(sourceDirectory, sourceName, followLink);
        struct stat st {};
        if (!in || ::fstat(in.get(), &st) != 0) {
            logLine(QString::fromUtf8(loglines::kReadHandleMissing));
            fail(QStringLiteral("cannot read %1: %2").arg(sourcePath, fs::errorText(errno)), errno);
            return;
        }
        fs::Handle out = fs::createExclusiveAt(storedDirectory, storedName, 0600);
        if (!out) {
            const int code = errno;
            logLine(QString::fromUtf8(loglines::kWriteHandleMissing));
            fail(creationFailure(name, relative.isEmpty() ? parentOfPath(paths_.storedTop) : parentOfPath(sourcePath), code,
                                 created_.clashWith(key, name)),
                 code);
            return;
        }
        created_.add(key, name);
        DescriptorSink sink(out.get());
        const storedfile::FileResult result =
            storedfile::storeStream(in.get(), sourcePath, paths_.itemClass, frame_,
                                    progressFor(model_, callback_, index), std::ref(sink), storedPath, &st);
        if (result.outcome == storedfile::Outcome::Cancelled) {
            report_.cancelled = true;
            return;
        }
        if (!result.done()) {
            fail(result.reason, result.error);
            return;
        }
        keepAttributes(out.get(), st, false, storedRelative(relative), attributes_);
        if (!out.close()) {
            const int code = errno;
            model_->currentEncryptSize -= result.plainBytes;
            fail(QStringLiteral("cannot write %1: %2").arg(storedPath, fs::errorText(code)), code);
            return;
        }
        finished(relative, st, result.plainBytes);
    }

    ItemAttributes& attributes() { return attributes_; }

private:
    // "" for the top, else "/" and the swapped relative path, as the attribute file names entries.
    static QString storedRelative(const QString& relative) {
        return relative.isEmpty() ? QString() : QLatin1Char('/') + swappedName(relative);
    }

    const storedfile::Frame& frame_;
    ItemAttributes attributes_;
};

// Writes the item's attribute file into the work directory, beside the stored top.
bool writeAttributes(int work, const QByteArray& name, const ItemAttributes& attributes, QString& problem) {
    fs::Handle out = fs::createExclusiveAt(work, name, 0600);
    const QByteArray bytes = attributes.encode();
    DescriptorSink sink(out ? out.get() : -1);
    if (!out || !sink(bytes.constData(), bytes.size()) || !out.close()) {
        problem = fs::errorText(errno);
        return false;
    }
    return true;
}

// The attribute file goes with the stored top it describes; one left by an earlier copy of
// the item goes, so that it can never give the new copy links that are not the item's.
bool publishAttributes(int work, int container, const QByteArray& name, bool has, QString& problem) {
    const bool ok = has ? ::renameat(work, name.constData(), container, name.constData()) == 0
                        : ::unlinkat(container, name.constData(), 0) == 0 || errno == ENOENT;
    if (!ok) {
        problem = fs::errorText(errno);
    }
    return ok;
}

// Puts the assembled stored top in place: beside nothing (never over anything), or, when
// asked, in exchange for the item's own earlier copy, which goes into the work directory.
bool publish(int work, int container, const QByteArray& storedName, bool replaceExisting, QString& problem) {
    if (replaceExisting && fs::existsAt(container, storedName)) {
        if (fs::exchangeAt(work, storedName, container, storedName)) {
            return true;
        }
        // Without an atomic exchange the old copy steps aside first; a crash between the two
        // renames leaves both copies in the work directory and the plain item untouched.
        const QByteArray aside = storedName + ".replaced";
        if (!fs::renameNoReplaceAt(container, storedName, work, aside)) {
            problem = fs::errorText(errno);
            return false;
        }
    }
    if (!fs::renameNoReplaceAt(work, storedName, container, storedName)) {
        problem = errno == EEXIST ? QStringLiteral("a stored copy of that name appeared there meanwhile")
                                  : fs::errorText(errno);
        return false;
    }
    return true;
}

}  // namespace

WalkReport storeItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress,
                     const StoreOptions& options) {
    WalkReport report;
    HelpClass::sharedInstance().setEditModel(model);
    // One stamp for the whole walk: the password cannot change while the walk runs.
    const auto frame =
        storedfile::frameForStamp(options.ownerStamp.isEmpty() ? stamp::getEncrtyptPassword() : options.ownerStamp);
    if (!frame) {
        refuseWalk(report, QStringLiteral("cannot build the owner stamp"));
        return report;
    }
    const QString container = parentOfPath(paths.storedTop);
    const QByteArray storedName = lastPathComponent(paths.storedTop).toUtf8();
    const QByteArray plainName = lastPathComponent(paths.plainPath).toUtf8();

    fs::Handle sourceParent = fs::openDirectory(parentOfPath(paths.plainPath));
    const auto source = sourceParent ? fs::statAt(sourceParent.get(), plainName) : std::nullopt;
    if (!source) {
        refuseWalk(report, QStringLiteral("cannot read %1: %2").arg(paths.plainPath, fs::errorText(errno)));
        return report;
    }
    std::vector<QString> madeContainers;
    if (!fs::makePath(container, 0700, &madeContainers)) {
        const int code = errno;
        refuseWalk(report, QStringLiteral("cannot create %1: %2").arg(container, fs::errorText(code)), code);
        return report;
    }
    fs::Handle containerDir = fs::openDirectory(container);
    if (!containerDir) {
        refuseWalk(report, QStringLiteral("cannot open %1: %2").arg(container, fs::errorText(errno)));
        return report;
    }
    if (fs::existsAt(containerDir.get(), storedName) && !options.replaceExisting) {
        refuseWalk(report, QStringLiteral("%1 already holds a stored copy named \"%2\"; it was left as it is and %3 was "
                                      "not stored")
                           .arg(container, swappedName(QString::fromUtf8(storedName)), paths.plainPath));
        return report;
    }
    const QByteArray workName =
        makeFreshFolder(containerDir.get(), options.workDirectoryName, kWorkDirectoryPrefix);
    if (workName.isEmpty()) {
        const int code = errno;
        refuseWalk(report, QStringLiteral("cannot create a work folder in %1: %2").arg(container, fs::errorText(code)),
               code);
        return report;
    }
    StoreWalk walk(model, paths, progress, *frame, report);
    {
        fs::Handle work = fs::openDirectoryAt(containerDir.get(), workName);
        if (model->isCancel.load()) {
            report.cancelled = true;
        } else if (!work) {
            refuseWalk(report, QStringLiteral("cannot open a work folder in %1: %2").arg(container, fs::errorText(errno)));
        } else if (S_ISDIR(source->st_mode)) {
            fs::Handle plain = fs::openDirectoryAt(sourceParent.get(), plainName);
            fs::Handle top = fs::makeDirectoryAt(work.get(), storedName, 0700)
                                 ? fs::openDirectoryAt(work.get(), storedName)
                                 : fs::Handle();
            if (!plain || !top) {
                refuseWalk(report, QStringLiteral("cannot store %1: %2").arg(paths.plainPath, fs::errorText(errno)), errno);
            } else {
                walk.directory(plain.get(), top.get(), QString(), 0);
            }
        } else {
            walk.file(sourceParent.get(), plainName, work.get(), -1, storedName, QString(), 1, true);
        }
        const QByteArray attributesName = ItemAttributes::fileNameFor(storedName);
        const bool hasAttributes = !walk.attributes().isEmpty();
        if (QString problem; report.complete() && hasAttributes &&
                             !writeAttributes(work.get(), attributesName, walk.attributes(), problem)) {
            refuseWalk(report, QStringLiteral("cannot keep the links and attributes of %1 in %2: %3")
                                   .arg(paths.plainPath, container, problem));
        }
        if (report.complete()) {
            // Every byte of the new copy is durable before the copy gets its name.
            if (!fs::syncFileSystem(work.get())) {
                const int code = errno;
                refuseWalk(report, QStringLiteral("cannot make the stored copy of %1 durable: %2")
                                   .arg(paths.plainPath, fs::errorText(code)),
                       code);
            } else if (QString problem;
                       !publish(work.get(), containerDir.get(), storedName, options.replaceExisting, problem)) {
                refuseWalk(report, QStringLiteral("cannot put the stored copy of %1 in place in %2: %3")
                                   .arg(paths.plainPath, container, problem));
            } else if (QString problem;
                       !publishAttributes(work.get(), containerDir.get(), attributesName, hasAttributes, problem)) {
                // The copy is in place but would come back without its links: not complete.
                refuseWalk(report, QStringLiteral("cannot put the links and attributes of %1 in place in %2: %3")
                                       .arg(paths.plainPath, container, problem));
            } else {
                fs::syncHandle(containerDir.get());
                report.files = std::move(walk.files());
            }
        }
    }
    fs::removeTreeAt(containerDir.get(), workName);
    if (!report.complete()) {
        model->currentEncryptSize -= walk.counted();
        removeFoldersMade(madeContainers);
    }
    return report;
}

}  // namespace tessaro::walk
