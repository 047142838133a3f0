// Hiding and unhiding through the vault library's add path, against doing the same durable
// move with the standard tools: cp -r, then sync -f of the copy, then rm -r of the source.
// `ratio` is the tools' time over ours (above 1: we are faster). `ratio_cp` compares with a
// plain cp, which neither syncs nor removes anything, for scale.
#include "bench/bench_registry.h"

#include "core/catalogue.h"
#include "core/file_model.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/item_paths.h"
#include "vault/add_items.h"
#include "vault/item_operations.h"
#include "vault/vault_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    double ours = 1e9;
    double cp = 1e9;
    double sync = 1e9;
    double rm = 1e9;
    double peak = 0;
    void keepBest(const Measured& m) {
        ours = std::min(ours, m.ours);
        cp = std::min(cp, m.cp);
        sync = std::min(sync, m.sync);
        rm = std::min(rm, m.rm);
        peak = std::max(peak, m.peak);
    }
};

void print(const QString& name, const Measured& m) {
    std::printf("%s ratio=%.2f ratio_cp=%.2f peak_rss_mib=%.1f ours_s=%.3f cp_s=%.3f sync_s=%.3f rm_s=%.3f\n",
                qPrintable(name), (m.cp + m.sync + m.rm) / m.ours, m.cp / m.ours, m.peak, m.ours, m.cp, m.sync, m.rm);
    std::fflush(stdout);
}

// The durable move done by the tools on a duplicate of `from`: cp -r to `to`, sync -f of the
// copy, rm -r of the duplicate. The copy is removed afterwards, untimed.
void timeTools(const QString& from, const QString& to, Measured& m) {
    const QString duplicate = to + QStringLiteral(".source");
    runProgram(QStringLiteral("cp"), {QStringLiteral("-r"), from, duplicate});
    runProgram(QStringLiteral("sync"), {});
    m.cp = timeSeconds([&] { runProgram(QStringLiteral("cp"), {QStringLiteral("-r"), duplicate, to}); });
    m.sync = timeSeconds([&] { runProgram(QStringLiteral("sync"), {QStringLiteral("-f"), to}); });
    m.rm = timeSeconds([&] { runProgram(QStringLiteral("rm"), {QStringLiteral("-r"), duplicate}); });
    runProgram(QStringLiteral("rm"), {QStringLiteral("-r"), to});
    runProgram(QStringLiteral("sync"), {});
}

// One item through the add path and back: record, thumbnail, container, size pass, catalogue,
// journaled hide, then the journaled unhide of the toggle.
void runItem(const BenchOptions& options, const QString& itemName, const QString& hideCase, const QString& unhideCase,
             const std::function<bool(const QString&)>& make) {
    if (!options.wants(hideCase) && !options.wants(unhideCase)) {
        return;
    }
    const QString work = options.workDirectory;
    const QString root = work + QStringLiteral("/vault.flp");
    SettingsStore::useFile(work + QStringLiteral("/settings.conf"));
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("bench password"));
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), root);
    const QString plain = work + QStringLiteral("/plain/") + itemName;
    QDir().mkpath(work + QStringLiteral("/plain"));
    if (!make(plain)) {
        std::fprintf(stderr, "tessaro-bench: cannot generate %s\n", qPrintable(plain));
        return;
    }
    // Shared disks are noisy: each side is timed several times, alternating, and the fastest
    // run of each counts. Large items take long enough to need fewer runs.
    const int rounds = QFileInfo(plain).isDir() ? 5 : 3;
    Measured hide;
    Measured unhide;
    for (int round = 0; round < rounds; ++round) {
        QDir(root).removeRecursively();
        QDir().mkpath(root);
        Catalogue catalogue;
        catalogue.setUp(std::nullopt, false);

        Measured m;
        timeTools(plain, work + QStringLiteral("/copy"), m);
        resetPeakRss();
        FileModelPtr record;
        bool hidden = false;
        m.ours = timeSeconds([&] {
            const vault::AddTarget target = vault::addTargetFor(catalogue, QString::fromLatin1(kLocalListKey), 1);
            const vault::PreparedAdd prepared = vault::prepareAdd({plain}, {}, target, 0, {});
            vault::commitAdd(target, prepared.records);
            catalogue.SaveGroupList(0);
            record = prepared.records.value(0);
            const ItemResult result = record ? vault::hideRecordJournaled(record, {}, true) : ItemResult{};
            hidden = result.complete && result.sourceRemoved;
            // As the window does: the catalogue already lists an added item as hidden.
            if (vault::applyHideOutcome(*record, result, vault::diskStateOf(*record))) {
                catalogue.SaveGroupList(0);
            }
            vault::clearJournal(root);
        });
        m.peak = peakRssMiB();
        if (!hidden) {
            std::fprintf(stderr, "tessaro-bench: %s did not complete\n", qPrintable(hideCase));
            return;
        }
        hide.keepBest(m);

        Measured u;
        timeTools(walk::pathsForRecord(*record).storedTop, work + QStringLiteral("/copy"), u);
        resetPeakRss();
        bool shown = false;
        u.ours = timeSeconds([&] {
            const ItemResult result = vault::unhideRecordJournaled(record);
            shown = result.complete && result.sourceRemoved;
            vault::applyUnhideOutcome(*record, result, vault::diskStateOf(*record));
            catalogue.SaveGroupList(0);
            vault::clearJournal(root);
        });
        u.peak = peakRssMiB();
        if (!shown) {
            std::fprintf(stderr, "tessaro-bench: %s did not complete\n", qPrintable(unhideCase));
            return;
        }
        unhide.keepBest(u);
    }
    if (options.wants(hideCase)) {
        print(hideCase, hide);
    }
    if (options.wants(unhideCase)) {
        print(unhideCase, unhide);
    }
    QDir(work + QStringLiteral("/plain")).removeRecursively();
    QDir(root).removeRecursively();
}

