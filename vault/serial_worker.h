#pragma once

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tessaro::vault {

// One thread that runs jobs one after another, in the order they were given, so that the
// window's event loop never waits on the disk. A job hands its result back by posting to
// a receiver on its own thread (`post`); the worker itself never touches a widget.
class SerialWorker {
public:
    SerialWorker();
    ~SerialWorker();  // finishes the running job, drops the waiting ones
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void submit(std::function<void()> job);
    // Whether a job runs or waits.
    bool busy() const;
    // Blocks until every job given so far has run (tests and the command-line tool).
    void waitForIdle();

    // Runs `step` on the thread of `receiver` (queued), unless the receiver is gone by then.
    static void post(QObject* receiver, std::function<void()> step);

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tessaro::vault
