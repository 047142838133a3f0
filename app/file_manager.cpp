#include "app/file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QUrl>

#include <memory>

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

// Opens the folder holding `path` with the desktop's handler for folders and answers
// whether that worked. Asking the desktop to open a URL only says that the opener started:
// on a machine without a file manager it tries a few browsers, fails, and the click would go
// unanswered. Its exit status says what happened; an opener still running after a while is
// showing the folder (some keep running as long as the window they opened).
void openFolderOf(const QString& path, const std::function<void(bool)>& answer) {
    auto* opener = new QProcess;
    auto answered = std::make_shared<bool>(false);
    auto once = [answered, answer](bool shown) {
        if (!*answered) {
            *answered = true;
            answer(shown);
        }
    };
    QObject::connect(opener, &QProcess::finished, opener, [opener, once](int exitCode, QProcess::ExitStatus status) {
        once(status == QProcess::NormalExit && exitCode == 0);
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, once](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            once(false);
            opener->deleteLater();
        }
    });
    // Unparented on purpose: a context that goes must not kill the file manager it started.
    QTimer::singleShot(FileManager::kOpenerGraceMs, opener, [once] { once(true); });
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    opener->start(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(QFileInfo(path).absolutePath()).toString()});
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
        openFolderOf(path, answer);
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
        if (watcher->isError()) {
            openFolderOf(path, answer);
        } else {
            answer(true);
        }
    });
}

}  // namespace tessaro
