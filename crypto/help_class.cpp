#include "crypto/help_class.h"

#include "core/vault_paths.h"
#include "crypto/aes_cipher.h"
#include "crypto/hardware_address.h"
#include "crypto/md5.h"
#include "crypto/owner_stamp.h"
#include "crypto/thumbnail_path.h"

namespace tessaro {

HelpClass& HelpClass::sharedInstance() {
    static HelpClass instance;  // thread-safe one-time initialisation
    return instance;
}

FileModelPtr HelpClass::editModel() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return editModel_;
}

void HelpClass::setEditModel(FileModelPtr model) {
    std::lock_guard<std::mutex> lock(mutex_);
    editModel_ = std::move(model);
}

FileModelPtr HelpClass::fileModel() { return sharedInstance().editModel(); }

QString HelpClass::AppRootDirKey() { return vaultpaths::AppRootDirKey(); }
QString HelpClass::AppRootNoteDirPath() { return vaultpaths::AppRootNoteDirPath(); }
QString HelpClass::AppGroupDirListPath() { return vaultpaths::AppGroupDirListPath(); }
QString HelpClass::AppGroupNotesListPath() { return vaultpaths::AppGroupNotesListPath(); }
QString HelpClass::AppRootMoveUpDirPath(const QString& volume, const QString& directory) {
    return vaultpaths::AppRootMoveUpDirPath(volume, directory);
}
QString HelpClass::AppGroupMoveUPListPath(const QString& volume, const QString& directory) {
    return vaultpaths::AppGroupMoveUPListPath(volume, directory);
}
void HelpClass::chmodPath(const QString& path) { vaultpaths::chmodPath(path); }
QString HelpClass::getFileThumbImagePath(const QString& itemPath, const QString& directoryName) {
    return tessaro::getFileThumbImagePath(itemPath, directoryName);
}

QString HelpClass::getMacAddress() { return tessaro::getMacAddress(); }
QString HelpClass::getEncrtyptPassword() { return stamp::getEncrtyptPassword(); }
std::optional<QByteArray> HelpClass::AES128EncryptWithKey(const QString& keyText, const QByteArray& data) {
    return tessaro::AES128EncryptWithKey(keyText, data);
}
std::optional<QByteArray> HelpClass::AES128DecodeWithKey(const QString& keyText, const QByteArray& data) {
    return tessaro::AES128DecodeWithKey(keyText, data);
}
QString HelpClass::MD5_32BitUpper(const QString& text) { return tessaro::MD5_32BitUpper(text); }
QString HelpClass::MD5_32BitLower(const QString& text) { return tessaro::MD5_32BitLower(text); }

}  // namespace tessaro
