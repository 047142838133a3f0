#pragma once

#include "core/catalogue_format.h"
#include "core/group_model.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
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
    // kept across a lock (absent at the first login of a launch). False when a catalogue
    // file that had to be written could not be (see lastError).
    bool setUp(std::optional<UpLibrary> handedOver, bool firstRun);

    // 0 the local vault, 1 the removable-drive vaults, any other value the notes.
    // False when a file could not be written; the old file is then intact.
    bool SaveGroupList(int which);

    // A save split in two, so that the disk work can leave the window's thread: the lists
    // are turned into their files' bytes here, and written in order elsewhere.
    struct WriteOrder;
    struct ListFile {
        QString path;
        QByteArray bytes;
        bool executable = false;  // removable-drive catalogues keep their execute bits
        quint64 sequence = 0;     // when the bytes were taken, among all saves of this catalogue
    };
    struct PreparedSave {
        QList<ListFile> files;
        // What could not even be prepared, with the reason; such a save fails when written.
        QString error;
        std::shared_ptr<WriteOrder> order;
    };
    // The bytes of what SaveGroupList(which) writes; "KUPNAMES" is written at once.
    PreparedSave prepareSave(int which);
    // Writes every file of a prepared save (any thread; touches no list). False, with the
    // reason, when one could not be written; each file is then the old one or the new one.
    [[nodiscard]] static bool writePrepared(const PreparedSave& save, QString* error);

    // Replace the list by a fresh load of its file. False when the file could not be read
    // in full: a damaged file is moved aside (recorded in damagedFiles and damageReports),
    // the list keeps every row, item and field that could be read, completed with the
    // default rows, and is written at once; a file that cannot even be opened is left alone
    // and never overwritten while this catalogue lives, and the list holds the default rows.
    bool setGroupDirListSource();
    bool setNotesListSource();
    // Loads one removable-drive vault into UPLibrary, or gives it a default catalogue.
    void moveUpList(const QString& volumeName, const QString& vaultKey);
    // Writes one removable-drive vault's file; with a password, that text is stored as the
    // `password` of every row in the file. False (nothing written) when the vault is not
    // in UPLibrary, its volume is not mounted, or the write failed.
    bool saveUpListForName(const QString& vaultKey, const std::optional<QString>& password);

    // The lists built when no catalogue exists yet.
    static RowList defaultLocalList(qint64 secondsSince1970);
    static RowList defaultNotesList(qint64 secondsSince1970);
    static RowList defaultRemovableList(const QString& volumeName, const QString& vaultKey, qint64 secondsSince1970);

    // Catalogue files that existed but could not be read in full, moved aside during this
    // load (their new paths), so that the window can tell the user.
    QStringList damagedFiles;
    // What each of them lost: how many groups and items were kept, which records and fields
    // could not be read, where the original went.
    QList<catalogue::DamageReport> damageReports;
    // The reports as the window shows them: per file where the original is, what was kept
    // and the first `detailLines` things that could not be read.
    QString damageSummary(qsizetype detailLines = 5) const;
    // Paths whose last write failed, with the reason.
    QString lastError;

private:
    // A file may be written from the window's thread and from a worker: bytes taken
    // earlier never replace bytes taken later, whichever write reaches the disk first.
    std::shared_ptr<WriteOrder> writeOrder_;
    // Files that exist but could not be opened: their content is unknown, so they are not
    // replaced by what this catalogue holds in their place.
    QSet<QString> unreadableFiles_;

    bool loadLocalList(const QString& path, const char* listKey, bool notes);
    // A list file that could not be read as it is; returns the rows that could be, if any.
    std::optional<RowList> takeDamaged(catalogue::ListRead read);
    void recordDamaged(const QString& path, const QString& reason, catalogue::DamageReport report);
    bool writeList(const QString& path, const RowList& rows, catalogue::ListKind kind,
                   const std::optional<QString>& password);
    // The bytes of one list file, or false with the reason in `save.error`.
    bool prepareList(PreparedSave& save, const QString& path, const RowList& rows, catalogue::ListKind kind,
                     bool executable, const std::optional<QString>& password = std::nullopt);
    bool prepareUpList(PreparedSave& save, const QString& vaultKey);
};

}  // namespace tessaro
