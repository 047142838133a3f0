// What a user does with the window, end to end, offscreen: add by a drop and see the item
// hidden, hide and unhide all, hide a group, cancel a large hide, lock or quit in the middle
// of one, unhide an item whose place was taken. The walks really run, on the window's worker.
#include "app/app_delegate.h"
#include "app/item_list_model.h"
#include "app/item_list_view.h"
#include "app/main_view_controller.h"
#include "app/progress_panel.h"
#include "controls/modal_seam.h"
#include "core/catalogue.h"
#include "core/localized_text.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "crypto/item_paths.h"
#include "core/vault_lock.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"
#include "support/widget_events.h"
#include "support/window_steps.h"
#include "support/widget_test_main.h"
#include "vault/vault_controller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QTest>

using namespace tessaro;
using tessaro::testing::sendDrop;
using tessaro::testing::TestEnvironment;

namespace {

FileModelList itemsOf(const Catalogue& catalogue) {
    FileModelList all;
    for (const GroupModelPtr& row : catalogue.groupDirList) {
        if (row->fileModels) {
            all.append(*row->fileModels);
        }
    }
    return all;
}
FileModelList itemsOf(const MainViewController& main) { return itemsOf(main.catalogue); }

// The records of the local vault as the catalogue file on disk has them.
FileModelList savedItems() {
    Catalogue saved;
    saved.setUp(std::nullopt, false);
    return itemsOf(saved);
}

// "name: hidden" or "name: visible" for each record, in order; "(busy)" after a row of
// `model` that is still taken by a walk.
QStringList statesOf(const FileModelList& items, const ItemListModel* model = nullptr) {
    QStringList states;
    for (const FileModelPtr& item : items) {
        states << item->name + (item->isEncrtypt ? QStringLiteral(": hidden") : QStringLiteral(": visible")) +
                      (model && model->rowEditing(item.get()) ? QStringLiteral(" (busy)") : QString());
    }
    return states;
}

// The application logged in, with a home folder for the user's files.
struct Session : testing::LoggedInApp {
    QString home = env.base() + QStringLiteral("/home");
    Session() {
        QDir().mkpath(home);
        QVERIFY(main);
    }
    QString file(const QString& name, const QByteArray& bytes) {
        const QString path = home + QLatin1Char('/') + name;
        TestEnvironment::writeFile(path, bytes);
        return path;
    }
    // The walks are done and the panel has gone, so that the next command is taken.
    void idle() {
        main->vaultController()->waitUntilIdle();
        QTRY_VERIFY(!main->isProgressShown());
    }
    qsizetype shownRowOf(const FileModelPtr& item) const { return main->selected_ItemList.indexOf(item); }
};

}  // namespace

class VaultFlowsTest : public QObject {
    Q_OBJECT

public:
    enum class Way { LockButton, IdleLock, QuitMenu, CloseButton, QuitKeptWorking, QuitWhileLocking };
    Q_ENUM(Way)

private slots:
    void initTestCase() { setLogToStderr(false); }
    void init() { controls::ModalSeam::reset(); }

    // Unhide all from the action menu, hide a group from its menu (only its own items), hide
    // all from the button, each reaching the real walks and stored; the action button's mode
    // then points the way back.
    void hideAllUnhideAllAndHideGroup() {
        Session s;
        s.main->AddFileActionForPaths({s.file(QStringLiteral("a.txt"), "a")});
        s.idle();
        // A group of its own, selected, takes the next add.
        RowList& rows = s.main->catalogue.groupDirList;
        rows.insert(rows.size() - 1, makeGroupRow(QStringLiteral("Work"), QString::fromLatin1(kLocalListKey), false, 1));
        renumberRowList(rows);
        s.main->selectGroupIndex = 2;
        s.main->setLeftScrollView();
        s.main->AddFileActionForPaths({s.file(QStringLiteral("w1.txt"), "w1")});
        s.idle();

        s.main->setDoFileType(3);
        s.main->file_popAction(1);
        s.idle();
        QCOMPARE(statesOf(savedItems()), (QStringList{"a.txt: visible", "w1.txt: visible"}));
        QCOMPARE(s.main->doFileType(), 2);
        s.main->group_popAction(1, testing::sidebarRowOf(*s.main, QString::fromLatin1(kLocalListKey), 2));
        s.idle();
        QCOMPARE(statesOf(savedItems()), (QStringList{"a.txt: visible", "w1.txt: hidden"}));
        s.main->setDoFileType(1);
        QTest::mouseClick(s.main->rightBottom_leftBtn(), Qt::LeftButton);
        s.idle();
        QCOMPARE(statesOf(savedItems()), (QStringList{"a.txt: hidden", "w1.txt: hidden"}));
        QCOMPARE(s.main->doFileType(), 3);
    }

