// Hiding and unhiding against copying the same data with cp. `ratio` is cp's time over ours.
// A hide (and an unhide) also makes every file durable before it gets its name and then
// removes the source, which cp does not, so `ratio_durable` compares with that same job
// done by the standard tools: cp -r, sync -f of the copy, rm -r of the source.
#include "bench/bench_registry.h"

#include "core/atomic_file.h"
#include "core/file_model.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/item_hiding.h"
#include "crypto/swapped_name.h"
#include "crypto/tree_walk.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <random>

namespace tessaro::bench {

namespace {

bool writeRandomFile(const QString& path, qint64 size, quint64 seed) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return false;
    }
    std::mt19937_64 rng(seed);
    QByteArray block(1 << 20, Qt::Uninitialized);
    while (size > 0) {
        auto* words = reinterpret_cast<quint64*>(block.data());
        for (qsizetype i = 0; i < block.size() / 8; ++i) {
            words[i] = rng();
        }
        const qint64 n = std::min<qint64>(size, block.size());
        if (f.write(block.constData(), n) != n) {
            return false;
        }
        size -= n;
    }
    return true;
}

struct Measured {
    double ours = 0;
    double cp = 0;
    double sync = 0;
    double rm = 0;
    double peak = 0;
};

void print(const QString& name, const Measured& m) {
    std::printf("%s ratio=%.2f peak_rss_mib=%.1f ratio_durable=%.2f ratio_cp_sync=%.2f ours_s=%.3f cp_s=%.3f "
                "sync_s=%.3f rm_s=%.3f\n",
                qPrintable(name), m.cp / m.ours, m.peak, (m.cp + m.sync + m.rm) / m.ours, (m.cp + m.sync) / m.ours,
                m.ours, m.cp, m.sync, m.rm);
    std::fflush(stdout);
}

// Times the baseline on a duplicate of `from`: cp -r to `to`, sync -f of the copy, rm -r
// of the duplicate.
void timeCopy(const QString& from, const QString& to, Measured& m) {
    const QString duplicate = to + QStringLiteral(".source");
    runProgram(QStringLiteral("cp"), {QStringLiteral("-r"), from, duplicate});
    runProgram(QStringLiteral("sync"), {});
    m.cp = timeSeconds([&] { runProgram(QStringLiteral("cp"), {QStringLiteral("-r"), duplicate, to}); });
    m.sync = timeSeconds([&] { runProgram(QStringLiteral("sync"), {QStringLiteral("-f"), to}); });
    m.rm = timeSeconds([&] { runProgram(QStringLiteral("rm"), {QStringLiteral("-r"), duplicate}); });
    runProgram(QStringLiteral("rm"), {QStringLiteral("-r"), to});
    runProgram(QStringLiteral("sync"), {});
}

void runItem(const BenchOptions& options, const QString& itemName, const QString& hideCase,
             const QString& unhideCase, const std::function<bool(const QString&)>& make) {
    if (!options.wants(hideCase) && !options.wants(unhideCase)) {
        return;
    }
    const QString work = options.workDirectory;
    SettingsStore::useFile(work + QStringLiteral("/settings.conf"));
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("bench password"));
    const QString plain = work + QStringLiteral("/plain/") + itemName;
    QDir().mkpath(work + QStringLiteral("/plain"));
    if (!make(plain)) {
        std::fprintf(stderr, "tessaro-bench: cannot generate %s\n", qPrintable(plain));
        return;
    }
    const walk::ItemPaths paths{plain, work + QStringLiteral("/vault/c/") + swappedName(itemName),
                                walk::classForItemName(plain)};

    // Shared disks are noisy: each side is timed three times and the fastest run counts.
    constexpr int kRounds = 3;
    Measured hide{1e9, 1e9, 1e9, 1e9, 0};
    Measured unhide{1e9, 1e9, 1e9, 1e9, 0};
    auto keepBest = [](Measured& best, const Measured& m) {
        best.ours = std::min(best.ours, m.ours);
        best.cp = std::min(best.cp, m.cp);
        best.sync = std::min(best.sync, m.sync);
        best.rm = std::min(best.rm, m.rm);
        best.peak = std::max(best.peak, m.peak);
    };
    for (int round = 0; round < kRounds; ++round) {
        Measured m;
        timeCopy(plain, work + QStringLiteral("/copy"), m);
        auto model = std::make_shared<FileModel>();
        model->path = plain;
        resetPeakRss();
        ItemResult hidden;
        m.ours = timeSeconds([&] { hidden = hideItem(model, paths); });
        m.peak = peakRssMiB();
        if (!hidden.complete || !hidden.sourceRemoved) {
            std::fprintf(stderr, "tessaro-bench: %s did not complete\n", qPrintable(hideCase));
            return;
        }
        keepBest(hide, m);

        Measured u;
        timeCopy(paths.storedTop, work + QStringLiteral("/copy"), u);
        auto back = std::make_shared<FileModel>();
        back->path = plain;
        back->fileSize = model->fileSize.load();
        resetPeakRss();
        ItemResult shown;
        u.ours = timeSeconds([&] { shown = unhideItem(back, paths); });
        u.peak = peakRssMiB();
        if (!shown.complete || !shown.sourceRemoved) {
            std::fprintf(stderr, "tessaro-bench: %s did not complete\n", qPrintable(unhideCase));
            return;
        }
        keepBest(unhide, u);
    }
    if (options.wants(hideCase)) {
        print(hideCase, hide);
    }
    if (options.wants(unhideCase)) {
        print(unhideCase, unhide);
    }
    QDir(work + QStringLiteral("/plain")).removeRecursively();
    QDir(work + QStringLiteral("/vault")).removeRecursively();
}

void runAll(const BenchOptions& options) {
    const qint64 large = options.sizeMiB << 20;
    runItem(options, QStringLiteral("large.bin"), QStringLiteral("hide_large_binary"),
            QStringLiteral("unhide_large_binary"), [&](const QString& p) { return writeRandomFile(p, large, 1); });
    runItem(options, QStringLiteral("large.txt"), QStringLiteral("hide_large_text"),
            QStringLiteral("unhide_large_text"), [&](const QString& p) { return writeRandomFile(p, large, 2); });
    runItem(options, QStringLiteral("small files"), QStringLiteral("hide_small_files"),
            QStringLiteral("unhide_small_files"), [&](const QString& p) {
                std::mt19937 rng(3);
                for (int i = 0; i < options.files; ++i) {
                    const QString dir = p + QStringLiteral("/d%1").arg(i / 500);
                    if (i % 500 == 0 && !QDir().mkpath(dir)) {
                        return false;
                    }
                    if (!writeRandomFile(dir + QStringLiteral("/file %1.dat").arg(i), 100 + rng() % 8000, i)) {
                        return false;
                    }
                }
                return true;
            });
}

const bool registered = registerBenchCase(
    {{QStringLiteral("hide_large_binary"), QStringLiteral("unhide_large_binary"), QStringLiteral("hide_large_text"),
      QStringLiteral("unhide_large_text"), QStringLiteral("hide_small_files"), QStringLiteral("unhide_small_files")},
     runAll});

}  // namespace
}  // namespace tessaro::bench