bool smallFiles(const QString& folder, int count) {
    std::mt19937 rng(3);
    for (int i = 0; i < count; ++i) {
        const QString dir = folder + QStringLiteral("/d%1").arg(i / 250);
        if (i % 250 == 0 && !QDir().mkpath(dir)) {
            return false;
        }
        if (!writeRandomFile(dir + QStringLiteral("/file %1.dat").arg(i), 100 + rng() % 8000, static_cast<quint64>(i))) {
            return false;
        }
    }
    return true;
}

// The shape of a large photo or source tree: files of 1 KiB spread over 100 folders.
bool oneKiBFiles(const QString& folder, int count) {
    const int perFolder = std::max(1, count / 100);
    for (int i = 0; i < count; ++i) {
        const QString dir = folder + QStringLiteral("/d%1").arg(i / perFolder);
        if (i % perFolder == 0 && !QDir().mkpath(dir)) {
            return false;
        }
        if (!writeRandomFile(dir + QStringLiteral("/file %1.dat").arg(i), 1024, static_cast<quint64>(i))) {
            return false;
        }
    }
    return true;
}

void runAll(const BenchOptions& options) {
    const qint64 large = options.sizeMiB << 20;
    runItem(options, QStringLiteral("small files"), QStringLiteral("add_hide_1000_files"),
            QStringLiteral("unhide_1000_files"), [](const QString& p) { return smallFiles(p, 1000); });
    runItem(options, QStringLiteral("many files"), QStringLiteral("hide_many_files"), QStringLiteral("unhide_many_files"),
            [&](const QString& p) { return oneKiBFiles(p, options.files); });
    runItem(options, QStringLiteral("large.bin"), QStringLiteral("hide_large_binary"),
            QStringLiteral("unhide_large_binary"), [&](const QString& p) { return writeRandomFile(p, large, 1); });
    runItem(options, QStringLiteral("large.txt"), QStringLiteral("hide_large_text"),
            QStringLiteral("unhide_large_text"), [&](const QString& p) { return writeRandomFile(p, large, 2); });
}

const bool registered = registerBenchCase(
    {{QStringLiteral("add_hide_1000_files"), QStringLiteral("unhide_1000_files"), QStringLiteral("hide_many_files"),
      QStringLiteral("unhide_many_files"), QStringLiteral("hide_large_binary"), QStringLiteral("unhide_large_binary"),
      QStringLiteral("hide_large_text"), QStringLiteral("unhide_large_text")},
     runAll});

}  // namespace
}  // namespace tessaro::bench
