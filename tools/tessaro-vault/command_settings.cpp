// tessaro-vault settings: every setting with its value, one "key = value" line each: the
// keys the application knows in a fixed order (those never written say so), then whatever
// else the file holds. The password, the hint and the remember-password record are never
// printed, only whether they are set.
#include "tools/tessaro-vault/command.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"

#include <QFileInfo>
#include <QSettings>

namespace tessaro::cli {
namespace {

const char* const kKnownKeys[] = {
    keys::kRootDirKey,
    keys::FirstRun,
    keys::kSOUREPASSWORD,
    keys::kPASSWORDHINTCONTENT,
    keys::remmenberBtnState,
    keys::mainWindowSizeWidth,
    keys::mainWindowSizeHeight,
    keys::KUPNAMES,
    keys::AppLanguage,
    keys::AppleLanguages,
    keys::kTESSAROWHENIDLE,
    keys::kWhenquittingTessaro,
    keys::USEMENUBARASSISTANT,
    keys::kLAUNCHASSISTANTONLOGIN,
    keys::kSENDANONYMOUSUSAGEDATATOKALDERA,
    keys::kEraseremainingfiledatasecurelyafterhiding,
    keys::Whenunhidingviamenubarassistant,
    keys::WhenunhidingfromTessaroMainWindow,
    keys::Secureerasemethod,
    keys::kBackUptessaro,
};

// Earlier versions kept the password itself under the remember key.
const char* const kSecretKeys[] = {keys::kSOUREPASSWORD, keys::kPASSWORDHINTCONTENT, keys::remmenberBtnState};

bool isSecret(const QString& key) {
    for (const char* secret : kSecretKeys) {
        if (key == QLatin1String(secret)) {
            return true;
        }
    }
    return false;
}

// One line, whatever the value holds: line breaks and other control characters escaped.
QString shown(const QVariant& value) {
    QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QStringLiteral(", "))
                                                            : value.toString();
    QString out;
    for (const QChar c : std::as_const(text)) {
        out += c.unicode() < 0x20 || c.unicode() == 0x7F ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                                         : QString(c);
    }
    return out;
}

int runSettings(const QStringList& arguments) {
    if (!arguments.isEmpty()) {
        return fail(QStringLiteral("settings takes no arguments"));
    }
    const QString path = SettingsStore::filePath();
    printLine(QStringLiteral("# %1%2").arg(path, QFileInfo::exists(path) ? QString() : QStringLiteral(" (not there yet)")));
    QSettings file(path, QSettings::IniFormat);
    QStringList others = file.allKeys();
    const auto print = [&file](const QString& key) {
        if (!file.contains(key)) {
            printLine(QStringLiteral("%1 = (not set)").arg(key));
        } else if (isSecret(key)) {
            printLine(QStringLiteral("%1 = (set, not shown)").arg(key));
        } else {
            printLine(QStringLiteral("%1 = %2").arg(key, shown(file.value(key))));
        }
    };
    for (const char* key : kKnownKeys) {
        print(QString::fromLatin1(key));
        others.removeAll(QString::fromLatin1(key));
    }
    others.sort();
    for (const QString& key : std::as_const(others)) {
        print(key);
    }
    return 0;
}

[[maybe_unused]] const bool registered = registerCommand(Command{
    QStringLiteral("settings"),
    QStringLiteral("settings"),
    QStringLiteral("print every setting with its value (the password and the hint only as set or not)"),
    runSettings,
});

}  // namespace
}  // namespace tessaro::cli
