#include "core/catalogue.h"

#include "core/atomic_file.h"
#include "core/catalogue_format.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/log_lines.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "core/volumes.h"
#include "crypto/hardware_address.h"
#include "crypto/md5.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <mutex>

#include <sys/stat.h>

namespace tessaro {

using catalogue::FileRead;
using catalogue::ListKind;

namespace {

qint64 now() { return QDateTime::currentSecsSinceEpoch(); }

QString text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }

GroupModelPtr makeRow(const QString& listKey, bool notes, qint64 index) {
    auto row = std::make_shared<GroupModel>();
    row->groupName = listKey;
    row->isNotes = notes;
    row->isGroupDir = !notes;
    row->index = index;
    return row;
}

// Header, all-items group and add row of one section.
RowList threeRows(const QString& listKey, bool notes, const QString& headerName, const QString& allName,
                  const QString& addName, qint64 secondsSince1970) {
    RowList rows;
    GroupModelPtr header = makeRow(listKey, notes, 0);
    header->isHeader = true;
    header->name = headerName;
    rows.append(header);
    GroupModelPtr all = makeGroupRow(allName, listKey, notes, secondsSince1970);
    all->index = 1;
    rows.append(all);
    GroupModelPtr add = makeRow(listKey, notes, 2);
    add->isAddItem = true;
    add->name = addName;
    rows.append(add);
    return rows;
}

QString volumeOfKey(const QString& vaultKey) { return vaultKey.section(QLatin1Char('/'), 0, 0); }
QString directoryOfKey(const QString& vaultKey) { return vaultKey.section(QLatin1Char('/'), -1, -1); }

// Drives written by earlier versions have their catalogue executable; keep it so. A file
// system without modes (FAT) refuses quietly, which is fine.
void makeExecutable(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::chmod(native.constData(), (st.st_mode & 07777) | S_IXUSR | S_IXGRP | S_IXOTH);
    }
}

// A list read from a file written by hand or by another tool may lack the rows every
// section has; the window relies on them (row 0 the header, row 1 the all-items group, the
// last row the add row), so the missing ones are put back from the default list. Nothing
// that was read is removed. The section flags are the file's, whatever a row says.
// Returns the names of the rows that were added.
QStringList completeSection(RowList& rows, const RowList& defaults, bool notes) {
    QStringList added;
    if (rows.isEmpty() || !rows.first()->isHeader) {
        rows.prepend(defaults[0]);
        added.append(QStringLiteral("header"));
    }
    if (rows.size() < 2 || rows[1]->isHeader || rows[1]->isAddItem) {
        rows.insert(1, defaults[1]);
        added.append(QStringLiteral("all-items"));
    }
    if (!rows.last()->isAddItem) {
        rows.append(defaults[2]);
        added.append(QStringLiteral("add"));
    }
    for (const GroupModelPtr& row : rows) {
        row->isNotes = notes;
        row->isGroupDir = !notes;
        if (!row->isHeader && !row->isAddItem && !row->fileModels) {
            row->fileModels = std::make_shared<FileModelList>();
        }
    }
    renumberRowList(rows);
    return added;
}

}  // namespace

RowList Catalogue::defaultLocalList(qint64 secondsSince1970) {
    return threeRows(QString::fromLatin1(kLocalListKey), false, text("GroupFileTypeTitle"), text("group_AllFiles"),
                     QString(""), secondsSince1970);
}

RowList Catalogue::defaultNotesList(qint64 secondsSince1970) {
    return threeRows(QString::fromLatin1(kNotesListKey), true, text("group_SECURENOTES"), text("group_Allnotes"),
                     text("GroupFileTypeTitle"), secondsSince1970);
}

RowList Catalogue::defaultRemovableList(const QString& volumeName, const QString& vaultKey, qint64 secondsSince1970) {
    RowList rows = threeRows(vaultKey, false, volumeName, text("group_AllFiles"), QString(""), secondsSince1970);
    // The drive's own password digest and the address of the machine that made it.
    rows[0]->password = MD5_32BitUpper(SettingsStore::stringValue(QString::fromLatin1(keys::kSOUREPASSWORD)));
    rows[0]->macAddress = getMacAddress();
    return rows;
}

