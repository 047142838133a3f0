// The first-run guide and the welcome tutorial, driven through their real widgets: a new
// user pages through, is refused on bad passwords, chooses a location (the panel answered by
// the test) and lands in the main window with the vault on disk.
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "app/guide_view_controller.h"
#include "app/welcome_window_controller.h"
#include "controls/modal_seam.h"
#include "controls/ns_page_view.h"
#include "controls/shake.h"
#include "controls/ts_image_view.h"
#include "controls/ts_view.h"
#include "core/log.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>


using namespace tessaro;
using controls::ModalSeam;
using tessaro::testing::TestEnvironment;

namespace {

QString key(const char* k) { return QString::fromLatin1(k); }

// A press and a release inside one dot of the pager, or across two.
void pressDots(controls::NSPageView* pager, int pressed, int released) {
    QTest::mousePress(pager, Qt::LeftButton, {}, pager->dotRect(pressed).center());
    QTest::mouseRelease(pager, Qt::LeftButton, {}, pager->dotRect(released).center());
}

void clickForward(GuideViewController* guide) {
    QTest::mouseClick(guide->enterBtn(), Qt::LeftButton);
    QApplication::processEvents();
}

// Pages forward with the button to the password page.
void toPasswordPage(GuideViewController* guide) {
    while (guide->pageIndex() < guide->pageCount() - 1) {
        clickForward(guide);
    }
    QTRY_COMPARE(guide->enterBtn()->text(), QStringLiteral("Create Vault"));
}

}  // namespace

class GuideTest : public QObject {
    Q_OBJECT

private:
    QString videos_;

    // A first launch whose folder panel starts in the environment's own videos folder.
    GuideViewController* launchFirstRun(AppDelegate& delegate, const TestEnvironment& env) {
        videos_ = env.base() + QStringLiteral("/Videos");
        QDir().mkpath(videos_);
        delegate.applicationDidFinishLaunching();
        return delegate.guideView();
    }

private slots:
    void initTestCase() { setLogToStderr(false); }

    void init() {
        ModalSeam::reset();
        // The folder panel starts in a videos folder of the test's own.
        GuideViewController::setVideosFolderProvider([this] { return videos_; });
    }

