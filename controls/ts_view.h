#pragma once

#include <QColor>
#include <QWidget>

namespace tessaro::controls {

// A framed background: fill, border and corner radius, drawn behind the widgets it holds
// (the password fields sit on one each).
class TSView : public QWidget {
    Q_OBJECT
public:
    explicit TSView(QWidget* parent = nullptr);

    void setFillColour(const QColor& colour);
    QColor fillColour() const { return fill_; }
    void setBorderColour(const QColor& colour);
    QColor borderColour() const { return border_; }
    void setBorderWidth(qreal width);
    qreal borderWidth() const { return borderWidth_; }
    void setCornerRadius(qreal radius);
    qreal cornerRadius() const { return cornerRadius_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_ = Qt::white;
    QColor border_ = QColor(186, 186, 189);
    qreal borderWidth_ = 0.5;
    qreal cornerRadius_ = 3;
};

// Gives `frame` a border of 2 points while `field` has the keyboard focus and 0.5 points
// otherwise.
void followFocus(TSView* frame, QWidget* field, const QColor& idle, const QColor& focused);

}  // namespace tessaro::controls
