#include "crypto/item_paths.h"

#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/aes_cipher.h"
#include "crypto/owner_stamp.h"
#include "crypto/swapped_name.h"
#include "crypto/text_class.h"

namespace tessaro::walk {

namespace {

QString lastComponent(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) {
        p.chop(1);
    }
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace

storedfile::ItemClass classForItemName(const QString& itemPathOrName) {
    return iswenbenwenjian(lastComponent(itemPathOrName)) ? storedfile::ItemClass::Text : storedfile::ItemClass::Binary;
}

QString vaultBaseFor(const FileModel& model) {
    if (Volumes::isOnVolume(model.path)) {
        return vaultpaths::AppRootMoveUpDirPath(Volumes::volumeNameOf(model.path), lastComponent(model.groupName));
    }
    return vaultpaths::AppRootDirKey();
}

QString itemContainerFor(const FileModel& model) { return joinPath(vaultBaseFor(model), model.encryptedPath); }

ItemPaths pathsForRecord(const FileModel& model) {
    const QString name = model.name.isEmpty() ? lastComponent(model.path) : model.name;
    return ItemPaths{model.path, joinPath(itemContainerFor(model), swappedName(name)), classForItemName(model.path)};
}

qint64 currentHeaderLength() { return aesCipherLength(stamp::getEncrtyptPassword().toUtf8().size()); }

}  // namespace tessaro::walk
