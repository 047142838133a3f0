#include "crypto/hardware_address.h"

#include "core/log.h"
#include "core/log_lines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace tessaro {

namespace {

QMutex addressMutex;
std::optional<QString> cachedAddress;
std::function<std::optional<QString>()> addressSource;

QString readSmallFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLatin1(f.read(256)).trimmed();
}

}  // namespace

std::optional<QString> readHardwareAddressFrom(const QString& sysClassNetDirectory) {
    static const QRegularExpression form(QStringLiteral("^([0-9a-f]{2}:){5}[0-9a-f]{2}$"));
    struct Candidate {
        bool physical;
        bool global;
        QString name;
        QString address;
    };
    std::vector<Candidate> candidates;
    const QDir dir(sysClassNetDirectory);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : names) {
        const QString base = dir.filePath(name);
        // type 1 is Ethernet (ARPHRD_ETHER); Wi-Fi interfaces report it too.
        if (readSmallFile(base + QStringLiteral("/type")) != QLatin1String("1")) {
            continue;
        }
        const QString address = readSmallFile(base + QStringLiteral("/address")).toLower();
        if (!form.match(address).hasMatch() || address == QLatin1String(kPlaceholderMacAddress)) {
            continue;
        }
        const bool physical = QFileInfo::exists(base + QStringLiteral("/device"));
        const bool global = (address.left(2).toInt(nullptr, 16) & 0x02) == 0;
        candidates.push_back({physical, global, name, address});
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        if (a.physical != b.physical) return a.physical;
        if (a.global != b.global) return a.global;
        return a.name < b.name;
    });
    return candidates.front().address;
}

void setHardwareAddressSource(std::function<std::optional<QString>()> source) {
    QMutexLocker lock(&addressMutex);
    addressSource = std::move(source);
    cachedAddress.reset();
}

QString getMacAddress() {
    QMutexLocker lock(&addressMutex);
    if (!cachedAddress) {
        const std::optional<QString> read =
            addressSource ? addressSource() : readHardwareAddressFrom(QStringLiteral("/sys/class/net"));
        if (read && read->size() == 17) {
            cachedAddress = *read;
        } else {
            logLine(QString::fromUtf8(loglines::kMacAddressFailed));
            cachedAddress = QString::fromLatin1(kPlaceholderMacAddress);
        }
    }
    return *cachedAddress;
}

}  // namespace tessaro
