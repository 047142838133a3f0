#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tessaro::bench {

struct BenchOptions {
    qint64 sizeMiB = 1024;
    int files = 10000;
    QString only;        // run only cases whose name starts with this
    QString workDirectory;  // a fresh temporary directory for generated data

    // `only`: one prefix, or several separated by commas ("hide_many,unhide_many").
    bool wants(const QString& caseName) const {
        if (only.isEmpty()) {
            return true;
        }
        for (const QString& prefix : only.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (caseName.startsWith(prefix)) {
                return true;
            }
        }
        return false;
    }
};

// A case prints its own result lines (`<case> ratio=<baseline time / our time> ...`).
// `names` lists the case names it can print, so that --only can select it.
struct BenchCase {
    QStringList names;
    std::function<void(const BenchOptions&)> run;
};

bool registerBenchCase(BenchCase benchCase);

// Peak resident memory since the last reset, in MiB (VmHWM, reset through clear_refs).
void resetPeakRss();
double peakRssMiB();

// Seconds of wall-clock time that `work` takes.
double timeSeconds(const std::function<void()>& work);

// Runs a program (no shell) and waits; true on exit status 0.
bool runProgram(const QString& program, const QStringList& arguments);

}  // namespace tessaro::bench
