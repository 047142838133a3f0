// libFuzzer target for the restore path: whatever bytes a stored file holds, checking and
// restoring it must neither crash nor leave anything at the destination unless it is sound.
#include "core/log.h"
#include "core/settings_store.h"
#include "crypto/hardware_address.h"
#include "crypto/stored_file.h"
#include "crypto/swapped_name.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace tessaro;

namespace {

struct World {
    QTemporaryDir dir;
    QString stored;
    QString restored;
    World() {
        setLogToStderr(false);
        SettingsStore::useFile(dir.path() + QStringLiteral("/settings.conf"));
        SettingsStore::setValue(QStringLiteral("kSOUREPASSWORD"), QStringLiteral("fuzz password"));
        setHardwareAddressSource([] { return std::optional<QString>(QStringLiteral("a4:83:e7:12:34:56")); });
        stored = dir.path() + QStringLiteral("/hpto.opjg");
        restored = dir.path() + QStringLiteral("/photo.jpg");
    }
};

World& world() {
    static World w;
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World& w = world();
    {
        QFile f(w.stored);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    for (const auto itemClass : {storedfile::ItemClass::Binary, storedfile::ItemClass::Text}) {
        const QString problem = storedfile::verifyStoredFile(w.stored, itemClass, 64);
        const auto result = storedfile::restoreFile(w.stored, w.restored, itemClass, 64, storedfile::Progress{});
        // A file restores exactly when it verifies.
        if (result.done() != problem.isEmpty()) {
            std::abort();
        }
        if (!result.done() && QFile::exists(w.restored)) {
            std::abort();
        }
        QFile::remove(w.restored);
    }
    // The name swap is its own inverse on any text.
    const QString name = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(std::min<size_t>(size, 64)))
                             .remove(QLatin1Char('/'));
    if (swappedName(swappedName(name)) != name && !name.isEmpty()) {
        std::abort();
    }
    return 0;
}
