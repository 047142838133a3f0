#pragma once

#include <QString>

#include <atomic>
#include <memory>

namespace tessaro {

// Whatever shows an item at the moment (a row of the item list). The record only keeps a
// non-owning pointer so that progress and state changes can repaint it.
class ItemCell {
public:
    virtual ~ItemCell() = default;
    virtual void itemChanged() = 0;
};

// One vault item: a file or folder that was added, or a secure note.
// Records are shared (FileModelPtr) between the row lists, the shown list and the walk;
// they are never copied.
struct FileModel {
    bool isEncrtypt = false;
    // Written by the cancel button on the main thread, read by the walk between files and
    // chunks.
    std::atomic<bool> isCancel{false};
    bool isEditting = false;
    QString name;
    QString path;
    QString iconpath;
    qint64 createDate = 0;
    qint64 addDate = 0;
    qint64 lastEditDate = 0;
    std::atomic<qint64> fileSize{0};
    // Progress of the running walk; written by the walk thread, read by the main thread.
    std::atomic<qint64> currentEncryptSize{0};
    qint64 startEncryptDate = 0;
    std::atomic<qint64> encryptDuration{0};
    qint64 groupIndex = 0;
    QString groupName;
    qint64 fileIndex = 0;
    QString macAddress;
    QString encryptedPath;
    // Why the record cannot be acted on (see recordDamage), found when the catalogue was
    // read; empty for a sound record. Never stored: the record is written back as it was read.
    QString damage;
    ItemCell* cell = nullptr;
};

using FileModelPtr = std::shared_ptr<FileModel>;

}  // namespace tessaro
