#include "app/preferences_window.h"

#include "app/app_delegate.h"
#include "app/main_view_controller.h"
#include "app/modal_window.h"
#include "app/preferences_panes.h"
#include "app/ui_resources.h"
#include "controls/modal_seam.h"
#include "vault/vault_move.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaro {

namespace {

struct ToolbarItem {
    const char* identifier;  // also the key of its label
    const char* picture;
};

constexpr ToolbarItem kToolbar[] = {
    {"General", "About/PrefGeneral@2x.png"},
    {"Password", "About/PrefsIconPassword@2x.png"},
    {"Shortcuts", "About/PrefsIconShortcuts@2x.png"},
    {"Advanced", "About/PrefsIconAdvanced@2x.png"},
};

void lockAfterMove(const QString&) {
    // The open vault's lists and lock still name the old place; a fresh login reads them
    // from the new one.
    AppDelegate* delegate = AppDelegate::sharedAppDelegate();
    if (delegate && delegate->mainView()) {
        delegate->lockTessaroAction();
    }
}

std::function<void(const QString&)>& vaultMovedHook() {
    static std::function<void(const QString&)> hook = &lockAfterMove;
    return hook;
}

QPointer<PreferencesWindowController>& openWindow() {
    static QPointer<PreferencesWindowController> window;
    return window;
}

}  // namespace

void PreferencesWindowController::setVaultMovedHook(std::function<void(const QString&)> hook) {
    vaultMovedHook() = hook ? std::move(hook) : std::function<void(const QString&)>(&lockAfterMove);
}

PreferencesWindowController* PreferencesWindowController::shown() { return openWindow(); }

PreferencesWindowController::PreferencesWindowController(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PreferencesWindowController"));
    setWindowTitle(ui::text("prefs.window.title"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kSize);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("preferencesToolbar"));
    bar->setFixedHeight(kToolbarHeight);
    bar->setAutoFillBackground(true);
    bar->setBackgroundRole(QPalette::Window);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(10, 2, 10, 2);
    row->setSpacing(2);
    toolbar_ = new QButtonGroup(this);
    toolbar_->setExclusive(true);
    int tag = 1;
    QToolButton* previous = nullptr;
    for (const ToolbarItem& item : kToolbar) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(item.identifier));
        button->setText(ui::text(item.identifier));
        button->setAccessibleName(button->text());
        button->setIcon(ui::picture(QString::fromLatin1(item.picture)));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setMinimumWidth(68);
        toolbar_->addButton(button, tag++);
        row->addWidget(button);
        if (previous) {
            setTabOrder(previous, button);
        }
        previous = button;
    }
    row->addStretch(1);
    connect(toolbar_, &QButtonGroup::idClicked, this, &PreferencesWindowController::toolBarAction);
    column->addWidget(bar);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);
    content_ = new QVBoxLayout;
    content_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(content_, 1);

    toolbar_->button(1)->setChecked(true);
    relabelOnLanguageChange(this, [this] { langeuageAction(); });
    setcontentIdenter(QString::fromLatin1(kToolbar[0].identifier));
}

PreferencePane* PreferencesWindowController::currentPane() const { return qobject_cast<PreferencePane*>(pane_.data()); }

QToolButton* PreferencesWindowController::toolbarButton(int index) const {
    return qobject_cast<QToolButton*>(toolbar_->button(index + 1));
}

void PreferencesWindowController::showModal(QWidget* over) {
    openWindow() = this;
    showCentredModal(this, over);
}

void PreferencesWindowController::langeuageAction() {
    setWindowTitle(ui::text("prefs.window.title"));
    for (const ToolbarItem& item : kToolbar) {
        QAbstractButton* button = findChild<QAbstractButton*>(QString::fromLatin1(item.identifier));
        button->setText(ui::text(item.identifier));
        button->setAccessibleName(button->text());
    }
    // The pane is made again in the new language: it re-reads what is stored, as on every
    // switch. A pane showing a running move stays (it keeps the move's progress and its
    // cancel button).
    if (!moving_) {
        showPane(identifier_);
    }
}

void PreferencesWindowController::toolBarAction(int tag) {
    const int index = tag - 1;
    const bool known = index >= 0 && index < static_cast<int>(std::size(kToolbar));
    setcontentIdenter(QString::fromLatin1(known ? kToolbar[index].identifier : kToolbar[3].identifier));
}

void PreferencesWindowController::setcontentIdenter(const QString& identifier) {
    QTimer::singleShot(0, this, [this, identifier] { showPane(identifier); });
}