    // A new user pages through, is refused (each refusal told or shaken, touching nothing and
    // leaving the guide usable), cancels the panel once, lands in the main window and later
    // opens the tutorial.
    void newUserCreatesAVaultAndLandsInTheMainWindow() {
        TestEnvironment env(false);
        AppDelegate delegate;
        GuideViewController* guide = launchFirstRun(delegate, env);
        QVERIFY(guide);
        QVERIFY(QTest::qWaitForWindowExposed(delegate.mainWindow()));
        QVERIFY(delegate.mainWindow()->customButtonsHidden());
        QCOMPARE(delegate.mainWindow()->contentSize(), QSize(800, 420));
        QCOMPARE(delegate.mainWindow()->minimumSize(), delegate.mainWindow()->maximumSize());
        // A first run creates nothing before the user has chosen where.
        QVERIFY(!SettingsStore::contains(key(keys::kRootDirKey)));
        QVERIFY(TestEnvironment::writeFile(videos_ + QStringLiteral("/Taken.flp"), "someone's file"));

        // Five dots, the sixth hidden; the forward button and the pager both page.
        controls::NSPageView* pager = guide->pageView();
        QCOMPARE(pager->count(), 5);
        clickForward(guide);
        QCOMPARE(pager->pageIndex(), 1);
        pressDots(pager, 2, 2);
        QCOMPARE(guide->pageIndex(), 2);
        QTRY_COMPARE(guide->scrollTarget(), -2 * guide->width());
        QCOMPARE((QList<QColor>{pager->dotColour(0), pager->dotColour(2)}), (QList<QColor>{QColor(26, 25, 25), Qt::white}));
        // Pressed in one dot, released in another: nothing new is selected.
        pressDots(pager, 0, 3);
        QCOMPARE(guide->pageIndex(), 2);
        // Where a sixth dot would be there is none to press.
        QTest::mouseClick(pager, Qt::LeftButton, {}, pager->dotRect(5).center());
        QCOMPARE(guide->pageIndex(), 2);
        toPasswordPage(guide);

        // The fields follow the focus; Return hands over to the confirmation.
        guide->passwordTextField()->setFocus();
        QTRY_COMPARE(guide->passwordFrame()->borderWidth(), 2.0);
        QCOMPARE(guide->confirmationFrame()->borderWidth(), 0.5);
        QTest::keyClick(guide->passwordTextField(), Qt::Key_Return);
        QTRY_VERIFY(guide->sourePasswordTextField()->hasFocus());
        QCOMPARE(guide->passwordFrame()->borderWidth(), 0.5);
        QCOMPARE(guide->confirmationFrame()->borderWidth(), 2.0);

        // Refused without a word: an empty password.
        clickForward(guide);
        QVERIFY(controls::isShaking(guide->passwordFrame()));

        // Each change turns the lock, a quarter of a circle at most; the hint field does not.
        guide->sourePasswordTextField()->setText(QStringLiteral("a"));
        const qreal turned = guide->lockView()->targetAngle();
        QVERIFY2(turned > 0 && turned <= M_PI_2 + 1e-6, qPrintable(QString::number(turned)));
        guide->passwordHitTextField()->setText(QStringLiteral("our cat"));
        QCOMPARE(guide->lockView()->targetAngle(), turned);

        // Refused without a word: a differing confirmation, which is cleared.
        guide->sourePasswordTextField()->clear();
        QTest::keyClicks(guide->passwordTextField(), QStringLiteral("s3cret"));
        QTest::keyClicks(guide->sourePasswordTextField(), QStringLiteral("s3creT"));
        clickForward(guide);
        QVERIFY(guide->sourePasswordTextField()->text().isEmpty());
        QCOMPARE(guide->passwordTextField()->text(), QStringLiteral("s3cret"));
        QVERIFY(controls::isShaking(guide->confirmationFrame()));
        QVERIFY(ModalSeam::lastSavePanel().title.isEmpty());
        QCOMPARE(ModalSeam::alertCount(), 0);
        QVERIFY(!SettingsStore::contains(key(keys::kSOUREPASSWORD)));

        // A pasted password with a line break is told and refused before any location is asked.
        guide->passwordTextField()->clear();
        guide->passwordTextField()->insert(QStringLiteral("pass\nword"));
        guide->sourePasswordTextField()->insert(QStringLiteral("pass\nword"));
        ModalSeam::nextAnswer(QMessageBox::Ok);
        clickForward(guide);
        QTRY_COMPARE(ModalSeam::alertCount(), 1);
        QVERIFY(ModalSeam::lastAlert().informativeText.contains(QStringLiteral("line break")));
        QVERIFY(ModalSeam::lastSavePanel().title.isEmpty());

        // A cancelled panel, then a file where the vault would go: nothing is made or changed.
        guide->passwordTextField()->setText(QStringLiteral("s3cret"));
        guide->sourePasswordTextField()->setText(QStringLiteral("s3cret"));
        guide->remmenberBtn()->setChecked(true);
        ModalSeam::nextFileNames({});
        clickForward(guide);
        QTRY_VERIFY(!guide->isChoosingLocation());
        QCOMPARE(ModalSeam::lastSavePanel().title, QStringLiteral("My Vault"));
        QCOMPARE(QDir(videos_).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Taken.flp"});
        ModalSeam::nextFileNames({videos_ + QStringLiteral("/Taken")});
        ModalSeam::nextAnswer(QMessageBox::Ok);
        clickForward(guide);
        QTRY_COMPARE(ModalSeam::alertCount(), 2);
        QTRY_VERIFY(!guide->isChoosingLocation());
        QVERIFY(ModalSeam::lastAlert().informativeText.contains(QStringLiteral("is not a folder")));
        QCOMPARE(TestEnvironment::readFile(videos_ + QStringLiteral("/Taken.flp")), QByteArray("someone's file"));
        QVERIFY(!SettingsStore::contains(key(keys::FirstRun)));

        // Agreed: the panel, answered with a folder in the videos folder.
        ModalSeam::nextFileNames({videos_ + QStringLiteral("/My Vault")});
        clickForward(guide);
        QTRY_VERIFY(delegate.mainView());
        const ModalSeam::SavePanelRequest& panel = ModalSeam::lastSavePanel();
        QCOMPARE((QStringList{panel.title, panel.suggestedName, panel.directory}), (QStringList{"My Vault", "My Vault", videos_}));

        // The vault where it was chosen (its layout and modes are the creation's own tests),
        // and the settings, as a later launch reads them.
        const QString root = videos_ + QStringLiteral("/My Vault.flp");
        QVERIFY(QFileInfo(root + QStringLiteral("/GroupDirlist.plist")).isFile());
        const QByteArray expected = "[General]\nAppLanguage=2\nFirstRun=true\nkPASSWORDHINTCONTENT=our cat\n"
                                    "kRootDirKey=" + QFile::encodeName(root) + "\nkSOUREPASSWORD=s3cret\n"
                                    "mainWindowSize.height=500\nmainWindowSize.width=800\nremmenberBtn.state=1\n";
        QCOMPARE(TestEnvironment::readFile(env.settingsFile()), expected);

        // The main window, grown to the stored size.
        QVERIFY(!delegate.mainWindow()->customButtonsHidden());
        QTRY_COMPARE(delegate.mainWindow()->contentSize(), QSize(800, 500));

        // The tutorial: four dots, and nothing stored.
        const QByteArray settingsBefore = TestEnvironment::readFile(env.settingsFile());
        delegate.showWelcomeTutorialAction();
        QPointer<WelcomeWindowController> welcome = delegate.welcomeWindow();
        QVERIFY(welcome && welcome->isVisible());
        QCOMPARE(welcome->windowModality(), Qt::ApplicationModal);
        GuideViewController* tutorial = welcome->guide();
        QCOMPARE(tutorial->pageView()->count(), 4);
        // The password page cannot be reached, not even through the pager; the last page closes.
        tutorial->pageView()->PageActionBlock(4);
        QCOMPARE(tutorial->pageIndex(), 3);
        QTRY_COMPARE(tutorial->enterBtn()->text(), QStringLiteral("Close"));
        clickForward(tutorial);
        QTRY_VERIFY(welcome.isNull());
        QCOMPARE(TestEnvironment::readFile(env.settingsFile()), settingsBefore);
        QVERIFY(delegate.mainView());

        // The next launch asks for the password.
        AppDelegate next;
        next.applicationDidFinishLaunching();
        QVERIFY(next.loginView());
        QVERIFY(!next.guideView());
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<GuideTest>(argc, argv); }

#include "tst_guide.moc"
