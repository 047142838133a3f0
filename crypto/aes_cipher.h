#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace tessaro {

// AES-128 in ECB mode with PKCS#7 padding and no IV, through OpenSSL's EVP interface.
// Keys are given as texts: the UTF-8 form is put into a zero-filled buffer and its first
// 16 bytes are the key, so a short text is padded with zero bytes and only the first 16
// bytes of a long one matter.
using AesKey = std::array<unsigned char, 16>;
AesKey aesKeyFromText(const QString& keyText);

// Whole-buffer forms; no result when the cipher fails (wrong padding on decryption).
std::optional<QByteArray> AES128EncryptWithKey(const QString& keyText, const QByteArray& plain);
std::optional<QByteArray> AES128DecodeWithKey(const QString& keyText, const QByteArray& cipher);

// Length of the ciphertext of `plainLength` bytes: 16 * (floor(n / 16) + 1).
constexpr qint64 aesCipherLength(qint64 plainLength) { return 16 * (plainLength / 16 + 1); }

// Streaming form with the same bytes as the whole-buffer form: ECB has no chaining, so
// the data may arrive in pieces of any size; the padding is added (or checked and
// removed) by finish(). Memory stays flat whatever the total length.
class AesEcbStream {
public:
    enum class Direction { Encrypt, Decrypt };
    AesEcbStream(Direction direction, const QString& keyText);
    AesEcbStream(Direction direction, const AesKey& key);
    ~AesEcbStream();
    AesEcbStream(const AesEcbStream&) = delete;
    AesEcbStream& operator=(const AesEcbStream&) = delete;

    bool ok() const { return ok_; }
    // Appends the output for `size` input bytes to `out` (up to size + 16 bytes).
    bool update(const char* data, qint64 size, QByteArray& out);
    // Appends the last block (encryption) or checks and strips the padding (decryption).
    bool finish(QByteArray& out);

private:
    struct Context;
    std::unique_ptr<Context> context_;
    bool ok_ = false;
};

}  // namespace tessaro