void PreferencesWindowController::showPane(const QString& identifier) {
    // A move shows its progress in the Advanced pane and is stopped only by its own button.
    if (moving_) {
        if (QAbstractButton* advanced = toolbar_->button(4)) {
            advanced->setChecked(true);
        }
        return;
    }
    PreferencePane* pane = nullptr;
    if (identifier == QLatin1String("Advanced")) {
        auto* advanced = new AdvancedViewController(this);
        connect(advanced, &AdvancedViewController::movingChanged, this, [this](bool moving) { moving_ = moving; });
        connect(advanced, &AdvancedViewController::vaultMoved, this, [this](const QString& root) {
            close();
            if (const auto hook = vaultMovedHook()) {
                hook(root);
            }
        });
        pane = advanced;
    } else if (identifier == QLatin1String("Shortcuts")) {
        pane = new ShortcutsViewController(this);
    } else if (identifier == QLatin1String("Password")) {
        pane = new PasswordViewController(this);
    } else {
        pane = new GeneralViewController(this);
    }
    identifier_ = pane->objectName() == QLatin1String("AdvancedViewController")    ? QStringLiteral("Advanced")
                  : pane->objectName() == QLatin1String("ShortcutsViewController") ? QStringLiteral("Shortcuts")
                  : pane->objectName() == QLatin1String("PasswordViewController")  ? QStringLiteral("Password")
                                                                                    : QStringLiteral("General");
    if (pane_) {
        content_->removeWidget(pane_);
        pane_->deleteLater();
    }
    pane_ = pane;
    content_->addWidget(pane);
    for (int i = 0; i < static_cast<int>(std::size(kToolbar)); ++i) {
        // As in any exclusive group, one button of the toolbar is in the tab chain and the
        // arrow keys walk the others; it is the shown pane's, not the last one focused.
        toolbar_->button(i + 1)->setFocusPolicy(identifier_ == QLatin1String(kToolbar[i].identifier) ? Qt::StrongFocus
                                                                                                   : Qt::ClickFocus);
        if (identifier_ == QLatin1String(kToolbar[i].identifier)) {
            toolbar_->button(i + 1)->setChecked(true);
            // Tab runs from the toolbar into the pane's first control.
            for (QWidget* control : pane->findChildren<QWidget*>()) {
                if (control->focusPolicy() & Qt::TabFocus) {
                    setTabOrder(toolbarButton(3), control);
                    break;
                }
            }
        }
    }
}

void PreferencesWindowController::closeEvent(QCloseEvent* event) {
    auto* advanced = qobject_cast<AdvancedViewController*>(pane_.data());
    if (advanced && advanced->isMoving()) {
        event->ignore();
        advanced->cancelMove([self = QPointer<PreferencesWindowController>(this)] {
            if (self) {
                self->close();
            }
        });
        return;
    }
    // Not QDialog's own, which would turn the close into a reject and back.
    QWidget::closeEvent(event);
}

void PreferencesWindowController::reject() {
    // Escape: the same care for a running move as the close button.
    auto* advanced = qobject_cast<AdvancedViewController*>(pane_.data());
    if (advanced && advanced->isMoving()) {
        advanced->cancelMove([self = QPointer<PreferencesWindowController>(this)] {
            if (self) {
                self->QDialog::reject();
            }
        });
        return;
    }
    QDialog::reject();
}

void showPreferences(QWidget* parent) {
    if (PreferencesWindowController* open = PreferencesWindowController::shown()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new PreferencesWindowController(parent ? parent->window() : nullptr);
    window->showModal(parent);
}

void tellInterruptedMove(QWidget* window, const vault::MoveRecovery& recovery) {
    using Outcome = vault::MoveRecovery::Outcome;
    QString message;
    switch (recovery.outcome) {
    case Outcome::StayedAtOld: message = ui::text("vaultMove.recovered.stayed").arg(recovery.root); break;
    case Outcome::MovedToNew:
        message = ui::text("vaultMove.recovered.moved").arg(recovery.root);
        if (!recovery.leftBehind.isEmpty()) {
            message += QStringLiteral("\n\n") + ui::text("vaultMove.recovered.leftBehind").arg(recovery.leftBehind);
        }
        break;
    case Outcome::Unsettled: message = ui::text("vaultMove.recovered.unsettled").arg(recovery.root, recovery.other); break;
    case Outcome::None:
    case Outcome::Postponed:
    case Outcome::Dropped: return;
    }
    controls::ModalSeam::alert(window, {ui::text("vaultMove.recovered.title"), message, QString()});
}

}  // namespace tessaro
