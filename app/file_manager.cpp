#include "app/file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace tessaro {

namespace {

FileManager::Handler& testHandler() {
    static FileManager::Handler handler;
    return handler;
}

QString& testBus() {
    static QString name;
    return name;
}

bool openFolderOf(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace

void FileManager::setHandlerForTests(Handler handler) { testHandler() = std::move(handler); }

void FileManager::setBusForTests(const QString& connectionName) { testBus() = connectionName; }

void FileManager::showItem(const QString& path, QObject* context, std::function<void(bool shown)> done) {
    const QPointer<QObject> alive(context);
    auto answer = [alive, done = std::move(done)](bool shown) {
        if (alive && done) {
            done(shown);
        }
    };
    if (testHandler()) {
        const bool shown = testHandler()(path);
        QTimer::singleShot(0, [answer, shown] { answer(shown); });
        return;
    }
    QDBusConnection bus = testBus().isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(testBus());
    if (!bus.isConnected()) {
        answer(openFolderOf(path));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // Asked without waiting: a file manager being started by the bus can take seconds.
    // A hung file manager must not leave the click unanswered: the folder opens instead.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, path, answer] {
        watcher->deleteLater();
        answer(!watcher->isError() || openFolderOf(path));
    });
}

}  // namespace tessaro
