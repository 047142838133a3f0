#include "notes/note_package.h"

#include "core/atomic_file.h"
#include "core/clean_path.h"
#include "core/file_system.h"
#include "core/vault_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro::notes {

namespace {

QByteArray native(const QString& name) { return QFile::encodeName(name); }

const QByteArray& noteFile() {
    static const QByteArray name(kNoteFileName);
    return name;
}

// A path that names an open directory itself, so that the atomic writer's temporary file,
// rename and directory sync all happen in the directory that was checked, whatever is
// swapped in at its path meanwhile.
QString pathOfOpenDirectory(int fd) {
    const QString viaProc = QStringLiteral("/proc/self/fd/%1").arg(fd);
    return QFileInfo::exists(viaProc) ? viaProc : QString();
}

QString whatIsThere(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return QStringLiteral("a symbolic link");
    }
    if (S_ISDIR(st.st_mode)) {
        return QStringLiteral("a folder");
    }
    return S_ISREG(st.st_mode) ? QStringLiteral("a file") : QStringLiteral("a special file");
}

// A save cut off by a crash or kill leaves its temporary file; the next save of the note
// takes it away (every writer of the vault holds its lock, so none is in progress).
void removeLeftoverPartials(int folder) {
    static const QByteArray prefix = QByteArray(".tessaro-partial-") + kNoteFileName + '-';
    std::vector<fs::Entry> entries;
    if (!fs::listDirectory(folder, entries)) {
        return;
    }
    for (const fs::Entry& entry : entries) {
        if (!entry.isDirectory && entry.name.startsWith(prefix)) {
            ::unlinkat(folder, entry.name.constData(), 0);
        }
    }
}

NoteText refused(QString reason) { return {NoteText::State::Refused, std::move(reason)}; }

}  // namespace

bool isSafePackageName(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.contains(QLatin1Char('/')) ||
        name.toUtf8().size() > 255) {
        return false;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029) {
            return false;
        }
    }
    return true;
}

QString NotePackage::path() const { return joinPath(notesDirectory_, name_); }

std::optional<NotePackage> NotePackage::named(const QString& notesDirectory, const QString& name) {
    if (!isSafePackageName(name)) {
        return std::nullopt;
    }
    return NotePackage(QDir::cleanPath(notesDirectory), name);
}

std::optional<NotePackage> NotePackage::of(const FileModel& note, const QString& notesDirectory, QString* why) {
    auto refuse = [&](const QString& reason) -> std::optional<NotePackage> {
        if (why) {
            *why = reason;
        }
        return std::nullopt;
    };
    if (!note.path.startsWith(QLatin1Char('/'))) {
        return refuse(QStringLiteral("the note's recorded place \"%1\" is not an absolute path").arg(note.path));
    }
    // Judged by the spelling as recorded: "." or ".." anywhere could lead out of the notes.
    QStringList parts = note.path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.contains(QStringLiteral(".")) || parts.contains(QStringLiteral(".."))) {
        return refuse(QStringLiteral("the note's recorded place \"%1\" is not a package name").arg(note.path));
    }
    const QString name = parts.takeLast();
    const QString folder = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    const QString notes = QDir::cleanPath(notesDirectory);
    if (!isSafePackageName(name)) {
        return refuse(QStringLiteral("the note's recorded package name \"%1\" is not a safe name").arg(name));
    }
    if (folder != notes && parts.value(parts.size() - 1) != QLatin1String(vaultpaths::kNotesDir)) {
        return refuse(QStringLiteral("the note's recorded place \"%1\" is outside the vault's notes folder %2")
                          .arg(note.path, notes));
    }
    return NotePackage(notes, name);
}

NoteText readNoteFile(const NotePackage& package, QByteArray& bytes) {
    bytes.clear();
    fs::Handle notes = fs::openDirectory(package.notesDirectory());
    if (!notes) {
        return errno == ENOENT ? NoteText{}
                               : refused(QStringLiteral("the notes folder cannot be opened: %1").arg(fs::errorText(errno)));
    }
    const QByteArray packageName = native(package.name());
    fs::Handle folder = fs::openDirectoryAt(notes.get(), packageName);
    if (!folder) {
        const int code = errno;
        if (code == ENOENT) {
            return {};
        }
        const auto st = fs::statAt(notes.get(), packageName);
        return refused(st ? QStringLiteral("the note's package %1 is %2, not a folder").arg(package.path(), whatIsThere(*st))
                          : QStringLiteral("the note's package %1 cannot be opened: %2")
                                .arg(package.path(), fs::errorText(code)));
    }
    fs::Handle file = fs::openForReadingAt(folder.get(), noteFile(), false);
    if (!file) {
        const int code = errno;
        if (code == ENOENT) {
            return {};
        }
        const auto st = fs::statAt(folder.get(), noteFile());
        return refused(st ? QStringLiteral("%1 in the note's package is %2, not a file").arg(kNoteFileName, whatIsThere(*st))
                          : QStringLiteral("%1 cannot be opened: %2").arg(kNoteFileName, fs::errorText(code)));
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return refused(QStringLiteral("%1 in the note's package is not a regular file").arg(kNoteFileName));
    }
    if (st.st_size > kMaxNoteBytes) {
        return refused(QStringLiteral("%1 is %2 MiB, more than a note can be (%3 MiB)")
                           .arg(kNoteFileName)
                           .arg(st.st_size >> 20)
                           .arg(kMaxNoteBytes >> 20));
    }
    bytes.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // Unknown content: the file must not be replaced by an empty note.
            bytes.clear();
            return refused(QStringLiteral("%1 cannot be read: %2").arg(kNoteFileName, fs::errorText(errno)));
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + n > kMaxNoteBytes) {
            bytes.clear();
            return refused(QStringLiteral("%1 grew past %2 MiB while it was read").arg(kNoteFileName).arg(kMaxNoteBytes >> 20));
        }
        bytes.append(buffer, n);
    }
    return {NoteText::State::Read, {}};
}