bool Catalogue::setUp(std::optional<UpLibrary> handedOver, bool firstRun) {
    lastError.clear();
    damagedFiles.clear();
    damageReports.clear();
    unreadableFiles_.clear();
    // The local all-items group is selected when the window opens.
    selectGroupName = QString::fromLatin1(kLocalListKey);
    UPLibrary = handedOver ? std::move(*handedOver) : UpLibrary();

    const QStringList known = SettingsStore::stringList(QString::fromLatin1(keys::KUPNAMES));
    for (const QString& key : known) {
        const QString volumePath = Volumes::pathFor(key);
        logLine(QString::fromUtf8(loglines::kVolumePath).arg(volumePath));
        if (!key.isEmpty() && QFileInfo::exists(volumePath)) {
            moveUpList(volumeOfKey(key), key);
        }
    }

    groupDirList.clear();
    groupNoteList.clear();
    if (!firstRun) {
        vaultpaths::ensureDirectory(vaultpaths::AppRootDirKey(), loglines::kRootCreated, loglines::kRootCreateFailed);
        vaultpaths::ensureDirectory(vaultpaths::AppRootNoteDirPath(), loglines::kRootCreated,
                                    loglines::kRootCreateFailed);
    }

    const QString localPath = vaultpaths::AppGroupDirListPath();
    if (!localPath.isEmpty() && QFileInfo(localPath).exists()) {
        setGroupDirListSource();
        setNotesListSource();
    } else {
        groupDirList = defaultLocalList(now());
        SaveGroupList(0);
        // A notes catalogue left without its local sibling still lists the user's notes:
        // it is loaded, and only a missing one is replaced by the default rows.
        setNotesListSource();
    }
    // Every failure above has left its reason here.
    return lastError.isEmpty();
}

void Catalogue::recordDamaged(const QString& path, const QString& reason, catalogue::DamageReport report) {
    QString error;
    if (auto aside = catalogue::moveAside(path, now(), &error)) {
        logLine(QString::fromUtf8(loglines::kCatalogueMovedAside).arg(path, reason, *aside));
        damagedFiles.append(*aside);
        report.asidePath = *aside;
    } else {
        // Could not be moved: it stays where it is and is not overwritten.
        logLine(QString::fromUtf8(loglines::kCatalogueLeftInPlace).arg(path, reason + QStringLiteral("; ") + error));
        unreadableFiles_.insert(path);
        lastError = path + QStringLiteral(": ") + reason;
    }
    logLine(QString::fromUtf8(loglines::kCatalogueSalvaged)
                .arg(path)
                .arg(report.groupsKept)
                .arg(report.itemsKept)
                .arg(report.unreadable.size()));
    damageReports.append(std::move(report));
}

std::optional<RowList> Catalogue::takeDamaged(catalogue::ListRead read) {
    const QString path = read.damage.path;
    recordDamaged(path, read.reason, std::move(read.damage));
    if (read.rows && !read.rows->isEmpty()) {
        return std::move(read.rows);
    }
    return std::nullopt;
}

// Loads the local or the notes list. Whatever goes wrong, the list ends up usable (at least
// the three rows every section has) and no recorded item is lost without a trace.
bool Catalogue::loadLocalList(const QString& path, const char* listKey, bool notes) {
    RowList& list = notes ? groupNoteList : groupDirList;
    list.clear();
    unreadableFiles_.remove(path);
    const catalogue::ListSource source{notes ? ListKind::Notes : ListKind::Local, QString::fromLatin1(listKey),
                                       getMacAddress(), QString(), notes ? QString() : vaultpaths::AppRootDirKey()};
    catalogue::ListRead read = catalogue::readRowListFile(path, source);
    const FileRead::Status status = read.status;
    std::optional<RowList> rows;
    switch (status) {
    case FileRead::Status::Read:
        // A valid but empty list holds nothing to keep; it gets the three rows back.
        if (!read.rows->isEmpty()) {
            rows = std::move(read.rows);
        }
        break;
    case FileRead::Status::Missing: break;
    case FileRead::Status::Damaged: rows = takeDamaged(std::move(read)); break;
    case FileRead::Status::Unreadable:
        logLine(QString::fromUtf8(loglines::kCatalogueLeftInPlace).arg(path, read.reason));
        unreadableFiles_.insert(path);
        lastError = path + QStringLiteral(": ") + read.reason;
        break;
    }
    const qint64 moment = now();
    RowList defaults = notes ? defaultNotesList(moment) : defaultLocalList(moment);
    if (!rows) {
        list = std::move(defaults);
    } else {
        list = std::move(*rows);
        const QStringList added = completeSection(list, defaults, notes);
        if (!added.isEmpty()) {
            logLine(QString::fromUtf8(loglines::kCatalogueCompleted).arg(path, added.join(QStringLiteral(", "))));
        }
        if (status == FileRead::Status::Read) {
            return true;
        }
    }
    // What was read of a damaged file replaces it at once, so that the next start finds it.
    if (!unreadableFiles_.contains(path)) {
        SaveGroupList(notes ? 2 : 0);
    }
    return false;
}

