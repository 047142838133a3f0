// Locking with the session over a private bus, and one instance per user.
#include "access/session_lock_listener.h"
#include "access/single_instance.h"

#include "support/private_bus.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace tessaro::access;
using tessaro::testing::PrivateBus;
using tessaro::testing::waitUntil;

namespace {

const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

}  // namespace

TEST(SessionLockListener, ScreenLockAndSleepAskForALockAndNothingElseDoes) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isReady()) << bus.error().toStdString();
    SessionLockListener listener(bus.client(), QDBusConnection(QStringLiteral("not connected")));
    // Every screensaver variant on the session side; the missing system bus is fine.
    EXPECT_EQ(listener.subscriptionCount(), SessionLockListener::screenSaverInterfaces().size());
    QSignalSpy locks(&listener, &SessionLockListener::lockRequested);

    int expected = 0;
    for (const QString& interface : SessionLockListener::screenSaverInterfaces()) {
        ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, interface, QStringLiteral("ActiveChanged"), {true}));
        ++expected;
        EXPECT_TRUE(waitUntil([&] { return locks.size() == expected; })) << interface.toStdString();
    }
    // The screen coming back, a signal of another name, or another interface lock nothing.
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, QStringLiteral("org.freedesktop.ScreenSaver"),
                               QStringLiteral("ActiveChanged"), {false}));
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, QStringLiteral("org.freedesktop.ScreenSaver"),
                               QStringLiteral("WakeUpScreen"), {}));
    ASSERT_TRUE(bus.emitSignal(kScreenSaverPath, QStringLiteral("org.example.Other"), QStringLiteral("ActiveChanged"), {true}));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(locks.size(), expected);
}

TEST(SessionLockListener, SleepOnTheSystemBusLocks) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isReady()) << bus.error().toStdString();
    SessionLockListener listener(QDBusConnection(QStringLiteral("not connected")), bus.client());
    EXPECT_EQ(listener.subscriptionCount(), 1);
    QSignalSpy locks(&listener, &SessionLockListener::lockRequested);
    const QString path = QStringLiteral("/org/freedesktop/login1");
    const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
    ASSERT_TRUE(bus.emitSignal(path, manager, QStringLiteral("PrepareForSleep"), {false}));  // waking up
    ASSERT_TRUE(bus.emitSignal(path, manager, QStringLiteral("PrepareForSleep"), {true}));
    EXPECT_TRUE(waitUntil([&] { return locks.size() == 1; }));
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(locks.size(), 1);
}

TEST(SessionLockListener, NoBusesNoSubscriptions) {
    SessionLockListener listener(QDBusConnection(QStringLiteral("none a")), QDBusConnection(QStringLiteral("none b")));
    EXPECT_EQ(listener.subscriptionCount(), 0);
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
