#include "crypto/item_paths.h"
#include "core/clean_path.h"

#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/aes_cipher.h"
#include "crypto/owner_stamp.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"

namespace tessaro::walk {

namespace {


}  // namespace

storedfile::ItemClass classForItemName(const QString& itemPathOrName) {
    return iswenbenwenjian(lastPathComponent(itemPathOrName)) ? storedfile::ItemClass::Text : storedfile::ItemClass::Binary;
}

QString vaultBaseFor(const FileModel& model) {
    if (Volumes::isOnVolume(model.path)) {
        return vaultpaths::AppRootMoveUpDirPath(Volumes::volumeNameOf(model.path), lastPathComponent(model.groupName));
    }
    return vaultpaths::AppRootDirKey();
}

QString itemContainerFor(const FileModel& model) { return joinPath(vaultBaseFor(model), model.encryptedPath); }

QString storedNameFor(const FileModel& model) {
    return swappedName(model.name.isEmpty() ? lastPathComponent(model.path) : model.name);
}

ItemPaths pathsForRecord(const FileModel& model) {
    return ItemPaths{model.path, joinPath(itemContainerFor(model), storedNameFor(model)), classForItemName(model.path)};
}

qint64 currentHeaderLength() { return aesCipherLength(stamp::getEncrtyptPassword().toUtf8().size()); }

}  // namespace tessaro::walk
