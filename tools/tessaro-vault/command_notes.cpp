// tessaro-vault notes list | show TITLE [--rtf] | add TITLE [--group NAME] | remove TITLE:
// the secure notes, through the same library as the window's notes list and editor.
#include "tools/tessaro-vault/command.h"
#include "tools/tessaro-vault/vault_session.h"

#include "core/catalogue_format.h"
#include "core/clean_path.h"
#include "core/localized_text.h"
#include "core/settings_store.h"
#include "core/vault_paths.h"
#include "crypto/hardware_address.h"
#include "notes/note_package.h"
#include "notes/notes_store.h"
#include "notes/rtf_reader.h"
#include "notes/rtf_writer.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextDocument>

#include <cstdio>

namespace tessaro::cli {
namespace {

using namespace tessaro::notes;

QString notesDirectory() { return vaultpaths::AppRootNoteDirPath(); }

// A field of a tab-separated line: tabs, line breaks and other control characters of a
// title must not break the line into fields or lines of their own.
QString field(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (c == QLatin1Char('\\')) {
            out += QStringLiteral("\\\\");
        } else if (c == QLatin1Char('\t')) {
            out += QStringLiteral("\\t");
        } else if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\\r");
        } else if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029) {
            out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

// The note's last change: when its text was last written, or when it was made.
QString editedDate(const FileModel& note) {
    return QDateTime::fromSecsSinceEpoch(notes::lastEdited(note, notesDirectory()), Qt::UTC).toString(Qt::ISODate);
}

struct Found {
    qint64 group = -1;
    qint64 index = -1;
    FileModelPtr note;
};

// The one note a word names: its title, or its package name when titles repeat.
std::optional<Found> noteNamed(const RowList& rows, const QString& word, const QString& command) {
    QList<Found> byTitle;
    QList<Found> byPackage;
    for (qsizetype g = 0; g < rows.size(); ++g) {
        if (!rows.at(g)->fileModels) {
            continue;
        }
        for (qsizetype i = 0; i < rows.at(g)->fileModels->size(); ++i) {
            const FileModelPtr& note = rows.at(g)->fileModels->at(i);
            if (note->name == word) {
                byTitle.append({g, i, note});
            } else if (lastPathComponent(note->path) == word) {
                byPackage.append({g, i, note});
            }
        }
    }
    if (byTitle.size() == 1) {
        return byTitle.first();
    }
    if (byTitle.isEmpty() && byPackage.size() == 1) {
        return byPackage.first();
    }
    if (byTitle.isEmpty()) {
        fail(QStringLiteral("notes %1: no note is titled \"%2\" (see notes list)").arg(command, word));
    } else {
        fail(QStringLiteral("notes %1: %2 notes are titled \"%3\"; name one by its package, the last column of notes list")
                 .arg(command)
                 .arg(byTitle.size())
                 .arg(word));
    }
    return std::nullopt;
}

// False after a message when the notes catalogue cannot be read; `damaged` says that only a
// part of it could be.
bool loadNotesReadOnly(RowList& rows, bool* damaged = nullptr) {
    LanguageBundle::setLanguage();
    if (vaultpaths::AppRootDirKey().isEmpty()) {
        fail(QStringLiteral("the settings file %1 names no vault (see init)").arg(SettingsStore::filePath()), 1);
        return false;
    }
    const catalogue::ListRead read = catalogue::readRowListFile(
        vaultpaths::AppGroupNotesListPath(),
        {catalogue::ListKind::Notes, QString::fromLatin1(kNotesListKey), getMacAddress(), QString(), QString()});
    if (read.status == catalogue::FileRead::Status::Missing) {
        return true;
    }
    if (!read.rows) {
        fail(QStringLiteral("the notes catalogue cannot be read: %1").arg(read.reason), 1);
        return false;
    }
    rows = *read.rows;
    if (read.status == catalogue::FileRead::Status::Damaged) {
        if (damaged) {
            *damaged = true;
        }
        fail(QStringLiteral("the notes catalogue is damaged (%1); showing what can be read").arg(read.reason), 1);
    }
    return true;
}

int runList(const QStringList& arguments) {
    if (!arguments.isEmpty()) {
        return fail(QStringLiteral("notes list takes no arguments"));
    }
    RowList rows;
    bool damaged = false;
    if (!loadNotesReadOnly(rows, &damaged)) {
        return 1;
    }
    for (const GroupModelPtr& row : rows) {
        if (!row->fileModels) {
            continue;
        }
        for (const FileModelPtr& note : *row->fileModels) {
            printLine(QStringList{field(row->name), field(note->name), editedDate(*note), field(lastPathComponent(note->path))}
                          .join(QLatin1Char('\t')));
        }
    }
    return damaged ? 1 : 0;
}

int runShow(const QStringList& arguments) {
    const auto parsed = parseArguments(QStringLiteral("notes show"), arguments, {QStringLiteral("--rtf")});
    if (!parsed || parsed->positional.size() != 1) {
        return fail(QStringLiteral("notes show needs one TITLE"));
    }
    if (!confirmPassword(QStringLiteral("notes show"))) {
        return 1;
    }
    RowList rows;
    if (!loadNotesReadOnly(rows)) {
        return 1;
    }
    const auto found = noteNamed(rows, parsed->positional.first(), QStringLiteral("show"));
    if (!found) {
        return 1;
    }
    QString why;
    const auto package = NotePackage::of(*found->note, notesDirectory(), &why);
    if (!package) {
        return fail(QStringLiteral("notes show: %1").arg(why), 1);
    }
    if (parsed->has(QStringLiteral("--rtf"))) {
        QByteArray bytes;
        const NoteText file = readNoteFile(*package, bytes);
        if (file.state == NoteText::State::Refused) {
            return fail(QStringLiteral("notes show: %1").arg(file.reason), 1);
        }
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        return 0;
    }
    QTextDocument document;
    const NoteText text = openNote(*package, document);
    QString plain = document.toPlainText();
    if (!plain.isEmpty() && !plain.endsWith(QLatin1Char('\n'))) {
        plain += QLatin1Char('\n');
    }
    const QByteArray out = plain.toUtf8();
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    if (text.state == NoteText::State::Refused || text.state == NoteText::State::Damaged ||
        text.state == NoteText::State::Partial) {
        return fail(QStringLiteral("notes show: %1%2")
                        .arg(text.reason, text.state == NoteText::State::Refused
                                              ? QString()
                                              : QStringLiteral("; what could be read is shown")),
                    1);
    }
    return 0;
}

// The rest of standard input (after the password line) as the note's document.
bool readContent(QTextDocument& document) {
    QByteArray input;
    char buffer[1 << 16];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        input.append(buffer, static_cast<qsizetype>(n));
        if (input.size() > kMaxNoteBytes) {
            fail(QStringLiteral("notes add: the input is larger than a note can be (%1 MiB)").arg(kMaxNoteBytes >> 20));
            return false;
        }
    }
    if (looksLikeRtf(input)) {
        const RtfRead read = readRtf(input, document);
        if (!read.problems.isEmpty()) {
            fail(QStringLiteral("notes add: the RTF input is damaged: %1").arg(read.problems.join(QStringLiteral("; "))));
            return false;
        }
        if (!read.dropped.isEmpty()) {
            fail(QStringLiteral("notes add: the RTF input holds %1, which a note cannot keep; nothing was added")
                     .arg(read.dropped.join(QStringLiteral(" and "))));
            return false;
        }
        return true;
    }
    // Stateless: a sequence cut off at the end is an error too, not a wait for more bytes.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(input);
    if (decoder.hasError()) {
        fail(QStringLiteral("notes add: the input is neither RTF nor UTF-8 text"));
        return false;
    }
    document.setPlainText(text);
    return true;
}

std::optional<qint64> notesGroupNamed(const RowList& rows, const QString& name) {
    QStringList names;
    for (qsizetype i = 1; i + 1 < rows.size(); ++i) {
        if (rows.at(i)->name == name && rows.at(i)->fileModels) {
            return i;
        }
        names.append(rows.at(i)->name);
    }
    fail(QStringLiteral("notes add: there is no notes group named \"%1\" (groups: %2)")
             .arg(name, names.join(QStringLiteral(", "))));
    return std::nullopt;
}

int runAdd(const QStringList& arguments) {
    QString title;
    QString group;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--group")) {
            if (i + 1 >= arguments.size()) {
                return fail(QStringLiteral("notes add: --group needs a name"));
            }
            group = arguments.at(++i);
        } else if (arguments.at(i).startsWith(QLatin1String("--")) || !title.isEmpty()) {
            return fail(QStringLiteral("notes add: unexpected %1 (notes add TITLE [--group NAME] < FILE)").arg(arguments.at(i)));
        } else {
            title = arguments.at(i);
        }
    }
    if (title.isEmpty()) {
        return fail(QStringLiteral("notes add needs a TITLE"));
    }
    if (!confirmPassword(QStringLiteral("notes add"))) {
        return 1;
    }
    QTextDocument document;
    if (!readContent(document)) {
        return 2;
    }
    auto vault = openVaultForChanges(QStringLiteral("notes add"), false);
    if (!vault) {
        return 1;
    }
    RowList& rows = vault->catalogue.groupNoteList;
    qint64 groupIndex = 1;
    if (!group.isEmpty()) {
        const auto found = notesGroupNamed(rows, group);
        if (!found) {
            return 2;
        }
        groupIndex = *found;
    }
    const NoteCreated created =
        createNote(rows, groupIndex, notesDirectory(), getMacAddress(), QDateTime::currentSecsSinceEpoch());
    if (!created.note) {
        return fail(QStringLiteral("notes add: %1").arg(created.error), 1);
    }
    // Whatever fails from here takes the new note back out again.
    auto takeBack = [&](const QString& why) {
        takeNote(rows, groupIndex, created.note->fileIndex);
        QString ignored;
        removeNotePackage(rows, *created.note, notesDirectory(), &ignored);
        return fail(QStringLiteral("notes add: %1; nothing was added").arg(why), 1);
    };
    const NoteRenamed renamed = renameNote(rows, *created.note, title, notesDirectory());
    if (!renamed.ok) {
        return takeBack(renamed.error);
    }
    const NoteSave saved = saveNote(*NotePackage::of(*created.note, notesDirectory()), writeRtf(document), false,
                                    QDateTime::currentSecsSinceEpoch());
    if (!saved.ok) {
        return takeBack(saved.error);
    }
    if (!vault->save(2)) {
        return takeBack(QStringLiteral("the notes catalogue could not be written"));
    }
    printLine(QStringLiteral("added\t%1\t%2").arg(field(title), field(lastPathComponent(created.note->path))));
    return 0;
}

