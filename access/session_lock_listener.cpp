#include "access/session_lock_listener.h"

#include "access/log_lines.h"
#include "core/log.h"

namespace tessaro::access {

namespace {

constexpr char kActiveChanged[] = "ActiveChanged";
constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
constexpr char kPrepareForSleep[] = "PrepareForSleep";

}  // namespace

QStringList SessionLockListener::screenSaverInterfaces() {
    return {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
            QStringLiteral("org.mate.ScreenSaver"), QStringLiteral("org.cinnamon.ScreenSaver"),
            QStringLiteral("org.xfce.ScreenSaver")};
}

SessionLockListener::SessionLockListener(const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                                         QObject* parent)
    : QObject(parent), session_(sessionBus), system_(systemBus) {
    // Any sender and any path: the screensaver's well-known name differs between desktops,
    // and a lock that is asked for by mistake costs the user only a password.
    if (session_.isConnected()) {
        for (const QString& interface : screenSaverInterfaces()) {
            if (session_.connect(QString(), QString(), interface, QString::fromLatin1(kActiveChanged), this,
                                 SLOT(screenSaverActiveChanged(bool)))) {
                ++subscriptions_;
            }
        }
    } else {
        logLine(QString::fromUtf8(loglines::kSessionLockUnavailable).arg(QStringLiteral("session")));
    }
    if (system_.isConnected()) {
        if (system_.connect(QString(), QString(), QString::fromLatin1(kLogindManager),
                            QString::fromLatin1(kPrepareForSleep), this, SLOT(prepareForSleep(bool)))) {
            ++subscriptions_;
        }
    } else {
        logLine(QString::fromUtf8(loglines::kSessionLockUnavailable).arg(QStringLiteral("system")));
    }
}

SessionLockListener::~SessionLockListener() {
    if (session_.isConnected()) {
        for (const QString& interface : screenSaverInterfaces()) {
            session_.disconnect(QString(), QString(), interface, QString::fromLatin1(kActiveChanged), this,
                                SLOT(screenSaverActiveChanged(bool)));
        }
    }
    if (system_.isConnected()) {
        system_.disconnect(QString(), QString(), QString::fromLatin1(kLogindManager),
                           QString::fromLatin1(kPrepareForSleep), this, SLOT(prepareForSleep(bool)));
    }
}

SessionLockListener* SessionLockListener::forDesktop(QObject* parent) {
    return new SessionLockListener(QDBusConnection::sessionBus(), QDBusConnection::systemBus(), parent);
}

void SessionLockListener::screenSaverActiveChanged(bool active) {
    if (active) {
        logLine(QString::fromUtf8(loglines::kSessionLock).arg(QStringLiteral("screen locked")));
        emit lockRequested();
    }
}

void SessionLockListener::prepareForSleep(bool starting) {
    if (starting) {
        logLine(QString::fromUtf8(loglines::kSessionLock).arg(QStringLiteral("going to sleep")));
        emit lockRequested();
    }
}

}  // namespace tessaro::access
