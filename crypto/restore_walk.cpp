// The decryption walk: a stored top back to its plain location, put together out of sight.
#include "crypto/tree_walk.h"
#include "core/clean_path.h"

#include "core/log.h"
#include "core/log_lines.h"
#include "crypto/help_class.h"
#include "crypto/restored_mark.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"
#include "crypto/walk_support.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::walk {

namespace {

using namespace detail;


// "name (restored).ext", "name (restored 2).ext", ...: the first name free in `directory`.
QString freeNameIn(int directory, const QString& name) {
    const QString extension = nameExtension(name);
    const QString stem = extension.isEmpty() ? name : name.left(name.size() - extension.size() - 1);
    for (int n = 1;; ++n) {
        const QString mark = restoredMark(n);
        const QString candidate = stem + mark + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
        if (!fs::existsAt(directory, candidate.toUtf8())) {
            return candidate;
        }
    }
}

class RestoreWalk : public WalkBase {
public:
    RestoreWalk(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& callback, WalkReport& report,
                const ItemAttributes& attributes)
        : WalkBase(model, paths, callback, report, QStringLiteral("the stored copy was kept")),
          expectedHeader_(currentHeaderLength()), umask_(fs::currentUmask()), attributes_(attributes) {}

    // A single-file item: whether its output file was created (and so is ours to remove).
    bool createdTopFile() const { return createdTopFile_; }

    // `relative` is the stored side's relative path (swapped names).
    void directory(int stored, int plain, const QString& relative, qint64 index) {
        const QString where = joined(paths_.storedTop, relative);
        const QString plainWhere =
            relative.isEmpty() ? paths_.plainPath : paths_.plainPath + QLatin1Char('/') + swappedName(relative);
        visitFolder(stored, relative, where, [&](const fs::Entry& entry, const QString& storedName, int key) {
            const QString plainName = swappedComponent(storedName);
            const QString childRelative = relative + QLatin1Char('/') + storedName;
            if (!entry.isDirectory) {
                ++index;
                file(stored, entry.name, plain, key, plainName.toUtf8(), childRelative, index);
                return;
            }
            // Private while its entries are written; its own bits only once they are all there.
            if (!fs::makeDirectoryAt(plain, plainName.toUtf8(), 0700)) {
                const int code = errno;
                fail(creationFailure(plainName, plainWhere, code, created_.clashWith(key, plainName)), code);
                return;
            }
            created_.add(key, plainName);
            fs::Handle innerStored = fs::openDirectoryAt(stored, entry.name);
            fs::Handle innerPlain = fs::openDirectoryAt(plain, plainName.toUtf8());
            if (!innerStored || !innerPlain) {
                fail(QStringLiteral("cannot open %1: %2").arg(where + QLatin1Char('/') + storedName, fs::errorText(errno)),
                     errno);
                return;
            }
            directory(innerStored.get(), innerPlain.get(), childRelative, index);
        });
        if (stopped()) {
            return;
        }
        for (const KeptLink& link : attributes_.linksIn(relative)) {
            makeLink(plain, link, plainWhere);
        }
        // Post-order: the folder's bits and time after its last entry.
        struct stat st {};
        if (!stopped() && ::fstat(stored, &st) == 0) {
            const GivenBack given = attributesToGiveBack(stored, st, true, attributes_.attributesOf(relative), umask_);
            ::fchmod(plain, given.mode);
            setTimes(plain, now(), given.modified);
        }
    }

    void makeLink(int plainDirectory, const KeptLink& link, const QString& plainWhere) {
        const QString name = swappedComponent(link.storedName);
        if (::symlinkat(link.target.constData(), plainDirectory, name.toUtf8().constData()) != 0) {
            const int code = errno;
            fail(QStringLiteral("cannot make the link \"%1\" in %2 (to %3): %4")
                     .arg(name, plainWhere, QString::fromUtf8(link.target), fs::errorText(code)),
                 code);
            return;
        }
        const timespec times[2] = {now(), link.modified};
        ::utimensat(plainDirectory, name.toUtf8().constData(), times, AT_SYMLINK_NOFOLLOW);
    }

    static timespec now() {
        timespec t{};
        ::clock_gettime(CLOCK_REALTIME, &t);
        return t;
    }

