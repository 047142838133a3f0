// Renders every window state offscreen into PNG files, in English and in Chinese, with a
// made-up vault, so that the look of the application can be checked without a desktop. The
// walks shown (a hide under way, a cancel, an item gone missing, the repair after a crash)
// really run, on real files in a home folder of the program's own.
// Usage: tessaro-screenshots <output directory>
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/file_info_window.h"
#include "app/guide_view_controller.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/login_viewcontroller.h"
#include "app/main_view_controller.h"
#include "app/notes_pane.h"
#include "app/preferences_panes.h"
#include "app/preferences_window.h"
#include "app/progress_estimate.h"
#include "app/progress_panel.h"
#include "app/screenshots/change_password_shots.h"
#include "app/sidebar_model.h"
#include "app/ts_text_view.h"
#include "app/ui_resources.h"
#include "app/welcome_window_controller.h"
#include "controls/ns_page_view.h"
#include "core/catalogue.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"
#include "crypto/item_paths.h"
#include "crypto/tree_walk.h"
#include "vault/vault_controller.h"
#include "vault/vault_journal.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include <cstdio>
#include <functional>

using namespace tessaro;

namespace {

QString outDir;

void fail(const QString& what) { std::fprintf(stderr, "tessaro-screenshots: %s\n", qPrintable(what)); }

void writeShot(const QPixmap& shot, const QString& name) {
    const QString path = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void save(QWidget* widget, const QString& name) {
    QApplication::processEvents();
    writeShot(widget->grab(), name);
}

// The window with a pop-up menu drawn where it opened: menus are windows of their own, so
// grabbing the main window alone would leave them out.
void saveWithMenu(QWidget* window, QMenu* menu, const QString& name) {
    QApplication::processEvents();
    QPixmap shot = window->grab();
    {
        QPainter painter(&shot);
        painter.drawPixmap(window->mapFromGlobal(menu->pos()), menu->grab());
    }
    writeShot(shot, name);
}

// Each menu of the bar that the window state shows, opened under its title; the Format
// menu with its Font submenu open beside it, and the title bar's language button's menu.
void saveMenuBar(AppDelegate& delegate, const QString& state, const QString& suffix) {
    QWidget* window = delegate.mainWindow();
    QMenuBar* bar = delegate.mainMenu();
    for (QAction* top : bar->actions()) {
        if (!top->isVisible() || !top->menu()) {
            continue;
        }
        QMenu* menu = top->menu();
        menu->popup(bar->mapToGlobal(bar->actionGeometry(top).bottomLeft()));
        QApplication::processEvents();
        const QString name = QStringLiteral("menu-%1-%2-").arg(state).arg(top->data().toInt()) + suffix;
        QAction* font = delegate.menuItem(50, 1);
        if (top->data().toInt() == 50 && font && font->menu()) {
            QMenu* sub = font->menu();
            sub->popup(menu->mapToGlobal(menu->actionGeometry(font).topRight()));
            QApplication::processEvents();
            QPixmap shot = window->grab();
            {
                QPainter painter(&shot);
                painter.drawPixmap(window->mapFromGlobal(menu->pos()), menu->grab());
                painter.drawPixmap(window->mapFromGlobal(sub->pos()), sub->grab());
            }
            writeShot(shot, name);
            sub->hide();
        } else {
            saveWithMenu(window, menu, name);
        }
        menu->hide();
    }
    if (QToolButton* button = delegate.languageButton(); button && button->isVisibleTo(window)) {
        QMenu* menu = button->menu();
        menu->popup(button->mapToGlobal(QPoint(button->width() - menu->sizeHint().width(), button->height())));
        saveWithMenu(window, menu, QStringLiteral("menu-%1-language-button-").arg(state) + suffix);
        menu->hide();
    }
}

FileModelPtr shownItem(MainViewController& main, const QString& name) {
    for (const FileModelPtr& item : main.itemModel()->items()) {
        if (item->name == name) {
            return item;
        }
    }
    return nullptr;
}

void clickRow(MainViewController& main, const FileModelPtr& item) {
    const QModelIndex index = main.itemModel()->index(static_cast<int>(main.itemModel()->rowOf(item.get())));
    const QRect name = ItemDelegate::layoutFor(main.itemListView()->visualRect(index)).name;
    QTest::mouseClick(main.itemListView()->viewport(), Qt::LeftButton, {}, name.center());
}

qsizetype sidebarRowWhere(MainViewController& main, const std::function<bool(const SidebarEntry&)>& wanted) {
    for (qsizetype row = 0; row < main.sidebarModel()->count(); ++row) {
        if (wanted(main.sidebarModel()->entry(row))) {
            return row;
        }
    }
    return -1;
}

// Until the worker is done and the progress panel has slid away, the event loop turning
// all the while, as it does for a user: progress is shown from its timer.
void waitUntilIdle(MainViewController& main) {
    if (!QTest::qWaitFor([&main] { return !main.vaultController()->busy(); }, 120000)) {
        fail(QStringLiteral("the vault's worker is still busy"));
    }
    QTest::qWait(ProgressPanel::kSlideMs + 200);
}

QByteArray patternChunk() {
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    }
    return chunk;
}

// A file of `size` bytes of a repeating pattern, written a chunk at a time.
bool writePatternFile(const QString& path, qint64 size) {
    const QByteArray chunk = patternChunk();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        if (file.write(chunk.constData(), std::min<qint64>(left, chunk.size())) < 0) {
            return false;
        }
    }
    return true;
}

