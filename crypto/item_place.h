#pragma once

#include "core/file_model.h"
#include "core/file_system.h"
#include "crypto/item_paths.h"

#include <QString>

#include <optional>

namespace tessaro::walk {

struct PlaceCheck;

// A record's vault base, container, stored top, plain path and class, derived once and
// proven to stay inside the vault: only placeOf makes one, so code that holds an ItemPlace
// acts where the record's own vault allows and nowhere else. A catalogue is read from a
// folder others may have written (a synced copy, a drive from another computer), so a
// record's `encryptedPath` and `name` are claims until this says otherwise.
class ItemPlace {
public:
    const QString& vaultBase() const { return vaultBase_; }
    // The container relative to the vault base, clean ("group/123").
    const QString& containerRelative() const { return containerRelative_; }
    const QString& container() const { return container_; }
    const QString& storedTop() const { return storedTop_; }
    QString storedName() const;
    const QString& plainPath() const { return plainPath_; }
    storedfile::ItemClass itemClass() const { return itemClass_; }
    ItemPaths paths() const { return ItemPaths{plainPath_, storedTop_, itemClass_}; }

    // The container opened below the vault base without following a symbolic link at any
    // step; an invalid handle with errno set (ENOENT when it does not exist yet).
    fs::Handle openContainer() const;

private:
    ItemPlace() = default;
    friend PlaceCheck placeOf(const FileModel& record, const QString& listVault);

    QString vaultBase_;
    QString containerRelative_;
    QString container_;
    QString storedTop_;
    QString plainPath_;
    storedfile::ItemClass itemClass_ = storedfile::ItemClass::Binary;
};

// An item's place, or why its record cannot be given one.
struct PlaceCheck {
    std::optional<ItemPlace> place;
    QString reason;
    // The catalogue's own record check refused it (the record is damaged), rather than the
    // disk: callers word that refusal as the catalogue does.
    bool damagedRecord = false;
};

// Checks a record: its vault base is the vault root, or the vault folder of its drive; its
// `encryptedPath` names a folder inside that base (no "..", no ".", no absolute escape); its
// `name` is one path component; its `path` is absolute and clean; and no folder between the
// base and the stored top, nor the stored top itself, is a symbolic link. With `listVault`
// (the folder of the list the record was read from) the base must be that folder: a drive's
// catalogue cannot name the local vault's containers, nor the other way round.
PlaceCheck placeOf(const FileModel& record, const QString& listVault = QString());

// Opens `relative` (components separated by "/") below the open folder `base` as a folder,
// never following a symbolic link nor leaving `base` ("..", absolute links). Uses the
// kernel's confined lookup where it has one and walks one component at a time otherwise.
fs::Handle openFolderBeneath(int base, const QString& relative);

// Whether `name` is one path component that names no other folder: not empty, no "/",
// not "." or "..", no NUL.
bool isSingleComponent(const QString& name);

}  // namespace tessaro::walk
