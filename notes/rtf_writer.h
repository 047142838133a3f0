#pragma once

#include <QByteArray>
#include <QMetaObject>

#include <memory>

class QTextDocument;

namespace tessaro::notes {

struct RtfTables;

// The document as RTF 1.x, in the subset every word processor reads: paragraphs with their
// alignment, and runs with bold, italic, underline, font family and size, and text colour.
// Pure ASCII: every other character goes as \uN with an ANSI fallback.
QByteArray writeRtf(const QTextDocument& document);

// The same RTF for one document saved again and again (the note open in the editor): each
// paragraph's RTF is kept with the paragraph and written anew only after the paragraph
// changed, so that saving a long note after a keystroke costs little more than writing its
// bytes. Fonts and colours keep their table numbers while the writer lives.
class IncrementalRtfWriter {
public:
    explicit IncrementalRtfWriter(QTextDocument& document);
    ~IncrementalRtfWriter();
    IncrementalRtfWriter(const IncrementalRtfWriter&) = delete;
    IncrementalRtfWriter& operator=(const IncrementalRtfWriter&) = delete;

    QByteArray write();

private:
    void changed(int position, int charsAdded);

    QTextDocument& document_;
    std::unique_ptr<RtfTables> tables_;
    QMetaObject::Connection connection_;
    // Tells this writer's kept paragraphs from another's.
    quint64 generation_;
};

}  // namespace tessaro::notes
