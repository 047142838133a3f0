#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tessaro {

// The machine's hardware address, "aa:bb:cc:dd:ee:ff" (17 characters), as the owner
// stamp carries it. Read once per process and cached; when no address can be read a
// fixed placeholder of the same length is used, so stamps keep their length, and the
// failure is logged once.
QString getMacAddress();

inline constexpr char kPlaceholderMacAddress[] = "00:00:00:00:00:00";

// The address from a sysfs class/net directory: a real interface, preferring one with a
// physical device and a globally administered address, then the lowest name.
std::optional<QString> readHardwareAddressFrom(const QString& sysClassNetDirectory);

// Replaces the address source (tests); the cache is cleared. An empty function restores
// the system's source.
void setHardwareAddressSource(std::function<std::optional<QString>()> source);

}  // namespace tessaro
