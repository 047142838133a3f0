#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

// The rating of a candidate password shown while a new one is typed. Pure functions: every
// length, class count and substring test works on UTF-16 code units, so a character outside
// the Basic Multilingual Plane counts as two code units of the "other" class.
namespace tessaro::access {

// 0 to 14: points for length and variety, minus points for well-known weak shapes.
qint64 checkPasswordStrength(const QString& password);

// The rules of the rating, each adding or taking away its points at most once.
enum class StrengthRule {
    // Additions.
    HasDigit, HasLower, HasUpperAtFive, HasOtherAtSeven, TwoClasses, ThreeClasses, FourClassesAtNine,
    ManyOfTwoClasses, TwoEachOfThreeClasses, TwoEachOfFourClassesAtEleven, ThreeOthers, SixOthers,
    LengthThirteen, LengthSixteen,
    // Deductions.
    AlphabetRun, KeyboardRun, DigitRun, SingleClass, EqualHalves, UniformHalves, EqualThirds, DateLike,
    CommonPassword, Short,
};
struct StrengthPoints {
    StrengthRule rule;
    qint64 points;  // +1, or -1 (-2 for a length of four)
    bool operator==(const StrengthPoints&) const = default;
};
// The rules that apply to a password, in the order they are applied. Empty for a password
// that scores 0 outright (empty, one character repeated, or three code units or fewer).
QList<StrengthPoints> strengthBreakdown(const QString& password);
// 0 to 4, the score folded by the level table (13 and above: 4).
quint64 passwordLevel(const QString& password);

// Thirteen common weak passwords of 5 to 8 lower-case letters and digits, in a fixed order.
QStringList commonUsers();

// True for an absent (null) or empty text.
bool isNull(const QString& s);
// True when `s` is empty or one code unit repeated.
bool isCharEqual(const QString& s);
// True when `s` is not empty and holds ASCII digits only.
bool isNumeric(const QString& s);

// How a level is shown: the word (not translated) and its text colour.
struct PasswordLevelLook {
    const char* word;
    QColor colour;
};
PasswordLevelLook passwordLevelLook(quint64 level);

}  // namespace tessaro::access
