#include "crypto/aes_cipher.h"
#include "crypto/md5.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

AesKey keyFromHex(const char* hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    AesKey key{};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

QByteArray runStream(AesEcbStream::Direction direction, const AesKey& key, const QByteArray& input,
                     qint64 piece) {
    AesEcbStream stream(direction, key);
    EXPECT_TRUE(stream.ok());
    QByteArray out;
    for (qint64 at = 0; at < input.size(); at += piece) {
        EXPECT_TRUE(stream.update(input.constData() + at, std::min(piece, input.size() - at), out));
    }
    if (!stream.finish(out)) {
        return QByteArray("finish failed");
    }
    return out;
}

// The known-answer vectors of FIPS-197 (appendix C.1 and B). Our stream adds a whole block of
// padding after a 16-byte input, so the vector is the first block of the output.
TEST(BlockCipher, MatchesFips197KnownAnswers) {
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    };
    const Vector vectors[] = {
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
         "3925841d02dc09fbdc118597196a0b32"},
    };
    for (const Vector& v : vectors) {
        const QByteArray out =
            runStream(AesEcbStream::Direction::Encrypt, keyFromHex(v.key), QByteArray::fromHex(v.plain), 16);
        ASSERT_EQ(out.size(), 32);
        EXPECT_EQ(out.left(16).toHex(), QByteArray(v.cipher)) << v.key;
        // The padding block of a 16-byte input is sixteen 0x10 bytes under the same key.
        const QByteArray pad =
            runStream(AesEcbStream::Direction::Encrypt, keyFromHex(v.key), QByteArray(16, '\x10'), 16);
        EXPECT_EQ(out.mid(16), pad.left(16));
    }
}

TEST(BlockCipher, PaddingLengthsAndRoundTrip) {
    const std::pair<qint64, qint64> lengths[] = {{0, 16}, {1, 16}, {15, 16}, {16, 32}, {17, 32}, {59, 64}, {64, 80}};
    for (const auto& [plainLength, cipherLength] : lengths) {
        EXPECT_EQ(aesCipherLength(plainLength), cipherLength);
        const QByteArray plain = testing::patternBytes(plainLength, static_cast<quint32>(plainLength));
        const std::optional<QByteArray> cipher = AES128EncryptWithKey(QStringLiteral("tessaroheadstamps"), plain);
        ASSERT_TRUE(cipher);
        EXPECT_EQ(cipher->size(), cipherLength) << plainLength;
        const std::optional<QByteArray> back = AES128DecodeWithKey(QStringLiteral("tessaroheadstamps"), *cipher);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, plain);
    }
}

TEST(BlockCipher, KeyTextIsTruncatedAndZeroPadded) {
    const QByteArray plain("owner stamp of some length, not a block multiple");
    // Agreeing in the first 16 bytes means the same key.
    EXPECT_EQ(AES128EncryptWithKey(QStringLiteral("0123456789abcdefXYZ"), plain),
              AES128EncryptWithKey(QStringLiteral("0123456789abcdef-other"), plain));
    // A short key text is padded with zero bytes, not repeated or hashed.
    AesKey shortKey{};
    const char text[] = "short";
    std::copy(text, text + 5, shortKey.begin());
    EXPECT_EQ(aesKeyFromText(QStringLiteral("short")), shortKey);
    EXPECT_EQ(*AES128EncryptWithKey(QStringLiteral("short"), plain),
              runStream(AesEcbStream::Direction::Encrypt, shortKey, plain, 7));
    // The key is taken from UTF-8 bytes: three Chinese characters are nine bytes.
    const AesKey chinese = aesKeyFromText(QStringLiteral("密码锁"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(chinese.data()), 16),
              QStringLiteral("密码锁").toUtf8() + QByteArray(7, '\0'));
}

TEST(BlockCipher, WrongKeyOrDamagedCipherTextGivesNoResult) {
    const QByteArray plain = testing::patternBytes(1000, 7);
    const QByteArray cipher = *AES128EncryptWithKey(QStringLiteral("first key text"), plain);
    // A wrong key fails the padding check in almost every case; when it happens to pass,
    // the bytes must still differ.
    const std::optional<QByteArray> wrong = AES128DecodeWithKey(QStringLiteral("second key text"), cipher);
    EXPECT_TRUE(!wrong || *wrong != plain);
    EXPECT_FALSE(AES128DecodeWithKey(QStringLiteral("first key text"), cipher.left(cipher.size() - 1)));
    EXPECT_FALSE(AES128DecodeWithKey(QStringLiteral("first key text"), QByteArray()));
}

// Streaming in pieces of any size gives exactly the bytes of the whole-buffer form.
TEST(BlockCipher, StreamMatchesWholeBufferForAnyPieceSize) {
    const AesKey key = aesKeyFromText(QStringLiteral("body key 000000000"));
    const QByteArray plain = testing::patternBytes(70001, 3);
    const QByteArray whole = *AES128EncryptWithKey(QStringLiteral("body key 000000000"), plain);
    for (qint64 piece : {1, 15, 16, 17, 4096, 70001}) {
        EXPECT_EQ(runStream(AesEcbStream::Direction::Encrypt, key, plain, piece), whole) << piece;
        EXPECT_EQ(runStream(AesEcbStream::Direction::Decrypt, key, whole, piece), plain) << piece;
    }
}

// An independent implementation must produce the same bytes, so that another tool can read
// what we write.
TEST(BlockCipher, AgreesWithOpensslCommandLine) {
    const QByteArray plain = testing::patternBytes(1234, 11);
    const QByteArray theirs = testing::opensslEcb("tessarofootstamps", plain);
    ASSERT_EQ(theirs.size(), 1248) << "the openssl program gave no cipher text";
    EXPECT_EQ(theirs, *AES128EncryptWithKey(QStringLiteral("tessarofootstamps"), plain));
}

TEST(Digest, Rfc1321VectorsInBothCases) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : vectors) {
        EXPECT_EQ(MD5_32BitLower(QString::fromLatin1(text)), QString::fromLatin1(digest));
        EXPECT_EQ(MD5_32BitUpper(QString::fromLatin1(text)), QString::fromLatin1(digest).toUpper());
    }
    // UTF-8 bytes are digested, and only up to the first NUL.
    EXPECT_EQ(MD5_32BitLower(QStringLiteral("中")), QStringLiteral("aed1dfbc31703955e64806b799b67645"));
    EXPECT_EQ(MD5_32BitLower(QString::fromLatin1("abc\0def", 7)), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
}

}  // namespace
}  // namespace tessaro