    void aCancelledLargeHideKeepsThePlainItemAndLeavesNoPartialCopy() {
        Session s;
        const QByteArray bytes = testing::patternBytes(160 << 20, 5);
        const QString big = s.file(QStringLiteral("big.iso"), bytes);
        // Cancel at the first progress the panel shows, from the panel's button; the panel
        // answers the click at once, and no later step of the stopping walk overwrites it.
        FileModelPtr item;
        QStringList panelTexts;
        QObject::connect(s.main->vaultController(), &vault::VaultController::walkProgress, s.main,
                         [&](const FileModelPtr& walking, vault::VaultController::Kind, bool) {
                             if (item) {
                                 panelTexts << s.main->progressView()->text();
                             } else if (walking->currentEncryptSize.load() > 0) {
                                 item = walking;
                                 QVERIFY(s.main->progressView()->isProgressShown());
                                 emit s.main->progressView()->cancelClicked();
                                 panelTexts << s.main->progressView()->text();
                             }
                         });
        s.main->AddFileActionForPaths({big});
        QTRY_VERIFY_WITH_TIMEOUT(item, 20000);
        s.idle();
        QVERIFY(!item->isEncrtypt);
        QCOMPARE(TestEnvironment::readFile(big), bytes);
        QCOMPARE(QDir(walk::itemContainerFor(*item)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(!savedItems().first()->isEncrtypt);
        // The panel does not call a stopped hide done.
        QCOMPARE(panelTexts.first(), QStringLiteral("Stopping…"));
        QCOMPARE(panelTexts.count(QStringLiteral("Stopping…")), panelTexts.size());
        QCOMPARE(s.main->progressView()->text(), QStringLiteral("Stopped"));
    }

    void aVisibleItemThatWasRemovedIsReportedAndNothingElseHappens() {
        Session s;
        const QString gone = s.file(QStringLiteral("gone.txt"), "gone");
        const QString moved = s.file(QStringLiteral("moved.txt"), "first words");
        s.main->AddFileActionForPaths({gone, moved});
        s.idle();
        s.main->setDoFileType(3);
        s.main->file_popAction(1);  // unhide all: the stored copies stay in the vault
        s.idle();
        const FileModelPtr goneItem = itemsOf(*s.main).at(0);
        const FileModelPtr movedItem = itemsOf(*s.main).at(1);

        // No copy anywhere: nothing changes, and the alert says so.
        QVERIFY(QFile::remove(walk::pathsForRecord(*goneItem).storedTop));
        QVERIFY(QFile::remove(gone));
        s.main->visableBtnAction(s.shownRowOf(goneItem));
        QTRY_VERIFY(s.main->currentAlert());
        s.idle();
        QVERIFY(s.main->currentAlert()->informativeText().contains(QStringLiteral("nothing was changed")));
        QVERIFY(s.main->currentAlert()->informativeText().contains(gone));
        s.main->currentAlert()->close();
        QTRY_VERIFY(!s.main->currentAlert());

        // The copy kept by unhiding all is what is left: the item goes back to it, is listed
        // hidden, and the alert does not claim that nothing changed. Showing it brings the
        // kept copy back.
        TestEnvironment::writeFile(moved, "second words");
        QVERIFY(QFile::rename(moved, s.home + QStringLiteral("/elsewhere.txt")));
        s.main->visableBtnAction(s.shownRowOf(movedItem));
        QTRY_VERIFY(s.main->currentAlert());
        s.idle();
        const QString told = s.main->currentAlert()->informativeText();
        QVERIFY2(!told.contains(QStringLiteral("nothing was changed")), qPrintable(told));
        QVERIFY(told.contains(QStringLiteral("listed as hidden")));
        s.main->currentAlert()->close();
        QTRY_VERIFY(!s.main->currentAlert());
        s.main->visableBtnAction(s.shownRowOf(movedItem));
        QTRY_VERIFY_WITH_TIMEOUT(!movedItem->isEncrtypt, 20000);
        s.idle();
        QCOMPARE(TestEnvironment::readFile(moved), QByteArray("first words"));
        QCOMPARE(TestEnvironment::readFile(s.home + QStringLiteral("/elsewhere.txt")), QByteArray("second words"));
    }

    void dropsAddOnceAndTheWindowStaysResponsive() {
        Session s;
        const QString a = s.file(QStringLiteral("photo one.png"), testing::patternBytes(96 << 20, 9));
        QWidget* target = s.main->itemListView()->viewport();
        sendDrop(target, {QUrl::fromLocalFile(a), QUrl::fromLocalFile(a)});
        sendDrop(target, {QUrl::fromLocalFile(a)});
        // The event loop keeps turning while the worker hides: a timer fires on time.
        QElapsedTimer beat;
        beat.start();
        qint64 longest = 0;
        qint64 last = 0;
        QTimer heartbeat;
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            longest = std::max(longest, beat.elapsed() - last);
            last = beat.elapsed();
        });
        heartbeat.start(5);
        QTRY_VERIFY(s.main->vaultController()->busy());
        const qint64 started = beat.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT(!s.main->vaultController()->busy(), 30000);
        const qint64 busyFor = beat.elapsed() - started;
        heartbeat.stop();
        // Had the hide run on the window's thread, one beat would have waited for all of it.
        // (How short the longest wait is, is measured by tessaro-bench, not here.)
        QVERIFY2(longest * 2 < busyFor, qPrintable(QStringLiteral("%1 of %2 ms").arg(longest).arg(busyFor)));
        QVERIFY(!QFileInfo::exists(a));
        // Added once, hidden, its row free again; the panel goes, calling the work done.
        QCOMPARE(statesOf(savedItems(), s.main->itemModel()), QStringList{"photo one.png: hidden"});
        QTRY_VERIFY(!s.main->isProgressShown());
        QCOMPARE(s.main->progressView()->text(), QStringLiteral("Completed"));
    }

