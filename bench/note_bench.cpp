// A secure note of a megabyte, formatted: saving it as the editor does after a keystroke (RTF
// writer and the note's atomic save) against writing the same RTF bytes with a plain atomic
// file write, and opening it (read and RTF reader) against reading the bytes. The first save
// of a freshly opened note, which writes every paragraph's RTF, is printed too. Every time is
// the best of several runs.
#include "bench/bench_registry.h"

#include "core/atomic_file.h"
#include "notes/note_package.h"
#include "notes/open_note.h"
#include "notes/rtf_writer.h"

#include <QDir>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>

namespace tessaro::bench {
namespace {

constexpr int kRuns = 5;

double bestOf(const std::function<void()>& work) {
    double best = timeSeconds(work);
    for (int run = 1; run < kRuns; ++run) {
        best = std::min(best, timeSeconds(work));
    }
    return best;
}

// About 1 MiB of text in short paragraphs, a third of it in bold, coloured or Chinese runs.
void fillNote(QTextDocument& document) {
    QTextCursor cursor(&document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat coloured;
    coloured.setForeground(QColor(200, 30, 30));
    coloured.setFontFamilies({QStringLiteral("Noto Serif")});
    coloured.setFontPointSize(14);
    for (int i = 0; cursor.position() < (1 << 20); ++i) {
        cursor.insertText(QStringLiteral("Paragraph %1 of a long note that someone keeps in the vault. ").arg(i));
        cursor.insertText(QStringLiteral("bold words "), bold);
        cursor.insertText(QStringLiteral("保险箱里的笔记 "), coloured);
        cursor.insertText(QStringLiteral("and the rest of the line."), QTextCharFormat());
        cursor.insertBlock();
    }
}

void runNotes(const BenchOptions& options) {
    const QString notes = options.workDirectory + QStringLiteral("/Notes");
    QDir().mkpath(notes);
    const auto package = notes::NotePackage::named(notes, QStringLiteral("Long note"));
    QTextDocument document;
    fillNote(document);
    const QByteArray rtf = notes::writeRtf(document);
    const QString plainFile = options.workDirectory + QStringLiteral("/plain.rtf");

    bool ok = true;
    ok = writeFileAtomically(plainFile, rtf);
    const double firstSave = bestOf([&] { ok = notes::saveNote(*package, notes::writeRtf(document), false, 0).ok && ok; });
    // The editor's way: one character typed into the middle of the note, then the save.
    auto record = std::make_shared<FileModel>();
    record->path = package->path();
    QTextDocument editor;
    notes::OpenNote editing(notes);
    ok = editing.open(record, &editor).state == notes::NoteText::State::Read && ok;
    editing.changed();
    ok = editing.flush() && ok;
    // Taken in turns with the baseline, so that both see the same load of a shared machine.
    double save = 1e9;
    double baselineSave = 1e9;
    for (int run = 0; run < 3 * kRuns; ++run) {
        baselineSave = std::min(baselineSave, timeSeconds([&] { ok = writeFileAtomically(plainFile, rtf) && ok; }));
        save = std::min(save, timeSeconds([&] {
            QTextCursor cursor(&editor);
            cursor.setPosition(editor.characterCount() / 2);
            cursor.insertText(QStringLiteral("x"));
            editing.changed();
            ok = editing.flush() && ok;
        }));
    }
    QByteArray read;
    const double baselineOpen = bestOf([&] {
        QFile file(plainFile);
        ok = file.open(QIODevice::ReadOnly) && ok;
        read = file.readAll();
    });
    QTextDocument opened;
    const double open = bestOf([&] { ok = notes::openNote(*package, opened).state == notes::NoteText::State::Read && ok; });
    if (!ok || read != rtf || opened.characterCount() != editor.characterCount()) {
        std::printf("note_save_1mb failed\n");
        return;
    }
    std::printf("note_save_1mb ratio=%.2f rtf_bytes=%lld ours=%.4fs atomic_write=%.4fs first_save=%.4fs "
                "(ours: a keystroke, the RTF and the save; first_save: every paragraph written anew)\n",
                baselineSave / save, static_cast<long long>(rtf.size()), save, baselineSave, firstSave);
    std::printf("note_open_1mb ratio=%.3f ours=%.4fs read_bytes=%.4fs (ours includes reading the RTF into a document)\n",
                baselineOpen / open, open, baselineOpen);
}

const bool registered = registerBenchCase({{QStringLiteral("note_save_1mb"), QStringLiteral("note_open_1mb")}, runNotes});

}  // namespace
}  // namespace tessaro::bench
