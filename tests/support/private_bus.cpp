#include "support/private_bus.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <QUuid>

namespace tessaro::testing {

bool waitUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

PrivateBus::PrivateBus() : server_(std::make_unique<QDBusServer>()) {
    name_ = QStringLiteral("tessaro-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!server_->isConnected()) {
        error_ = QStringLiteral("the test's D-Bus server did not start: ") + server_->lastError().message();
        return;
    }
    QObject::connect(server_.get(), &QDBusServer::newConnection, server_.get(), [this](const QDBusConnection& c) {
        serverSide_ = std::make_unique<QDBusConnection>(c);
    });
    client_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToPeer(server_->address(), name_));
    if (!client_->isConnected() || !waitUntil([this] { return serverSide_ != nullptr; })) {
        error_ = QStringLiteral("no connection to the test's D-Bus server: ") + client_->lastError().message();
    }
}

PrivateBus::~PrivateBus() {
    if (client_) {
        QDBusConnection::disconnectFromPeer(name_);
    }
}

bool PrivateBus::isReady() const { return error_.isEmpty() && serverSide_ && client_ && client_->isConnected(); }

QDBusConnection PrivateBus::client() const { return client_ ? *client_ : QDBusConnection(QString()); }

QDBusConnection PrivateBus::serverSide() const { return serverSide_ ? *serverSide_ : QDBusConnection(QString()); }

bool PrivateBus::emitSignal(const QString& path, const QString& interface, const QString& member,
                            const QVariantList& arguments) {
    if (!isReady()) {
        return false;
    }
    QDBusMessage message = QDBusMessage::createSignal(path, interface, member);
    message.setArguments(arguments);
    return serverSide_->send(message);
}

}  // namespace tessaro::testing
