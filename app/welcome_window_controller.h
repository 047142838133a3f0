#pragma once

#include <QDialog>

namespace tessaro {

class GuideViewController;

// The welcome tutorial: the first-run guide in tutorial mode (four pages, no password
// page, nothing stored) in a small application-modal window over a dark, translucent
// backdrop.
class WelcomeWindowController : public QDialog {
    Q_OBJECT
public:
    explicit WelcomeWindowController(QWidget* parent = nullptr);

    void showModal();
    // Closes the window and ends the modal run.
    void black();
    GuideViewController* guide() const { return guide_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GuideViewController* guide_ = nullptr;
};

}  // namespace tessaro