bool Catalogue::setGroupDirListSource() {
    return loadLocalList(vaultpaths::AppGroupDirListPath(), kLocalListKey, false);
}

bool Catalogue::setNotesListSource() {
    return loadLocalList(vaultpaths::AppGroupNotesListPath(), kNotesListKey, true);
}

void Catalogue::moveUpList(const QString& volumeName, const QString& vaultKey) {
    const QString path = vaultpaths::AppGroupMoveUPListPath(volumeName, directoryOfKey(vaultKey));
    unreadableFiles_.remove(path);
    const catalogue::ListSource source{ListKind::Removable, vaultKey, getMacAddress(), volumeName,
                                       Volumes::pathFor(vaultKey)};
    catalogue::ListRead read = catalogue::readRowListFile(path, source);
    if (read.status == FileRead::Status::Read) {
        // Even an empty list is taken as it is: the file could be read.
        UPLibrary[vaultKey] = std::move(*read.rows);
        return;
    }
    std::optional<RowList> rows;
    if (read.status == FileRead::Status::Damaged) {
        rows = takeDamaged(std::move(read));
    } else if (read.status == FileRead::Status::Unreadable) {
        logLine(QString::fromUtf8(loglines::kCatalogueLeftInPlace).arg(path, read.reason));
        unreadableFiles_.insert(path);
        lastError = path + QStringLiteral(": ") + read.reason;
    }
    UPLibrary[vaultKey] = rows ? std::move(*rows) : defaultRemovableList(volumeName, vaultKey, now());
    // The vault gets its file at once, whichever row is selected; the save below then
    // records the key in "KUPNAMES".
    if (!unreadableFiles_.contains(path)) {
        saveUpListForName(vaultKey, std::nullopt);
    }
    SaveGroupList(1);
}

QString Catalogue::damageSummary(qsizetype detailLines) const {
    QStringList files;
    for (const catalogue::DamageReport& report : damageReports) {
        QStringList lines;
        lines.append(report.asidePath.isEmpty() ? text("catalogueDamaged.leftInPlace").arg(report.path)
                                                : report.asidePath);
        lines.append(text("catalogueDamaged.kept").arg(report.groupsKept).arg(report.itemsKept));
        if (!report.unreadable.isEmpty()) {
            lines.append(text("catalogueDamaged.unreadable"));
            const qsizetype shown = std::min(detailLines, report.unreadable.size());
            for (qsizetype i = 0; i < shown; ++i) {
                lines.append(QStringLiteral("\u2022 ") + report.unreadable[i]);
            }
            if (report.unreadable.size() > shown) {
                lines.append(text("catalogueDamaged.more").arg(report.unreadable.size() - shown));
            }
        }
        files.append(lines.join(QLatin1Char('\n')));
    }
    return files.join(QStringLiteral("\n\n"));
}

bool Catalogue::writeList(const QString& path, const RowList& rows, ListKind kind,
                          const std::optional<QString>& password) {
    PreparedSave save;
    prepareList(save, path, rows, kind, kind == ListKind::Removable, password);
    QString error;
    if (!writePrepared(save, &error)) {
        lastError = error;
        return false;
    }
    return true;
}

struct Catalogue::WriteOrder {
    std::mutex mutex;  // held across a write, so two writes of one file never interleave
    quint64 taken = 0;
    QHash<QString, quint64> written;
};

bool Catalogue::SaveGroupList(int which) {
    QString error;
    if (!writePrepared(prepareSave(which), &error)) {
        lastError = error;
        return false;
    }
    return true;
}

bool Catalogue::prepareList(PreparedSave& save, const QString& path, const RowList& rows, ListKind kind,
                            bool executable, const std::optional<QString>& password) {
    if (!writeOrder_) {
        writeOrder_ = std::make_shared<WriteOrder>();
    }
    save.order = writeOrder_;
    QString error;
    if (path.isEmpty()) {
        error = QStringLiteral("no vault root is set");
    } else if (unreadableFiles_.contains(path)) {
        error = path + QStringLiteral(": the existing file could not be read, so it is not replaced");
    } else {
        plist::SerializeResult serialized = catalogue::serializeRows(rows, kind, password);
        if (serialized.bytes) {
            std::lock_guard lock(writeOrder_->mutex);
            save.files.append(ListFile{path, std::move(*serialized.bytes), executable, ++writeOrder_->taken});
            return true;
        }
        error = path + QStringLiteral(": ") + serialized.error;
    }
    logLine(QString::fromUtf8(loglines::kCatalogueWriteFailed).arg(error));
    save.error = save.error.isEmpty() ? error : save.error + QLatin1Char('\n') + error;
    return false;
}

