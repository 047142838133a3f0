#include "access/single_instance.h"

#include "access/log_lines.h"
#include "core/log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace tessaro::access {

namespace {

constexpr char kSocketName[] = "tessaro.socket";
constexpr char kLockName[] = "tessaro.lock";
// One line each way: the later launch asks, the running one confirms.
constexpr char kActivate[] = "activate\n";
constexpr char kActivated[] = "ok\n";

}  // namespace

QString SingleInstance::runtimeDirectory() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

SingleInstance::SingleInstance(const QString& directory, QObject* parent)
    : QObject(parent), directory_(directory), lock_(std::make_unique<QLockFile>(lockPath())) {
    // A lock left by a process that died is taken over: QLockFile sees that its process
    // is gone.
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() {
    server_.close();
    // QLockFile removes the lock file when it goes.
}

QString SingleInstance::socketPath() const { return QDir(directory_).filePath(QString::fromLatin1(kSocketName)); }
QString SingleInstance::lockPath() const { return QDir(directory_).filePath(QString::fromLatin1(kLockName)); }

SingleInstance::Claim SingleInstance::claim(int answerTimeoutMs) {
    QDir().mkpath(directory_);
    QElapsedTimer waited;
    waited.start();
    while (!lock_->tryLock(0)) {
        // Another instance runs (or is just starting): ask it to come forward.
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(250)) {
            socket.write(kActivate);
            socket.waitForBytesWritten(answerTimeoutMs);
            if (socket.waitForReadyRead(answerTimeoutMs) && socket.readLine().startsWith("ok")) {
                logLine(QString::fromUtf8(loglines::kInstanceHandedOver));
                return Claim::HandedOver;
            }
        }
        if (waited.elapsed() > answerTimeoutMs) {
            logLine(QString::fromUtf8(loglines::kInstanceUnreachable).arg(lockPath()));
            return Claim::Unreachable;
        }
        QThread::msleep(50);
    }
    // The lock is ours, so a socket file left there belongs to a process that is gone.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath())) {
        // Still the only instance; later launches will not find it, but the lock keeps
        // them from opening the vault.
        logLine(QString::fromUtf8(loglines::kInstanceListenFailed).arg(socketPath(), server_.errorString()));
    }
    return Claim::First;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            if (socket->readLine() == QByteArray(kActivate)) {
                emit activationRequested();
                socket->write(kActivated);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

}  // namespace tessaro::access