NoteText openNote(const NotePackage& package, QTextDocument& document) {
    document.clear();
    QByteArray bytes;
    const NoteText file = readNoteFile(package, bytes);
    if (file.state != NoteText::State::Read) {
        return file;
    }
    if (bytes.trimmed().isEmpty()) {
        return {};
    }
    const RtfRead read = readRtf(bytes, document);
    if (!read.isRtf) {
        return {NoteText::State::Damaged, QStringLiteral("%1 is not RTF text").arg(kNoteFileName)};
    }
    if (!read.problems.isEmpty()) {
        return {NoteText::State::Damaged,
                QStringLiteral("%1 is damaged: %2").arg(kNoteFileName, read.problems.join(QStringLiteral("; ")))};
    }
    if (!read.dropped.isEmpty()) {
        return {NoteText::State::Partial, QStringLiteral("%1 holds %2, which a note cannot keep")
                                              .arg(kNoteFileName, read.dropped.join(QStringLiteral(" and ")))};
    }
    return {NoteText::State::Read, {}};
}

NoteSave saveNote(const NotePackage& package, const QByteArray& rtf, bool keepAsideFirst, qint64 secondsSince1970) {
    NoteSave result;
    auto fail = [&](const QString& error) {
        result.error = error;
        return result;
    };
    if (!fs::makePath(package.notesDirectory(), 0700)) {
        return fail(QStringLiteral("the notes folder %1 cannot be made: %2")
                        .arg(package.notesDirectory(), fs::errorText(errno)));
    }
    fs::Handle notes = fs::openDirectory(package.notesDirectory());
    if (!notes) {
        return fail(QStringLiteral("the notes folder cannot be opened: %1").arg(fs::errorText(errno)));
    }
    const QByteArray packageName = native(package.name());
    if (!fs::statAt(notes.get(), packageName) && !fs::makeDirectoryAt(notes.get(), packageName, 0700) &&
        errno != EEXIST) {
        return fail(QStringLiteral("the note's package %1 cannot be made: %2").arg(package.path(), fs::errorText(errno)));
    }
    fs::Handle folder = fs::openDirectoryAt(notes.get(), packageName);
    if (!folder) {
        const auto st = fs::statAt(notes.get(), packageName);
        return fail(st ? QStringLiteral("the note's package %1 is %2, not a folder; nothing was written")
                             .arg(package.path(), whatIsThere(*st))
                       : QStringLiteral("the note's package %1 cannot be opened: %2")
                             .arg(package.path(), fs::errorText(errno)));
    }
    const auto existing = fs::statAt(folder.get(), noteFile());
    if (existing && !S_ISREG(existing->st_mode)) {
        return fail(QStringLiteral("%1 in the note's package is %2; it was not replaced")
                        .arg(kNoteFileName, whatIsThere(*existing)));
    }
    if (keepAsideFirst && existing) {
        const QString base = QLatin1String(kNoteFileName) + QLatin1String(kDamagedInfix) + QString::number(secondsSince1970);
        QString aside = base;
        bool moved = false;
        for (int n = 2; n < 1000 && !moved; ++n) {
            moved = fs::renameNoReplaceAt(folder.get(), noteFile(), folder.get(), native(aside));
            if (!moved && errno != EEXIST) {
                break;
            }
            if (!moved) {
                aside = base + QLatin1Char('-') + QString::number(n);
            }
        }
        if (!moved) {
            return fail(QStringLiteral("the damaged %1 could not be kept aside (%2), so it was not replaced")
                            .arg(kNoteFileName, fs::errorText(errno)));
        }
        result.keptAsidePath = joinPath(package.path(), aside);
    }
    removeLeftoverPartials(folder.get());
    const QString held = pathOfOpenDirectory(folder.get());
    AtomicFileWriter writer(joinPath(held.isEmpty() ? package.path() : held, QLatin1String(kNoteFileName)));
    writer.setNewFileMode(0600);
    if (!writer.open() || !writer.write(rtf) || !writer.commit()) {
        return fail(QStringLiteral("the note could not be saved: %1").arg(writer.errorString()));
    }
    result.ok = true;
    return result;
}

}  // namespace tessaro::notes