    // Every way out during a hide ends it as the lock button does: the running walk is
    // cancelled (or had just ended), the waiting item is untouched, the catalogue says what
    // is on disk. Quit and close ask first, naming the item and its progress; "keep
    // working" goes on with the walk.
    void everyWayOutDuringAHideStopsItSafely_data() {
        QTest::addColumn<Way>("way");
        QTest::addRow("lock button") << Way::LockButton;
        QTest::addRow("idle lock") << Way::IdleLock;
        QTest::addRow("quit command") << Way::QuitMenu;
        QTest::addRow("window closed") << Way::CloseButton;
        QTest::addRow("quit, then keep working") << Way::QuitKeptWorking;
        QTest::addRow("quit while a lock stops the walk") << Way::QuitWhileLocking;
    }

    void everyWayOutDuringAHideStopsItSafely() {
        QFETCH(Way, way);
        Session s;
        int terminated = 0;
        s.delegate.setTerminateHandlerForTests([&] { ++terminated; });
        const QByteArray bytes = testing::patternBytes(64 << 20, 6);
        const QString big = s.file(QStringLiteral("视频.mp4"), bytes);
        const QString small = s.file(QStringLiteral("later.txt"), "later");
        s.main->AddFileActionForPaths({big, small});
        QTRY_VERIFY_WITH_TIMEOUT(s.main->vaultController()->current() &&
                                     s.main->vaultController()->current()->currentEncryptSize.load() > 0,
                                 20000);
        const bool asks = way == Way::QuitMenu || way == Way::CloseButton || way == Way::QuitKeptWorking;
        controls::ModalSeam::nextAnswer(way == Way::QuitKeptWorking ? QMessageBox::No : QMessageBox::Yes);
        switch (way) {
        case Way::LockButton: QTest::mouseClick(s.main->lockButton(), Qt::LeftButton); break;
        case Way::IdleLock:
            s.delegate.setIdleDelayProvider([](qint64) { return 0; });
            s.delegate.setAfterLock();
            break;
        case Way::QuitWhileLocking: QTest::mouseClick(s.main->lockButton(), Qt::LeftButton); [[fallthrough]];
        case Way::QuitMenu:
        case Way::QuitKeptWorking: s.delegate.menuItem(10, 9)->trigger(); break;
        case Way::CloseButton: QVERIFY(!s.delegate.mainWindow()->close()); break;
        }
        if (asks) {
            QTRY_COMPARE(controls::ModalSeam::alertCount(), 1);
            const QString asked = controls::ModalSeam::lastQuestion().message;
            QVERIFY2(asked.contains(QStringLiteral("“视频.mp4”")) && asked.contains(QStringLiteral("% done")),
                     qPrintable(asked));
            QCOMPARE(controls::ModalSeam::lastQuestion().safeTitle, QStringLiteral("Keep Working"));
        }
        if (way == Way::QuitKeptWorking) {
            s.idle();
            QCOMPARE(terminated, 0);
            QVERIFY(!QFileInfo::exists(big) && !QFileInfo::exists(small));
            return;
        }
        if (asks || way == Way::QuitWhileLocking) {
            QTRY_VERIFY_WITH_TIMEOUT(terminated == 1, 20000);
            QVERIFY(!s.delegate.mainView() || !s.delegate.mainView()->walkRunning());
        }
        if (!asks) {
            // Nothing asked: the lock (under way) ends the walk by itself.
            QCOMPARE(controls::ModalSeam::alertCount(), 0);
            QTRY_VERIFY_WITH_TIMEOUT(!s.delegate.mainView(), 20000);
        }
        const FileModelList saved = savedItems();
        QCOMPARE(saved.size(), 2);
        for (const FileModelPtr& item : saved) {
            const bool stored = QFileInfo::exists(walk::pathsForRecord(*item).storedTop);
            QVERIFY(item->isEncrtypt == stored);
            QVERIFY(QFileInfo::exists(item->path) == !stored);
        }
        QCOMPARE(TestEnvironment::readFile(small), QByteArray("later"));
        if (QFileInfo::exists(big)) {
            QCOMPARE(TestEnvironment::readFile(big), bytes);
        }
    }

