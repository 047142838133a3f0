// The password rating, rule by rule: every case names the rules it expects to fire and the
// score they add up to, worked out by hand from the rules' text.
#include "access/password_strength.h"

#include <gtest/gtest.h>

using namespace tessaro::access;
using R = StrengthRule;

namespace tessaro::access {
// A rule as "number:points" in a failure message.
void PrintTo(const StrengthPoints& p, std::ostream* out) { *out << static_cast<int>(p.rule) << ':' << p.points; }
}  // namespace tessaro::access

namespace {

struct StrengthCase {
    const char* name;
    QString password;
    qint64 score;
    QList<StrengthPoints> rules;
};

void PrintTo(const StrengthCase& c, std::ostream* out) { *out << c.name; }

const StrengthCase kCases[] = {
    {"Absent", QString(), 0, {}},
    {"OneCharacterRepeated", QStringLiteral("AAAAAAAAAAAAAAAA"), 0, {}},
    {"ThreeUnitsScoreNothing", QStringLiteral("aB!"), 0, {}},
    {"FourUnitsOneOfEachClass", QStringLiteral("a1B!"), 2,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}, {R::ThreeClasses, 1}, {R::Short, -2}}},
    {"DigitsAndLowerNeedFiveForTwoClasses", QStringLiteral("a1a2"), 0,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::Short, -2}}},
    {"EightLowercaseWithoutShape", QStringLiteral("qmzpxnrt"), 0, {{R::HasLower, 1}, {R::SingleClass, -1}}},
    {"TenOfFourClasses", QStringLiteral("AbC1d!E2f#"), 9,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::HasUpperAtFive, 1}, {R::HasOtherAtSeven, 1}, {R::TwoClasses, 1},
      {R::ThreeClasses, 1}, {R::FourClassesAtNine, 1}, {R::ManyOfTwoClasses, 1}, {R::TwoEachOfThreeClasses, 1}}},
    // Every adding rule fires at once; 11 and 13 points are checked as levels below.
    {"FourteenPoints", QStringLiteral("Aa1!@#Bb2$%^Cc3&"), 14,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::HasUpperAtFive, 1}, {R::HasOtherAtSeven, 1}, {R::TwoClasses, 1},
      {R::ThreeClasses, 1}, {R::FourClassesAtNine, 1}, {R::ManyOfTwoClasses, 1}, {R::TwoEachOfThreeClasses, 1},
      {R::TwoEachOfFourClassesAtEleven, 1}, {R::ThreeOthers, 1}, {R::SixOthers, 1}, {R::LengthThirteen, 1},
      {R::LengthSixteen, 1}}},
    // Two of another class count where the letter and digit classes need three.
    {"TwoOthersCountAsMany", QStringLiteral("abc!?x"), 2,
     {{R::HasLower, 1}, {R::TwoClasses, 1}, {R::ManyOfTwoClasses, 1}, {R::Short, -1}}},
    // Characters outside the Basic Multilingual Plane are two code units of the other class;
    // halves and thirds are cut between code units.
    {"EmojiAreTwoOtherUnitsEach", QStringLiteral("😀😃x"), 2,
     {{R::HasLower, 1}, {R::TwoClasses, 1}, {R::ThreeOthers, 1}, {R::Short, -1}}},
    {"RepeatedEmojiHaveEqualThirds", QStringLiteral("😀😀😀"), 0,
     {{R::ThreeOthers, 1}, {R::SixOthers, 1}, {R::EqualThirds, -1}, {R::Short, -1}}},
    {"ChineseIsOtherClass", QStringLiteral("我的密码Ab1"), 7,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::HasUpperAtFive, 1}, {R::HasOtherAtSeven, 1}, {R::TwoClasses, 1},
      {R::ThreeClasses, 1}, {R::ThreeOthers, 1}}},
    // Deductions.
    {"AlphabetRunAtTheStart", QStringLiteral("abcdef"), 0,
     {{R::HasLower, 1}, {R::AlphabetRun, -1}, {R::SingleClass, -1}, {R::Short, -1}}},
    {"UppercaseAlphabetRun", QStringLiteral("CDEFGH"), 0,
     {{R::HasUpperAtFive, 1}, {R::AlphabetRun, -1}, {R::SingleClass, -1}, {R::Short, -1}}},
    {"KeyboardRunIsCaseSensitive", QStringLiteral("QWERTYU"), 0, {{R::HasUpperAtFive, 1}, {R::SingleClass, -1}}},
    {"KeyboardRun", QStringLiteral("asdfghj"), 0, {{R::HasLower, 1}, {R::KeyboardRun, -1}, {R::SingleClass, -1}}},
    {"DigitRun", QStringLiteral("6543210"), 0, {{R::HasDigit, 1}, {R::DigitRun, -1}, {R::SingleClass, -1}}},
    {"EqualHalves", QStringLiteral("Ab1!Ab1!"), 6,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::HasUpperAtFive, 1}, {R::HasOtherAtSeven, 1}, {R::TwoClasses, 1},
      {R::ThreeClasses, 1}, {R::TwoEachOfThreeClasses, 1}, {R::EqualHalves, -1}}},
    {"UniformHalves", QStringLiteral("xxxx1111"), 3,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}, {R::ManyOfTwoClasses, 1}, {R::UniformHalves, -1}}},
    {"EqualThirds", QStringLiteral("a1!a1!a1!"), 7,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::HasOtherAtSeven, 1}, {R::TwoClasses, 1}, {R::ThreeClasses, 1},
      {R::ManyOfTwoClasses, 1}, {R::TwoEachOfThreeClasses, 1}, {R::ThreeOthers, 1}, {R::EqualThirds, -1}}},
    {"Year1950IsADate", QStringLiteral("19500101"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}, {R::DateLike, -1}}},
    {"Year2049IsADate", QStringLiteral("20490101"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}, {R::DateLike, -1}}},
    {"YearBeforeIsNoDate", QStringLiteral("19491231"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"YearAfterIsNoDate", QStringLiteral("20501231"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"MonthZeroIsNoDate", QStringLiteral("20000001"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"MonthThirteenIsNoDate", QStringLiteral("20001301"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"DayZeroIsNoDate", QStringLiteral("20000100"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"DayThirtyTwoIsNoDate", QStringLiteral("20000132"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"OnlyEightDigitsAreDates", QStringLiteral("199912310"), 0, {{R::HasDigit, 1}, {R::SingleClass, -1}}},
    {"CommonEntry", QStringLiteral("abc123"), 1,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}, {R::CommonPassword, -1}, {R::Short, -1}}},
    {"StrictSubstringOfCommonEntry", QStringLiteral("bc123"), 1,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}, {R::CommonPassword, -1}, {R::Short, -1}}},
    {"ContainingCommonEntryIsNotDeducted", QStringLiteral("admin99x"), 3,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}}},
    {"LengthSevenLosesNothing", QStringLiteral("bc124xy"), 4,
     {{R::HasDigit, 1}, {R::HasLower, 1}, {R::TwoClasses, 1}, {R::ManyOfTwoClasses, 1}}},
};

}  // namespace

