#pragma once

#include "access/guide_flow.h"

#include <QList>
#include <QPropertyAnimation>
#include <QSize>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaro {

namespace controls {
class NSPageView;
class TSImageView;
class TSView;
}  // namespace controls

// The paged introduction of the first launch, which ends by creating the vault: password
// twice, an optional hint, the vault's location, then the main window. In tutorial mode
// (the welcome tutorial) it pages through the first four pages and closes.
class GuideViewController : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize kSize{800, 420};

    // `helpIntoWelcome`: tutorial mode.
    explicit GuideViewController(bool helpIntoWelcome, QWidget* parent = nullptr);

    const bool helpIntoWelcome;
    // Run instead of vault creation by the last page's button (tutorial mode).
    std::function<void()> BlackBlock;
    float animationFlagValue = 0;

    qint64 pageIndex() const { return flow_.pageIndex(); }
    int pageCount() const { return flow_.pageCount(); }
    // The forward button.
    void enterAction();
    // Sets the forward button's title and scrolls to the page, on the next turn.
    void setScrollContent();
    void langeuageAction();

    // Where the folder panel starts: the videos folder, or the home folder without one.
    static QString videosFolder();
    // Tests answer the panel from a folder of their own.
    static void setVideosFolderProvider(std::function<QString()> provider);

    controls::NSPageView* pageView() const { return pageView_; }
    QPushButton* enterBtn() const { return enterBtn_; }
    QLineEdit* passwordTextField() const { return passwordTextField_; }
    QLineEdit* sourePasswordTextField() const { return sourePasswordTextField_; }
    QLineEdit* passwordHitTextField() const { return passwordHitTextField_; }
    QCheckBox* remmenberBtn() const { return remmenberBtn_; }
    controls::TSView* passwordFrame() const { return passwordFrame_; }
    controls::TSView* confirmationFrame() const { return confirmationFrame_; }
    controls::TSImageView* lockView() const { return lockView_; }
    // The pages in their order (the page never shown is not among them).
    const QList<QWidget*>& pages() const { return pages_; }
    // The horizontal offset the strip is at, or moving to.
    int scrollTarget() const { return scrollTarget_; }
    bool isChoosingLocation() const { return choosing_; }

signals:
    void vaultCreated();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QWidget* makePage(const char* picture, const char* titleKey, const QList<const char*>& descKeys);
    QWidget* makePasswordPage();
    QLabel* makeLabel(const char* key, int pixels, const char* colour, QWidget* parent);
    QLabel* makeTitle(const char* key, QWidget* parent);
    QLabel* makeDescription(const char* key, QWidget* parent);
    QLineEdit* makeField(controls::TSView** frame, const char* placeholderKey, bool secure, QWidget* parent);
    void layoutStrip(bool animated);
    void turnLock();
    void chooseLocation();
    void createVault(const QString& chosenPath);

    access::GuideFlow flow_;
    QWidget* viewport_ = nullptr;
    QWidget* strip_ = nullptr;
    QList<QWidget*> pages_;
    QWidget* unusedPage_ = nullptr;
    controls::NSPageView* pageView_ = nullptr;
    QPushButton* enterBtn_ = nullptr;
    controls::TSImageView* lockView_ = nullptr;
    controls::TSView* passwordFrame_ = nullptr;
    controls::TSView* confirmationFrame_ = nullptr;
    controls::TSView* hintFrame_ = nullptr;
    QLineEdit* passwordTextField_ = nullptr;
    QLineEdit* sourePasswordTextField_ = nullptr;
    QLineEdit* passwordHitTextField_ = nullptr;
    QCheckBox* remmenberBtn_ = nullptr;
    QPropertyAnimation scroll_;
    int scrollTarget_ = 0;
    bool choosing_ = false;
};

}  // namespace tessaro
