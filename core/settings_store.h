#pragma once

#include "core/settings_keys.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace tessaro {

// The user-defaults store: one INI file, by default ~/.config/Tessaro/Tessaro.conf.
// Every access opens a short-lived QSettings on the file, so the store may be used from
// the walk thread and the main thread at once. The file holds the password, so it is
// kept readable by its owner only.
class SettingsStore {
public:
    // Switches the whole process to another settings file (tests, the command-line tool).
    static void useFile(const QString& path);
    static QString filePath();

    static bool contains(const QString& key);
    static QVariant value(const QString& key);
    // Absent keys read as false, 0, a null string or an empty list.
    static bool boolValue(const QString& key);
    static qint64 intValue(const QString& key);
    static double doubleValue(const QString& key);
    static QString stringValue(const QString& key);
    static QStringList stringList(const QString& key);

    // Typed by the table in settings_keys.h: a flag or a choice that was never written
    // reads as its default; a choice outside its items as the table says.
    static const settings::KeyEntry* entryFor(const QString& key);
    static bool flag(const char* key);
    static int choice(const char* key);
    // A flag is written as 0 or 1, a choice as its index. False when it was not written.
    [[nodiscard]] static bool setFlag(const char* key, bool on);
    [[nodiscard]] static bool setChoice(const char* key, int index);

    // Writes at once and flushes; returns false when the file could not be written.
    static bool setValue(const QString& key, const QVariant& value);
    static bool remove(const QString& key);
    // Several keys in one write that lands whole or not at all, in the given order; an
    // invalid QVariant removes its key. False (and the file unchanged) when it failed.
    static bool setValues(const QList<std::pair<QString, QVariant>>& values);
};

}  // namespace tessaro