class PasswordStrengthRules : public ::testing::TestWithParam<StrengthCase> {};

TEST_P(PasswordStrengthRules, ScoreIsTheSumOfTheRulesThatApply) {
    const StrengthCase& c = GetParam();
    EXPECT_EQ(strengthBreakdown(c.password), c.rules);
    EXPECT_EQ(checkPasswordStrength(c.password), c.score);
}

INSTANTIATE_TEST_SUITE_P(Cases, PasswordStrengthRules, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StrengthCase>& info) { return std::string(info.param.name); });

// Each score band's edges as the user sees them: the level, its word and its colour.
TEST(PasswordStrength, ScoresFoldIntoLevelsShownInTheirColours) {
    const QColor weak(254, 123, 123), moderate(255, 190, 50), strong(180, 225, 35);
    const struct {
        const char* password;
        quint64 level;
        const char* word;
        QColor colour;
    } bands[] = {
        {"admin99x", 0, "Weak", weak},              // 3
        {"ab12cd34", 1, "Moderate", moderate},      // 4
        {"Ab1!Ab1!", 1, "Moderate", moderate},      // 6
        {"我的密码Ab1", 2, "Strong", strong},        // 7
        {"AbC1d!E2f#", 2, "Strong", strong},        // 9
        {"Aa1!Aa1!Bb2@", 3, "Strong", strong},      // 11
        {"Aa1!Aa1!Bb2@Cc3#", 4, "Strong", strong},  // 13
    };
    for (const auto& band : bands) {
        const quint64 level = passwordLevel(QString::fromUtf8(band.password));
        EXPECT_EQ(level, band.level) << band.password;
        EXPECT_STREQ(passwordLevelLook(level).word, band.word) << band.password;
        EXPECT_EQ(passwordLevelLook(level).colour, band.colour) << band.password;
    }
}

// The helpers count UTF-16 code units: an emoji is two different units, and only ASCII
// digits are digits.
TEST(PasswordStrength, HelpersWorkOnCodeUnits) {
    const struct {
        QString text;
        bool null, allEqual, numeric;
    } cases[] = {
        {QString(), true, true, false},
        {QStringLiteral("    "), false, true, false},
        {QStringLiteral("xX"), false, false, false},
        {QStringLiteral("😀😀"), false, false, false},
        {QStringLiteral("0123456789"), false, false, true},
        {QStringLiteral("12 3"), false, false, false},
        {QStringLiteral("-12"), false, false, false},
        {QStringLiteral("١٢٣"), false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isNull(c.text), c.null) << c.text.toStdString();
        EXPECT_EQ(isCharEqual(c.text), c.allEqual) << c.text.toStdString();
        EXPECT_EQ(isNumeric(c.text), c.numeric) << c.text.toStdString();
    }
}