int runRemove(const QStringList& arguments) {
    const auto parsed = parseArguments(QStringLiteral("notes remove"), arguments, {});
    if (!parsed || parsed->positional.size() != 1) {
        return fail(QStringLiteral("notes remove needs one TITLE"));
    }
    if (!confirmPassword(QStringLiteral("notes remove"))) {
        return 1;
    }
    auto vault = openVaultForChanges(QStringLiteral("notes remove"), false);
    if (!vault) {
        return 1;
    }
    RowList& rows = vault->catalogue.groupNoteList;
    const auto found = noteNamed(rows, parsed->positional.first(), QStringLiteral("remove"));
    if (!found) {
        return 1;
    }
    // The catalogue forgets the note before its package goes: a failure in between leaves
    // content without a record, never a record without content.
    const FileModelPtr note = takeNote(rows, found->group, found->index);
    if (!vault->save(2)) {
        return 1;
    }
    QString error;
    if (!removeNotePackage(rows, *note, notesDirectory(), &error)) {
        return fail(QStringLiteral("notes remove: the note is out of the list, but %1").arg(error), 1);
    }
    printLine(QStringLiteral("removed\t%1").arg(field(note->name)));
    return 0;
}

int runNotes(const QStringList& arguments) {
    const QString sub = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (sub == QLatin1String("list")) {
        return runList(rest);
    }
    if (sub == QLatin1String("show")) {
        return runShow(rest);
    }
    if (sub == QLatin1String("add")) {
        return runAdd(rest);
    }
    if (sub == QLatin1String("remove")) {
        return runRemove(rest);
    }
    return fail(QStringLiteral("notes needs list, show, add or remove (see --help)"));
}

const bool registered = registerCommand(
    {QStringLiteral("notes"), QStringLiteral("notes list | show TITLE [--rtf] | add TITLE [--group NAME] < FILE | remove TITLE"),
     QStringLiteral("the secure notes. list: group, title, last edit (UTC) and package, tab-separated, control "
                    "characters escaped as \\t, \\n, \\uXXXX. show: the note as plain text, or with --rtf its "
                    "RTF file as stored. add: a note from standard input after the password line, RTF when it "
                    "starts with {\\rtf, UTF-8 text otherwise. remove: the note and its package. A TITLE that "
                    "several notes share can be given as the package name. show, add and remove read the "
                    "password from stdin"),
     runNotes});

}  // namespace
}  // namespace tessaro::cli
