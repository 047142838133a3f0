// Renders every window state offscreen into PNG files, in English and in Chinese, with a
// made-up vault, so that the look of the application can be checked without a desktop.
// Usage: tessaro-screenshots <output directory>
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/item_list_model.h"
#include "app/main_view_controller.h"
#include "app/item_list_view.h"
#include "app/progress_panel.h"
#include "app/guide_view_controller.h"
#include "app/login_viewcontroller.h"
#include "app/sidebar_model.h"
#include "app/ui_resources.h"
#include "app/welcome_window_controller.h"
#include "controls/ns_page_view.h"
#include "core/catalogue.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/volumes.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>

using namespace tessaro;

namespace {

QString outDir;

void save(QWidget* widget, const QString& name) {
    QApplication::processEvents();
    const QString path = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "tessaro-screenshots: cannot write %s\n", qPrintable(path));
        return;
    }
    std::printf("%s\n", qPrintable(path));
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
    const QString path = QDir(outDir).filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) {
        std::fprintf(stderr, "tessaro-screenshots: cannot write %s\n", qPrintable(path));
        return;
    }
    std::printf("%s\n", qPrintable(path));
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

// The walk over "Client contracts" is 42 % through, with the progress panel up; the other
// items of the group wait their turn.
void showHiding(MainViewController& main) {
    const FileModelPtr running = shownItem(main, QStringLiteral("Client contracts"));
    const FileModelPtr waiting = shownItem(main, QStringLiteral("Q3 Forecast.xlsx"));
    if (!running || !waiting) {
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    running->isEncrtypt = true;
    running->currentEncryptSize = running->fileSize.load() * 42 / 100;
    running->startEncryptDate = now - 20000;
    running->encryptDuration = now;
    main.setRowWalkState(running, WalkState::Hiding);
    main.setRowWalkState(waiting, WalkState::Hiding);
    running->cell->itemChanged();
    main.progressView()->addAnimation();
    main.progressView()->showProgressOf(*running);
    QTest::qWait(ProgressPanel::kSlideMs + 200);
}

void endHiding(MainViewController& main) {
    for (const FileModelPtr& item : main.itemModel()->items()) {
        item->currentEncryptSize = 0;
        main.setRowWalkState(item, WalkState::None);
        if (item->cell) {
            item->cell->itemChanged();
        }
    }
    main.progressView()->showCompleted();
    main.progressView()->removeAnimation();
    QTest::qWait(ProgressPanel::kSlideMs + 200);
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
    c.UPLibrary.insert(vaultKey, drive);

    RowList& notes = c.groupNoteList;
    auto note = [](const QString& name) {
        auto m = std::make_shared<FileModel>();
        m->name = name;
        m->isEncrtypt = true;
        m->fileSize = 2048;
        m->addDate = 1764000000 + static_cast<qint64>(name.size()) * 86400;
        return m;
    };
    *notes[1]->fileModels << note(chinese ? QStringLiteral("银行账户") : QStringLiteral("Bank accounts"))
                          << note(chinese ? QStringLiteral("Wi-Fi 密码") : QStringLiteral("Wi-Fi passwords"))
                          << note(chinese ? QStringLiteral("恢复代码") : QStringLiteral("Recovery codes"));
    renumberRowList(notes);
    main.setLeftScrollView();
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
        std::fprintf(stderr, "tessaro-screenshots: login did not open the main window\n");
        return;
    }
    populate(*main, QStringLiteral("/home/alex"), chinese);
    QApplication::processEvents();
    save(delegate.mainWindow(), QStringLiteral("main-all-items-") + suffix);

    // Hiding, with the progress panel; then the action button's menu for a visible item.
    showHiding(*main);
    save(delegate.mainWindow(), QStringLiteral("main-hiding-") + suffix);
    endHiding(*main);
    if (const FileModelPtr lease = shownItem(*main, QStringLiteral("Lease agreement.docx"))) {
        clickRow(*main, lease);
    }
    main->popUpFileItemMenu();
    saveWithMenu(delegate.mainWindow(), main->fileItemMenu(), QStringLiteral("item-menu-") + suffix);
    main->fileItemMenu()->hide();

    // The missing-item alert.
    main->alertItemMissing();
    QApplication::processEvents();
    if (auto* alert = main->findChild<QMessageBox*>(QStringLiteral("alert"))) {
        save(alert, QStringLiteral("alert-missing-item-") + suffix);
        alert->close();
    }

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
    for (qsizetype row = 0; row < main->sidebarModel()->count(); ++row) {
        if (main->sidebarModel()->entry(row).isRemovableVault && main->sidebarModel()->entry(row).groupRow == 1) {
            main->leftMouseUp(row);
            break;
        }
    }
    save(delegate.mainWindow(), QStringLiteral("main-drive-") + suffix);
    for (qsizetype row = 0; row < main->sidebarModel()->count(); ++row) {
        if (main->sidebarModel()->entry(row).isGroupNote && main->sidebarModel()->entry(row).groupRow == 1) {
            main->leftMouseUp(row);
            break;
        }
    }
    save(delegate.mainWindow(), QStringLiteral("main-notes-") + suffix);

    // A change that cannot be stored: the vault root has turned into a plain file.
    main->leftMouseUp(1);
    QDir().rename(vault, vault + QStringLiteral(".moved"));
    QFile blocker(vault);
    if (blocker.open(QIODevice::WriteOnly)) {
        blocker.close();
    }
    for (qsizetype row = 0; row < main->sidebarModel()->count(); ++row) {
        if (main->sidebarModel()->entry(row).isAddItem) {
            main->leftMouseUp(row);
            break;
        }
    }
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
