#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace tessaro::access {

// Tells when the desktop session locks its screen or the machine is about to suspend, so
// that the vault can be locked with it. Listens for the screensaver's ActiveChanged(true)
// on the session bus (the freedesktop interface and the desktops' own variants) and for
// logind's PrepareForSleep(true) on the system bus. A bus that is not there is simply not
// listened to.
class SessionLockListener : public QObject {
    Q_OBJECT
public:
    // The screensaver interfaces listened to on the session bus.
    static QStringList screenSaverInterfaces();

    SessionLockListener(const QDBusConnection& sessionBus, const QDBusConnection& systemBus,
                        QObject* parent = nullptr);
    ~SessionLockListener() override;

    // The session and system buses of this desktop.
    static SessionLockListener* forDesktop(QObject* parent);

    // Subscriptions that took: 0 when neither bus is there.
    int subscriptionCount() const { return subscriptions_; }

signals:
    void lockRequested();

private slots:
    void screenSaverActiveChanged(bool active);
    void prepareForSleep(bool starting);

private:
    QDBusConnection session_;
    QDBusConnection system_;
    int subscriptions_ = 0;
};

}  // namespace tessaro::access