bool Catalogue::prepareUpList(PreparedSave& save, const QString& vaultKey) {
    const QString volume = volumeOfKey(vaultKey);
    // Writing for a drive that is gone would create its directories on the local disk,
    // under the mount point, and hide the drive when it comes back. An open vault has its
    // folder: a mount point left empty by a pulled drive does not.
    if (volume.isEmpty() || !QFileInfo(Volumes::pathFor(vaultKey)).isDir()) {
        const QString error = vaultKey + QStringLiteral(": the drive is not mounted");
        logLine(QString::fromUtf8(loglines::kCatalogueWriteFailed).arg(error));
        save.error = save.error.isEmpty() ? error : save.error + QLatin1Char('\n') + error;
        return false;
    }
    return prepareList(save, vaultpaths::AppGroupMoveUPListPath(volume, directoryOfKey(vaultKey)),
                       UPLibrary.value(vaultKey), ListKind::Removable, true);
}

Catalogue::PreparedSave Catalogue::prepareSave(int which) {
    logLine(QString::fromUtf8(loglines::kSavingCatalogue));
    PreparedSave save;
    if (which == 1) {
        const QStringList keys = UPLibrary.keys();
        for (const QString& key : keys) {
            logLine(QString::fromUtf8(loglines::kSelectedList).arg(selectGroupName));
            if (QFileInfo::exists(Volumes::pathFor(key)) && key == selectGroupName) {
                prepareUpList(save, key);
            }
        }
        // A small settings file: written here, in the order of the commands that changed it.
        if (!SettingsStore::setValue(QString::fromLatin1(keys::KUPNAMES), keys)) {
            const QString error = SettingsStore::filePath() + QStringLiteral(": the settings could not be written");
            save.error = save.error.isEmpty() ? error : save.error + QLatin1Char('\n') + error;
        }
    } else if (which == 0) {
        prepareList(save, vaultpaths::AppGroupDirListPath(), groupDirList, ListKind::Local, false);
    } else {
        logLine(QString::fromUtf8(loglines::kSavingNotes));
        prepareList(save, vaultpaths::AppGroupNotesListPath(), groupNoteList, ListKind::Notes, false);
    }
    return save;
}

bool Catalogue::writePrepared(const PreparedSave& save, QString* error) {
    // Every file is attempted, even after one failed: each is whole, old or new, either way.
    QStringList failures;
    if (!save.error.isEmpty()) {
        failures.append(save.error);
    }
    for (const ListFile& file : save.files) {
        std::lock_guard lock(save.order->mutex);
        if (save.order->written.value(file.path) > file.sequence) {
            continue;  // newer bytes are on disk already: they hold everything these held
        }
        // The catalogue names every hidden item: owner-only, as everything else in the vault.
        AtomicFileWriter writer(file.path);
        writer.setOwnerOnly();
        if (!writer.open() || !writer.write(file.bytes) || !writer.commit()) {
            const QString reason = file.path + QStringLiteral(": ") + writer.errorString();
            logLine(QString::fromUtf8(loglines::kCatalogueWriteFailed).arg(reason));
            failures.append(reason);
            continue;
        }
        if (file.executable) {
            makeExecutable(file.path);
        }
        save.order->written.insert(file.path, file.sequence);
        logLine(QString::fromUtf8(loglines::kCatalogueSaved));
    }
    if (error) {
        *error = failures.join(QLatin1Char('\n'));
    }
    return failures.isEmpty();
}

bool Catalogue::saveUpListForName(const QString& vaultKey, const std::optional<QString>& password) {
    const auto it = UPLibrary.constFind(vaultKey);
    if (it == UPLibrary.constEnd()) {
        lastError = vaultKey + QStringLiteral(": no such removable-drive vault");
        return false;
    }
    const QString volume = volumeOfKey(vaultKey);
    // Writing for a drive that is gone would create its directories on the local disk,
    // under the mount point, and hide the drive when it comes back.
    if (volume.isEmpty() || !QFileInfo(Volumes::pathFor(volume)).isDir()) {
        lastError = vaultKey + QStringLiteral(": the drive is not mounted");
        logLine(QString::fromUtf8(loglines::kCatalogueWriteFailed).arg(lastError));
        return false;
    }
    const QString path = vaultpaths::AppGroupMoveUPListPath(volume, directoryOfKey(vaultKey));
    return writeList(path, it.value(), ListKind::Removable, password);
}

}  // namespace tessaro
