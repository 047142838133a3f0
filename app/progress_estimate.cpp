#include "app/progress_estimate.h"

#include "app/ui_resources.h"

#include <cmath>

namespace tessaro {

std::optional<ProgressEstimate> estimateProgress(qint64 bytes, qint64 fileSize, qint64 startEncryptDate,
                                                 qint64 encryptDuration) {
    if (fileSize <= 0) {
        return std::nullopt;
    }
    const double fraction = static_cast<double>(bytes) / static_cast<double>(fileSize);
    if (!(fraction >= 0.0 && fraction <= 1.0)) {
        return std::nullopt;
    }
    ProgressEstimate estimate;
    estimate.fraction = fraction;
    // Time so far scaled by what remains per byte done. Single precision, as the estimate
    // is only ever shown in whole seconds.
    if (bytes > 0) {
        const auto elapsedMs = static_cast<float>(encryptDuration - startEncryptDate);
        const float left = elapsedMs * static_cast<float>(fileSize - bytes) / static_cast<float>(bytes) / 1000.0f;
        if (left > 0.0f) {
            estimate.secondsLeft = static_cast<double>(left);
        }
    }
    return estimate;
}

QString remainingTimeText(double seconds) {
    const auto whole = static_cast<qint64>(std::floor(std::max(0.0, seconds)));
    if (whole < 60) {
        return ui::text("duration.seconds").arg(whole);
    }
    if (whole < 3600) {
        return ui::text("duration.minutes").arg(whole / 60).arg(whole % 60);
    }
    return ui::text("duration.hours").arg(whole / 3600).arg(whole % 3600 / 60);
}

QString progressStateText(const ProgressEstimate& estimate) {
    // Rounded down, so that 100 % means done; the small allowance keeps 42 % of a size
    // that does not divide evenly from reading 41 %.
    const QString percent = QStringLiteral("%1%").arg(static_cast<int>(std::floor(estimate.fraction * 100.0 + 1e-6)));
    const QString left = remainingTimeText(estimate.secondsLeft.value_or(0.0) + 1.0);
    return ui::text("ProgressState").arg(left, percent);
}

}  // namespace tessaro
