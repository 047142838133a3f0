#include "access/password_rules.h"

#include "core/localized_text.h"
#include "crypto/owner_stamp.h"
#include "crypto/stored_file.h"

#include <QCryptographicHash>

#include <openssl/crypto.h>

namespace tessaro::access {

namespace {

constexpr char kLongestAddress[] = "00:00:00:00:00:00";

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

}  // namespace

PasswordRefusal refusalForNewPassword(const QString& password) {
    if (password.isEmpty()) {
        return PasswordRefusal::Empty;
    }
    if (!password.isValidUtf16() || password.contains(QChar(0xFEFF))) {
        return PasswordRefusal::NotStorable;
    }
    const QList<uint> characters = password.toUcs4();
    for (const char32_t c : characters) {
        if (isControl(c)) {
            return PasswordRefusal::ControlCharacter;
        }
    }
    if (characters.size() > kLongestPassword) {
        return PasswordRefusal::TooLong;
    }
    // The reader looks for headers up to a fixed length; a stamp beyond it would make every
    // file hidden under this password unreadable.
    const auto frame = storedfile::frameForStamp(stamp::buildOwnerStamp(password, QString::fromLatin1(kLongestAddress)));
    if (!frame || frame->header.size() > storedfile::kLongestHeader) {
        return PasswordRefusal::TooLong;
    }
    return PasswordRefusal::None;
}

QString describeRefusal(PasswordRefusal refusal) {
    const auto text = [](const char* key) { return LanguageBundle::localizedStringForKey(QString::fromLatin1(key)); };
    switch (refusal) {
    case PasswordRefusal::None: return {};
    case PasswordRefusal::Empty: return text("password.refusedEmpty");
    case PasswordRefusal::ControlCharacter: return text("password.refusedControl");
    case PasswordRefusal::NotStorable: return text("password.refusedUnstorable");
    case PasswordRefusal::TooLong: return text("password.refusedLong");
    }
    return {};
}

bool passwordMatches(const std::optional<QString>& stored, const QString& typed) {
    if (!stored || stored->isEmpty()) {
        return false;
    }
    // Digests of equal length, compared without an early exit, so that neither the length
    // nor the first differing character shows in the time taken.
    const QByteArray a = QCryptographicHash::hash(stored->toUtf8(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(typed.toUtf8(), QCryptographicHash::Sha256);
    const bool sameDigest = CRYPTO_memcmp(a.constData(), b.constData(), static_cast<size_t>(a.size())) == 0;
    // UTF-8 maps distinct valid texts to distinct bytes; texts with half surrogate pairs
    // could share bytes, so they are told apart by the texts themselves.
    return sameDigest && *stored == typed;
}

}  // namespace tessaro::access
