// Walks every window the application shows and fails on an interactive widget that a
// screen reader could not name or the keyboard could not reach.
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/progress_panel.h"
#include "app/welcome_window_controller.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
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
        if (!(widget->focusPolicy() & Qt::TabFocus) && !qobject_cast<QMenuBar*>(widget->parentWidget())) {
            faults << who + QStringLiteral(" cannot be reached with Tab");
        }
    }
    faults.sort();
    return faults;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    void guide() {
        TestEnvironment env(false);
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        const QStringList faults = faultsIn(delegate.mainWindow());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    void tutorial() {
        TestEnvironment env;
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        auto* welcome = new WelcomeWindowController(delegate.mainWindow());
        welcome->show();
        const QStringList faults = faultsIn(welcome);
        delete welcome;
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    void login() {
        TestEnvironment env;
        SettingsStore::setValue(QString::fromLatin1(keys::kPASSWORDHINTCONTENT), QStringLiteral("a hint"));
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        const QStringList faults = faultsIn(delegate.mainWindow());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    void mainWithItemsNotesAndProgress() {
        testing::LoggedInApp app;
        QVERIFY(app.shown());
        MainViewController* main = app.main;
        main->catalogue.groupDirList.at(1)->fileModels->append(testing::makeItem(QStringLiteral("a.txt"), true, 1));
        main->setRightScrollView();
        main->selectItemAtRow(0);
        main->progressView()->addAnimation();
        QStringList faults = faultsIn(app.delegate.mainWindow());
        main->addNoteFileAction();
        QTRY_VERIFY(main->isShowingNotes());
        faults << faultsIn(app.delegate.mainWindow());
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<AccessibilityTest>(argc, argv, true); }

#include "tst_accessibility.moc"