    void inChineseAnItemPutBackBesideWhatTookItsPlaceIsToldInChinese() {
        Session s;
        const auto useLanguage = [&](int value) {
            QVERIFY(SettingsStore::setValue(QString::fromLatin1(keys::AppLanguage), value));
            LanguageBundle::setLanguage();
            s.main->langeuageAction();
        };
        useLanguage(1);
        const QString a = s.file(QStringLiteral("a.txt"), "mine");
        s.main->AddFileActionForPaths({a});
        s.idle();
        TestEnvironment::writeFile(a, "someone else's");
        const FileModelPtr item = itemsOf(*s.main).first();
        s.main->visableBtnAction(s.shownRowOf(item));
        QTRY_VERIFY_WITH_TIMEOUT(!item->isEncrtypt, 20000);
        s.idle();
        QCOMPARE(TestEnvironment::readFile(s.home + QStringLiteral("/a（已恢复）.txt")), QByteArray("mine"));
        QCOMPARE(TestEnvironment::readFile(a), QByteArray("someone else's"));
        QTRY_VERIFY(s.main->currentAlert());
        const QString told = s.main->currentAlert()->informativeText();
        QVERIFY2(told.contains(QStringLiteral("处现在有其他内容")) && !told.contains(QStringLiteral("something else")),
                 qPrintable(told));
        useLanguage(0);
    }

    void theWindowAndTheToolNeverWriteTheVaultAtOnce() {
        Session s;
        const QString a = s.file(QStringLiteral("a.txt"), "a");
        // While the window shows the vault, the tool waits briefly and says who holds it.
        const testing::ToolRun refused =
            testing::runVaultTool(s.env, {QStringLiteral("add"), a}, testing::passwordLine());
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("the Tessaro window"), refused.err.constData());
        QVERIFY(QFileInfo::exists(a));

        // The other way round: while another program holds it, the login says so and stays.
        s.delegate.lockTessaroAction();
        QTRY_VERIFY(!s.delegate.mainView());
        // Another process holds the vault directory's lock (flock(1), as any program may).
        QProcess other;
        // -o: the lock stays with flock itself, so that killing it releases the vault.
        other.start(QStringLiteral("flock"),
                    {QStringLiteral("-o"), s.env.vaultRoot(), QStringLiteral("sleep"), QStringLiteral("60")});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY(VaultLock::holderOf(s.env.vaultRoot()).has_value());
        controls::ModalSeam::nextAnswer(QMessageBox::Ok);
        QVERIFY(!testing::logIn(s.delegate));
        QTRY_VERIFY(controls::ModalSeam::alertCount() > 0);
        QVERIFY(controls::ModalSeam::lastAlert().informativeText.contains(QStringLiteral("being changed by")));
        QVERIFY(s.delegate.loginView());
        other.kill();
        other.waitForFinished();
        QVERIFY(testing::logIn(s.delegate));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<VaultFlowsTest>(argc, argv); }

#include "tst_vault_flows.moc"
