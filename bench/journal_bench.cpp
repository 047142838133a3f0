// Reading the largest journal the repair accepts (1 MB): one made of lines about thousands
// of different items against one of as many lines about a single item. A read that looked
// up each line's item among those seen so far would take thousands of times longer for the
// first; one keyed by item takes about as long for both (ratio near 1).
#include "bench/bench_registry.h"

#include "vault/vault_journal.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace tessaro::bench {
namespace {

QByteArray journalOf(bool distinctItems) {
    QByteArray bytes;
    for (int i = 0; bytes.size() < vault::kLongestJournal - 400; ++i) {
        const int item = distinctItems ? i : 0;
        bytes += QStringLiteral(R"({"version":1,"operation":"hide","phase":"walking","plainPath":"/home/u/item %1",)"
                                R"("storedTop":"/home/u/Vault.flp/g/%1/meti","workDirectory":".tessaro-work-abcdefABCDEF",)"
                                R"("token":"abcdefABCDEF"})"
                                "\n")
                     .arg(item)
                     .toUtf8();
    }
    return bytes;
}

double bestReadOf(const QString& directory, const QByteArray& bytes, qsizetype& items) {
    QFile file(vault::journalPath(directory));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        return -1;
    }
    file.close();
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        best = std::min(best, timeSeconds([&] { items = vault::readJournal(directory).entries.size(); }));
    }
    return best;
}

void runJournalRead(const BenchOptions& options) {
    qsizetype distinct = 0;
    qsizetype single = 0;
    const double many = bestReadOf(options.workDirectory, journalOf(true), distinct);
    const double one = bestReadOf(options.workDirectory, journalOf(false), single);
    std::printf("journal-read ratio=%.2f items=%lld distinct=%.4fs single=%.4fs\n", many > 0 ? one / many : 0.0,
                static_cast<long long>(distinct), many, one);
}

[[maybe_unused]] const bool registered = registerBenchCase({{QStringLiteral("journal-read")}, runJournalRead});

}  // namespace
}  // namespace tessaro::bench
