#include "core/log.h"

#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace tessaro {

namespace {
std::mutex logMutex;
LogCapture* activeCapture = nullptr;
std::atomic<bool> toStderr{true};
std::once_flag syslogOpened;
}  // namespace

void setLogToStderr(bool enabled) { toStderr = enabled; }

void logLine(const QString& line) {
    const QByteArray utf8 = line.toUtf8();
    // Without a system log to take them (a container, a minimal system), every line would
    // cost a failed connection attempt; the lines then go to standard error only.
    static const bool haveSystemLog = ::access("/dev/log", W_OK) == 0;
    if (haveSystemLog) {
        std::call_once(syslogOpened, [] { openlog("tessaro", LOG_PID | LOG_NDELAY, LOG_USER); });
        syslog(LOG_NOTICE, "%s", utf8.constData());
    }
    std::lock_guard<std::mutex> lock(logMutex);
    if (toStderr) {
        std::fprintf(stderr, "tessaro: %s\n", utf8.constData());
    }
    if (activeCapture) {
        activeCapture->captured_.append(line);
    }
}

LogCapture::LogCapture() {
    std::lock_guard<std::mutex> lock(logMutex);
    activeCapture = this;
}

LogCapture::~LogCapture() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (activeCapture == this) {
        activeCapture = nullptr;
    }
}

QStringList LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(logMutex);
    return captured_;
}

bool LogCapture::contains(const QString& fragment) const {
    const QStringList all = lines();
    for (const QString& l : all) {
        if (l.contains(fragment)) {
            return true;
        }
    }
    return false;
}

}  // namespace tessaro
