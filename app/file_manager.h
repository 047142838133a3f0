#pragma once

#include <QString>

#include <functional>

class QObject;

namespace tessaro {

// Shows an item in the desktop's file manager, selected in its folder. Desktops that offer
// the freedesktop FileManager1 service do exactly that; elsewhere the folder holding the
// item is opened with the desktop's handler for folders.
class FileManager {
public:
    // `done` runs on the calling thread, once the desktop has answered, with whether it
    // took the request; nothing here waits for it. Not run when `context` is gone by then.
    static void showItem(const QString& path, QObject* context, std::function<void(bool shown)> done);

    // Tests stand in for the desktop: `handler` answers every request instead (an empty
    // handler gives the desktop back).
    using Handler = std::function<bool(const QString& path)>;
    static void setHandlerForTests(Handler handler);
    // Tests send the request over a bus of their own (a connection known to Qt by this
    // name); an empty name gives the session bus back.
    static void setBusForTests(const QString& connectionName);

    // How long a file manager may take to answer before the folder is opened instead.
    static constexpr int kAnswerTimeoutMs = 10000;
    // How long the folder opener may run before it is taken to be showing the folder.
    static constexpr int kOpenerGraceMs = 5000;
};

}  // namespace tessaro
