// tessaro-bench: measures our hot paths against a baseline run in the same process, and
// prints ratios, since absolute times on shared machines say little.
#include "bench/bench_registry.h"

#include "core/log.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace tessaro::bench {

namespace {
std::vector<BenchCase>& registry() {
    static std::vector<BenchCase> cases;
    return cases;
}
}  // namespace

bool registerBenchCase(BenchCase benchCase) {
    registry().push_back(std::move(benchCase));
    return true;
}

void resetPeakRss() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly)) {
        clearRefs.write("5");
    }
}

double peakRssMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

double timeSeconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

bool runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace tessaro::bench

int main(int argc, char** argv) {
    using namespace tessaro::bench;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    tessaro::setLogToStderr(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures Tessaro against plain baselines and prints ratios."));
    parser.addHelpOption();
    QCommandLineOption sizeOption(QStringLiteral("size-mib"), QStringLiteral("Size of the large files in MiB."),
                                  QStringLiteral("N"), QStringLiteral("1024"));
    QCommandLineOption filesOption(QStringLiteral("files"), QStringLiteral("Number of small files or items."),
                                   QStringLiteral("N"), QStringLiteral("10000"));
    QCommandLineOption onlyOption(QStringLiteral("only"), QStringLiteral("Run only cases whose name starts with PREFIX."),
                                  QStringLiteral("PREFIX"));
    QCommandLineOption workOption(QStringLiteral("work-in"),
                                  QStringLiteral("Generate data below DIR (a disk of your choice) instead of the "
                                                 "temporary directory."),
                                  QStringLiteral("DIR"));
    parser.addOptions({sizeOption, filesOption, onlyOption, workOption});
    parser.process(app);

    BenchOptions options;
    bool ok = true;
    options.sizeMiB = parser.value(sizeOption).toLongLong(&ok);
    if (!ok || options.sizeMiB <= 0) {
        std::fprintf(stderr, "tessaro-bench: --size-mib needs a positive number\n");
        return 2;
    }
    options.files = parser.value(filesOption).toInt(&ok);
    if (!ok || options.files <= 0) {
        std::fprintf(stderr, "tessaro-bench: --files needs a positive number\n");
        return 2;
    }
    options.only = parser.value(onlyOption);

    int ran = 0;
    for (const BenchCase& benchCase : registry()) {
        bool selected = false;
        for (const QString& name : benchCase.names) {
            selected = selected || options.wants(name);
        }
        if (!selected) {
            continue;
        }
        QTemporaryDir work(parser.isSet(workOption)
                               ? parser.value(workOption) + QStringLiteral("/tessaro-bench-XXXXXX")
                               : QDir::tempPath() + QStringLiteral("/tessaro-bench-XXXXXX"));
        if (!work.isValid()) {
            std::fprintf(stderr, "tessaro-bench: cannot create a temporary directory\n");
            return 1;
        }
        options.workDirectory = work.path();
        benchCase.run(options);
        std::fflush(stdout);
        ++ran;
    }
    if (ran == 0) {
        std::fprintf(stderr, "tessaro-bench: no case matches \"%s\"\n", qPrintable(options.only));
        return 2;
    }
    return 0;
}
