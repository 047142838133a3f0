// The menu bar, the language switch and the commands the menus forward.
#include "app/app_delegate.h"

#include "app/custom_window.h"
#include "app/edit_commands.h"
#include "app/guide_view_controller.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/qt_dialog_language.h"
#include "app/ts_text_view.h"
#include "app/ui_resources.h"
#include "app/welcome_window_controller.h"
#include "app/window_log_lines.h"
#include "controls/modal_seam.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "notes/open_note.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QUrl>

namespace tessaro {

namespace {

// Each top-level menu is known by its tag for relabelling and by its identifier for
// showing and hiding; its title and its items' titles come from these keys (%1 is the
// item's tag).
struct MenuKeys {
    int tag;
    const char* identifier;
    const char* titleKey;
    const char* itemKey;
};
constexpr MenuKeys kMenus[] = {
    {10, "", nullptr, "ProMenuItem%1.title"},
    {20, "Language", "LanguageBtnTitle", nullptr},
    {30, "File", "FilemenuItem.title", "FilemenuItem%1.title"},
    {40, "Edit", "EditmenuItem.title", "EditmenuItem%1.title"},
    {50, "Format", "FormatmenuItem.title", "FormatmenuItem%1.title"},
    {60, "Password", "PasswordMenuItem.title", "PasswordMenuItem%1.title"},
    {70, "", "WindowMenuItem.title", "WindowMenuItem%1.title"},
    {80, "", "HelpMenuItem.title", "HelpMenuItem%1.title"},
};

// Submenus one level further down, by the tag of the item that opens them (0: any item
// with a submenu); `viaTag` is the submenu the opening item itself sits in.
struct SubmenuKeys {
    int menuTag;
    int viaTag;
    int openingTag;
    const char* itemKey;
};
constexpr SubmenuKeys kSubmenus[] = {
    {40, 0, 9, "Edit-FindMenuItem%1.title"},
    {40, 0, 10, "Edit-SpellingMenuItem%1.title"},
    {40, 0, 11, "Edit-SubstituMenuItem%1.title"},
    {40, 0, 12, "Edit-TransformationMenuItem%1.title"},
    {40, 0, 13, "Edit-SpeechMenuItem%1.title"},
    {50, 0, 1, "Format-FontMenuItem%1.text"},
    {50, 0, 2, "Format-TextMenuItem%1.text"},
    {50, 1, 7, "Format-Font-KernMenuItem%1.text"},
    {50, 1, 8, "Format-Font-LigatureMenuItem%1.text"},
    {50, 1, 9, "Format-Font-BaseLineMenuItem%1.text"},
    {50, 2, 0, "Format-Text-WriteMenuItem%1.text"},
};

// Menu items whose keys the editor itself answers while it has the focus: the item only
// shows the keys, after a tab, because a second shortcut on the same keys would make
// both ambiguous and neither would run.
constexpr char kShortcutHint[] = "shortcutHint";

int tagOf(const QAction* action) { return action->data().toInt(); }

QAction* itemWithTag(const QMenu* menu, int tag) {
    if (!menu) {
        return nullptr;
    }
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && tagOf(action) == tag) {
            return action;
        }
    }
    return nullptr;
}

void labelItems(QMenu* menu, const char* itemKey) {
    for (QAction* item : menu->actions()) {
        const int tag = tagOf(item);
        if (item->isSeparator() || tag <= 0) {
            continue;
        }
        QString title = LanguageBundle::localizedStringForKey(QString::fromLatin1(itemKey).arg(tag));
        const QString hint = item->property(kShortcutHint).toString();
        if (!hint.isEmpty()) {
            title += QLatin1Char('\t') + hint;
        }
        item->setText(title);
    }
}

}  // namespace

QAction* AppDelegate::addMenuItem(QMenu* menu, int tag, const QKeySequence& shortcut) {
    QAction* item = menu->addAction(QString());
    item->setData(tag);
    if (!shortcut.isEmpty()) {
        item->setShortcut(shortcut);
    }
    return item;
}

