// Locking with the session over a private bus, and one instance per user.
#include "access/session_lock_listener.h"
#include "access/single_instance.h"

#include "support/private_bus.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>

using namespace tessaro::access;
using tessaro::testing::PrivateBus;
using tessaro::testing::waitUntil;

namespace {

const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

}  // namespace

TEST(SessionLockListener, ScreenLockAndSleepAskForALockAndNothingElseDoes) {
    // Without buses there is nothing to listen to, and nothing fails.
    const SessionLockListener unconnected(QDBusConnection(QStringLiteral("a")), QDBusConnection(QStringLiteral("b")));
    EXPECT_EQ(unconnected.subscriptionCount(), 0);
    PrivateBus bus;
    ASSERT_TRUE(bus.isReady()) << bus.error().toStdString();
    // The private bus stands for both: the screensaver variants on the session side, sleep on the system side.
    SessionLockListener listener(bus.client(), bus.client());
    EXPECT_EQ(listener.subscriptionCount(), SessionLockListener::screenSaverInterfaces().size() + 1);
    QSignalSpy locks(&listener, &SessionLockListener::lockRequested);
    const QString login = QStringLiteral("/org/freedesktop/login1");
    const QString manager = QStringLiteral("org.freedesktop.login1.Manager");

    QList<QStringList> locking;
    for (const QString& interface : SessionLockListener::screenSaverInterfaces()) {
        locking << QStringList{kScreenSaverPath, interface, QStringLiteral("ActiveChanged")};
    }
    locking << QStringList{login, manager, QStringLiteral("PrepareForSleep")};
    for (const QStringList& signal : locking) {
        ASSERT_TRUE(bus.emitSignal(signal[0], signal[1], signal[2], {true}));
        EXPECT_TRUE(waitUntil([&] { return locks.size() == locking.indexOf(signal) + 1; })) << signal[1].toStdString();
    }
    // The screen coming back, waking up, a signal of another name, or another interface lock nothing.
    const QString screenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, screenSaver, QStringLiteral("ActiveChanged"), {false}));
    ASSERT_TRUE(bus.emitSignal(login, manager, QStringLiteral("PrepareForSleep"), {false}));
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, screenSaver, QStringLiteral("WakeUpScreen"), {}));
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, QStringLiteral("org.example.Other"), QStringLiteral("ActiveChanged"), {true}));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(locks.size(), locking.size());
}

TEST(SingleInstance, LeftoversOfAKilledInstanceDoNotBlockTheNextOne) {
    QTemporaryDir runtime;
    // A lock file naming a process that has ended, and the socket file it left.
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    ASSERT_TRUE(ended.waitForStarted());
    const qint64 deadPid = ended.processId();
    ASSERT_TRUE(ended.waitForFinished());
    {
        SingleInstance probe(runtime.path());
        QFile lock(probe.lockPath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\ntessaro\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QFile socket(probe.socketPath());
        ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    }
    SingleInstance next(runtime.path());
    EXPECT_EQ(next.claim(1000), SingleInstance::Claim::First);
    // And it answers the launch after it (the real second launch is driven in the widget tests).
    auto later = std::async(std::launch::async, [&runtime] { return SingleInstance(runtime.path()).claim(); });
    ASSERT_TRUE(waitUntil([&] { return later.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }, 8000));
    EXPECT_EQ(later.get(), SingleInstance::Claim::HandedOver);
}
