#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <sys/stat.h>

namespace tessaro::vault {

// Copies a folder's tree into an empty folder, then compares the two byte for byte. Works
// through open directories one name at a time and never follows a symbolic link: links are
// copied as links, and a FIFO, socket or device ends the copy (nothing of ours is one).
// Modes and modification times come along. Progress counts the bytes copied and then the
// bytes compared, of twice the measured total.
class TreeCopy {
public:
    TreeCopy(std::function<void(qint64 done, qint64 total)> progress, const std::atomic<bool>* cancel);

    // An entry directly below the source's top that the copy leaves out (its caller gave
    // the copy one of its own); still compared.
    void skipAtTop(const QByteArray& name);
    // Adds up the bytes of every regular file below `directory`.
    [[nodiscard]] bool measure(int directory);
    // Copies every entry of `from` into `to`; false with error() or cancelled().
    [[nodiscard]] bool copy(int from, int to, const QString& relative = QString());
    // Whether `to` holds exactly what `from` holds: the same names, kinds and bytes.
    [[nodiscard]] bool compare(int from, int to, const QString& relative = QString());

    qint64 total() const { return total_; }
    // The entry (relative to the top) and what went wrong with it.
    QString error() const { return error_; }
    bool cancelled() const { return cancelled_; }

private:
    void finishedBytes(qint64 n);
    bool fail(const QString& path, int code);
    bool differs(const QString& path);
    bool stopRequested();
    bool copyFile(int from, int to, const QByteArray& name, const struct stat& st, const QString& path);
    bool sameBytes(int from, int to, const QByteArray& name, const QString& path);

    std::function<void(qint64, qint64)> progress_;
    const std::atomic<bool>* cancel_ = nullptr;
    QList<QByteArray> skipped_;
    qint64 total_ = 0;
    qint64 done_ = 0;
    QString error_;
    bool cancelled_ = false;
};

}  // namespace tessaro::vault
