// Saving and loading a large local catalogue, against python's plistlib doing the same
// work on the same file (timed inside python, so its start-up does not count); and reading
// the worst file we know of, a catalogue whose root element carries 100,000 attributes.
// Every time is the best of three runs, on both sides, so that a busy machine says less.
#include "bench/bench_registry.h"

#include "core/catalogue.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/hardware_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace tessaro::bench {
namespace {

constexpr int kRuns = 3;

double bestOf(const std::function<void()>& work) {
    double best = timeSeconds(work);
    for (int run = 1; run < kRuns; ++run) {
        best = std::min(best, timeSeconds(work));
    }
    return best;
}

// Seconds python needs to load the file and to write it back (dump to a sibling file),
// or negative values when python3 is not there.
std::pair<double, double> pythonTimes(const QString& path) {
    static const char* script =
        "import plistlib, sys, time\n"
        "load = save = float('inf')\n"
        "for run in range(int(sys.argv[2])):\n"
        "    t0 = time.perf_counter()\n"
        "    with open(sys.argv[1], 'rb') as f: v = plistlib.load(f)\n"
        "    t1 = time.perf_counter()\n"
        "    with open(sys.argv[1] + '.py', 'wb') as f: plistlib.dump(v, f, sort_keys=False)\n"
        "    t2 = time.perf_counter()\n"
        "    load, save = min(load, t1 - t0), min(save, t2 - t1)\n"
        "print(load, save)\n";
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(script), path, QString::number(kRuns)});
    if (!python.waitForFinished(-1) || python.exitCode() != 0) {
        return {-1, -1};
    }
    const QList<QByteArray> parts = python.readAllStandardOutput().trimmed().split(' ');
    return parts.size() == 2 ? std::pair{parts[0].toDouble(), parts[1].toDouble()} : std::pair{-1.0, -1.0};
}

double ratio(double baseline, double ours) { return baseline > 0 && ours > 0 ? baseline / ours : 0.0; }

void runSaveAndLoad(const BenchOptions& options) {
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

    bool saved = true;
    const double save = bestOf([&] { saved = catalogue.SaveGroupList(0) && saved; });
    bool loaded = true;
    const double load = bestOf([&] { loaded = catalogue.setGroupDirListSource() && loaded; });
    const QString file = root + QStringLiteral("/GroupDirlist.plist");
    const auto [pythonLoad, pythonSave] = pythonTimes(file);
    if (!saved || !loaded || catalogue.groupDirList[1]->fileModels->size() != options.files) {
        std::printf("catalogue-save failed\n");
        return;
    }
    const qint64 bytes = QFileInfo(file).size();
    std::printf("catalogue-save ratio=%.2f items=%d bytes=%lld ours=%.3fs plistlib=%.3fs (ours includes the fsync)\n",
                ratio(pythonSave, save), options.files, static_cast<long long>(bytes), save, pythonSave);
    std::printf("catalogue-load ratio=%.2f items=%d ours=%.3fs plistlib=%.3fs\n", ratio(pythonLoad, load),
                options.files, load, pythonLoad);
}

// The default local catalogue with 100,000 attributes on its <plist> element: about 1 MB.
void runWorstCase(const BenchOptions& options) {
    const QString file = options.workDirectory + QStringLiteral("/GroupDirlist.plist");
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"";
    for (int i = 0; i < 100000; ++i) {
        text += " a" + QByteArray::number(i) + "=\"x\"";
    }
    text +=
        "><array><dict><key>name</key><string>Local Vault</string><key>isHeader</key><true/></dict>"
        "<dict><key>name</key><string>All Items</string><key>FileModel</key><array/></dict>"
        "<dict><key>isAddItem</key><true/></dict></array></plist>\n";
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size()) {
        std::printf("catalogue-worst failed\n");
        return;
    }
    out.close();
    const catalogue::ListSource source{catalogue::ListKind::Local, QString::fromLatin1(kLocalListKey), getMacAddress(),
                                       QString(), QString()};
    bool read = true;
    const double ours = bestOf(
        [&] { read = catalogue::readRowListFile(file, source).status == catalogue::FileRead::Status::Read && read; });
    const double pythonLoad = pythonTimes(file).first;
    if (!read) {
        std::printf("catalogue-worst failed\n");
        return;
    }
    std::printf("catalogue-worst ratio=%.2f attributes=100000 bytes=%lld ours=%.3fs plistlib=%.3fs\n",
                ratio(pythonLoad, ours), static_cast<long long>(text.size()), ours, pythonLoad);
}

[[maybe_unused]] const bool registered =
    registerBenchCase({{QStringLiteral("catalogue-save"), QStringLiteral("catalogue-load")}, runSaveAndLoad});
[[maybe_unused]] const bool registeredWorst = registerBenchCase({{QStringLiteral("catalogue-worst")}, runWorstCase});

}  // namespace
}  // namespace tessaro::bench