bool holdsPattern(const QString& path, qint64 size) {
    const QByteArray chunk = patternChunk();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != size) {
        return false;
    }
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        if (file.read(std::min<qint64>(left, chunk.size())) != chunk.left(std::min<qint64>(left, chunk.size()))) {
            return false;
        }
    }
    return true;
}

// Logs in with the screenshots' password; the main window controller, or none.
MainViewController* logIn(AppDelegate& delegate) {
    if (loginViewcontroller* login = delegate.loginView()) {
        login->passwordTextField()->setText(QStringLiteral("screenshots"));
        login->enterAction();
    }
    QApplication::processEvents();
    return delegate.mainView();
}

void saveAlert(MainViewController& main, const QString& name) {
    if (!QTest::qWaitFor([&main] { return main.currentAlert() != nullptr; }, 10000)) {
        fail(QStringLiteral("no alert for %1").arg(name));
        return;
    }
    save(main.currentAlert(), name);
    main.currentAlert()->close();
}

// Adds a large file and a small one to the group "Work" for real. While the large one is
// being hidden the window is taken with its progress; then the panel's cancel button stops
// that hide, the small file is hidden after it, and the window is taken again: the large
// item visible, its file whole. Then its file goes away and its eye is clicked: the alert.
void renderRealWalks(AppDelegate& delegate, MainViewController& main, const QString& documents, const QString& suffix) {
    const QString big = documents + QStringLiteral("/Holiday video.mkv");
    const QString small = documents + QStringLiteral("/Budget 2025.ods");
    // Large enough that the hide is well under way, with an estimate, once the panel is up.
    constexpr qint64 kBigSize = qint64(512) << 20;
    if (!writePatternFile(big, kBigSize) || !writePatternFile(small, 48213)) {
        fail(QStringLiteral("cannot write the files to hide"));
        return;
    }
    main.leftMouseUp(sidebarRowWhere(main, [](const SidebarEntry& e) {
        return e.groupName == QLatin1String(kLocalListKey) && e.groupRow == 2;
    }));

    bool taken = false;
    const QMetaObject::Connection watch = QObject::connect(
        main.vaultController(), &vault::VaultController::walkProgress, &main,
        [&](const FileModelPtr& item, vault::VaultController::Kind, bool) {
            const auto estimate = estimateProgress(item->currentEncryptSize.load(), item->fileSize.load(),
                                                   item->startEncryptDate, item->encryptDuration.load());
            if (taken || item->path != big || !estimate || !estimate->secondsLeft || estimate->fraction < 0.2 ||
                estimate->fraction > 0.85 || main.progressView()->height() != ProgressPanel::kHeight) {
                return;
            }
            taken = true;
            // Taken here and now, without turning the event loop: the panel and the row show
            // this very step while the walk goes on.
            writeShot(delegate.mainWindow()->grab(), QStringLiteral("main-hiding-") + suffix);
            // Quitting now asks first; the question is answered "keep working".
            delegate.setTerminateHandlerForTests([] {});
            delegate.terminateAction();
            if (auto* question = main.findChild<QMessageBox*>(QStringLiteral("question"))) {
                question->adjustSize();
                writeShot(question->grab(), QStringLiteral("quit-question-") + suffix);
                question->close();
            } else {
                fail(QStringLiteral("quitting during a hide asked nothing"));
            }
            QTest::mouseClick(main.progressView()->encryptCancelBtn(), Qt::LeftButton);
        });
    // The bytes are through in less time than the panel takes to slide up (their syncing
    // takes longer): the panel is put up first, as the add itself would, so that it stands
    // when the walk is under way.
    main.progressView()->addAnimation();
    QTest::qWait(ProgressPanel::kSlideMs + 100);
    main.AddFileActionForPaths({big, small});
    if (!QTest::qWaitFor([&main] { return main.vaultController()->busy(); }, 1000)) {
        fail(QStringLiteral("the add did not start"));
    }
    waitUntilIdle(main);
    QObject::disconnect(watch);
    if (!taken) {
        fail(QStringLiteral("the hide ended before it could be taken"));
    }
    save(delegate.mainWindow(), QStringLiteral("main-cancelled-") + suffix);
    if (!holdsPattern(big, kBigSize)) {
        fail(QStringLiteral("the cancelled hide did not leave %1 whole").arg(big));
    }

    // The item's file is gone: its eye only brings up the alert.
    QFile::remove(big);
    main.visableBtnAction(main.selected_ItemList.indexOf(shownItem(main, QStringLiteral("Holiday video.mkv"))));
    saveAlert(main, QStringLiteral("alert-missing-item-") + suffix);
    waitUntilIdle(main);
}

