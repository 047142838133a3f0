#pragma once

#include "core/file_model.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QSizeF>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tessaro {

// Progress callback of the walks: a file index and the record's byte count so far.
using ProgressBlock = std::function<void(qint64 fileIndex, float bytes)>;

// The service the rest of the system knows by name. Every operation is a short forward
// into the file that owns the idea (paths, key material, stored files, walks, inspection).
// The shared instance remembers the item being stored or restored, for the cancel button.
class HelpClass {
public:
    static HelpClass& sharedInstance();
    FileModelPtr editModel() const;
    void setEditModel(FileModelPtr model);
    static FileModelPtr fileModel();

    // Vault layout and paths.
    static QString AppRootDirKey();
    static QString AppRootNoteDirPath();
    static QString AppGroupDirListPath();
    static QString AppGroupNotesListPath();
    static QString AppRootMoveUpDirPath(const QString& volume, const QString& directory);
    static QString AppGroupMoveUPListPath(const QString& volume, const QString& directory);
    static void chmodPath(const QString& path);
    static QString getFileThumbImagePath(const QString& itemPath, const QString& directoryName);

    // Key material and block cipher.
    static QString getMacAddress();
    static QString getEncrtyptPassword();
    static std::optional<QByteArray> AES128EncryptWithKey(const QString& keyText, const QByteArray& data);
    static std::optional<QByteArray> AES128DecodeWithKey(const QString& keyText, const QByteArray& data);
    static QString MD5_32BitUpper(const QString& text);
    static QString MD5_32BitLower(const QString& text);

    // Stored files and walks: declared with their implementation in stored_file.h and
    // tree_walk.h (see the section below).
    // @@stored-files-and-walks@@
    // One file of an item: the record's path (joined with the relative path) stored into
    // item container / swapped(item name + relative path), and back.
    static qint64 jiami(const FileModelPtr& model, const QString& itemPath, bool isDir, const ProgressBlock& progress);
    static void jiemi(const FileModelPtr& model, const QString& itemPath, bool isDir, const ProgressBlock& progress);
    static QString AESPath(const QString& relativePath);
    static bool iswenbenwenjian(const QString& path);
    // The walks. They return no status of their own: the caller applies the completion
    // test (currentEncryptSize >= fileSize), which counts only files written and synced.
    static qint64 EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 fileSize,
                                        qint64 currentIndex, const ProgressBlock& progress);
    static void EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath, const ProgressBlock& progress);
    static void EncryptAESAtFilemodel(const FileModelPtr& model, const QString& itemPath);
    static void DeCodeAESAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 currentIndex,
                                     const ProgressBlock& progress);
    static void DeCodeAESAtFilemodel(const FileModelPtr& model, const QString& itemPath);
    static qint64 FileSizeAtFilemodel(const FileModelPtr& model, const QString& itemPath, qint64 fileSize,
                                      qint64 currentIndex, const ProgressBlock& progress);
    static qint64 fileSizeAtFilemodel(const FileModelPtr& model);
    static void fileSizeForModel(const FileModelPtr& model, const QString& itemPath, bool isDir);
    static void createDir(const FileModelPtr& model, const QString& itemPath);
    static void createDeDir(const FileModelPtr& model, const QString& itempath);
    static bool isDirectory(const QString& path);

    // Item inspection (crypto/item_inspection.h).
    static QString contentSizeForPath(const FileModel& model);
    static QImage resizeImage(const QImage& image, const QSizeF& maxSize);
    static QString getTimeIntervalSince();
    static QHash<QString, QString> getTimeInThisTimeZoneAfter(const std::optional<QDateTime>& date = std::nullopt);
    static QString weekDay(qint64 weekdayNumber);
    static QString monthWithNum(qint64 monthNumber);

private:
    HelpClass() = default;
    mutable std::mutex mutex_;
    FileModelPtr editModel_;
};

}  // namespace tessaro
