#pragma once

#include <QDBusConnection>
#include <QDBusServer>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

namespace tessaro::testing {

// A bus of a test's own: a peer-to-peer D-Bus server in this process and one client
// connection to it. What the test sends from the server side arrives on `client()` as
// signals do from a real bus daemon, without touching the desktop's buses.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False when no peer connection could be made (the test then fails with the reason).
    bool isReady() const;
    QString error() const { return error_; }
    QDBusConnection client() const;
    // The server's end, where a test registers the objects that play a desktop service.
    QDBusConnection serverSide() const;
    // Emits `interface`.`member` with `arguments` from `path` towards the client.
    bool emitSignal(const QString& path, const QString& interface, const QString& member, const QVariantList& arguments);

private:
    std::unique_ptr<QDBusServer> server_;
    std::unique_ptr<QDBusConnection> serverSide_;
    std::unique_ptr<QDBusConnection> client_;
    QString name_;
    QString error_;
};

// Runs the event loop until `done()` or `milliseconds` have passed; returns done().
bool waitUntil(const std::function<bool()>& done, int milliseconds = 15000);

}  // namespace tessaro::testing