// A second vault where an unhide was cut short, as a crash leaves it: its journal says the
// item was being restored, and the unfinished file lies beside where it goes. The next
// login sets it right and says what it did.
void renderRepair(const QString& root, const QString& documents, const QString& suffix) {
    const QString vault = root + QStringLiteral("/Family Vault.flp");
    QDir().mkpath(vault + QStringLiteral("/Notes"));
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), vault);
    const QString file = documents + QStringLiteral("/Insurance policy.pdf");
    if (!writePatternFile(file, 1 << 20)) {
        fail(QStringLiteral("cannot write %1").arg(file));
        return;
    }
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    MainViewController* main = logIn(delegate);
    if (!main) {
        fail(QStringLiteral("login did not open the second vault"));
        return;
    }
    main->AddFileActionForPaths({file});
    if (!QTest::qWaitFor([main] { return main->vaultController()->busy(); }, 1000)) {
        fail(QStringLiteral("the add did not start"));
    }
    waitUntilIdle(*main);
    const FileModelPtr record = shownItem(*main, QStringLiteral("Insurance policy.pdf"));
    if (!record || !record->isEncrtypt) {
        fail(QStringLiteral("the second vault's item was not hidden"));
        return;
    }
    const walk::ItemPaths paths = walk::pathsForRecord(*record);
    delegate.lockTessaroAction();
    if (!QTest::qWaitFor([&delegate] { return delegate.loginView() != nullptr; }, 10000)) {
        fail(QStringLiteral("the second vault did not lock"));
        return;
    }

    vault::JournalEntry entry;
    entry.operation = vault::JournalEntry::Operation::Unhide;
    entry.phase = vault::JournalEntry::Phase::Walking;
    entry.plainPath = paths.plainPath;
    entry.storedTop = paths.storedTop;
    entry.temporary = QString::fromLatin1(walk::kRestoreTemporaryPrefix) + QStringLiteral("Q7fLx2");
    entry.startedMs = QDateTime::currentMSecsSinceEpoch();
    const QString unfinished = documents + QLatin1Char('/') + entry.temporary;
    if (!writePatternFile(unfinished, 300000) || !vault::appendJournal(vault, entry)) {
        fail(QStringLiteral("cannot leave an unhide half-done"));
        return;
    }
    main = logIn(delegate);
    if (!main) {
        fail(QStringLiteral("login did not reopen the second vault"));
        return;
    }
    saveAlert(*main, QStringLiteral("alert-vault-repaired-") + suffix);
    if (QFileInfo::exists(unfinished)) {
        fail(QStringLiteral("the repair left %1").arg(unfinished));
    }
}

