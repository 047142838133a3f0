#pragma once

#include <QWidget>

class QLabel;
class QToolButton;
class QVariantAnimation;

namespace tessaro {

struct FileModel;

namespace controls {
class TSView;
}

// The progress panel at the bottom of the sidebar (`progressView`): what the running walk
// is doing, a bar, and a cancel button. Hidden while no walk runs; it slides up into place
// when one starts and back down when it ends.
//
// The panel is the slot the sidebar's layout gives it: its height grows from 0 to kHeight
// with the content pinned to its top edge, so the content rises from below the sidebar's
// bottom and the list above makes room instead of being covered.
class ProgressPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 62;
    static constexpr int kSlideMs = 500;

    explicit ProgressPanel(QWidget* parent = nullptr);

    // Colours, radii and the initial text ("Completed"); run once by the constructor.
    void setProgressViewConfig();
    // Shows the panel: unhides it and slides it up into place.
    void addAnimation();
    // Slides the panel back down and hides it when the slide ends.
    void removeAnimation();
    // From addAnimation until removeAnimation. The slide down already counts as hidden:
    // the walk it showed is over.
    bool isProgressShown() const { return shown_; }

    void setText(const QString& text);
    QString text() const;
    // The bar fill keeps its origin and height; its width is (track width - 4) x fraction.
    void setFraction(double fraction);
    double fraction() const { return fraction_; }

    // One progress step of the walk over `item`, read from its counters: the bar follows
    // the fraction done, the text the time left once there is an estimate, and says that
    // the walk is finishing once every byte is through. A step whose fraction is not
    // between 0 and 1 changes nothing.
    void showProgressOf(const FileModel& item);
    // The texts before the first step and after the last; while a walk the user stopped
    // winds down, and after it.
    void showPreparing();
    void showCompleted();
    void showStopping();
    void showCancelled();

    QLabel* progressStateLabel() const { return progressStateLabel_; }
    controls::TSView* progressbarBack() const { return progressbarBack_; }
    controls::TSView* progressbarTint() const { return progressbarTint_; }
    QToolButton* encryptCancelBtn() const { return encryptCancelBtn_; }
    controls::TSView* background() const { return content_; }
    controls::TSView* separatorLine() const { return separator_; }

signals:
    // The panel's cancel button was clicked.
    void cancelClicked();
    // addAnimation or removeAnimation changed isProgressShown().
    void shownChanged(bool shown);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void slideTo(int height);
    void layoutContent();
    void layoutTint();

    controls::TSView* content_ = nullptr;
    controls::TSView* separator_ = nullptr;
    QLabel* progressStateLabel_ = nullptr;
    controls::TSView* progressbarBack_ = nullptr;
    controls::TSView* progressbarTint_ = nullptr;
    QToolButton* encryptCancelBtn_ = nullptr;
    QVariantAnimation* slide_ = nullptr;
    bool shown_ = false;
    double fraction_ = 0;
};

}  // namespace tessaro