    void file(int storedDirectory, const QByteArray& storedName, int plainDirectory, int key,
              const QByteArray& plainName, const QString& relative, qint64 index) {
        const QString storedPath = joined(paths_.storedTop, relative);
        const QString plainPath =
            relative.isEmpty() ? paths_.plainPath : paths_.plainPath + QLatin1Char('/') + swappedName(relative);
        const QString name = QString::fromUtf8(plainName);
        fs::Handle in = fs::openForReadingAt(storedDirectory, storedName, false);
        struct stat st {};
        if (!in || ::fstat(in.get(), &st) != 0) {
            logLine(QString::fromUtf8(loglines::kStoredFileMissing).arg(storedPath));
            fail(QStringLiteral("cannot read %1: %2").arg(storedPath, fs::errorText(errno)), errno);
            return;
        }
        const GivenBack given = attributesToGiveBack(in.get(), st, false, attributes_.attributesOf(relative), umask_);
        const mode_t mode = given.mode;
        fs::Handle out = fs::createExclusiveAt(plainDirectory, plainName, mode);
        if (!out) {
            const int code = errno;
            logLine(QString::fromUtf8(loglines::kRestoreTargetMissing).arg(plainPath));
            fail(creationFailure(name, parentOfPath(plainPath), code, created_.clashWith(key, name)), code);
            return;
        }
        created_.add(key, name);
        createdTopFile_ = createdTopFile_ || relative.isEmpty();
        DescriptorSink sink(out.get());
        const storedfile::FileResult result =
            storedfile::restoreStream(in.get(), storedPath, paths_.itemClass, expectedHeader_,
                                      progressFor(model_, callback_, index), std::ref(sink), plainPath);
        if (result.outcome == storedfile::Outcome::Cancelled) {
            report_.cancelled = true;
            return;
        }
        if (!result.done()) {
            fail(result.reason, result.error);
            return;
        }
        // The file creation mask may have taken bits away; the kept ones are given back whole.
        if ((mode & umask_) != 0) {
            ::fchmod(out.get(), mode);
        }
        setTimes(out.get(), now(), given.modified);
        if (!out.close()) {
            const int code = errno;
            model_->currentEncryptSize -= result.plainBytes;
            fail(QStringLiteral("cannot write %1: %2").arg(plainPath, fs::errorText(code)), code);
            return;
        }
        finished(relative, st, result.plainBytes);
    }

private:
    const qint64 expectedHeader_;
    const mode_t umask_;
    const ItemAttributes& attributes_;
    bool createdTopFile_ = false;
};

// Moves the finished temporary to the plain name, or beside it when the name is taken;
// never over anything. The name it got, or empty.
QString place(int parent, const QByteArray& temporary, const QString& plainParent, const QString& plainName,
              const RestoreOptions& options, bool& beside, QString& problem) {
    QString target = plainName;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (fs::existsAt(parent, target.toUtf8())) {
            target = freeNameIn(parent, plainName);
            beside = true;
        }
        if (options.beforePlacing && !options.beforePlacing(plainParent + QLatin1Char('/') + target)) {
            problem = QStringLiteral("the move could not be recorded first");
            return QString();
        }
        if (fs::renameNoReplaceAt(parent, temporary, parent, target.toUtf8())) {
            return target;
        }
        if (errno != EEXIST) {
            problem = fs::errorText(errno);
            return QString();
        }
    }
    problem = fs::errorText(EEXIST);
    return QString();
}

}  // namespace

QString freeNameBeside(const QString& path) {
    fs::Handle parent = fs::openDirectory(parentOfPath(path));
    const QString name = freeNameIn(parent ? parent.get() : -1, lastPathComponent(path));
    return parentOfPath(path) + QLatin1Char('/') + name;
}