FileModelPtr item(const QString& name, const QString& folder, qint64 size, bool hidden, qint64 addDate) {
    auto m = std::make_shared<FileModel>();
    m->name = name;
    m->path = folder + QLatin1Char('/') + name;
    m->fileSize = size;
    m->isEncrtypt = hidden;
    m->addDate = addDate;
    m->createDate = addDate - 86400;
    return m;
}

GroupModelPtr addGroup(RowList& rows, const QString& name, const QString& key) {
    GroupModelPtr g = makeGroupRow(name, key, false, 1760000000);
    rows.insert(rows.size() - 1, g);
    return g;
}

void populate(MainViewController& main, const QString& home, bool chinese) {
    Catalogue& c = main.catalogue;
    const QString key = QString::fromLatin1(kLocalListKey);
    RowList& local = c.groupDirList;
    const QString docs = home + QStringLiteral("/Documents");
    const QString pics = home + QStringLiteral("/Pictures");
    *local[1]->fileModels << item(QStringLiteral("Tax Return 2025.pdf"), docs, 1843221, true, 1760100000)
                          << item(QStringLiteral("passport-scan.jpg"), pics, 3254779, true, 1760200000)
                          << item(QStringLiteral("Lease agreement.docx"), docs, 88412, false, 1760300000);
    GroupModelPtr work = addGroup(local, chinese ? QStringLiteral("工作") : QStringLiteral("Work"), key);
    *work->fileModels << item(QStringLiteral("Q3 Forecast.xlsx"), docs, 402113, true, 1760400000)
                      << item(QStringLiteral("Client contracts"), docs, 73400320, true, 1760500000)
                      << item(QStringLiteral("salary-review.txt"), docs, 2210, false, 1760600000);
    GroupModelPtr family = addGroup(local, chinese ? QStringLiteral("家庭照片") : QStringLiteral("Family Photos"), key);
    *family->fileModels << item(QStringLiteral("photo.jpg"), pics, 5123456, true, 1760700000)
                        << item(QStringLiteral("Wedding 2019"), pics, 2415919104LL, true, 1760800000);
    renumberRowList(local);

    // A removable drive with a vault on it.
    const QString vaultKey = QStringLiteral("KINGSTON/Travel.flp");
    QDir().mkpath(Volumes::pathFor(vaultKey));
    RowList drive = Catalogue::defaultRemovableList(QStringLiteral("KINGSTON"), vaultKey, 1760000000);
    const QString stick = Volumes::pathFor(QStringLiteral("KINGSTON"));
    *drive[1]->fileModels << item(QStringLiteral("Itinerary.pdf"), stick, 241503, true, 1760900000)
                          << item(QStringLiteral("Visa photos"), stick, 8421376, true, 1761000000)
                          << item(QStringLiteral("packing-list.txt"), stick, 1204, false, 1761100000);
    for (const FileModelPtr& i : *drive[1]->fileModels) {
        i->groupName = vaultKey;
    }
    renumberRowList(drive);
    c.UPLibrary.insert(vaultKey, drive);

    main.setLeftScrollView();
}