void AppDelegate::buildMenus() {
    mainMenu_ = new QMenuBar(mainWindow_.get());
    mainWindow_->setMenuBar(mainMenu_);
    const auto addTopMenu = [this](int tag) {
        QMenu* menu = mainMenu_->addMenu(QString());
        menu->menuAction()->setData(tag);
        for (const MenuKeys& keys : kMenus) {
            if (keys.tag == tag) {
                menu->menuAction()->setObjectName(QString::fromLatin1(keys.identifier));
            }
        }
        return menu;
    };
    const auto forward = [this](void (MainViewController::*command)()) {
        return [this, command] {
            if (mainViewIsShown()) {
                (mainView_->*command)();
            }
        };
    };

    // Application.
    QMenu* application = addTopMenu(10);
    connect(addMenuItem(application, 1), &QAction::triggered, this, &AppDelegate::showWelcomeTutorialAction);
    application->addSeparator();
    preferences_ = addMenuItem(application, 2, QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences_->setMenuRole(QAction::PreferencesRole);
    connect(preferences_, &QAction::triggered, this, &AppDelegate::preferencesAction);
    changePassword_.append(addMenuItem(application, 3));
    application->addSeparator();
    QAction* quit = addMenuItem(application, 9, QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &AppDelegate::terminateAction);

    // Language: the guide's way to switch; afterwards the title bar's button takes its place.
    QMenu* language = addTopMenu(20);
    auto* choices = new QActionGroup(this);
    for (const int tag : {1, 2}) {
        QAction* choice = addMenuItem(language, tag);
        choice->setCheckable(true);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, tag] { setLange(tag); });
        languageChoices_.append(choice);
    }

    // File.
    QMenu* file = addTopMenu(30);
    addFiles_ = addMenuItem(file, 1, QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(addFiles_, &QAction::triggered, this, forward(&MainViewController::addFileAction));
    addNote_ = addMenuItem(file, 2, QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(addNote_, &QAction::triggered, this, forward(&MainViewController::addNoteFileAction));
    file->addSeparator();
    HideItem_ = addMenuItem(file, 3);
    connect(HideItem_, &QAction::triggered, this, forward(&MainViewController::hideItemAction));
    UnHideItem_ = addMenuItem(file, 4);
    connect(UnHideItem_, &QAction::triggered, this, forward(&MainViewController::unHideItemAction));
    file->addSeparator();
    removeFromList_ = addMenuItem(file, 5, QKeySequence(Qt::Key_Delete));
    connect(removeFromList_, &QAction::triggered, this, [this] {
        // A text field with the focus keeps the key for itself.
        if (mainViewIsShown() && !mainView_->isShowingNotes() && mainView_->selectedItem()) {
            removeFromListHook_(*mainView_);
        }
    });
    renameGroup_ = addMenuItem(file, 6, QKeySequence(Qt::Key_F2));
    connect(renameGroup_, &QAction::triggered, this, [this] {
        if (mainViewIsShown()) {
            renameGroupHook_(*mainView_);
        }
    });
    // Also just before the menu opens, so it never offers what no longer applies.
    connect(file, &QMenu::aboutToShow, this, &AppDelegate::refreshItemCommands);

    // Edit: the standard commands reach the focused text field.
    QMenu* edit = addTopMenu(40);
    using editcommands::EditCommand;
    const std::pair<EditCommand, QKeySequence> editItems[] = {
        {EditCommand::Undo, QKeySequence::Undo}, {EditCommand::Redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {EditCommand::Cut, QKeySequence::Cut},     {EditCommand::Copy, QKeySequence::Copy},
        {EditCommand::Paste, QKeySequence::Paste}, {EditCommand::SelectAll, QKeySequence::SelectAll},
    };
    for (const auto& [command, keys] : editItems) {
        if (command == EditCommand::Cut || command == EditCommand::SelectAll) {
            edit->addSeparator();
        }
        QAction* item = addMenuItem(edit, static_cast<int>(command), keys);
        connect(item, &QAction::triggered, this, [command] { editcommands::run(editcommands::focusedTextWidget(), command); });
        editCommands_.append(item);
    }
    edit->addSeparator();
    find_ = addMenuItem(edit, 8, QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find_, &QAction::triggered, this, [this] {
        if (mainViewIsShown()) {
            mainView_->searchField()->setFocus(Qt::ShortcutFocusReason);
            mainView_->searchField()->selectAll();
        }
    });
    connect(edit, &QMenu::aboutToShow, this, &AppDelegate::refreshEditCommands);
    connect(qApp, &QApplication::focusChanged, this, &AppDelegate::refreshEditCommands);

    // Format: the note editor's commands, enabled while a note is being edited.
    QMenu* format = addTopMenu(50);
    QAction* fontItem = addMenuItem(format, 1);
    QAction* textItem = addMenuItem(format, 2);
    auto* fontMenu = new QMenu(format);
    auto* textMenu = new QMenu(format);
    fontItem->setMenu(fontMenu);
    textItem->setMenu(textMenu);
    struct EditorCommand {
        QMenu* menu;
        int tag;
        void (TSTextView::*command)();
        QKeySequence keys;
    };
    const EditorCommand editorCommands[] = {
        {fontMenu, 1, &TSTextView::orderFrontFontPanel, {}},
        {fontMenu, 2, &TSTextView::BlodFontAction, QKeySequence::Bold},
        {fontMenu, 3, &TSTextView::ItalicFontAction, QKeySequence::Italic},
        {fontMenu, 4, &TSTextView::UnderLineAction, QKeySequence::Underline},
        {fontMenu, 5, &TSTextView::BiggerAction, QKeySequence(Qt::CTRL | Qt::Key_Plus)},
        {fontMenu, 6, &TSTextView::SmallerAction, QKeySequence(Qt::CTRL | Qt::Key_Minus)},
        {fontMenu, 10, &TSTextView::orderFrontColorPanel, {}},
        {textMenu, 1, &TSTextView::contentAlignLeft, {}},
        {textMenu, 2, &TSTextView::contentAlignCenter, {}},
        {textMenu, 3, &TSTextView::contentAlignRight, {}},
    };
    for (const EditorCommand& entry : editorCommands) {
        if (entry.menu == fontMenu && (entry.tag == 2 || entry.tag == 10)) {
            fontMenu->addSeparator();
        }
        QAction* item = addMenuItem(entry.menu, entry.tag);
        if (!entry.keys.isEmpty()) {
            item->setProperty(kShortcutHint, entry.keys.toString(QKeySequence::NativeText));
        }
        connect(item, &QAction::triggered, this, [this, command = entry.command] { forwardToEditor(command); });
        formatCommands_.append(item);
    }
    for (QMenu* menu : {format, fontMenu, textMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &AppDelegate::refreshItemCommands);
    }

    // Password.
    QMenu* password = addTopMenu(60);
    lockTessaro_ = addMenuItem(password, 1, QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(lockTessaro_, &QAction::triggered, this, &AppDelegate::lockTessaroAction);
    changePassword_.append(addMenuItem(password, 2));
    for (QAction* item : std::as_const(changePassword_)) {
        connect(item, &QAction::triggered, this, &AppDelegate::enterChangePassword);
    }

    // Window.
    QMenu* window = addTopMenu(70);
    connect(addMenuItem(window, 1, QKeySequence(Qt::CTRL | Qt::Key_M)), &QAction::triggered, this,
            [this] { mainWindow_->showMinimized(); });
    QAction* zoom = addMenuItem(window, 2);
    connect(zoom, &QAction::triggered, this, [this] {
        if (mainWindow_->zoomEnabled()) {
            mainWindow_->isMaximized() ? mainWindow_->showNormal() : mainWindow_->showMaximized();
        }
    });
    window->addSeparator();
    connect(addMenuItem(window, 3), &QAction::triggered, this, &AppDelegate::applicationShouldHandleReopen);
    connect(window, &QMenu::aboutToShow, this, [this, zoom] { zoom->setEnabled(mainWindow_->zoomEnabled()); });

    // Help.
    QMenu* help = addTopMenu(80);
    connect(addMenuItem(help, 2, QKeySequence(Qt::Key_F1)), &QAction::triggered, this, &AppDelegate::helpAction);
    connect(addMenuItem(help, 1), &QAction::triggered, this, &AppDelegate::showWelcomeTutorialAction);

    mainHeadMenus_ = mainMenu_->actions();
    buildLanguageButton();
    refresMenuItems();
}

void AppDelegate::buildLanguageButton() {
    languageButton_ = new QToolButton(mainMenu_);
    languageButton_->setObjectName(QStringLiteral("languageButton"));
    languageButton_->setAutoRaise(true);
    languageButton_->setPopupMode(QToolButton::InstantPopup);
    languageButton_->setIconSize(QSize(20, 20));
    languageButton_->setFocusPolicy(Qt::TabFocus);
    languageButtonMenu_ = new QMenu(languageButton_);
    QFont font(QStringLiteral("KannadaSangamMN"));
    font.setPixelSize(15);
    languageButtonMenu_->setFont(font);
    languageButtonMenu_->setStyleSheet(QStringLiteral("QMenu { color: rgb(44, 44, 47); }"));
    auto* choices = new QActionGroup(languageButtonMenu_);
    for (const int tag : {1, 2}) {
        QAction* choice = addMenuItem(languageButtonMenu_, tag);
        choice->setCheckable(true);
        choices->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, tag] { setLange(tag); });
    }
    languageButton_->setMenu(languageButtonMenu_);
    mainMenu_->setCornerWidget(languageButton_, Qt::TopRightCorner);
}

QMenu* AppDelegate::menuWithTag(int tag) const {
    for (QAction* top : std::as_const(mainHeadMenus_)) {
        if (tagOf(top) == tag) {
            return top->menu();
        }
    }
    return nullptr;
}

QAction* AppDelegate::menuItem(int menuTag, int itemTag, std::optional<int> submenuTag) const {
    QMenu* menu = menuWithTag(menuTag);
    if (submenuTag) {
        QAction* opening = itemWithTag(menu, *submenuTag);
        menu = opening ? opening->menu() : nullptr;
    }
    return itemWithTag(menu, itemTag);
}

void AppDelegate::refresMenuItems() {
    mainMenu_->setAccessibleName(ui::text("menuBar.accessibleName"));
    languageButton_->setIcon(ui::picture(QStringLiteral("LanguageIcon/") + ui::text("languageIcon")));
    languageButton_->setAccessibleName(ui::text("languageButton.accessibleName"));
    languageButton_->setToolTip(ui::text("languageButton.toolTip"));
    // The arrow the bar shows when its menus do not fit.
    if (auto* more = mainMenu_->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button"))) {
        more->setAccessibleName(ui::text("menuBar.moreMenus"));
    }
    languageButton_->updateGeometry();
    languageButton_->update();

    for (const MenuKeys& keys : kMenus) {
        QMenu* menu = menuWithTag(keys.tag);
        if (!menu) {
            continue;
        }
        if (keys.titleKey) {
            menu->setTitle(ui::text(keys.titleKey));
        } else {
            menu->setTitle(QGuiApplication::applicationDisplayName());
        }
        if (keys.itemKey) {
            labelItems(menu, keys.itemKey);
        }
        for (const SubmenuKeys& sub : kSubmenus) {
            if (sub.menuTag != keys.tag) {
                continue;
            }
            QMenu* parent = menu;
            if (sub.viaTag != 0) {
                QAction* via = itemWithTag(menu, sub.viaTag);
                parent = via ? via->menu() : nullptr;
            }
            if (!parent) {
                continue;
            }
            for (QAction* opening : parent->actions()) {
                if (opening->menu() && (sub.openingTag == 0 || tagOf(opening) == sub.openingTag)) {
                    labelItems(opening->menu(), sub.itemKey);
                }
            }
        }
    }
    // The language choices name each language in its own words, in either interface.
    const QString current = LanguageBundle::currentDirectory();
    for (QMenu* menu : {menuWithTag(20), languageButtonMenu_}) {
        labelItems(menu, "languageItem%1");
        for (QAction* choice : menu->actions()) {
            if (choice->isCheckable()) {
                choice->setChecked((tagOf(choice) == 1) == current.startsWith(QLatin1String("zh")));
            }
        }
    }
    HideItem_ = menuItem(30, 3);
    UnHideItem_ = menuItem(30, 4);
}

void AppDelegate::showMenusForGuide(bool guide) {
    for (QAction* top : std::as_const(mainHeadMenus_)) {
        if (top->objectName() == QLatin1String("Language")) {
            top->setVisible(guide);
        }
    }
    languageButton_->setVisible(!guide);
    refresMenuItems();
    refreshItemCommands();
}

void AppDelegate::showVaultMenus(bool open) {
    // The menu bar lives in the window here, and the login window is narrow: menus whose
    // every command needs the open vault would push Window and Help behind an overflow
    // arrow, so they appear with the vault.
    for (QAction* top : std::as_const(mainHeadMenus_)) {
        const QString id = top->objectName();
        if (!id.isEmpty() && id != QLatin1String("Language")) {
            top->setVisible(open);
        }
    }
}

void AppDelegate::setLange(int tag) {
    // The platform's preference for the next launch is our own setting: the lookup reads it
    // before the first switch of a run.
    const QStringList preferred{tag == 1 ? QStringLiteral("zh_CN") : QStringLiteral("en")};
    if (!SettingsStore::setValues({{QString::fromLatin1(keys::AppLanguage), tag},
                                   {QString::fromLatin1(keys::AppleLanguages), preferred}})) {
        // The running interface still switches; only the next launch may not follow.
        logLine(QString::fromUtf8(windowlog::kLanguageNotStored));
    }
    LanguageBundle::setLanguage();
    ui::followInterfaceLanguageInQtPanels();
    refresMenuItems();
    mainWindow_->setWindowTitle(ui::text("AppName.text"));
    QWidget* shown = mainWindow_->contentController();
    if (auto* guide = qobject_cast<GuideViewController*>(shown)) {
        guide->langeuageAction();
    } else if (auto* login = qobject_cast<loginViewcontroller*>(shown)) {
        login->langeuageAction();
    } else if (auto* main = qobject_cast<MainViewController*>(shown)) {
        main->langeuageAction();
    }
    if (welcome_) {
        welcome_->guide()->langeuageAction();
    }
    emit languageChanged();
}

bool AppDelegate::mainViewIsShown() const {
    // A controller that a lock has replaced lingers until the next turn of the event loop.
    return mainView_ && mainWindow_->contentController() == mainView_;
}

bool AppDelegate::noteBeingEdited() const {
    if (!mainViewIsShown() || !mainView_->isShowingNotes()) {
        return false;
    }
    const notes::OpenNote& note = mainView_->notesPane()->openNote();
    return note.note() && !note.isReadOnly();
}

void AppDelegate::forwardToEditor(void (TSTextView::*command)()) {
    if (noteBeingEdited()) {
        TSTextView* editor = mainView_->notesPane()->editor();
        (editor->*command)();
        editor->setFocus(Qt::OtherFocusReason);
    }
}

void AppDelegate::refreshItemCommands() {
    const bool shown = mainViewIsShown();
    HideItem_->setEnabled(shown && mainView_->canHideSelectedItem());
    UnHideItem_->setEnabled(shown && mainView_->canUnhideSelectedItem());
    removeFromList_->setEnabled(shown && !mainView_->isShowingNotes() && mainView_->selectedItem());
    renameGroup_->setEnabled(shown);
    find_->setEnabled(shown);
    preferences_->setEnabled(shown);
    for (QAction* item : std::as_const(changePassword_)) {
        item->setEnabled(shown);
    }
    const bool editing = noteBeingEdited();
    for (QAction* item : std::as_const(formatCommands_)) {
        item->setEnabled(editing);
    }
}

void AppDelegate::refreshEditCommands() {
    const editcommands::EditTarget target = editcommands::focusedTextWidget();
    for (QAction* item : std::as_const(editCommands_)) {
        item->setEnabled(editcommands::canRun(target, static_cast<editcommands::EditCommand>(tagOf(item))));
    }
}

void AppDelegate::setPreferencesHook(std::function<void(QWidget*)> hook) { preferencesHook_ = std::move(hook); }

void AppDelegate::setChangePasswordHook(std::function<void(QWidget*, std::optional<QString>)> hook) {
    changePasswordHook_ = std::move(hook);
}

void AppDelegate::setRemoveFromListHook(std::function<void(MainViewController&)> hook) {
    removeFromListHook_ = std::move(hook);
}

void AppDelegate::setRenameGroupHook(std::function<void(MainViewController&)> hook) { renameGroupHook_ = std::move(hook); }

void AppDelegate::preferencesAction() {
    // Settings that move the vault or weaken the lock are for the unlocked vault only.
    if (mainViewIsShown()) {
        preferencesHook_(mainWindow_.get());
    }
}

void AppDelegate::enterChangePassword() {
    if (mainViewIsShown()) {
        changePasswordHook_(mainWindow_.get(), std::nullopt);
    }
}

QString AppDelegate::helpPagePath(const QString& languageDirectory) {
    // Installed beside the binary's prefix (share/tessaro/help), which the build tree
    // mirrors, so a run from either finds it.
    const QDir help(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tessaro/help"));
    for (const QString& dir : {languageDirectory, QStringLiteral("en")}) {
        const QFileInfo page(help.filePath(dir + QStringLiteral("/index.html")));
        if (page.isFile()) {
            return page.canonicalFilePath();
        }
    }
    return {};
}

void AppDelegate::setUrlOpener(std::function<bool(const QUrl&)> opener) {
    urlOpener_ = std::move(opener);
}

void AppDelegate::helpAction() {
    const QString page = helpPagePath(LanguageBundle::currentDirectory());
    if (!page.isEmpty() && urlOpener_ && urlOpener_(QUrl::fromLocalFile(page))) {
        return;
    }
    logLine(QString::fromUtf8(windowlog::kHelpNotOpened).arg(page.isEmpty() ? QStringLiteral("not installed") : page));
    controls::ModalSeam::AlertRequest request;
    request.title = ui::text("help.unavailable.title");
    request.message = page.isEmpty() ? ui::text("help.missing.message") : ui::text("help.noBrowser.message").arg(page);
    controls::ModalSeam::alert(mainWindow_.get(), request);
}

}  // namespace tessaro
