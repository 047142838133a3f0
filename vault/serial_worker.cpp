#include "vault/serial_worker.h"

#include <QMetaObject>

namespace tessaro::vault {

SerialWorker::SerialWorker() : thread_([this] { run(); }) {}

SerialWorker::~SerialWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void SerialWorker::submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool SerialWorker::busy() const {
    std::lock_guard lock(mutex_);
    return running_ || !jobs_.empty();
}

void SerialWorker::waitForIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_ && jobs_.empty(); });
}

void SerialWorker::post(QObject* receiver, std::function<void()> step) {
    QPointer<QObject> guard(receiver);
    QMetaObject::invokeMethod(
        receiver,
        [guard, step = std::move(step)] {
            if (guard) {
                step();
            }
        },
        Qt::QueuedConnection);
}

void SerialWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (stopping_) {
            return;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        job();
        lock.lock();
        running_ = false;
        if (jobs_.empty()) {
            idle_.notify_all();
        }
    }
}

}  // namespace tessaro::vault
