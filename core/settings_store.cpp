#include "core/settings_store.h"

#include "core/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {

namespace {

QMutex pathMutex;
QString overriddenPath;

QString defaultPath() {
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return configHome + QStringLiteral("/Tessaro/Tessaro.conf");
}

// Creates the file with mode 0600 in a folder of mode 0700 before QSettings ever writes
// it, whatever the umask, and tightens the modes that some earlier version left open to
// others. The folder is only tightened when it is a real folder of the user's.
void ensurePrivateFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    fs::makePath(QFile::decodeName(folder), 0700);
    struct stat st {};
    if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 07777) != 0700) {
        ::chmod(folder.constData(), 0700);
    }
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    }
    ::chmod(native.constData(), 0600);
}

}  // namespace

void SettingsStore::useFile(const QString& path) {
    QMutexLocker lock(&pathMutex);
    overriddenPath = path;
}

QString SettingsStore::filePath() {
    QMutexLocker lock(&pathMutex);
    return overriddenPath.isEmpty() ? defaultPath() : overriddenPath;
}

bool SettingsStore::contains(const QString& key) {
    QSettings s(filePath(), QSettings::IniFormat);
    return s.contains(key);
}

QVariant SettingsStore::value(const QString& key) {
    QSettings s(filePath(), QSettings::IniFormat);
    return s.value(key);
}

bool SettingsStore::boolValue(const QString& key) {
    const QVariant v = value(key);
    return v.isValid() && v.toBool();
}

qint64 SettingsStore::intValue(const QString& key) {
    return value(key).toLongLong();
}

double SettingsStore::doubleValue(const QString& key) {
    return value(key).toDouble();
}

QString SettingsStore::stringValue(const QString& key) {
    const QVariant v = value(key);
    return v.isValid() ? v.toString() : QString();
}

QStringList SettingsStore::stringList(const QString& key) {
    const QVariant v = value(key);
    if (!v.isValid()) {
        return {};
    }
    // A one-element list comes back from the INI file as a plain string.
    if (v.typeId() == QMetaType::QString) {
        return {v.toString()};
    }
    return v.toStringList();
}

const settings::KeyEntry* SettingsStore::entryFor(const QString& key) {
    for (const settings::KeyEntry& entry : settings::kAll) {
        if (key == QLatin1String(entry.key)) {
            return &entry;
        }
    }
    return nullptr;
}

bool SettingsStore::flag(const char* key) {
    const QVariant v = value(QString::fromLatin1(key));
    if (!v.isValid()) {
        const settings::KeyEntry* entry = entryFor(QString::fromLatin1(key));
        return entry && entry->defaultValue != 0;
    }
    // "1", "0", and the "true"/"false" a hand edit or an older writer may have left.
    return v.toBool();
}

int SettingsStore::choice(const char* key) {
    const settings::KeyEntry* entry = entryFor(QString::fromLatin1(key));
    const QVariant v = value(QString::fromLatin1(key));
    if (!entry) {
        return static_cast<int>(v.toLongLong());
    }
    if (!v.isValid()) {
        return entry->defaultValue;
    }
    bool isNumber = false;
    const qint64 index = v.toLongLong(&isNumber);
    if (!isNumber || index < 0 || index >= entry->choices) {
        return entry->outOfRange;
    }
    return static_cast<int>(index);
}

bool SettingsStore::setFlag(const char* key, bool on) {
    return setValue(QString::fromLatin1(key), on ? 1 : 0);
}

bool SettingsStore::setChoice(const char* key, int index) {
    return setValue(QString::fromLatin1(key), index);
}

bool SettingsStore::setValue(const QString& key, const QVariant& value) {
    return setValues({{key, value}});
}

bool SettingsStore::setValues(const QList<std::pair<QString, QVariant>>& values) {
    const QString path = filePath();
    ensurePrivateFile(path);
    QSettings s(path, QSettings::IniFormat);
    if (s.status() != QSettings::NoError) {
        return false;
    }
    const auto apply = [&s](const QList<std::pair<QString, QVariant>>& list) {
        for (const auto& [key, value] : list) {
            if (value.isValid()) {
                s.setValue(key, value);
            } else {
                s.remove(key);
            }
        }
    };
    QList<std::pair<QString, QVariant>> previous;
    for (const auto& entry : values) {
        previous.append({entry.first, s.contains(entry.first) ? s.value(entry.first) : QVariant()});
    }
    // QSettings writes the whole file to a temporary sibling and renames it into place on
    // sync, so a failure leaves the previous file as it was.
    apply(values);
    s.sync();
    if (s.status() == QSettings::NoError) {
        ::chmod(QFile::encodeName(path).constData(), 0600);
        return true;
    }
    // The unwritten values would stay in this process's settings cache and be written by
    // the next successful sync of any key; put the previous ones back in their place.
    apply(previous);
    s.sync();
    return false;
}

bool SettingsStore::remove(const QString& key) {
    const QString path = filePath();
    ensurePrivateFile(path);
    QSettings s(path, QSettings::IniFormat);
    s.remove(key);
    s.sync();
    return s.status() == QSettings::NoError;
}

}  // namespace tessaro
