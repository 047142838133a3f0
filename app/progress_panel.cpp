#include "app/progress_panel.h"

#include "app/progress_estimate.h"
#include "app/ui_resources.h"
#include "controls/ts_view.h"
#include "core/file_model.h"

#include <QEasingCurve>
#include <QLabel>
#include <QToolButton>
#include <QVariantAnimation>

#include <algorithm>

namespace tessaro {

namespace {

constexpr int kMargin = 14;
constexpr int kCancelSize = 20;
constexpr int kTrackHeight = 12;
// The fill sits this far inside the track on every side.
constexpr int kTintInset = 2;

// Ease in, ease out: the cubic Bézier (0.42, 0) (0.58, 1) that desktop animations use.
QEasingCurve easeInEaseOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

}  // namespace

ProgressPanel::ProgressPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("progressView"));
    content_ = new controls::TSView(this);
    separator_ = new controls::TSView(content_);
    progressStateLabel_ = new QLabel(content_);
    progressStateLabel_->setObjectName(QStringLiteral("progressStateLabel"));
    progressbarBack_ = new controls::TSView(content_);
    progressbarBack_->setObjectName(QStringLiteral("progressbarBack"));
    progressbarTint_ = new controls::TSView(progressbarBack_);
    progressbarTint_->setObjectName(QStringLiteral("progressbarTint"));
    encryptCancelBtn_ = new QToolButton(content_);
    encryptCancelBtn_->setObjectName(QStringLiteral("encryptCancelBtn"));
    connect(encryptCancelBtn_, &QToolButton::clicked, this, &ProgressPanel::cancelClicked);

    slide_ = new QVariantAnimation(this);
    slide_->setDuration(kSlideMs);
    slide_->setEasingCurve(easeInEaseOut());
    connect(slide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { setFixedHeight(value.toInt()); });
    connect(slide_, &QVariantAnimation::finished, this, [this] {
        if (!shown_) {
            hide();
        }
    });

    setProgressViewConfig();
    setFixedHeight(0);
    hide();
}

void ProgressPanel::setProgressViewConfig() {
    content_->setFillColour(QColor(44, 44, 47));
    content_->setBorderWidth(0);
    content_->setCornerRadius(0);
    separator_->setFillColour(QColor(69, 69, 71));
    separator_->setBorderWidth(0);
    separator_->setCornerRadius(0);

    QPalette pal = progressStateLabel_->palette();
    pal.setColor(QPalette::WindowText, QColor(186, 186, 189));
    progressStateLabel_->setPalette(pal);
    QFont small = progressStateLabel_->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    progressStateLabel_->setFont(small);
    progressStateLabel_->setText(ui::text("Completed"));

    // The track is only a frame: the panel shows through it.
    progressbarBack_->setFillColour(Qt::transparent);
    progressbarBack_->setCornerRadius(6);
    progressbarBack_->setBorderWidth(1);
    progressbarBack_->setBorderColour(QColor(100, 100, 104));
    progressbarTint_->setFillColour(QColor(100, 100, 104));
    progressbarTint_->setCornerRadius(4);
    progressbarTint_->setBorderWidth(1);
    progressbarTint_->setBorderColour(QColor(100, 100, 104));

    encryptCancelBtn_->setIcon(ui::picture(QStringLiteral("About/ActivityCancel.png")));
    encryptCancelBtn_->setIconSize(QSize(16, 16));
    encryptCancelBtn_->setAutoRaise(true);
    encryptCancelBtn_->setCursor(Qt::PointingHandCursor);
    encryptCancelBtn_->setStyleSheet(QStringLiteral("QToolButton { background: transparent; border: none; }"));
    encryptCancelBtn_->setToolTip(ui::text("encryptCancelBtn.toolTip"));
    encryptCancelBtn_->setAccessibleName(encryptCancelBtn_->toolTip());
    layoutContent();
}

void ProgressPanel::addAnimation() {
    const bool changed = !shown_;
    shown_ = true;
    show();
    slideTo(kHeight);
    if (changed) {
        emit shownChanged(true);
    }
}

void ProgressPanel::removeAnimation() {
    const bool changed = shown_;
    shown_ = false;
    if (!isHidden()) {
        slideTo(0);
    }
    if (changed) {
        emit shownChanged(false);
    }
}

void ProgressPanel::slideTo(int target) {
    // A slide that reverses another starts where that one got to.
    slide_->stop();
    slide_->setStartValue(height());
    slide_->setEndValue(target);
    slide_->start();
}

void ProgressPanel::setText(const QString& text) { progressStateLabel_->setText(text); }

QString ProgressPanel::text() const { return progressStateLabel_->text(); }

void ProgressPanel::setFraction(double fraction) {
    fraction_ = std::clamp(fraction, 0.0, 1.0);
    layoutTint();
}

void ProgressPanel::showProgressOf(const FileModel& item) {
    const std::optional<ProgressEstimate> estimate = estimateProgress(
        item.currentEncryptSize.load(), item.fileSize.load(), item.startEncryptDate, item.encryptDuration.load());
    if (!estimate) {
        return;
    }
    if (estimate->secondsLeft) {
        setText(progressStateText(*estimate));
    } else if (estimate->fraction >= 1.0) {
        // Every byte is through, but the walk ends only once they are safely on the disk,
        // which for a large item takes a while: the text says so rather than standing still.
        setText(ui::text("process.finishing"));
    }
    setFraction(estimate->fraction);
}

void ProgressPanel::showPreparing() { setText(ui::text("process.text")); }

void ProgressPanel::showCompleted() { setText(ui::text("Completed")); }

void ProgressPanel::showStopping() { setText(ui::text("process.stopping")); }

void ProgressPanel::showCancelled() { setText(ui::text("process.cancelled")); }

void ProgressPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContent();
}

void ProgressPanel::layoutContent() {
    const int w = width();
    content_->setGeometry(0, 0, w, kHeight);
    separator_->setGeometry(0, 0, w, 1);
    progressStateLabel_->setGeometry(kMargin, 10, std::max(0, w - 2 * kMargin), 18);
    encryptCancelBtn_->setGeometry(w - kMargin - kCancelSize, 33, kCancelSize, kCancelSize);
    const int trackRight = encryptCancelBtn_->x() - 8;
    progressbarBack_->setGeometry(kMargin, 37, std::max(0, trackRight - kMargin), kTrackHeight);
    layoutTint();
}

void ProgressPanel::layoutTint() {
    const int span = std::max(0, progressbarBack_->width() - 2 * kTintInset);
    progressbarTint_->setGeometry(kTintInset, kTintInset, static_cast<int>(span * fraction_),
                                  std::max(0, progressbarBack_->height() - 2 * kTintInset));
    progressbarTint_->setVisible(fraction_ > 0);
}

}  // namespace tessaro
