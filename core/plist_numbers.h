#pragma once

#include <QString>

#include <optional>
#include <string_view>

// Number texts of property lists, shared by the reader and the lenient conversions.
namespace tessaro::plist::numbers {

// A whole number in decimal or "0x" hexadecimal, with an optional sign and surrounding
// white space; absent when the text is anything else or does not fit 64 bits.
std::optional<qint64> parseInteger(std::string_view text);
std::optional<qint64> parseInteger(const QString& text);

// A real number, or "nan", "inf", "infinity" with an optional sign.
std::optional<double> parseReal(const QString& text);

// Seconds since 1970 that fit a signed 64-bit number, with the fraction cut off.
std::optional<qint64> truncateReal(double d);

}  // namespace tessaro::plist::numbers
