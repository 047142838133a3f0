#include "core/localized_text.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>

namespace tessaro {

namespace {

constexpr char kDefaultDirectory[] = "en";
constexpr char kTableName[] = "Main.strings";

QMutex tableMutex;
bool redirected = false;
QHash<QString, QHash<QString, QString>> tables;

bool directoryExists(const QString& dir) {
    return QDir(QStringLiteral(":/%1.lproj").arg(dir)).exists();
}

// Before the first switch of a run the language follows the platform's preference, which
// the last switch wrote; without one it follows the system locale.
QString launchDirectory() {
    const QStringList preferred = SettingsStore::stringList(QString::fromLatin1(keys::AppleLanguages));
    const QString first = preferred.isEmpty() ? QLocale::system().name() : preferred.first();
    return first.startsWith(QLatin1String("zh")) ? QStringLiteral("zh-Hans") : QStringLiteral("en");
}

const QHash<QString, QString>& tableFor(const QString& dir) {
    auto it = tables.find(dir);
    if (it == tables.end()) {
        QFile file(QStringLiteral(":/%1.lproj/%2").arg(dir, QLatin1String(kTableName)));
        QHash<QString, QString> table;
        if (file.open(QIODevice::ReadOnly)) {
            table = LanguageBundle::parseStringsTable(QString::fromUtf8(file.readAll()));
        }
        it = tables.insert(dir, table);
    }
    return it.value();
}

QChar readEscape(const QString& text, qsizetype& i) {
    // i points at the character after the backslash.
    const QChar c = text.at(i);
    switch (c.unicode()) {
    case 'n': return QLatin1Char('\n');
    case 't': return QLatin1Char('\t');
    case 'r': return QLatin1Char('\r');
    case 'U':
    case 'u': {
        bool ok = false;
        const ushort code = text.mid(i + 1, 4).toUShort(&ok, 16);
        if (ok) {
            i += 4;
            return QChar(code);
        }
        return c;
    }
    default: return c;
    }
}

}  // namespace

QHash<QString, QString> LanguageBundle::parseStringsTable(const QString& text) {
    QHash<QString, QString> table;
    QStringList tokens;  // alternating key, value
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('/') && i + 1 < n && text.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == QLatin1Char('/') && i + 1 < n && text.at(i + 1) == QLatin1Char('/')) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'), i);
            i = end < 0 ? n : end + 1;
        } else if (c == QLatin1Char('"')) {
            QString token;
            ++i;
            while (i < n && text.at(i) != QLatin1Char('"')) {
                if (text.at(i) == QLatin1Char('\\') && i + 1 < n) {
                    ++i;
                    token.append(readEscape(text, i));
                } else {
                    token.append(text.at(i));
                }
                ++i;
            }
            ++i;
            tokens.append(token);
        } else if (c == QLatin1Char(';')) {
            if (tokens.size() == 2) {
                table.insert(tokens[0], tokens[1]);
            }
            tokens.clear();
            ++i;
        } else {
            ++i;
        }
    }
    return table;
}

QString LanguageBundle::directoryForLanguageValue(qint64 value) {
    switch (value) {
    case 1: return QStringLiteral("zh-Hans");
    case 3: return QStringLiteral("zh-Hant");
    case 4: return QStringLiteral("fr");
    case 5: return QStringLiteral("de");
    case 6: return QStringLiteral("ja");
    case 7: return QStringLiteral("es");
    default: return value >= 8 ? QStringLiteral("pt-PT") : QStringLiteral("en");
    }
}

QString LanguageBundle::currentDirectory() {
    bool useSetting = false;
    {
        QMutexLocker lock(&tableMutex);
        useSetting = redirected;
    }
    const QString dir = useSetting
                            ? directoryForLanguageValue(SettingsStore::intValue(QString::fromLatin1(keys::AppLanguage)))
                            : launchDirectory();
    return directoryExists(dir) ? dir : QString::fromLatin1(kDefaultDirectory);
}

QString LanguageBundle::localizedStringForKey(const QString& key) { return localizedStringForKey(key, key); }

QString LanguageBundle::localizedStringForKey(const QString& key, const QString& value) {
    const QString dir = currentDirectory();
    QMutexLocker lock(&tableMutex);
    const auto& table = tableFor(dir);
    const auto it = table.constFind(key);
    return it == table.constEnd() ? value : it.value();
}

void LanguageBundle::setLanguage() {
    QMutexLocker lock(&tableMutex);
    redirected = true;
}

void LanguageBundle::resetLanguage() {
    QMutexLocker lock(&tableMutex);
    redirected = false;
}

}  // namespace tessaro