// Notes made as a user makes them: the add button, a title, then formatted text.
void writeNotes(NotesPane& pane, bool chinese) {
    const QStringList titles = chinese ? QStringList{QStringLiteral("恢复代码"), QStringLiteral("Wi-Fi 密码"), QStringLiteral("银行账户")}
                                       : QStringList{QStringLiteral("Recovery codes"), QStringLiteral("Wi-Fi passwords"),
                                                     QStringLiteral("Bank accounts")};
    for (const QString& title : titles) {
        pane.addNoteAction();
        pane.titleField()->setText(title);
        pane.renameFromTitleField();
    }
    TSTextView& editor = *pane.editor();
    QTextCursor cursor(editor.document());
    auto run = [&cursor](const QString& text, auto&& shape) {
        QTextCharFormat format;
        shape(format);
        cursor.insertText(text, format);
    };
    run(chinese ? QStringLiteral("主账户\n") : QStringLiteral("Main account\n"), [](QTextCharFormat& f) {
        f.setFontWeight(QFont::Bold);
        f.setFontPointSize(18);
    });
    run(chinese ? QStringLiteral("开户行：城市银行  ") : QStringLiteral("Bank: City Savings  "), [](QTextCharFormat&) {});
    run(QStringLiteral("IBAN DE89 3704 0044 0532 0130 00\n"), [](QTextCharFormat& f) { f.setForeground(QColor(0x0E, 0x7C, 0x74)); });
    run(chinese ? QStringLiteral("切勿通过电子邮件发送。\n") : QStringLiteral("Never send it by e-mail.\n"), [](QTextCharFormat& f) {
        f.setFontItalic(true);
        f.setForeground(QColor(0xC0, 0x39, 0x2B));
    });
    run(chinese ? QStringLiteral("— 2026 年更新") : QStringLiteral("— updated 2026"), [](QTextCharFormat& f) { f.setFontUnderline(true); });
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    cursor.mergeBlockFormat(right);
    pane.flush();
}

// A menu popped up where a right click at `point` of `view` opens it.
void saveRowMenu(QWidget* window, QAbstractItemView* view, QMenu* menu, const QPoint& point, const QString& name) {
    if (!menu) {
        fail(QStringLiteral("no menu for %1").arg(name));
        return;
    }
    menu->popup(view->viewport()->mapToGlobal(point));
    saveWithMenu(window, menu, name);
    menu->hide();
}

// The item row's menu and the information window of a hidden and a visible item of the
// all-items row; the drive header's one-entry menu.
void renderItemCommands(AppDelegate& delegate, MainViewController& main, const QString& suffix) {
    main.leftMouseUp(1);
    for (const QString& name : {QStringLiteral("passport-scan.jpg"), QStringLiteral("Lease agreement.docx")}) {
        const FileModelPtr item = shownItem(main, name);
        if (!item) {
            fail(QStringLiteral("no item %1").arg(name));
            continue;
        }
        const qsizetype row = main.itemModel()->rowOf(item.get());
        clickRow(main, item);
        const QString state = item->isEncrtypt ? QStringLiteral("hidden-") : QStringLiteral("visible-");
        const QRect rect = main.itemListView()->visualRect(main.itemModel()->index(static_cast<int>(row)));
        saveRowMenu(delegate.mainWindow(), main.itemListView(), main.groupChildFile_Menu(row),
                    QPoint(rect.left() + 160, rect.center().y()), QStringLiteral("item-context-menu-") + state + suffix);
        main.showFileInfo(item);
        QTest::qWait(100);
        if (FileInfoWindowController* info = main.fileInfoWindow()) {
            save(info, QStringLiteral("file-info-") + state + suffix);
            info->close();
        }
    }
    const qsizetype header = sidebarRowWhere(main, [](const SidebarEntry& e) { return e.isRemovableVault && e.isHeader; });
    const QRect headerRect = main.sidebarView()->visualRect(main.sidebarModel()->index(static_cast<int>(header)));
    saveRowMenu(delegate.mainWindow(), main.sidebarView(), main.group_itemMenu(header), headerRect.center(),
                QStringLiteral("drive-header-menu-") + suffix);
}

// The notes sorted by title, Z to A, and a note row's menu.
void renderNoteCommands(AppDelegate& delegate, MainViewController& main, const QString& suffix) {
    main.NotesSortpopAction(2);
    main.NotesSortpopAction(5);
    main.notesPane()->openRow(0);  // the formatted note comes first in this order
    save(delegate.mainWindow(), QStringLiteral("main-notes-sorted-") + suffix);
    ItemListView* list = main.notesListView();
    const QRect first = list->visualRect(list->model()->index(0, 0));
    saveRowMenu(delegate.mainWindow(), list, main.note_itemMenu(0), first.center(), QStringLiteral("note-menu-") + suffix);
    main.NotesSortpopAction(1);
    main.NotesSortpopAction(4);
}

// A dialog of the application shown now, by object name.
QWidget* shownDialog(const QString& objectName) {
    QWidget* found = nullptr;
    QTest::qWaitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == objectName && w->isVisible()) {
                found = w;
            }
        }
        return found != nullptr;
    }, 5000);
    if (!found) {
        fail(QStringLiteral("no %1 shown").arg(objectName));
    }
    return found;
}

