#pragma once

// What the store and restore walks share: the progress wrapper, writing into a descriptor,
// file times and permission bits, and the messages for names the walks cannot take.

#include "core/file_system.h"
#include "crypto/item_attributes.h"
#include "crypto/stored_file.h"
#include "crypto/tree_walk.h"

#include <QHash>
#include <QString>

#include <functional>
#include <sys/stat.h>

namespace tessaro::walk::detail {

// The record's counters and the caller's callback for the file with this index.
storedfile::Progress progressFor(const FileModelPtr& model, const WalkProgress& callback, qint64 index);

// Writes into an open descriptor, retrying short writes, and hands large files to the disk
// while they are written so that the final sync waits only for the last few megabytes.
class DescriptorSink {
public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    bool operator()(const char* data, qint64 size);

private:
    int fd_;
    qint64 written_ = 0;
    qint64 writebackFrom_ = 0;
};

// A stored file or folder keeps its plain original's modification time as its own, and its
// permission bits, when they are not the usual 0644 of a file (a folder's always), in the
// extended attribute "user.tessaro.mode" (octal), while the stored entry itself stays
// private to the owner. What the file system cannot keep exactly (no extended attributes,
// coarse times: FAT and exFAT drives) goes into the item's attribute file under `relative`.
// A folder is given its time only after its last entry is written.
void keepAttributes(int storedFd, const struct stat& source, bool isFolder, const QString& relative,
                    ItemAttributes& attributes);

// The bits and time a restored entry gets back: the attribute file's, else what the stored
// entry kept itself (its attribute, else the usual bits: 0644 for a file, and for a folder
// of an older copy what a new folder gets).
struct GivenBack {
    mode_t mode = 0;
    timespec modified{};
};
GivenBack attributesToGiveBack(int storedFd, const struct stat& stored, bool isFolder, const KeptAttributes* kept,
                               mode_t umask);

// Sets both times: a file system that takes an omitted access time for "now" would lose the
// modification time with it. False when fstat shows another modification time afterwards.
bool setTimes(int fd, const timespec& accessed, const timespec& modified);

inline constexpr mode_t kUsualMode = 0644;
inline constexpr char kModeAttribute[] = "user.tessaro.mode";

// The names created so far in each directory of a walk's output, to tell a name that a
// case-folding file system took for another one.
class CreatedNames {
public:
    void add(int directoryKey, const QString& name) { names_[directoryKey].append(name); }
    // An earlier name of that directory equal to `name` when letter case is ignored.
    QString clashWith(int directoryKey, const QString& name) const;

private:
    QHash<int, QStringList> names_;
};

// What the store and restore walks share: the report they fill, the files they finished, how
// a failure counts (a full disk stops the walk with one line), and the visit of a folder.
class WalkBase {
public:
    WalkBase(const FileModelPtr& model, const ItemPaths& paths, const WalkProgress& callback, WalkReport& report,
             QString outOfSpaceNote)
        : model_(model), paths_(paths), callback_(callback), report_(report), outOfSpaceNote_(std::move(outOfSpaceNote)) {}

    bool stopped() const { return report_.cancelled || report_.outOfSpace; }
    qint64 counted() const { return counted_; }
    std::vector<WalkedFile>& files() { return files_; }

    void fail(const QString& problem, int code);

protected:
    // Lists a folder of the walk's source and hands each entry with a name that can be kept
    // to `visit` (with the folder's key for CreatedNames), until a cancel or a full disk.
    // `relative` is recorded as a visited folder.
    void visitFolder(int directory, const QString& relative, const QString& where,
                     const std::function<void(const fs::Entry& entry, const QString& name, int key)>& visit);
    // A file written whole: counted, recorded with what its source looked like.
    void finished(const QString& relative, const struct stat& source, qint64 plainBytes);

    const FileModelPtr& model_;
    const ItemPaths& paths_;
    const WalkProgress& callback_;
    WalkReport& report_;
    CreatedNames created_;

private:
    QString outOfSpaceNote_;
    std::vector<WalkedFile> files_;
    qint64 counted_ = 0;
    int nextKey_ = 0;
};

// Makes a new folder (0700) in `parent` under the wanted name, or, when none is wanted,
// under the prefix and a fresh suffix; the name it took, or empty (errno set). It never
// takes a folder that is there already.
QByteArray makeFreshFolder(int parent, const QString& wanted, const char* prefix);

// Takes back the folders a walk made on its way to its destination (innermost first), as
// far as they are empty.
void removeFoldersMade(const std::vector<QString>& made);

// A walk that cannot even begin, or end: one failure with its reason.
void refuseWalk(WalkReport& report, const QString& problem, int code = 0);

// Why a name could not be created in a walk's own fresh output directory.
QString creationFailure(const QString& plainName, const QString& where, int code, const QString& clash);
// A name read from the file system that is not UTF-8.
QString invalidNameProblem(const QByteArray& name, const QString& where);

// Item name and relative path helpers for messages.
QString joined(const QString& base, const QString& relative);

}  // namespace tessaro::walk::detail
