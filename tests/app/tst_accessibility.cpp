// Walks every window the application shows and fails on an interactive widget that a
// screen reader could not name or the keyboard could not reach.
#include "app/app_delegate.h"
#include "app/change_password_window.h"
#include "app/main_view_controller.h"
#include "app/preferences_window.h"
#include "app/progress_panel.h"
#include "app/welcome_window_controller.h"
#include "controls/modal_seam.h"
#include "controls/text_prompt.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>

using namespace tessaro;
using tessaro::testing::TestEnvironment;

namespace {

// Parts of Qt's own composite widgets are named through the widget they belong to.
bool insideComposite(const QWidget* widget) {
    for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
        if (qobject_cast<const QAbstractSpinBox*>(up) || qobject_cast<const QComboBox*>(up)) {
            return true;
        }
    }
    return false;
}

bool interactive(const QWidget* widget) {
    if (qobject_cast<const QScrollBar*>(widget) || qobject_cast<const QMenuBar*>(widget) || insideComposite(widget)) {
        return false;
    }
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) || (widget->focusPolicy() & Qt::TabFocus);
}

// Tab reaches it; or it is one of an exclusive group of buttons (a toolbar of panes), which
// Qt puts in the tab chain through its checked button and walks with the arrow keys.
bool reachable(const QWidget* widget) {
    if (widget->focusPolicy() & Qt::TabFocus) {
        return true;
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    const QButtonGroup* group = button ? button->group() : nullptr;
    return group && group->exclusive() && group->checkedButton() && (group->checkedButton()->focusPolicy() & Qt::TabFocus);
}

// "ClassName objectName" of each shown interactive widget without a name or out of the
// keyboard's reach.
QStringList faultsIn(QWidget* window) {
    QStringList faults;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window) || !interactive(widget)) {
            continue;
        }
        const QString who = QStringLiteral("%1 \"%2\"").arg(QLatin1String(widget->metaObject()->className()), widget->objectName());
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty()) {
            faults << who + QStringLiteral(" has no accessible name");
        }
        // The menu bar is reached as a whole, with Alt.
        if (!reachable(widget) && !qobject_cast<QMenuBar*>(widget->parentWidget())) {
            faults << who + QStringLiteral(" cannot be reached with Tab");
        }
    }
    faults.sort();
    return faults;
}

// Walks the dialog of `objectName` that `open` shows, and closes it again.
QStringList faultsInDialog(const char* objectName, const std::function<void()>& open) {
    open();
    QWidget* dialog = nullptr;
    testing::waitUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String(objectName) && top->isVisible()) {
                dialog = top;
            }
        }
        return dialog != nullptr;
    });
    if (!dialog) {
        return {QStringLiteral("%1 was not shown").arg(QLatin1String(objectName))};
    }
    const QStringList faults = faultsIn(dialog);
    dialog->close();
    return faults;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        controls::ModalSeam::reset();
        controls::TextPrompt::reset();
    }

    void launchWindows_data() {
        QTest::addColumn<bool>("vault");
        QTest::addColumn<bool>("tutorial");
        QTest::newRow("guide") << false << false;
        QTest::newRow("tutorial") << true << true;
        QTest::newRow("login") << true << false;
    }
    void launchWindows() {
        QFETCH(bool, vault);
        QFETCH(bool, tutorial);
        TestEnvironment env(vault);
        SettingsStore::setValue(QString::fromLatin1(keys::kPASSWORDHINTCONTENT), QStringLiteral("a hint"));
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QWidget* walked = delegate.mainWindow();
        std::unique_ptr<WelcomeWindowController> welcome;
        if (tutorial) {
            welcome = std::make_unique<WelcomeWindowController>(delegate.mainWindow());
            welcome->show();
            walked = welcome.get();
        }
        const QStringList faults = faultsIn(walked);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // The main window with an item, progress and notes, then the windows and dialogs opened
    // from it, each as the user reaches it.
    void mainAndEveryWindowOpenedFromIt() {
        testing::LoggedInApp app;
        QVERIFY(app.shown());
        MainViewController* main = app.main;
        const FileModelPtr hidden = testing::makeItem(QStringLiteral("a.txt"), true, 1);
        main->catalogue.groupDirList.at(1)->fileModels->append(hidden);
        main->setRightScrollView();
        main->selectItemAtRow(0);
        main->progressView()->addAnimation();
        QStringList faults = faultsIn(app.delegate.mainWindow());
        main->addNoteFileAction();
        QTRY_VERIFY(main->isShowingNotes());
        faults << faultsIn(app.delegate.mainWindow());
        main->progressView()->removeAnimation();  // the removal below is refused while it shows

        showPreferences(app.delegate.mainWindow());
        PreferencesWindowController* preferences = PreferencesWindowController::shown();
        QVERIFY(preferences);
        for (const char* pane : {"General", "Password", "Shortcuts", "Advanced"}) {
            preferences->setcontentIdenter(QString::fromLatin1(pane));
            QTRY_COMPARE(preferences->currentIdentifier(), QString::fromLatin1(pane));
            QApplication::processEvents();
            for (const QString& fault : faultsIn(preferences)) {
                faults << QStringLiteral("%1 pane: %2").arg(QLatin1String(pane), fault);
            }
        }
        preferences->close();

        for (bool drive : {false, true}) {
            faults << faultsInDialog("ChangePasswordWController", [&] {
                auto* window = new ChangePasswordWController(app.delegate.mainWindow());
                if (drive) {
                    window->setDriveVault(main->catalogue, main, QStringLiteral("/media/stick/Travel.flp"));
                }
                window->showModal();
            });
        }
        faults << faultsInDialog("FileInfoWindowController", [&] { main->showFileInfo(hidden); });
        faults << faultsInDialog("question", [&] { main->removeFromListAction(hidden); });
        // The drive prompts: a vault's password, and a new vault's name.
        for (bool secret : {true, false}) {
            controls::TextPrompt::Request request;
            request.message = QStringLiteral("Name the vault");
            request.defaultTitle = QStringLiteral("OK");
            request.alternateTitle = QStringLiteral("Cancel");
            request.placeholder = secret ? QStringLiteral("Password") : QString();
            request.secret = secret;
            faults << faultsInDialog("textPrompt", [&] { controls::TextPrompt::ask(main, request, [](auto) {}); });
        }
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<AccessibilityTest>(argc, argv, true); }

#include "tst_accessibility.moc"
