// libFuzzer target for the catalogue reader: whatever bytes a catalogue file holds, reading
// it gives rows or a reason, never a crash, and what it keeps can be written back.
#include "core/catalogue_format.h"

#include <cstdint>

using namespace tessaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const plist::ParseResult parsed =
        plist::parse(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const std::optional<plist::Value>& document = parsed.value ? parsed.value : parsed.partial;
    if (!document) {
        return 0;
    }
    const catalogue::RowsResult rows =
        catalogue::rowsFromPlist(*document, {catalogue::ListKind::Removable, QStringLiteral("Stick/Box.flp"),
                                             QStringLiteral("a4:83:e7:12:34:56"), QStringLiteral("Stick"), QString()});
    if (rows.rows) {
        // Texts that XML cannot carry are refused by the writer; anything else goes back.
        (void)catalogue::serializeRows(*rows.rows, catalogue::ListKind::Removable);
    }
    return 0;
}
