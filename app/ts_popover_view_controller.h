#pragma once

#include <QWidget>

class QLabel;

namespace tessaro {

// The content of the login screen's hint popover: a title and the saved hint, or, from the
// sixth wrong entry on, a fixed message in place of the hint.
class TSPopoverViewController : public QWidget {
    Q_OBJECT
public:
    explicit TSPopoverViewController(QWidget* parent = nullptr);

    qint64 errorCount = 0;
    // Fills both labels by the count; returns the popover size that fits them.
    QSize fill();

    QLabel* titleLabel() const { return titleLabel_; }
    QLabel* passwordhintLabel() const { return passwordhintLabel_; }

private:
    QLabel* titleLabel_ = nullptr;
    QLabel* passwordhintLabel_ = nullptr;
};

}  // namespace tessaro