WalkReport restoreItem(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& progress,
                       const RestoreOptions& options) {
    WalkReport report;
    HelpClass::sharedInstance().setEditModel(model);
    const QString plainParent = parentOfPath(paths.plainPath);
    const QString plainName = lastPathComponent(paths.plainPath);
    const QByteArray storedName = lastPathComponent(paths.storedTop).toUtf8();

    fs::Handle storedParent = fs::openDirectory(parentOfPath(paths.storedTop));
    const auto stored = storedParent ? fs::statAt(storedParent.get(), storedName) : std::nullopt;
    if (!stored) {
        logLine(QString::fromUtf8(loglines::kStoredFileMissing).arg(paths.storedTop));
        refuseWalk(report, QStringLiteral("cannot read the stored copy %1: %2").arg(paths.storedTop, fs::errorText(errno)));
        return report;
    }
    std::vector<QString> madeParents;
    if (!fs::makePath(plainParent, 0777, &madeParents)) {
        const int code = errno;
        refuseWalk(report, QStringLiteral("cannot create %1: %2").arg(plainParent, fs::errorText(code)), code);
        return report;
    }
    fs::Handle parent = fs::openDirectory(plainParent);
    if (!parent) {
        refuseWalk(report, QStringLiteral("cannot open %1: %2").arg(plainParent, fs::errorText(errno)));
        return report;
    }
    ItemAttributes attributes;
    if (QString reason; !readItemAttributes(storedParent.get(), storedName, attributes, reason)) {
        refuseWalk(report, QStringLiteral("the links and attributes of %1 cannot be read from %2: %3; the stored copy "
                                          "was kept")
                               .arg(paths.plainPath,
                                    parentOfPath(paths.storedTop) + QLatin1Char('/') +
                                        QString::fromUtf8(ItemAttributes::fileNameFor(storedName)),
                                    reason));
        return report;
    }
    // The temporary's name is short and every step below is relative to the folder, so an
    // item whose path is near the system's length limit comes back where it was.
    QByteArray temporary = options.temporaryName.toUtf8();
    const bool isFolder = S_ISDIR(stored->st_mode);
    RestoreWalk walk(model, paths, progress, report, attributes);
    bool madeTemporary = false;
    if (model->isCancel.load()) {
        report.cancelled = true;
    } else if (isFolder) {
        temporary = makeFreshFolder(parent.get(), options.temporaryName, kRestoreTemporaryPrefix);
        madeTemporary = !temporary.isEmpty();
        fs::Handle top = madeTemporary ? fs::openDirectoryAt(parent.get(), temporary) : fs::Handle();
        fs::Handle storedTop = fs::openDirectoryAt(storedParent.get(), storedName);
        if (!top || !storedTop) {
            const int code = errno;
            refuseWalk(report, QStringLiteral("cannot restore %1 beside %2: %3").arg(paths.storedTop, paths.plainPath,
                                                                                 fs::errorText(code)),
                   code);
        } else {
            walk.directory(storedTop.get(), top.get(), QString(), 0);
        }
    } else {
        if (options.temporaryName.isEmpty()) {
            temporary = QByteArray(kRestoreTemporaryPrefix) + fs::randomSuffix();
            while (fs::existsAt(parent.get(), temporary)) {
                temporary = QByteArray(kRestoreTemporaryPrefix) + fs::randomSuffix();
            }
        }
        walk.file(storedParent.get(), storedName, parent.get(), -1, temporary, QString(), 1);
        madeTemporary = walk.createdTopFile();
    }
    if (report.complete()) {
        bool beside = false;
        QString problem;
        if (!fs::syncFileSystem(parent.get())) {
            const int code = errno;
            refuseWalk(report, QStringLiteral("cannot make the restored %1 durable: %2").arg(paths.plainPath,
                                                                                         fs::errorText(code)),
                   code);
        } else if (const QString placed = place(parent.get(), temporary, plainParent, plainName, options, beside, problem);
                   placed.isEmpty()) {
            refuseWalk(report, QStringLiteral("cannot move the restored item to %1: %2").arg(paths.plainPath, problem));
        } else {
            fs::syncHandle(parent.get());
            report.restoredPath = plainParent + QLatin1Char('/') + placed;
            report.restoredBeside = beside;
            report.files = std::move(walk.files());
            if (beside) {
                logLine(QString::fromUtf8(loglines::kRestoredBeside).arg(report.restoredPath));
            }
            return report;
        }
    }
    if (madeTemporary) {
        fs::removeTreeAt(parent.get(), temporary);
    }
    model->currentEncryptSize -= walk.counted();
    parent = fs::Handle();
    removeFoldersMade(madeParents);
    return report;
}

}  // namespace tessaro::walk
