// How long the window's event loop waits while a large item is added and hidden through the
// main window: a heartbeat timer measures the longest gap between two of its beats. The
// baseline is the same heartbeat in the same process with nothing to do.
#include "bench/bench_registry.h"

#include "app/custom_window.h"
#include "app/main_view_controller.h"
#include "core/catalogue.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "vault/vault_controller.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <random>

namespace tessaro::bench {

namespace {

// Runs the event loop until `done`, beating every millisecond; the longest gap in ms.
double longestGap(const std::function<bool()>& done, int atLeastMs) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start(1);
    while (!done() || clock.elapsed() < atLeastMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return static_cast<double>(longest) / 1e6;
}

void runEventLoop(const BenchOptions& options) {
    if (!options.wants(QStringLiteral("event_loop_block"))) {
        return;
    }
    const QString work = options.workDirectory;
    const QString root = work + QStringLiteral("/vault.flp");
    QDir().mkpath(root);
    SettingsStore::useFile(work + QStringLiteral("/settings.conf"));
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("bench password"));
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), root);
    SettingsStore::setValue(QString::fromLatin1(keys::FirstRun), true);
    const QString item = work + QStringLiteral("/film.mkv");
    {
        QFile f(item);
        if (!f.open(QIODevice::WriteOnly)) {
            return;
        }
        std::mt19937_64 rng(7);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 left = options.sizeMiB; left > 0; --left) {
            auto* words = reinterpret_cast<quint64*>(block.data());
            for (qsizetype i = 0; i < block.size() / 8; ++i) {
                words[i] = rng();
            }
            f.write(block);
        }
    }
    // A list of a thousand rows around the one being hidden, as a long-used vault has:
    // progress must repaint the running row only, not the list.
    {
        Catalogue listed;
        listed.setUp(std::nullopt, false);
        RowList& rows = listed.groupDirList;
        for (int i = 0; i < 1000; ++i) {
            auto record = std::make_shared<FileModel>();
            record->name = QStringLiteral("kept %1.txt").arg(i);
            record->path = work + QStringLiteral("/kept/") + record->name;
            record->isEncrtypt = true;
            record->fileSize = 1000 + i;
            record->addDate = 1700000000 + i;
            record->groupName = QString::fromLatin1(kLocalListKey);
            record->groupIndex = 1;
            record->fileIndex = i;
            rows[1]->fileModels->append(record);
        }
        if (!listed.SaveGroupList(0)) {
            return;
        }
    }
    CustomWindow window;
    auto* main = new MainViewController(window, std::nullopt);
    window.setContentController(main);
    window.setContentSize(QSize(1000, 600));
    window.show();
    // Settle, then the idle heartbeat for as long as the hide will roughly take.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const double idle = longestGap([] { return true; }, 1000);

    resetPeakRss();
    QElapsedTimer took;
    took.start();
    main->AddFileActionForPaths({item});
    const double busy = longestGap([&] { return !main->vaultController()->busy(); }, 0);
    const double seconds = took.elapsed() / 1000.0;
    const bool hidden = !QFile::exists(item);
    std::printf("event_loop_block rows=%lld longest_ms=%.1f idle_longest_ms=%.1f ratio=%.2f hide_s=%.2f hidden=%s "
                "peak_rss_mib=%.1f\n",
                static_cast<long long>(main->selected_ItemList.size()), busy, idle, idle / std::max(busy, 0.001),
                seconds, hidden ? "yes" : "no", peakRssMiB());
    std::fflush(stdout);
}

const bool registered = registerBenchCase({{QStringLiteral("event_loop_block")}, runEventLoop});

}  // namespace
}  // namespace tessaro::bench
