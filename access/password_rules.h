#pragma once

#include <QString>

#include <optional>

// What a new password must be so that it can be stored and used, and how a typed password
// is checked against the stored one.
namespace tessaro::access {

enum class PasswordRefusal {
    None,
    Empty,
    // A line break, tab or other control character: pasted by mistake, and never typeable
    // again in the single-line password field.
    ControlCharacter,
    // Half a surrogate pair or a byte-order mark: the settings file cannot give it back.
    NotStorable,
    // More than kLongestPassword characters: beyond that the owner stamp built from it could
    // exceed the longest header a stored file may have.
    TooLong,
};

// Characters (code points), whatever their script: even four-byte characters then give a
// stamp that readers find.
inline constexpr qsizetype kLongestPassword = 1000;

// Refusals of a password about to become the vault's password. Leading and trailing spaces,
// letters of any script and emoji are kept exactly as typed.
PasswordRefusal refusalForNewPassword(const QString& password);
// The user-facing sentence for a refusal (empty for None).
QString describeRefusal(PasswordRefusal refusal);

// Exact, case-sensitive equality, compared in time that does not depend on where the two
// texts differ. An absent or empty stored password never matches.
bool passwordMatches(const std::optional<QString>& stored, const QString& typed);

}  // namespace tessaro::access
