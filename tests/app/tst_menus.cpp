// The menu bar and every window through the real application offscreen: which menus each
// window state shows, every shortcut reaching its command, the language switch relabelling
// the menus and the open window at once, there and back, and no interactive widget that a
// screen reader could not name or the keyboard could not reach. Every localization key the
// code asks for (found by reading the sources) has an English and a Chinese text, and the two
// agree on their placeholders.
#include "app/app_delegate.h"
#include "app/change_password_window.h"
#include "app/custom_window.h"
#include "app/file_info_window.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/preferences_window.h"
#include "app/progress_panel.h"
#include "app/welcome_window_controller.h"
#include "app/ts_text_view.h"
#include "controls/modal_seam.h"
#include "controls/text_prompt.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/strings_table.h"
#include "support/widget_test_main.h"
#include "support/window_steps.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTextBlock>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>

using namespace tessaro;
using tessaro::testing::stringsTable;
using tessaro::testing::TestEnvironment;

namespace {

enum class State { Guide, Login, Main };
// The window left open over the main window while the language switches.
enum class Over {
    Nothing,
    PreferencesGeneral,
    PreferencesPassword,
    PreferencesShortcuts,
    PreferencesAdvanced,
    ChangePassword,
    DrivePassword,
    FileInfo,
    Tutorial
};

// The application launched on a sandbox of its own in one of the three window states.
struct App {
    TestEnvironment env;
    AppDelegate delegate;
    explicit App(State state) : env(state != State::Guide) {
        if (state == State::Guide) {
            SettingsStore::remove(QString::fromLatin1(keys::FirstRun));
        }
        delegate.applicationDidFinishLaunching();
        if (state == State::Main) {
            testing::logIn(delegate);
        }
    }
};

// Keys the code builds from a pattern, with the last number it fills in (counting from 1).
// A new pattern in the code fails the test until it is listed here.
const QHash<QString, int> kBuiltKeys{
    {QStringLiteral("SortbyItem%1"), 8},
    {QStringLiteral("NotesSortbyItem%1"), 5},
    {QStringLiteral("file_Item%1"), 4},
    {QStringLiteral("group_Item%1"), 4},
    {QStringLiteral("weekItem%1.stringValue"), 7},
    {QStringLiteral("monthiItem%1.stringValue"), 12},
};

struct SourceKeys {
    // Passed to a lookup call as they stand, or literals named as keys are (handed to a
    // lookup through a table).
    QSet<QString> looked;
    QSet<QString> patterns;  // passed to a lookup call with a number filled in
};

SourceKeys scanSources() {
    // ui::text("k"), text("k"), localizedStringForKey(QStringLiteral("k") ...), with the
    // wrappers the code uses around the literal.
    static const QRegularExpression lookup(QStringLiteral(
        "(?:\\btext|localizedStringForKey)\\(\\s*(?:QStringLiteral|QString::fromLatin1|QLatin1String|QString::fromUtf8)?"
        "\\(?\\s*\"([^\"\\\\]+)\""));
    static const QRegularExpression literal(QStringLiteral(
        "\"([A-Za-z_][A-Za-z0-9_\\-]*\\.(?:stringValue|stringvalue|title|text|placeholderString|toolTip|message|accessibleName))\""));
    SourceKeys keys;
    for (const char* folder : {"app", "controls", "core", "crypto", "vault", "access", "notes", "tools"}) {
        QDirIterator it(QStringLiteral(TESSARO_BUILT_SOURCE_DIR "/") + QLatin1String(folder), {"*.cpp", "*.h"},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const QString source = QString::fromUtf8(file.readAll());
            for (const auto& match : lookup.globalMatch(source)) {
                const QString key = match.captured(1);
                (key.contains(QLatin1String("%1")) ? keys.patterns : keys.looked).insert(key);
            }
            for (const auto& match : literal.globalMatch(source)) {
                keys.looked.insert(match.captured(1));
            }
        }
    }
    return keys;
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    QStringList found;
    for (const auto& match : marker.globalMatch(text)) {
        found << match.captured();
    }
    found.sort();
    return found;
}

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
QStringList faultsIn(const QWidget* window) {
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

// Walks the dialog of `objectName` that `open` shows, and closes it again. Its title bar must
// not repeat `message` (it was cut off there).
QStringList faultsInDialog(const char* objectName, const std::function<void()>& open, const QString& message = {}) {
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
    QStringList faults = faultsIn(dialog);
    if (!message.isEmpty() && dialog->windowTitle().contains(message)) {
        faults << QStringLiteral("the title repeats the message: ") + dialog->windowTitle();
    }
    dialog->close();
    return faults;
}

// Texts are collected as "place<tab>text" lines, so that two collections compare line by line.
void collectMenu(const QMenu* menu, const QString& path, QStringList& into) {
    into << path + QLatin1Char('\t') + menu->title();
    for (const QAction* item : menu->actions()) {
        if (item->isSeparator()) {
            continue;
        }
        const QString itemPath = path + QLatin1Char('/') + QString::number(item->data().toInt());
        into << itemPath + QLatin1Char('\t') + item->text().section(QLatin1Char('\t'), 0, 0);
        if (item->menu()) {
            collectMenu(item->menu(), itemPath, into);
        }
    }
}

void collectTexts(const QWidget* root, const QString& prefix, QStringList& into) {
    int n = 0;
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        const QString place = QStringLiteral("%1%2 %3 #%4").arg(prefix, QLatin1String(widget->metaObject()->className()),
                                                                widget->objectName()).arg(n++);
        if (const auto* label = qobject_cast<const QLabel*>(widget); label && !label->text().isEmpty()) {
            into << place + QLatin1Char('\t') + label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget); button && !button->text().isEmpty()) {
            into << place + QLatin1Char('\t') + button->text();
        } else if (const auto* field = qobject_cast<const QLineEdit*>(widget)) {
            into << place + QLatin1Char('\t') + field->placeholderText();
        }
        if (!widget->accessibleName().isEmpty()) {
            into << place + QStringLiteral(" name\t") + widget->accessibleName();
        }
    }
}

