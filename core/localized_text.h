#pragma once

#include <QHash>
#include <QString>

namespace tessaro {

// The language-aware text lookup: every visible text is fetched by key from the table
// "Main" of the chosen language (":/<language>.lproj/Main.strings" in the resources).
class LanguageBundle {
public:
    // The text of `key`; the key itself when no table has it.
    static QString localizedStringForKey(const QString& key);
    // As above, with `value` as the fallback instead of the key.
    static QString localizedStringForKey(const QString& key, const QString& value);

    // From now on the setting "AppLanguage" decides the language (the first call installs
    // the redirection, later calls follow the setting's new value).
    static void setLanguage();
    // Back to the launch state: no redirection installed (tests).
    static void resetLanguage();

    // The table directory for a value of "AppLanguage" ("en", "zh-Hans", ...).
    static QString directoryForLanguageValue(qint64 value);
    // The directory the lookup uses at this moment, after the fallback to the default table.
    static QString currentDirectory();

    // Parses the text of a strings table ("key" = "value"; with comments and escapes).
    static QHash<QString, QString> parseStringsTable(const QString& text);
};

}  // namespace tessaro
