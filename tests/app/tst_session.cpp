// A second launch of the application hands over to the running one. (The screen lock's
// wiring is driven with the session-lock setting in the preferences test.)
#include "access/single_instance.h"
#include "app/app_delegate.h"
#include "app/custom_window.h"
#include "core/log.h"
#include "support/private_bus.h"
#include "support/test_environment.h"
#include "support/widget_test_main.h"

#include <QProcess>
#include <QSignalSpy>

using namespace tessaro;
using tessaro::testing::TestEnvironment;
using tessaro::testing::waitUntil;

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setLogToStderr(false); }

    void aSecondLaunchBringsTheFirstToTheFront() {
        TestEnvironment env;
        QTemporaryDir runtime;
        access::SingleInstance first(runtime.path());
        QCOMPARE(first.claim(), access::SingleInstance::Claim::First);
        AppDelegate delegate;
        QObject::connect(&first, &access::SingleInstance::activationRequested, &delegate,
                         &AppDelegate::applicationShouldHandleReopen);
        delegate.applicationDidFinishLaunching();
        delegate.mainWindow()->showMinimized();
        QSignalSpy activations(&first, &access::SingleInstance::activationRequested);

        // The real application, launched again by the same user.
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("HOME"), env.base());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), env.base() + QStringLiteral("/second-config"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(TESSARO_BUILT_BIN_DIR "/tessaro"), {});
        QVERIFY2(second.waitForStarted(), qPrintable(second.errorString()));
        QVERIFY(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(activations.size(), 1);
        QVERIFY(!delegate.mainWindow()->isMinimized());
        QVERIFY(delegate.mainWindow()->isVisible());
        // It opened nothing of its own: no settings of its own were written.
        QVERIFY(!QFileInfo::exists(env.base() + QStringLiteral("/second-config")));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<SessionTest>(argc, argv); }

#include "tst_session.moc"
