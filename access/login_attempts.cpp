#include "access/login_attempts.h"

#include "access/password_rules.h"
#include "core/localized_text.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"

namespace tessaro::access {

namespace {

QString text(const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); }

std::optional<QString> storedText(const char* key) {
    const QVariant value = SettingsStore::value(QString::fromLatin1(key));
    return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
}

}  // namespace

HintPopoverContent hintPopoverContent(qint64 errorCount, const std::optional<QString>& storedHint) {
    if (errorCount >= kFixedMessageFromErrorCount) {
        return {text("passwordhint1.placeholderString"), text("passwordkeyphale"), QSize(300, 118)};
    }
    return {text("passwordhint.placeholderString"), storedHint.value_or(QString()), QSize(300, 79)};
}

LoginAttempts::Result LoginAttempts::enter(const std::optional<QString>& storedPassword, const QString& typed) {
    if (passwordMatches(storedPassword, typed)) {
        errorCount_ = 0;
        return {true, false};
    }
    ++errorCount_;
    return {false, errorCount_ >= kHintFromErrorCount};
}

std::optional<QString> storedPassword() { return storedText(keys::kSOUREPASSWORD); }
std::optional<QString> storedHint() { return storedText(keys::kPASSWORDHINTCONTENT); }

}  // namespace tessaro::access
