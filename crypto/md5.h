#pragma once

#include <QString>

namespace tessaro {

// MD5 (RFC 1321) of a text's UTF-8 bytes up to the first NUL, as 32 hexadecimal digits.
QString MD5_32BitUpper(const QString& text);
QString MD5_32BitLower(const QString& text);

// Whether `storedDigest`, as MD5_32BitUpper writes it, is the digest of `password`; compared
// in time that does not depend on where the two differ. An empty digest never matches.
bool isDigestOf(const QString& storedDigest, const QString& password);

}  // namespace tessaro
