#pragma once

#include <QString>

#include <optional>

namespace tessaro {

// How far a walk is and how long it still needs, from the counters of the record it walks.
struct ProgressEstimate {
    // Bytes done over bytes in all, 0 to 1.
    double fraction = 0;
    // Seconds still to go; absent until the walk has stored something and taken time
    // doing so (there is nothing to extrapolate from before that).
    std::optional<double> secondsLeft;
};

// `bytes` done of `fileSize`, the walk started at `startEncryptDate` and last reported at
// `encryptDuration` (both milliseconds since 1970). Absent when the fraction is not between
// 0 and 1 (an empty item, or counters that overtook the size): such a step moves nothing.
std::optional<ProgressEstimate> estimateProgress(qint64 bytes, qint64 fileSize, qint64 startEncryptDate,
                                                 qint64 encryptDuration);

// "12 s", "3 min 5 s", "2 h 10 min" in the interface language, rounded down to the unit.
QString remainingTimeText(double seconds);

// The panel's line while a walk runs: the percentage done and the time left. The time is
// shown one second longer than estimated, so that it never reads zero while work remains.
QString progressStateText(const ProgressEstimate& estimate);

}  // namespace tessaro
