#include "notes/notes_store.h"

#include "core/atomic_file.h"
#include "core/clean_path.h"
#include "core/file_system.h"
#include "core/vault_paths.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace tessaro::notes {

namespace {

// Leaves room for a "-nnn" suffix within the 255 bytes a name may have.
constexpr qsizetype kMaxTitleNameBytes = 250;
constexpr int kMaxSuffix = 10000;

QByteArray native(const QString& name) { return QFile::encodeName(name); }

QString withSuffix(const QString& name, int n) { return n < 2 ? name : name + QLatin1Char('-') + QString::number(n); }

// Package names the records of the rows use, but `except`.
bool recordedByAnother(const RowList& rows, const QString& name, const FileModel* except) {
    for (const FileModelPtr& note : allNotes(rows)) {
        if (note.get() != except && lastPathComponent(note->path).compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

FileModelList allNotes(const RowList& rows) {
    FileModelList notes;
    for (const GroupModelPtr& row : rows) {
        if (row && row->fileModels) {
            notes += *row->fileModels;
        }
    }
    return notes;
}

QString packageNameForTitle(const QString& title) {
    if (isSafePackageName(title)) {
        return title;
    }
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029;
        name.append(control || c == QLatin1Char('/') ? QChar(u'_') : c);
    }
    if (name.startsWith(QLatin1Char('.'))) {
        name[0] = QLatin1Char('_');
    }
    // Cut at a character boundary, never inside a surrogate pair.
    while (name.toUtf8().size() > kMaxTitleNameBytes) {
        name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    }
    if (name.isEmpty()) {
        name = QStringLiteral("Note");
    }
    return name;
}

NoteCreated createNote(RowList& rows, qint64 groupIndex, const QString& notesDirectory, const QString& macAddress,
                       qint64 secondsSince1970) {
    NoteCreated result;
    if (groupIndex < 0 || groupIndex >= rows.size() || !rows.at(groupIndex)->fileModels) {
        result.error = QStringLiteral("the notes group %1 holds no notes").arg(groupIndex);
        return result;
    }
    FileModelList& notes = *rows.at(groupIndex)->fileModels;
    if (!fs::makePath(notesDirectory, 0700)) {
        result.error = QStringLiteral("the notes folder %1 cannot be made: %2").arg(notesDirectory, fs::errorText(errno));
        return result;
    }
    fs::Handle folder = fs::openDirectory(notesDirectory);
    if (!folder) {
        result.error = QStringLiteral("the notes folder cannot be opened: %1").arg(fs::errorText(errno));
        return result;
    }
    const QString base = QStringLiteral("Note%1_%2").arg(notes.size()).arg(secondsSince1970);
    QString name;
    for (int n = 1; n < kMaxSuffix && name.isEmpty(); ++n) {
        const QString candidate = withSuffix(base, n);
        if (recordedByAnother(rows, candidate, nullptr)) {
            continue;
        }
        if (fs::makeDirectoryAt(folder.get(), native(candidate), 0700)) {
            name = candidate;
        } else if (errno != EEXIST) {
            result.error = QStringLiteral("the note's package cannot be made: %1").arg(fs::errorText(errno));
            return result;
        }
    }
    const auto package = NotePackage::named(notesDirectory, name);
    if (!package) {
        result.error = QStringLiteral("no free package name for a new note");
        return result;
    }
    const NoteSave saved = saveNote(*package, QByteArray(), false, secondsSince1970);
    if (!saved.ok) {
        fs::removeTreeAt(folder.get(), native(name));
        result.error = saved.error;
        return result;
    }
    auto note = std::make_shared<FileModel>();
    note->name = QString::fromLatin1(kUntitledNote);
    note->path = package->path();
    note->isEncrtypt = true;
    note->macAddress = macAddress;
    note->createDate = secondsSince1970;
    note->addDate = secondsSince1970;
    note->groupIndex = groupIndex;
    note->groupName = rows.at(groupIndex)->groupName;
    note->fileIndex = notes.size();
    notes.append(note);
    result.note = note;
    return result;
}

FileModelPtr takeNote(RowList& rows, qint64 groupIndex, qint64 fileIndex) {
    if (groupIndex < 0 || groupIndex >= rows.size() || !rows.at(groupIndex)->fileModels || fileIndex < 0 ||
        fileIndex >= rows.at(groupIndex)->fileModels->size()) {
        return nullptr;
    }
    FileModelList& notes = *rows.at(groupIndex)->fileModels;
    FileModelPtr note = notes.takeAt(fileIndex);
    for (qsizetype i = fileIndex; i < notes.size(); ++i) {
        notes[i]->fileIndex = i;
    }
    return note;
}

bool removeNotePackage(const RowList& rows, const FileModel& note, const QString& notesDirectory, QString* error) {
    QString why;
    const auto package = NotePackage::of(note, notesDirectory, &why);
    if (!package) {
        if (error) {
            *error = why + QStringLiteral("; the package was left alone");
        }
        return false;
    }
    // Catalogues written before package names were kept apart may have two records on one
    // package: the other note's content stays.
    if (recordedByAnother(rows, package->name(), &note)) {
        return true;
    }
    fs::Handle folder = fs::openDirectory(notesDirectory);
    if ((!folder && errno != ENOENT) || (folder && !fs::removeTreeAt(folder.get(), native(package->name())))) {
        if (error) {
            *error = QStringLiteral("the note's package %1 could not be removed in full: %2")
                         .arg(package->path(), fs::errorText(errno));
        }
        return false;
    }
    syncDirectory(notesDirectory);
    return true;
}

bool deleteNote(RowList& rows, qint64 groupIndex, qint64 fileIndex, const QString& notesDirectory, QString* error) {
    const FileModelPtr note = takeNote(rows, groupIndex, fileIndex);
    if (!note) {
        if (error) {
            *error = QStringLiteral("there is no note %1.%2").arg(groupIndex).arg(fileIndex);
        }
        return false;
    }
    return removeNotePackage(rows, *note, notesDirectory, error);
}

NoteRenamed renameNote(const RowList& rows, FileModel& note, const QString& title, const QString& notesDirectory) {
    NoteRenamed result;
    if (title.isEmpty() || title == note.name) {
        result.ok = true;
        return result;
    }
    const auto package = NotePackage::of(note, notesDirectory, &result.error);
    if (!package) {
        result.error = QStringLiteral("the note cannot be renamed: %1").arg(result.error);
        return result;
    }
    const QString wanted = packageNameForTitle(title);
    if (wanted == package->name()) {
        note.name = title;
        note.path = package->path();
        result.ok = true;
        return result;
    }
    if (!fs::makePath(notesDirectory, 0700)) {
        result.error = QStringLiteral("the notes folder cannot be made: %1").arg(fs::errorText(errno));
        return result;
    }
    fs::Handle folder = fs::openDirectory(notesDirectory);
    if (!folder) {
        result.error = QStringLiteral("the notes folder cannot be opened: %1").arg(fs::errorText(errno));
        return result;
    }
    const QByteArray from = native(package->name());
    const bool present = fs::statAt(folder.get(), from).has_value();
    for (int n = 1; n < kMaxSuffix; ++n) {
        const QString candidate = withSuffix(wanted, n);
        if (candidate == package->name()) {
            break;  // "Title-2" is already this note's own package
        }
        if (recordedByAnother(rows, candidate, &note)) {
            continue;
        }
        const QByteArray to = native(candidate);
        if (present ? fs::renameNoReplaceAt(folder.get(), from, folder.get(), to) : !fs::existsAt(folder.get(), to)) {
            syncDirectory(notesDirectory);
            note.name = title;
            note.path = joinPath(package->notesDirectory(), candidate);
            result.ok = true;
            result.moved = present;
            return result;
        }
        if (present && errno != EEXIST) {
            result.error = QStringLiteral("the note's package could not be renamed: %1").arg(fs::errorText(errno));
            return result;
        }
    }
    note.name = title;
    note.path = package->path();
    result.ok = true;
    return result;
}

void sortNotes(FileModelList& notes, qint64 notesSortType, bool isAscending) {
    auto before = [notesSortType](const FileModelPtr& a, const FileModelPtr& b) {
        switch (notesSortType) {
        case 2: return a->name < b->name;
        case 3: return a->createDate < b->createDate;
        default: return a->addDate < b->addDate;
        }
    };
    std::stable_sort(notes.begin(), notes.end(), [&](const FileModelPtr& a, const FileModelPtr& b) {
        return isAscending ? before(a, b) : before(b, a);
    });
}

qint64 lastEdited(const FileModel& note, const QString& notesDirectory) {
    if (const auto package = NotePackage::of(note, notesDirectory)) {
        const QFileInfo file(joinPath(package->path(), QLatin1String(kNoteFileName)));
        if (file.isFile() && !file.isSymLink()) {
            return file.lastModified().toSecsSinceEpoch();
        }
    }
    return note.createDate;
}

}  // namespace tessaro::notes
