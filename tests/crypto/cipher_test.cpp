#include "crypto/aes_cipher.h"
#include "crypto/md5.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

QByteArray runStream(AesEcbStream::Direction direction, const AesKey& key, const QByteArray& input,
                     qint64 piece) {
    AesEcbStream stream(direction, key);
    EXPECT_TRUE(stream.ok());
    QByteArray out;
    for (qint64 at = 0; at < input.size(); at += piece) {
        EXPECT_TRUE(stream.update(input.constData() + at, std::min(piece, input.size() - at), out));
    }
    return stream.finish(out) ? out : QByteArray("finish failed");
}

// Lengths around the block size, under key texts longer than a key (cut to 16 bytes), shorter
// (zero bytes after it, not repeated or hashed) and in Chinese (its UTF-8 bytes): the bytes of
// an independent encoder, so that another tool can read what we write, and back; the stream
// gives the same bytes fed in pieces of any size.
TEST(BlockCipher, MatchesOpensslForEveryLengthKeyTextAndPieceSizeAndComesBack) {
    const struct {
        qint64 plainLength;
        qint64 cipherLength;
        const char* key;
        qint64 piece;
    } cases[] = {{0, 16, "tessaroheadstamps", 1},      {1, 16, "short", 1},    {15, 16, "密码锁", 15},
                 {16, 32, "0123456789abcdefXYZ", 16},  {17, 32, "short", 16},  {59, 64, "tessarofootstamps", 17},
                 {64, 80, "密码锁", 4096},             {1234, 1248, "tessarofootstamps", 15},
                 {70001, 70016, "body key 000000000", 4096}, {70001, 70016, "body key 000000000", 70001}};
    for (const auto& c : cases) {
        const QString key = QString::fromUtf8(c.key);
        EXPECT_EQ(aesCipherLength(c.plainLength), c.cipherLength);
        const QByteArray plain = testing::patternBytes(c.plainLength, static_cast<quint32>(c.plainLength));
        const std::optional<QByteArray> cipher = AES128EncryptWithKey(key, plain);
        ASSERT_TRUE(cipher);
        EXPECT_EQ(*cipher, testing::opensslEcb(key.toUtf8(), plain)) << c.plainLength << " " << c.key;
        EXPECT_EQ(AES128DecodeWithKey(key, *cipher), std::optional<QByteArray>(plain)) << c.plainLength;
        const AesKey streamKey = aesKeyFromText(key);
        EXPECT_EQ(runStream(AesEcbStream::Direction::Encrypt, streamKey, plain, c.piece), *cipher) << c.piece;
        EXPECT_EQ(runStream(AesEcbStream::Direction::Decrypt, streamKey, *cipher, c.piece), plain) << c.piece;
    }
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
