// Saving and loading a large local catalogue, against python's plistlib doing the same
// work on the same file (timed inside python, so its start-up does not count).
#include "bench/bench_registry.h"

#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace tessaro::bench {
namespace {

// Seconds python needs to load the file and to write it back (dump to a sibling file),
// or negative values when python3 is not there.
std::pair<double, double> pythonTimes(const QString& path) {
    static const char* script =
        "import plistlib, sys, time\n"
        "t0 = time.perf_counter()\n"
        "with open(sys.argv[1], 'rb') as f: v = plistlib.load(f)\n"
        "t1 = time.perf_counter()\n"
        "with open(sys.argv[1] + '.py', 'wb') as f: plistlib.dump(v, f, sort_keys=False)\n"
        "t2 = time.perf_counter()\n"
        "print(t1 - t0, t2 - t1)\n";
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!python.waitForFinished(-1) || python.exitCode() != 0) {
        return {-1, -1};
    }
    const QList<QByteArray> parts = python.readAllStandardOutput().trimmed().split(' ');
    return parts.size() == 2 ? std::pair{parts[0].toDouble(), parts[1].toDouble()} : std::pair{-1.0, -1.0};
}

void runCatalogue(const BenchOptions& options) {
    SettingsStore::useFile(options.workDirectory + QStringLiteral("/settings.conf"));
    const QString root = options.workDirectory + QStringLiteral("/Bench.flp");
    QDir().mkpath(root);
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), root);

    Catalogue catalogue;
    catalogue.setUp(std::nullopt, false);
    FileModelList& items = *catalogue.groupDirList[1]->fileModels;
    for (int i = 0; i < options.files; ++i) {
        auto item = std::make_shared<FileModel>();
        item->path = QStringLiteral("/home/someone/Documents/project %1/文件 %2.txt").arg(i / 100).arg(i);
        item->name = QStringLiteral("文件 %1.txt").arg(i);
        item->encryptedPath = QStringLiteral("1469598103934665603-1767323045/%1").arg(1000000000000ULL + i);
        item->macAddress = QStringLiteral("a4:83:e7:12:34:56");
        item->createDate = 1700000000 + i;
        item->addDate = 1767323045 + i;
        item->fileSize = 1024LL * i;
        item->isEncrtypt = (i % 2) == 0;
        items.append(item);
    }
    renumberRowList(catalogue.groupDirList);

    bool saved = false;
    const double save = timeSeconds([&] { saved = catalogue.SaveGroupList(0); });
    bool loaded = false;
    const double load = timeSeconds([&] { loaded = catalogue.setGroupDirListSource(); });
    const QString file = root + QStringLiteral("/GroupDirlist.plist");
    const auto [pythonLoad, pythonSave] = pythonTimes(file);
    if (!saved || !loaded || catalogue.groupDirList[1]->fileModels->size() != options.files) {
        std::printf("catalogue-save failed\n");
        return;
    }
    const qint64 bytes = QFileInfo(file).size();
    std::printf("catalogue-save ratio=%.2f items=%d bytes=%lld ours=%.3fs plistlib=%.3fs\n",
                pythonSave > 0 ? pythonSave / save : 0.0, options.files, static_cast<long long>(bytes), save,
                pythonSave);
    std::printf("catalogue-load ratio=%.2f items=%d ours=%.3fs plistlib=%.3fs\n",
                pythonLoad > 0 ? pythonLoad / load : 0.0, options.files, load, pythonLoad);
}

[[maybe_unused]] const bool registered =
    registerBenchCase({{QStringLiteral("catalogue-save"), QStringLiteral("catalogue-load")}, runCatalogue});

}  // namespace
}  // namespace tessaro::bench
