#pragma once

#include <QString>

namespace tessaro::stamp {

// The fixed texts of the owner stamp and of the header and footer keys. They are part of
// the stored-file format: changing any of them makes every existing vault unreadable.
inline constexpr char kVersionPrefix[] = "1.0.0_";  // three-part version and "_": 6 characters
inline constexpr char kSeparatorTag[] = "_tsro_";   // lower-case letters framed by "_": 6 characters
inline constexpr char kHeaderKey[] = "tessaroheadstamps";  // 17 lower-case letters
inline constexpr char kFooterKey[] = "tessarofootstamps";  // 17 lower-case letters
inline constexpr int kPaddedPasswordLength = 30;

// Version prefix, hardware address, separator tag and the password right-padded with "0"
// to 30 characters (longer passwords unchanged).
QString buildOwnerStamp(const QString& password, const QString& hardwareAddress);

// The stamp from the password in force ("kSOUREPASSWORD") and this machine's address.
QString getEncrtyptPassword();

// The body key of a stamp: the text after its last separator tag.
QString bodyKeyFromStamp(const QString& ownerStamp);

}  // namespace tessaro::stamp