// Every visible text of the menus, of the shown controller and of the window open over it,
// by a stable place.
QStringList shownTexts(AppDelegate& delegate, const QWidget* over = nullptr) {
    // A relabelled window may have swapped a part for a new one; the old one goes first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList texts{QStringLiteral("window title\t") + delegate.mainWindow()->windowTitle()};
    for (const QAction* top : delegate.mainMenu()->actions()) {
        collectMenu(top->menu(), QStringLiteral("menu%1").arg(top->data().toInt()), texts);
    }
    collectTexts(delegate.mainWindow()->contentController(), QString(), texts);
    if (over) {
        texts << QStringLiteral("over: title\t") + over->windowTitle();
        collectTexts(over, QStringLiteral("over: "), texts);
    }
    return texts;
}

QWidget* openOver(AppDelegate& delegate, Over over) {
    MainViewController* main = delegate.mainView();
    switch (over) {
    case Over::Nothing: return nullptr;
    case Over::PreferencesGeneral:
    case Over::PreferencesPassword:
    case Over::PreferencesShortcuts:
    case Over::PreferencesAdvanced: {
        showPreferences(delegate.mainWindow());
        PreferencesWindowController* window = PreferencesWindowController::shown();
        const QString pane = QStringList{"General", "Password", "Shortcuts", "Advanced"}.at(
            static_cast<int>(over) - static_cast<int>(Over::PreferencesGeneral));
        window->setcontentIdenter(pane);
        testing::waitUntil([&] { return window->currentIdentifier() == pane; });
        return window;
    }
    case Over::ChangePassword: return showChangePassword(delegate.mainWindow(), std::nullopt);
    case Over::DrivePassword: {
        auto* window = new ChangePasswordWController(delegate.mainWindow());
        window->setDriveVault(main->catalogue, main, QStringLiteral("/media/stick/Travel.flp"));
        window->showModal();
        return window;
    }
    case Over::FileInfo: {
        const FileModelPtr item = testing::makeItem(QStringLiteral("photo.jpg"), true, 1);
        main->catalogue.groupDirList.at(1)->fileModels->append(item);
        main->setRightScrollView();
        main->showFileInfo(item);
        return main->fileInfoWindow();
    }
    case Over::Tutorial:
        delegate.showWelcomeTutorialAction();
        return delegate.welcomeWindow();
    }
    return nullptr;
}

}  // namespace

class MenusTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        controls::ModalSeam::reset();
        controls::TextPrompt::reset();
    }

    // Pressed in turn on the main window, each shortcut reaches its command (the lock last); the
    // window's keys never take a key a text field needs (Delete in the search field deletes a
    // letter, not the selected item), and the edit and format menus reach the field and the note.
    void shortcutsReachTheirCommandsAndTextFieldsKeepTheirKeys() {
        App app(State::Main);
        MainViewController* main = app.delegate.mainView();
        QStringList reached;
        app.delegate.setPreferencesHook([&](QWidget* parent) {
            reached << (parent == app.delegate.mainWindow() ? QStringLiteral("preferences") : QStringLiteral("elsewhere"));
        });
        app.delegate.setRemoveFromListHook([&](MainViewController&) { reached << QStringLiteral("remove from list"); });
        app.delegate.setRenameGroupHook([&](MainViewController&) { reached << QStringLiteral("rename group"); });
        app.delegate.setTerminateHandlerForTests([&] { reached << QStringLiteral("quit"); });
        // An item to remove, selected.
        main->catalogue.groupDirList.at(1)->fileModels->append(testing::makeItem(QStringLiteral("photo.jpg"), true, 1));
        main->setRightScrollView();
        main->selectItemAtRow(0);
        main->sidebarView()->setFocus();
        controls::ModalSeam::nextFileNames({});
        CustomWindow* window = app.delegate.mainWindow();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const auto hooked = [&](const char* name) { return [&, name] { return reached.endsWith(QLatin1String(name)); }; };
        const std::tuple<const char*, QKeySequence, std::function<bool()>> shortcuts[] = {
            {"remove from list", QKeySequence(Qt::Key_Delete), hooked("remove from list")},
            {"rename group", QKeySequence(Qt::Key_F2), hooked("rename group")},
            {"preferences", QKeySequence(Qt::CTRL | Qt::Key_Comma), hooked("preferences")},
            {"quit", QKeySequence(Qt::CTRL | Qt::Key_Q), hooked("quit")},
            {"add files", QKeySequence(Qt::CTRL | Qt::Key_O),
             [] { return !controls::ModalSeam::lastOpenPanel().title.isEmpty(); }},
            {"search", QKeySequence(Qt::CTRL | Qt::Key_F), [&] { return QApplication::focusWidget() == main->searchField(); }},
            {"new note", QKeySequence(Qt::CTRL | Qt::Key_N),
             [&] { return main->isShowingNotes() && main->notesPane()->shownNotes().size() == 1; }},
            {"lock", QKeySequence(Qt::CTRL | Qt::Key_L), [&] { return app.delegate.loginView() && !app.delegate.mainView(); }},
        };
        const auto press = [&](int index) {
            const auto& [name, keys, done] = shortcuts[index];
            QTest::keySequence(window, keys);
            return testing::waitUntil(done, 5000);
        };
        for (int index = 0; index < 6; ++index) {
            QVERIFY2(press(index), std::get<0>(shortcuts[index]));
        }

        // The search field has the focus, the item is still selected.
        QLineEdit* field = main->searchField();
        QTest::keyClicks(field, QStringLiteral("photo"));
        QTest::keyClick(field, Qt::Key_Home);
        QVERIFY(main->selectedItem());
        QTest::keyClick(field, Qt::Key_Delete);
        QCOMPARE(field->text(), QStringLiteral("hoto"));
        QCOMPARE(reached, (QStringList{"remove from list", "rename group", "preferences", "quit"}));

        app.delegate.menuWithTag(40)->aboutToShow();
        QVERIFY(!app.delegate.menuItem(40, 4)->isEnabled());  // nothing selected to copy
        app.delegate.menuItem(40, 6)->trigger();
        QCOMPARE(field->selectedText(), QStringLiteral("hoto"));
        app.delegate.menuWithTag(40)->aboutToShow();
        QVERIFY(app.delegate.menuItem(40, 3)->isEnabled());
        app.delegate.menuItem(40, 3)->trigger();
        QVERIFY(field->text().isEmpty());
        app.delegate.menuWithTag(40)->aboutToShow();
        app.delegate.menuItem(40, 5)->trigger();
        QCOMPARE(field->text(), QStringLiteral("hoto"));

        // Ctrl+B is the editor's own and the format menu reaches the open note; relabelling
        // rebuilds the lists, the notes list included, and the words typed before stay in the note.
        QVERIFY2(press(6), "new note");
        TSTextView* editor = main->notesPane()->editor();
        editor->setFocus();
        QTest::keyClicks(editor, QStringLiteral("typed just now"));
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(editor->textCursor().charFormat().fontWeight(), QFont::Bold);
        app.delegate.menuWithTag(50)->aboutToShow();
        QAction* bold = app.delegate.menuItem(50, 2, 1);
        QVERIFY(bold->isEnabled());
        bold->trigger();
        QCOMPARE(editor->textCursor().charFormat().fontWeight(), QFont::Normal);
        app.delegate.menuItem(50, 3, 2)->trigger();
        QCOMPARE(editor->document()->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

        // Qt's own panels follow the switch too.
        app.delegate.setLange(1);
        QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != QStringLiteral("Look in:"));
        app.delegate.setLange(2);
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
        QCOMPARE(main->notesPane()->editor()->toPlainText(), QStringLiteral("typed just now"));
        QVERIFY(main->notesPane()->flush());
        QVERIFY2(press(7), "lock");
    }

    // Each window state shows its own menus, and a language switch relabels the menus, the
    // window and the window open over it at once, there and back.
    void eachWindowStateShowsItsMenusAndRelabelsAtOnce_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<Over>("over");
        QTest::addColumn<QList<int>>("menus");
        QTest::addColumn<bool>("unlocked");
        const QList<int> all{10, 30, 40, 50, 60, 70, 80};
        QTest::newRow("guide") << State::Guide << Over::Nothing << QList<int>{10, 20, 70, 80} << false;
        QTest::newRow("login") << State::Login << Over::Nothing << QList<int>{10, 70, 80} << false;
        QTest::newRow("main") << State::Main << Over::Nothing << all << true;
        QTest::newRow("preferences, General") << State::Main << Over::PreferencesGeneral << all << true;
        QTest::newRow("preferences, Password") << State::Main << Over::PreferencesPassword << all << true;
        QTest::newRow("preferences, Shortcuts") << State::Main << Over::PreferencesShortcuts << all << true;
        QTest::newRow("preferences, Advanced") << State::Main << Over::PreferencesAdvanced << all << true;
        QTest::newRow("change password") << State::Main << Over::ChangePassword << all << true;
        QTest::newRow("drive vault password") << State::Main << Over::DrivePassword << all << true;
        QTest::newRow("information") << State::Main << Over::FileInfo << all << true;
        QTest::newRow("tutorial") << State::Main << Over::Tutorial << all << true;
    }
    void eachWindowStateShowsItsMenusAndRelabelsAtOnce() {
        QFETCH(State, state);
        QFETCH(Over, over);
        QFETCH(QList<int>, menus);
        QFETCH(bool, unlocked);
        App app(state);
        QList<int> shown;
        for (const QAction* top : app.delegate.mainMenu()->actions()) {
            if (top->isVisible()) {
                shown << top->data().toInt();
            }
        }
        QCOMPARE(shown, menus);
        QCOMPARE(app.delegate.languageButton()->isVisibleTo(app.delegate.mainWindow()), state != State::Guide);
        // Nothing reaches the vault, its settings or its password while it is locked.
        for (const auto& [menu, item] : {std::pair{30, 1}, {30, 2}, {60, 1}, {10, 2}, {10, 3}, {60, 2}}) {
            QAction* action = app.delegate.menuItem(menu, item);
            QVERIFY(action);
            QCOMPARE(action->isEnabled(), unlocked);
        }
        // The editor's commands wait for a note being edited.
        QVERIFY(!app.delegate.menuItem(50, 2, 1)->isEnabled());

        QPointer<QWidget> window = openOver(app.delegate, over);
        QVERIFY((over == Over::Nothing) == window.isNull());
        // The window over the main window, or else the guide, the login screen or the idle main window.
        const QStringList faults = faultsIn(window ? window.data() : app.delegate.mainWindow());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        const QStringList english = shownTexts(app.delegate, window);
        const qint64 englishIcon = app.delegate.languageButton()->icon().cacheKey();

        app.delegate.setLange(1);
        QCOMPARE(SettingsStore::intValue(QString::fromLatin1(keys::AppLanguage)), 1);
        QCOMPARE(SettingsStore::stringList(QString::fromLatin1(keys::AppleLanguages)), QStringList{QStringLiteral("zh_CN")});
        QVERIFY(app.delegate.languageButton()->icon().cacheKey() != englishIcon);
        // No English text whose Chinese differs is left anywhere, in the menus or the window.
        const QHash<QString, QString> en = stringsTable("en");
        const QHash<QString, QString> zh = stringsTable("zh-Hans");
        QSet<QString> untranslated;
        for (auto it = en.cbegin(); it != en.cend(); ++it) {
            if (it.value().size() > 1 && zh.value(it.key()) != it.value()) {
                untranslated.insert(it.value());
            }
        }
        const QStringList chinese = shownTexts(app.delegate, window);
        QStringList left;
        for (const QString& shown : chinese) {
            if (untranslated.contains(shown.section(QLatin1Char('\t'), 1))) {
                left << shown;
            }
        }
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
        QVERIFY(chinese != english);

        app.delegate.setLange(2);
        QCOMPARE(SettingsStore::intValue(QString::fromLatin1(keys::AppLanguage)), 2);
        QVERIFY(over == Over::Nothing || window);
        QCOMPARE(shownTexts(app.delegate, window), english);
        QCOMPARE(app.delegate.languageButton()->icon().cacheKey(), englishIcon);
    }

    // The main window busy with a selected item, progress and a note, and the dialogs it asks.
    void aBusyMainWindowAndItsDialogsNameEveryControl() {
        App app(State::Main);
        MainViewController* main = app.delegate.mainView();
        const FileModelPtr item = testing::makeItem(QStringLiteral("a.txt"), true, 1);
        main->catalogue.groupDirList.at(1)->fileModels->append(item);
        main->setRightScrollView();
        main->selectItemAtRow(0);
        main->progressView()->addAnimation();
        QStringList faults = faultsIn(app.delegate.mainWindow());
        main->addNoteFileAction();
        QTRY_VERIFY(main->isShowingNotes());
        faults << faultsIn(app.delegate.mainWindow());
        main->progressView()->removeAnimation();  // the removal below is refused while it shows
        faults << faultsInDialog("question", [&] { main->removeFromListAction(item); });
        // The drive prompts: a vault's password, and a new vault's name.
        for (bool secret : {true, false}) {
            controls::TextPrompt::Request request;
            request.message = QStringLiteral("Name the new vault on the drive:");
            request.defaultTitle = QStringLiteral("OK");
            request.alternateTitle = QStringLiteral("Cancel");
            request.placeholder = secret ? QStringLiteral("Password") : QString();
            request.secret = secret;
            faults << faultsInDialog(
                "textPrompt", [&] { controls::TextPrompt::ask(main, request, [](auto) {}); }, request.message);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // Every key the code uses, and every Chinese key, has its English text; every English
    // text has a Chinese one, empty in both languages or neither, with the same placeholders.
    void everyKeyHasBothTextsAndTheyAgree() {
        const QHash<QString, QString> en = stringsTable("en");
        const QHash<QString, QString> zh = stringsTable("zh-Hans");
        QVERIFY(!en.isEmpty() && !zh.isEmpty());
        const SourceKeys sources = scanSources();
        QVERIFY2(sources.looked.size() > 100, "the source scan found almost no lookups");

        QSet<QString> wanted = sources.looked + QSet<QString>(zh.keyBegin(), zh.keyEnd());
        for (const QString& pattern : sources.patterns) {
            QVERIFY2(kBuiltKeys.contains(pattern), qPrintable(QStringLiteral("list the numbers of %1").arg(pattern)));
            for (int n = 1; n <= kBuiltKeys.value(pattern); ++n) {
                wanted.insert(pattern.arg(n));
            }
        }

        QStringList faults;
        for (const QString& key : std::as_const(wanted)) {
            if (!en.contains(key)) {
                faults << QStringLiteral("en lacks \"%1\"").arg(key);
            }
        }
        for (auto it = en.cbegin(); it != en.cend(); ++it) {
            const QString other = zh.value(it.key());
            if (!zh.contains(it.key())) {
                faults << QStringLiteral("zh-Hans lacks \"%1\"").arg(it.key());
            } else if (it.value().isEmpty() != other.isEmpty()) {
                faults << QStringLiteral("\"%1\" is empty in one language only").arg(it.key());
            } else if (placeholders(it.value()) != placeholders(other)) {
                faults << QStringLiteral("\"%1\" has other placeholders in Chinese").arg(it.key());
            }
        }
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // F1 opens the installed page in the interface's language (English for one without a page),
    // a clear message comes when no browser takes it, and the next launch starts in the
    // language last chosen.
    void helpAndTheNextLaunchFollowTheChosenLanguage() {
        App app(State::Login);
        app.delegate.mainWindow()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.delegate.mainWindow()));
        QStringList opened;
        bool browserTakesIt = true;
        app.delegate.setUrlOpener([&](const QUrl& url) {
            opened << (QFile::exists(url.toLocalFile()) ? url.toLocalFile().section(QLatin1Char('/'), -2) : url.toString());
            return browserTakesIt;
        });
        app.delegate.setLange(5);
        app.delegate.helpAction();
        app.delegate.setLange(1);
        QTest::keyClick(app.delegate.mainWindow(), Qt::Key_F1);
        QCOMPARE(opened, (QStringList{QStringLiteral("en/index.html"), QStringLiteral("zh-Hans/index.html")}));
        QCOMPARE(controls::ModalSeam::alertCount(), 0);
        browserTakesIt = false;
        controls::ModalSeam::nextAnswer(QMessageBox::Ok);
        app.delegate.helpAction();
        QTRY_COMPARE(controls::ModalSeam::alertCount(), 1);
        QVERIFY(controls::ModalSeam::lastAlert().message.contains(QStringLiteral("/zh-Hans/index.html")));

        // A new run: no switch yet, so the stored preference decides.
        LanguageBundle::resetLanguage();
        AppDelegate next;
        QCOMPARE(next.menuWithTag(30)->title(), stringsTable("zh-Hans").value(QStringLiteral("FilemenuItem.title")));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<MenusTest>(argc, argv, true); }

#include "tst_menus.moc"