// The questions of a drive: a file on a drive without a vault (create one? then its name), and
// a vault made on another computer (its password).
void renderDrivePrompts(MainViewController& main, const QString& root, const QString& suffix) {
    const QString sandisk = root + QStringLiteral("/media/SANDISK");
    QDir().mkpath(sandisk);
    const QString file = sandisk + QStringLiteral("/Budget 2026.xlsx");
    writePatternFile(file, 4096);
    // With the vault of another drive selected, the file is refused and the user told why.
    main.AddFileActionForPaths({file});
    saveAlert(main, QStringLiteral("drive-other-volume-") + suffix);
    main.leftMouseUp(sidebarRowWhere(main, [](const SidebarEntry& e) {
        return e.groupName == QString::fromLatin1(kLocalListKey) && e.groupRow == 1;
    }));
    main.AddFileActionForPaths({file});
    if (auto* question = qobject_cast<QMessageBox*>(shownDialog(QStringLiteral("question")))) {
        save(question, QStringLiteral("drive-create-question-") + suffix);
        // The first answer: create, which asks for the name.
        for (QAbstractButton* button : question->buttons()) {
            if (question->buttonRole(button) == QMessageBox::DestructiveRole) {
                button->click();
            }
        }
        if (QWidget* prompt = shownDialog(QStringLiteral("textPrompt"))) {
            if (auto* field = prompt->findChild<QLineEdit*>()) {
                field->setText(QStringLiteral("Finance"));
            }
            save(prompt, QStringLiteral("drive-name-prompt-") + suffix);
            prompt->close();
        }
    }
    // A vault from another computer: the password is asked for.
    const QString key = QStringLiteral("SANDISK/Shared.flp");
    RowList shared = Catalogue::defaultRemovableList(QStringLiteral("SANDISK"), key, 1760000000);
    shared[0]->macAddress = QStringLiteral("3c:22:fb:01:02:03");
    main.catalogue.UPLibrary.insert(key, shared);
    if (!main.catalogue.saveUpListForName(key, std::nullopt)) {
        fail(QStringLiteral("no foreign vault written"));
    }
    main.catalogue.UPLibrary.remove(key);
    main.AddFileActionForPaths({sandisk + QStringLiteral("/Shared.flp")});
    if (QWidget* prompt = shownDialog(QStringLiteral("textPrompt"))) {
        if (auto* field = prompt->findChild<QLineEdit*>()) {
            field->setText(QStringLiteral("secret"));
        }
        save(prompt, QStringLiteral("drive-password-prompt-") + suffix);
        prompt->close();
    }
    QApplication::processEvents();
}

