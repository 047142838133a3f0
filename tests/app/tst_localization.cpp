// Every localization key the code asks for has an English and a Chinese text, and the two
// agree on their placeholders. The keys are found by reading the sources, so a key added
// to the code without its texts fails here rather than showing up raw in a window.
#include "core/localized_text.h"
#include "support/strings_table.h"
#include "support/widget_test_main.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace tessaro;
using tessaro::testing::stringsTable;

namespace {

// Keys the code builds from a pattern, with the last number it fills in (counting from 1).
// A new pattern in the code fails the test until it is listed here.
const QHash<QString, int> kBuiltKeys{
    {QStringLiteral("SortbyItem%1"), 8},
    {QStringLiteral("NotesSortbyItem%1"), 5},
    {QStringLiteral("file_Item%1"), 4},
    {QStringLiteral("group_Item%1"), 4},
    {QStringLiteral("weekItem%1.stringValue"), 7},
    {QStringLiteral("monthiItem%1.stringValue"), 12},
};

struct SourceKeys {
    // Passed to a lookup call as they stand, or literals named as keys are (handed to a
    // lookup through a table).
    QSet<QString> looked;
    QSet<QString> patterns;  // passed to a lookup call with a number filled in
};

SourceKeys scanSources() {
    // ui::text("k"), text("k"), localizedStringForKey(QStringLiteral("k") ...), with the
    // wrappers the code uses around the literal.
    static const QRegularExpression lookup(QStringLiteral(
        "(?:\\btext|localizedStringForKey)\\(\\s*(?:QStringLiteral|QString::fromLatin1|QLatin1String|QString::fromUtf8)?"
        "\\(?\\s*\"([^\"\\\\]+)\""));
    static const QRegularExpression literal(QStringLiteral(
        "\"([A-Za-z_][A-Za-z0-9_\\-]*\\.(?:stringValue|stringvalue|title|text|placeholderString|toolTip|message|accessibleName))\""));
    SourceKeys keys;
    for (const char* folder : {"app", "controls", "core", "crypto", "vault", "access", "notes", "tools"}) {
        QDirIterator it(QStringLiteral(TESSARO_BUILT_SOURCE_DIR "/") + QLatin1String(folder), {"*.cpp", "*.h"},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const QString source = QString::fromUtf8(file.readAll());
            for (const auto& match : lookup.globalMatch(source)) {
                const QString key = match.captured(1);
                (key.contains(QLatin1String("%1")) ? keys.patterns : keys.looked).insert(key);
            }
            for (const auto& match : literal.globalMatch(source)) {
                keys.looked.insert(match.captured(1));
            }
        }
    }
    return keys;
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    QStringList found;
    for (const auto& match : marker.globalMatch(text)) {
        found << match.captured();
    }
    found.sort();
    return found;
}

}  // namespace

class LocalizationTest : public QObject {
    Q_OBJECT
private slots:
    // Every key the code uses, and every Chinese key, has its English text; every English
    // text has a Chinese one, empty in both languages or neither, with the same placeholders.
    void everyKeyHasBothTextsAndTheyAgree() {
        const QHash<QString, QString> en = stringsTable("en");
        const QHash<QString, QString> zh = stringsTable("zh-Hans");
        QVERIFY(!en.isEmpty() && !zh.isEmpty());
        const SourceKeys sources = scanSources();
        QVERIFY2(sources.looked.size() > 100, "the source scan found almost no lookups");

        QSet<QString> wanted = sources.looked + QSet<QString>(zh.keyBegin(), zh.keyEnd());
        for (const QString& pattern : sources.patterns) {
            QVERIFY2(kBuiltKeys.contains(pattern), qPrintable(QStringLiteral("list the numbers of %1").arg(pattern)));
            for (int n = 1; n <= kBuiltKeys.value(pattern); ++n) {
                wanted.insert(pattern.arg(n));
            }
        }

        QStringList faults;
        for (const QString& key : std::as_const(wanted)) {
            if (!en.contains(key)) {
                faults << QStringLiteral("en lacks \"%1\"").arg(key);
            }
        }
        for (auto it = en.cbegin(); it != en.cend(); ++it) {
            const QString other = zh.value(it.key());
            if (!zh.contains(it.key())) {
                faults << QStringLiteral("zh-Hans lacks \"%1\"").arg(it.key());
            } else if (it.value().isEmpty() != other.isEmpty()) {
                faults << QStringLiteral("\"%1\" is empty in one language only").arg(it.key());
            } else if (placeholders(it.value()) != placeholders(other)) {
                faults << QStringLiteral("\"%1\" has other placeholders in Chinese").arg(it.key());
            }
        }
        faults.sort();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char** argv) { return tessaro::testing::runWidgetTest<LocalizationTest>(argc, argv); }

#include "tst_localization.moc"
