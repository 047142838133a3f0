#include "crypto/md5.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace tessaro {

namespace {
QByteArray md5Hex(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const size_t length = qstrnlen(utf8.constData(), utf8.size());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(utf8.constData(), length, digest, &digestLength, EVP_md5(), nullptr) != 1) {
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(digest), digestLength).toHex();
}
}  // namespace

QString MD5_32BitUpper(const QString& text) { return QString::fromLatin1(md5Hex(text).toUpper()); }

QString MD5_32BitLower(const QString& text) { return QString::fromLatin1(md5Hex(text)); }

bool isDigestOf(const QString& storedDigest, const QString& password) {
    const QByteArray stored = storedDigest.toLatin1();
    const QByteArray typed = MD5_32BitUpper(password).toLatin1();
    return !stored.isEmpty() && stored.size() == typed.size() &&
           CRYPTO_memcmp(stored.constData(), typed.constData(), static_cast<size_t>(stored.size())) == 0;
}

}  // namespace tessaro