void renderMainWindow(const QString& root, const QString& suffix, bool chinese) {
    const QString vault = root + QStringLiteral("/My Vault.flp");
    QDir().mkpath(vault + QStringLiteral("/Notes"));
    SettingsStore::setValue(QString::fromLatin1(keys::kRootDirKey), vault);
    SettingsStore::setValue(QString::fromLatin1(keys::kSOUREPASSWORD), QStringLiteral("screenshots"));
    SettingsStore::setValue(QString::fromLatin1(keys::FirstRun), true);
    SettingsStore::setValue(QString::fromLatin1(keys::mainWindowSizeWidth), 1040.0);
    SettingsStore::setValue(QString::fromLatin1(keys::mainWindowSizeHeight), 640.0);
    SettingsStore::setValue(QString::fromLatin1(keys::kPASSWORDHINTCONTENT), chinese ? QStringLiteral("我们第一只猫的名字") : QStringLiteral("our first cat's name"));

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    QApplication::processEvents();
    save(delegate.mainWindow(), QStringLiteral("login-") + suffix);
    // Four wrong tries bring up the hint, six the fixed message.
    loginViewcontroller* login = delegate.loginView();
    login->passwordTextField()->setText(QStringLiteral("wrong"));
    for (int i = 0; i < 4; ++i) {
        login->enterAction();
    }
    QTest::qWait(400);
    save(delegate.mainWindow(), QStringLiteral("login-hint-") + suffix);
    for (int i = 0; i < 2; ++i) {
        login->enterAction();
    }
    QTest::qWait(400);
    save(delegate.mainWindow(), QStringLiteral("login-message-") + suffix);

    login->passwordTextField()->setText(QStringLiteral("screenshots"));
    login->enterAction();
    QApplication::processEvents();
    MainViewController* main = delegate.mainView();
    if (!main) {
        fail(QStringLiteral("login did not open the main window"));
        return;
    }
    const QString home = root + QStringLiteral("/alex");
    QDir().mkpath(home + QStringLiteral("/Documents"));
    populate(*main, home, chinese);
    QApplication::processEvents();
    save(delegate.mainWindow(), QStringLiteral("main-all-items-") + suffix);

    // Hiding for real, a cancel and a missing item, in the group "Work"; then the action
    // button's menu for a visible item there.
    renderRealWalks(delegate, *main, home + QStringLiteral("/Documents"), suffix);
    if (const FileModelPtr salary = shownItem(*main, QStringLiteral("salary-review.txt"))) {
        clickRow(*main, salary);
    }
    main->popUpFileItemMenu();
    saveWithMenu(delegate.mainWindow(), main->fileItemMenu(), QStringLiteral("item-menu-") + suffix);
    main->fileItemMenu()->hide();

    // The open panel of Add Files, which takes files and folders alike.
    main->addFilesAction();
    QApplication::processEvents();
    if (auto* panel = main->findChild<QFileDialog*>(QStringLiteral("openPanel"))) {
        QTest::qWait(300);
        save(panel, QStringLiteral("open-panel-") + suffix);
        panel->reject();
    }

    // A user group, sorted by name, descending.
    main->leftMouseUp(3);
    main->sortpopAction(2);
    main->sortpopAction(8);
    save(delegate.mainWindow(), QStringLiteral("main-group-sorted-") + suffix);
    if (QMenu* groupMenu = main->group_itemMenu(2)) {
        groupMenu->popup(main->sidebarView()->viewport()->mapToGlobal(
            main->sidebarView()->visualRect(main->sidebarModel()->index(2)).center()));
        saveWithMenu(delegate.mainWindow(), groupMenu, QStringLiteral("group-menu-") + suffix);
        groupMenu->hide();
    }
    renderItemCommands(delegate, *main, suffix);

    QMenu* menu = main->applicationDockMenu();
    menu->popup(main->sortButton()->mapToGlobal(QPoint(0, main->sortButton()->height())));
    QApplication::processEvents();
    save(menu, QStringLiteral("sort-menu-") + suffix);
    menu->hide();

    // Search across every group.
    main->leftMouseUp(1);
    main->searchField()->setText(QStringLiteral("pho"));
    save(delegate.mainWindow(), QStringLiteral("main-search-") + suffix);
    main->searchField()->clear();

    // The removable drive and the notes.
    main->leftMouseUp(sidebarRowWhere(*main, [](const SidebarEntry& e) { return e.isRemovableVault && e.groupRow == 1; }));
    save(delegate.mainWindow(), QStringLiteral("main-drive-") + suffix);
    screenshots::renderChangePassword(delegate.mainWindow(), QStringLiteral("KINGSTON/Travel.flp"), suffix, chinese, save);
    renderDrivePrompts(*main, root, suffix);
    main->leftMouseUp(sidebarRowWhere(*main, [](const SidebarEntry& e) { return e.isGroupNote && e.groupRow == 1; }));
    save(delegate.mainWindow(), QStringLiteral("main-notes-empty-") + suffix);
    writeNotes(*main->notesPane(), chinese);
    save(delegate.mainWindow(), QStringLiteral("main-notes-") + suffix);
    saveMenuBar(delegate, QStringLiteral("main"), suffix);
    // The other language at once, without a restart, and back.
    delegate.setLange(chinese ? 2 : 1);
    save(delegate.mainWindow(), QStringLiteral("main-notes-switched-") + suffix);
    delegate.setLange(chinese ? 1 : 2);
    renderNoteCommands(delegate, *main, suffix);

    // A change that cannot be stored: the vault root has turned into a plain file.
    main->leftMouseUp(1);
    QDir().rename(vault, vault + QStringLiteral(".moved"));
    QFile blocker(vault);
    if (blocker.open(QIODevice::WriteOnly)) {
        blocker.close();
    }
    main->leftMouseUp(sidebarRowWhere(*main, [](const SidebarEntry& e) { return e.isAddItem; }));
    QApplication::processEvents();
    if (main->currentAlert()) {
        save(main->currentAlert(), QStringLiteral("alert-save-failed-") + suffix);
        main->currentAlert()->close();
    }
    QFile::remove(vault);
    QDir().rename(vault + QStringLiteral(".moved"), vault);

    // The smallest main window.
    delegate.mainWindow()->setContentSize(QSize(800, 420));
    QApplication::processEvents();
    save(delegate.mainWindow(), QStringLiteral("main-minimum-") + suffix);
}

