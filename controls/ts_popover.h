#pragma once

#include <QPointer>
#include <QWidget>

namespace tessaro::controls {

// A light bubble with an arrow, shown inside its window just below an anchor widget, over
// whatever is there. It closes on a mouse release anywhere outside it, or when asked.
// Drawn as a child of the window's content, so that typing goes on in the anchor's field
// while it is shown.
class TSPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kArrowHeight = 8;

    // `host` is the widget it is drawn over (the screen's content).
    explicit TSPopover(QWidget* host);

    // The content is laid out inside the bubble.
    void setContentViewController(QWidget* content);
    QWidget* contentViewController() const { return content_; }

    // Shows (or moves and resizes) the bubble: `size` wide and high, arrow included, its
    // arrow at the middle of `anchor`'s lower edge.
    void showRelativeTo(QWidget* anchor, const QSize& size);
    bool isShown() const { return isVisible(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> content_;
    int arrowX_ = 0;
};

}  // namespace tessaro::controls
