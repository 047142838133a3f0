#pragma once

#include <QWidget>

#include <functional>

namespace tessaro::controls {

// The guide's dot pager: up to six dots in a row, the current page's dot white, the others
// dark grey. A press and a release in the same dot select its page; after every release
// the pager shows its current page and reports it, even when nothing new was selected.
class NSPageView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDotCount = 6;
    static constexpr int kDotSize = 8;
    static constexpr int kDotSpacing = 10;

    explicit NSPageView(QWidget* parent = nullptr);

    // Dots beyond `count` are hidden (at most six).
    void setCount(int count);
    int count() const { return count_; }
    void setPageIndex(qint64 index);
    qint64 pageIndex() const { return pageIndex_; }
    // Called with the page after every release.
    std::function<void(qint64)> PageActionBlock;

    // Where dot `dot` (from 0) is drawn.
    QRect dotRect(int dot) const;
    QColor dotColour(int dot) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int dotAt(const QPoint& point) const;

    int count_ = kDotCount;
    qint64 pageIndex_ = 0;
    int pressedDot_ = -1;
};

}  // namespace tessaro::controls
