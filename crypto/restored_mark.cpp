#include "crypto/restored_mark.h"

#include <QMutex>
#include <QMutexLocker>

namespace tessaro::walk {

namespace {

QMutex marksLock;
QString firstMark = QStringLiteral(" (restored)");
QString numberedMark = QStringLiteral(" (restored %1)");

bool usableInName(const QString& mark) {
    return !mark.trimmed().isEmpty() && !mark.contains(QLatin1Char('/')) && !mark.contains(QChar(0));
}

}  // namespace

QString restoredMark(int n) {
    const QMutexLocker locked(&marksLock);
    return n == 1 ? firstMark : QString(numberedMark).replace(QStringLiteral("%1"), QString::number(n));
}

void setRestoredMarks(const QString& first, const QString& numbered) {
    // The numbered mark must name its number, or every later copy would get the same name.
    if (!usableInName(first) || !usableInName(numbered) || !numbered.contains(QStringLiteral("%1"))) {
        return;
    }
    const QMutexLocker locked(&marksLock);
    firstMark = first;
    numberedMark = numbered;
}

}  // namespace tessaro::walk
