// libFuzzer target for the RTF reader: whatever bytes a note file holds, reading it gives a
// document and a report, never a crash or a hang, and what we write of that document reads
// back in full.
#include "notes/rtf_reader.h"
#include "notes/rtf_writer.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QTextDocument document;
    tessaro::notes::readRtf(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), document);
    QTextDocument again;
    const tessaro::notes::RtfRead reread = tessaro::notes::readRtf(tessaro::notes::writeRtf(document), again);
    if (!reread.intact() || again.toRawText() != document.toRawText()) {
        std::abort();
    }
    return 0;
}
