#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QButtonGroup;
class QToolButton;
class QVBoxLayout;

namespace tessaro {

class PreferencePane;

namespace vault {
struct MoveRecovery;
}

// The preferences: a toolbar of four panes ("General", "Password", "Shortcuts",
// "Advanced") over the pane shown, 480 x 270, application-modal, centred over the window it
// was opened from. Nothing is held here: every control writes its setting at once, and a
// new pane is made on every switch, so that it shows what is stored now.
class PreferencesWindowController : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize kSize{480, 270};
    static constexpr int kToolbarHeight = 58;

    explicit PreferencesWindowController(QWidget* parent = nullptr);

    // After a move of the vault: the open vault must be opened again from its new place.
    // By default the application locks it.
    static void setVaultMovedHook(std::function<void(const QString& root)> hook);
    // The window open now, if any.
    static PreferencesWindowController* shown();

    // Places the window over `over`'s window and shows it application-modal.
    void showModal(QWidget* over);
    // toolBarAction: a toolbar button was clicked (its tag is its position plus 1).
    void toolBarAction(int tag);
    // Shows the pane of `identifier` (anything unknown is General) on the next turn of the
    // event loop.
    void setcontentIdenter(const QString& identifier);
    // The title, the toolbar and the shown pane in the interface language.
    void langeuageAction();

    QString currentIdentifier() const { return identifier_; }
    PreferencePane* currentPane() const;
    QToolButton* toolbarButton(int index) const;

protected:
    // windowShouldClose: a running move is stopped first (its copy removed), then the
    // window closes.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void showPane(const QString& identifier);

    QButtonGroup* toolbar_ = nullptr;
    QVBoxLayout* content_ = nullptr;
    QPointer<QWidget> pane_;
    QString identifier_;
    bool moving_ = false;
};

// Opens the preferences over `parent`'s window, or brings the open one to the front.
void showPreferences(QWidget* parent);

// Tells the user what the start did with a move of the vault that was cut short (nothing
// when none was pending, or when the record was not one to act on).
void tellInterruptedMove(QWidget* window, const vault::MoveRecovery& recovery);

}  // namespace tessaro
