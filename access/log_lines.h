#pragma once

// Log texts of access control. "%1" marks where a value goes. Never a password or a hint.
namespace tessaro::access::loglines {

inline constexpr char kUndoFailed[] = "vault set-up could not take back %1: %2";
inline constexpr char kSettingsNotWritten[] = "settings not written: %1";
inline constexpr char kSessionLock[] = "locking with the session: %1";
inline constexpr char kSessionLockUnavailable[] = "session lock signals unavailable on the %1 bus";
inline constexpr char kInstanceHandedOver[] = "another window was already open; it was brought to the front";
inline constexpr char kInstanceUnreachable[] = "another instance holds %1 but does not answer";
inline constexpr char kInstanceListenFailed[] = "cannot listen on %1: %2";
inline constexpr char kPasswordChanged[] = "vault password changed";
inline constexpr char kDrivePasswordChanged[] = "password of the drive vault %1 changed";
inline constexpr char kPasswordNotChanged[] = "password not changed: %1";

}  // namespace tessaro::access::loglines
