#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tessaro {

// The welcome tutorial: four pages about what the vault does, paged with Next and closed
// by the last page's button. Runs application-modal over a dark, translucent backdrop.
class WelcomeWindowController : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPageCount = 4;

    explicit WelcomeWindowController(QWidget* parent = nullptr);

    void showModal();
    int currentPage() const { return page_; }
    void nextPage();
    // Closes the window and ends the modal run.
    void black();
    QPushButton* nextButton() const { return next_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showPage(int page);

    int page_ = 0;
    QLabel* picture_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* body_ = nullptr;
    QLabel* dots_ = nullptr;
    QPushButton* next_ = nullptr;
};

}  // namespace tessaro
