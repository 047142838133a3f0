#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace tessaro::access {

// One window per user: two would each hold a copy of the catalogue and overwrite each
// other's changes. The first instance holds a lock file and listens on a local socket in
// the user's runtime directory; a later one asks it to come to the front and quits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The user's runtime directory ($XDG_RUNTIME_DIR, or Qt's private fallback).
    static QString runtimeDirectory();

    explicit SingleInstance(const QString& directory = runtimeDirectory(), QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        First,        // this process runs the window; it now listens
        HandedOver,   // another one runs and was asked to come to the front
        Unreachable,  // another one holds the lock but does not answer
    };
    Claim claim(int answerTimeoutMs = 3000);

    QString socketPath() const;
    QString lockPath() const;

signals:
    // A later launch asked this one to come to the front.
    void activationRequested();

private:
    void acceptConnections();

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

}  // namespace tessaro::access
