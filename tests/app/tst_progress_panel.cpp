// The progress panel at the bottom of the sidebar and the estimate it shows: its look, its
// slide in and out, the bar's width and the time left computed from a walk's counters.
#include "app/progress_estimate.h"
#include "app/progress_panel.h"
#include "controls/ts_view.h"
#include "core/file_model.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"

#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>

using namespace tessaro;
using tessaro::testing::TestEnvironment;

namespace {

// A sidebar-sized column with the panel at its bottom, as the main window lays it out.
struct Column {
    QWidget widget;
    ProgressPanel* panel = nullptr;
    Column() {
        widget.setFixedSize(232, 400);
        auto* layout = new QVBoxLayout(&widget);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addStretch(1);
        panel = new ProgressPanel(&widget);
        layout->addWidget(panel);
        widget.show();
    }
    int expectedTintWidth(double fraction) const {
        return static_cast<int>((panel->progressbarBack()->width() - 4) * fraction);
    }
};

}  // namespace

class ProgressPanelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }

    void estimateFollowsTheWalkCounters() {
        TestEnvironment env;
        struct Case {
            const char* name;
            qint64 bytes, size, start, last;
            const char* expected;  // "fraction, seconds left" or "moves nothing"
        };
        const Case cases[] = {
            {"nothing stored yet", 0, 1000, 1000, 5000, "0, no estimate"},
            {"a quarter in ten seconds", 250, 1000, 1000, 11000, "0.25, 30.000 s"},
            {"half in two seconds", 500, 1000, 1000, 3000, "0.5, 2.000 s"},
            {"everything stored", 1000, 1000, 1000, 11000, "1, no estimate"},
            {"no time measured yet", 500, 1000, 5000, 5000, "0.5, no estimate"},
            {"clock set back", 500, 1000, 5000, 4000, "0.5, no estimate"},
            {"empty item", 0, 0, 1000, 2000, "moves nothing"},
            {"counter past the size", 1200, 1000, 1000, 2000, "moves nothing"},
            {"negative counter", -1, 1000, 1000, 2000, "moves nothing"},
        };
        for (const Case& c : cases) {
            const std::optional<ProgressEstimate> estimate = estimateProgress(c.bytes, c.size, c.start, c.last);
            QString got = QStringLiteral("moves nothing");
            if (estimate) {
                got = QString::number(estimate->fraction) + QStringLiteral(", ") +
                      (estimate->secondsLeft ? QStringLiteral("%1 s").arg(*estimate->secondsLeft, 0, 'f', 3)
                                             : QStringLiteral("no estimate"));
            }
            QVERIFY2(got == QLatin1String(c.expected), qPrintable(QStringLiteral("%1: %2").arg(c.name, got)));
        }
    }

    void timeLeftReadsInWholeUnits() {
        TestEnvironment env;
        QCOMPARE(remainingTimeText(5.9), QStringLiteral("5 s"));
        QCOMPARE(remainingTimeText(61.2), QStringLiteral("1 min 1 s"));
        QCOMPARE(remainingTimeText(3725), QStringLiteral("1 h 2 min"));
        // One second is added, so that the text never reads zero while work remains.
        QCOMPARE(progressStateText({0.42, 29.4}), QStringLiteral("42% done · about 30 s left"));
        SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), 1);
        LanguageBundle::setLanguage();
        QCOMPARE(remainingTimeText(61.2), QStringLiteral("1 分 1 秒"));
        QCOMPARE(progressStateText({0.42, 29.4}), QStringLiteral("已完成 42% · 约剩 30 秒"));
    }

    void panelSlidesInAndOutAndItsCancelButtonAnswers() {
        TestEnvironment env;
        Column column;
        ProgressPanel* panel = column.panel;
        QVERIFY(panel->isHidden() && !panel->isProgressShown());
        QSignalSpy shown(panel, &ProgressPanel::shownChanged);
        QSignalSpy cancelled(panel, &ProgressPanel::cancelClicked);
        panel->addAnimation();
        QVERIFY(panel->isVisible() && panel->isProgressShown());
        QVERIFY(panel->height() < ProgressPanel::kHeight);  // it slides, it does not jump
        QTRY_COMPARE(panel->height(), ProgressPanel::kHeight);
        // Pinned to the column's bottom edge once in place.
        QCOMPARE(panel->geometry().bottom(), column.widget.height() - 1);
        QCOMPARE(shown.size(), 1);
        QVERIFY(!panel->encryptCancelBtn()->icon().isNull());
        QTest::mouseClick(panel->encryptCancelBtn(), Qt::LeftButton);
        QCOMPARE(cancelled.size(), 1);
        // Its look where it shows, in the drawn pixels: the dark background beside the
        // label, the separator along the top edge.
        const QImage image = panel->grab().toImage();
        QCOMPARE(QColor(image.pixel(4, ProgressPanel::kHeight / 2)), QColor(44, 44, 47));
        QCOMPARE(QColor(image.pixel(4, 0)), QColor(69, 69, 71));

        panel->removeAnimation();
        QVERIFY(!panel->isProgressShown());
        QVERIFY(panel->isVisible());  // hidden only when the slide ends
        QTRY_VERIFY(panel->isHidden());
        QCOMPARE(shown.last().first().toBool(), false);

        // Shown again halfway down: it turns round and ends up in place.
        panel->addAnimation();
        QTRY_COMPARE(panel->height(), ProgressPanel::kHeight);
        panel->removeAnimation();
        panel->addAnimation();
        QTest::qWait(ProgressPanel::kSlideMs + 150);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->height(), ProgressPanel::kHeight);
    }

    // The fill is the walk's fraction of the track, kept within its ends; the text says how
    // far and how long, then that the bytes are being made safe; counters past the size move
    // nothing.
    void barAndTextFollowTheItemCounters() {
        TestEnvironment env;
        Column column;
        ProgressPanel* panel = column.panel;
        panel->addAnimation();
        QTRY_COMPARE(panel->height(), ProgressPanel::kHeight);
        QVERIFY(column.expectedTintWidth(1.0) > 100);  // a real bar, not a sliver
        const std::pair<double, double> fractions[] = {{0.5, 0.5}, {1.7, 1.0}, {-0.2, 0.0}};
        for (const auto& [given, shown] : fractions) {
            panel->setFraction(given);
            QCOMPARE(panel->progressbarTint()->width(), column.expectedTintWidth(shown));
            QCOMPARE(panel->progressbarTint()->x(), 2);
        }

        FileModel item;
        item.fileSize = 1000;
        item.startEncryptDate = 1'700'000'000'000;
        item.encryptDuration = 1'700'000'010'000;
        panel->showPreparing();
        const struct {
            qint64 bytes;
            QString text;
            double fraction;
        } steps[] = {
            {0, QStringLiteral("Preparing…"), 0.0},
            {250, QStringLiteral("25% done · about 31 s left"), 0.25},
            {1000, QStringLiteral("Finishing…"), 1.0},
            {2000, QStringLiteral("Finishing…"), 1.0},
        };
        for (const auto& step : steps) {
            item.currentEncryptSize = step.bytes;
            panel->showProgressOf(item);
            QCOMPARE(panel->text(), step.text);
            QCOMPARE(panel->progressbarTint()->width(), column.expectedTintWidth(step.fraction));
        }
        panel->showCompleted();
        QCOMPARE(panel->text(), QStringLiteral("Completed"));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<ProgressPanelTest>(argc, argv); }

#include "tst_progress_panel.moc"
