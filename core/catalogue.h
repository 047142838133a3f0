#pragma once

#include "core/group_model.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace tessaro {

// The removable-drive vaults by vault key ("volume/dir.flp"), in key order. Rows are shared,
// so a copy of the table (the one carried across a lock) holds the same rows.
using UpLibrary = QMap<QString, RowList>;

// The in-memory catalogue of the main window: the local vault's rows, the notes rows and the
// removable-drive vaults, with the load at start and the saves every command calls.
// Headless, so that the window, the command-line tool and the tests share it.
class Catalogue {
public:
    RowList groupDirList;
    RowList groupNoteList;
    UpLibrary UPLibrary;
    // List key of the row selected in the sidebar; only that removable-drive vault is
    // written by SaveGroupList(1).
    QString selectGroupName;

    // Loads everything, as the main window does when it opens. `handedOver` is the table
    // kept across a lock (absent at the first login of a launch).
    void setUp(std::optional<UpLibrary> handedOver, bool firstRun);

    // 0 the local vault, 1 the removable-drive vaults, any other value the notes.
    // False when a file could not be written; the old file is then intact.
    bool SaveGroupList(int which);

    bool setGroupDirListSource();
    bool setNotesListSource();
    void moveUpList(const QString& volumeName, const QString& vaultKey);
    bool saveUpListForName(const QString& vaultKey, const std::optional<QString>& password);

    // Catalogue files that existed but could not be read, moved aside during this load
    // (their new paths), so that the window can tell the user.
    QStringList damagedFiles;
    // Paths whose last write failed, with the reason.
    QString lastError;
};

}  // namespace tessaro
