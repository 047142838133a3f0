#pragma once

#include <QString>
#include <QStringList>

namespace tessaro {

// One line per event, to the system log (journal) and to stderr. Never pass passwords,
// hints or note contents here.
void logLine(const QString& line);

// Lets a test see what was logged while it is alive (one capture at a time).
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    bool contains(const QString& fragment) const;

private:
    friend void logLine(const QString&);
    QStringList captured_;
};

// Tests and tools that print on their own terminal can silence stderr echoing.
void setLogToStderr(bool enabled);

}  // namespace tessaro
