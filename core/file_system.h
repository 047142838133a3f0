#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <vector>

namespace tessaro::fs {

// The system's text for an errno value.
QString errorText(int code);

// True when a file system name (raw bytes) is valid UTF-8, the only form in which a name
// can be swapped and kept in the catalogue.
bool isValidUtf8Name(const QByteArray& name);
// The text of a raw name for messages: valid UTF-8 as it is, anything else with the
// offending bytes shown as \xNN.
QString displayName(const QByteArray& name);

// An open descriptor, closed when the handle goes.
class Handle {
public:
    Handle() = default;
    explicit Handle(int fd) : fd_(fd) {}
    ~Handle();
    Handle(Handle&& other) noexcept : fd_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now; false with errno set when the close reported an error (a delayed write
    // error on some file systems).
    bool close();

private:
    int fd_ = -1;
};

// Operations relative to an open directory take one name at a time, so that a tree of any
// depth can be walked and written whatever the length of its full paths, and a symbolic
// link swapped in for a directory meanwhile is never followed.

// Opens a directory by path, following symbolic links (a path the user gave).
Handle openDirectory(const QString& path);
// Opens a directory entry as a directory, without following a symbolic link.
Handle openDirectoryAt(int directory, const QByteArray& name);
// Opens an entry for reading. O_NONBLOCK: a FIFO must not hang a walk.
Handle openForReadingAt(int directory, const QByteArray& name, bool followLink);
// Creates a new file; fails with EEXIST when the name is taken, also when the file system
// folds letter case and a name differing only in case is there.
Handle createExclusiveAt(int directory, const QByteArray& name, mode_t mode);
// Creates a new directory, with the same exclusivity.
bool makeDirectoryAt(int directory, const QByteArray& name, mode_t mode);

// lstat of an entry; absent (errno set) when it does not exist or cannot be examined.
std::optional<struct stat> statAt(int directory, const QByteArray& name);
bool existsAt(int directory, const QByteArray& name);

struct Entry {
    QByteArray name;
    bool isDirectory = false;  // a real directory, not a link to one
    bool isLink = false;       // a symbolic link, whatever it points to
};
// The entries of an open directory in the order the file system gives, without "." and
// "..". False (errno set) when it cannot be read to the end.
bool listDirectory(int directory, std::vector<Entry>& entries);

// Renames without ever replacing what is at the target (also where the file system lacks
// the kernel's no-replace rename); false with errno set.
bool renameNoReplaceAt(int fromDirectory, const QByteArray& fromName, int toDirectory, const QByteArray& toName);
// Exchanges two entries atomically; false with EINVAL/ENOSYS where the file system cannot.
bool exchangeAt(int firstDirectory, const QByteArray& firstName, int secondDirectory, const QByteArray& secondName);

// Removes an entry and, for a directory, everything below it. Only for trees this program
// made itself. False when something could not be removed.
bool removeTreeAt(int directory, const QByteArray& name);

// Writes all `size` bytes, retrying interrupted and short writes. False with errno set; a
// write that takes nothing counts as a full disk (ENOSPC).
bool writeAll(int fd, const char* data, qint64 size);
// Reads until `size` bytes or the end of the file, retrying interrupted and short reads:
// the count read, or -1 with errno set.
qint64 readUpTo(int fd, char* data, qint64 size);

// fsync of an open file or directory.
bool syncHandle(int fd);
// syncfs: every written byte of the file system holding `fd` is durable afterwards.
bool syncFileSystem(int fd);

// Makes a directory by path with its missing parents (mode for the ones it creates).
// `created` receives the directories it made, outermost first. False with errno set.
bool makePath(const QString& path, mode_t mode, std::vector<QString>* created = nullptr);

// The process's file creation mask, read without changing it (other threads may be
// creating files meanwhile).
mode_t currentUmask();

// Six random characters for names this program makes unique.
QByteArray randomSuffix();

// For tests: exclusive creation and no-replace renames fold letter case, as FAT and exFAT
// drives do, so that collisions of such names can be tried on any file system.
void foldCaseForTests(bool on);

}  // namespace tessaro::fs