// Each pane of the preferences, over the vault made for the main window.
void renderPreferences(const QString& suffix) {
    SettingsStore::setValue(QString::fromLatin1(keys::kTESSAROWHENIDLE), 3);
    auto* window = new PreferencesWindowController;  // deletes itself on close
    window->showModal(nullptr);
    const char* panes[] = {"general", "password", "shortcuts", "advanced"};
    for (int i = 0; i < 4; ++i) {
        window->toolBarAction(i + 1);
        QTest::qWait(50);
        save(window, QStringLiteral("preferences-%1-").arg(QLatin1String(panes[i])) + suffix);
    }
    window->close();
}

void renderLanguage(const QString& suffix, int languageValue, const QString& base) {
    const QString root = base + QStringLiteral("/") + suffix;
    QDir().mkpath(root + QStringLiteral("/media"));
    SettingsStore::useFile(root + QStringLiteral("/Tessaro.conf"));
    Volumes::setRoot(root + QStringLiteral("/media"));
    SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), languageValue);
    LanguageBundle::setLanguage();
    const bool chinese = languageValue == 1;

    {
        // First run: every page of the guide, the password page with its fields filled in.
        AppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        GuideViewController* guide = delegate.guideView();
        saveMenuBar(delegate, QStringLiteral("guide"), suffix);
        for (int page = 0; guide && page < guide->pageCount(); ++page) {
            guide->pageView()->PageActionBlock(page);
            QTest::qWait(400);
            if (page == guide->pageCount() - 1) {
                QTest::keyClicks(guide->passwordTextField(), QStringLiteral("secret"));
                QTest::keyClicks(guide->sourePasswordTextField(), QStringLiteral("secret"));
                guide->passwordHitTextField()->setText(chinese ? QStringLiteral("我们第一只猫") : QStringLiteral("our first cat"));
                guide->sourePasswordTextField()->setFocus();
                QTest::qWait(200);
            }
            save(delegate.mainWindow(), QStringLiteral("guide-%1-").arg(page + 1) + suffix);
        }

        // The welcome tutorial: its first page and its last, with the close button.
        delegate.showWelcomeTutorialAction();
        QApplication::processEvents();
        if (WelcomeWindowController* welcome = delegate.welcomeWindow()) {
            save(welcome, QStringLiteral("welcome-1-") + suffix);
            welcome->guide()->pageView()->PageActionBlock(welcome->guide()->pageCount() - 1);
            QTest::qWait(400);
            save(welcome, QStringLiteral("welcome-4-") + suffix);
            welcome->black();
        }
    }

    renderMainWindow(root, suffix, chinese);
    renderPreferences(suffix);
    renderRepair(root, root + QStringLiteral("/alex/Documents"), suffix);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // A desktop-sized offscreen screen, so that the main window can take its stored size.
        const QString config = home.path() + QStringLiteral("/screens.json");
        QFile file(config);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(R"({"screens":[{"name":"main","x":0,"y":0,"width":1600,"height":1000,)"
                       R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
            file.close();
        }
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    }
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaro"));
    QApplication::setOrganizationName(QStringLiteral("Tessaro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaro"));
    ui::installIconThemeFallback();
    setLogToStderr(false);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessaro-screenshots <output directory>\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    renderLanguage(QStringLiteral("en"), 2, home.path());
    renderLanguage(QStringLiteral("zh"), 1, home.path());
    return 0;
}
