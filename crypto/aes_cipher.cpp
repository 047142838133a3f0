#include "crypto/aes_cipher.h"

#include <openssl/evp.h>

#include <cstring>

namespace tessaro {

AesKey aesKeyFromText(const QString& keyText) {
    // The text is written into a 33-byte zero-filled buffer; the first 16 bytes are the key.
    AesKey key{};
    const QByteArray utf8 = keyText.toUtf8();
    std::memcpy(key.data(), utf8.constData(), std::min<size_t>(key.size(), qstrnlen(utf8.constData(), utf8.size())));
    return key;
}

struct AesEcbStream::Context {
    struct Deleter {
        void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_CIPHER_CTX, Deleter> ctx{EVP_CIPHER_CTX_new()};
};

AesEcbStream::AesEcbStream(Direction direction, const QString& keyText)
    : AesEcbStream(direction, aesKeyFromText(keyText)) {}

AesEcbStream::AesEcbStream(Direction direction, const AesKey& key) : context_(std::make_unique<Context>()) {
    if (!context_->ctx) {
        return;
    }
    ok_ = EVP_CipherInit_ex(context_->ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr,
                            direction == Direction::Encrypt ? 1 : 0) == 1;
    if (ok_) {
        EVP_CIPHER_CTX_set_padding(context_->ctx.get(), 1);
    }
}

AesEcbStream::~AesEcbStream() = default;

bool AesEcbStream::update(const char* data, qint64 size, QByteArray& out) {
    if (!ok_) {
        return false;
    }
    // EVP takes int lengths; feed very large inputs in slices.
    constexpr qint64 kSlice = 1 << 30;
    while (size > 0) {
        const int piece = static_cast<int>(std::min(size, kSlice));
        const qsizetype before = out.size();
        out.resize(before + piece + 16);
        int produced = 0;
        if (EVP_CipherUpdate(context_->ctx.get(), reinterpret_cast<unsigned char*>(out.data() + before), &produced,
                             reinterpret_cast<const unsigned char*>(data), piece) != 1) {
            out.resize(before);
            ok_ = false;
            return false;
        }
        out.resize(before + produced);
        data += piece;
        size -= piece;
    }
    return true;
}

bool AesEcbStream::finish(QByteArray& out) {
    if (!ok_) {
        return false;
    }
    const qsizetype before = out.size();
    out.resize(before + 16);
    int produced = 0;
    const bool done =
        EVP_CipherFinal_ex(context_->ctx.get(), reinterpret_cast<unsigned char*>(out.data() + before), &produced) == 1;
    out.resize(done ? before + produced : before);
    ok_ = false;
    return done;
}

namespace {
std::optional<QByteArray> runWhole(AesEcbStream::Direction direction, const QString& keyText, const QByteArray& in) {
    AesEcbStream stream(direction, keyText);
    QByteArray out;
    out.reserve(in.size() + 16);
    if (!stream.update(in.constData(), in.size(), out) || !stream.finish(out)) {
        return std::nullopt;
    }
    return out;
}
}  // namespace

std::optional<QByteArray> AES128EncryptWithKey(const QString& keyText, const QByteArray& plain) {
    return runWhole(AesEcbStream::Direction::Encrypt, keyText, plain);
}

std::optional<QByteArray> AES128DecodeWithKey(const QString& keyText, const QByteArray& cipher) {
    return runWhole(AesEcbStream::Direction::Decrypt, keyText, cipher);
}

}  // namespace tessaro
