#include "access/password_strength.h"

#include <algorithm>
#include <array>

namespace tessaro::access {

namespace {

struct ClassCounts {
    qint64 digits = 0;  // class 1
    qint64 lower = 0;   // class 2
    qint64 upper = 0;   // class 3
    qint64 other = 0;   // class 4: everything else, each surrogate half included
};

ClassCounts countClasses(const QString& password) {
    ClassCounts c;
    for (const QChar unit : password) {
        const char16_t u = unit.unicode();
        if (u >= u'0' && u <= u'9') {
            ++c.digits;
        } else if (u >= u'a' && u <= u'z') {
            ++c.lower;
        } else if (u >= u'A' && u <= u'Z') {
            ++c.upper;
        } else {
            ++c.other;
        }
    }
    return c;
}

bool inAny(const QString& password, std::initializer_list<const char*> sequences) {
    for (const char* sequence : sequences) {
        if (QString::fromLatin1(sequence).contains(password, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

// An eight-digit password that reads as a date from 1950 to 2049 (yyyymmdd).
bool looksLikeDate(const QString& password) {
    const int year = password.left(4).toInt();
    const int month = password.mid(4, 2).toInt();
    const int day = password.mid(6, 2).toInt();
    return year >= 1950 && year <= 2049 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

using Rule = StrengthRule;

void addRules(QList<StrengthPoints>& out, qint64 n, const ClassCounts& c) {
    const qint64 c1 = c.digits, c2 = c.lower, c3 = c.upper, c4 = c.other;
    auto add = [&out](Rule rule, bool condition) {
        if (condition) {
            out.append({rule, 1});
        }
    };
    add(Rule::HasDigit, c1 > 0);
    add(Rule::HasLower, c2 > 0);
    add(Rule::HasUpperAtFive, n >= 5 && c3 > 0);
    add(Rule::HasOtherAtSeven, n >= 7 && c4 > 0);
    // Where a rule has a length condition it guards only its first alternative.
    add(Rule::TwoClasses, (n >= 5 && c1 > 0 && c2 > 0) || (c1 > 0 && c3 > 0) || (c1 > 0 && c4 > 0) ||
                              (c2 > 0 && c3 > 0) || (c2 > 0 && c4 > 0) || (c3 > 0 && c4 > 0));
    add(Rule::ThreeClasses, (n >= 7 && c1 > 0 && c2 > 0 && c3 > 0) || (c1 > 0 && c2 > 0 && c4 > 0) ||
                                (c1 > 0 && c3 > 0 && c4 > 0) || (c2 > 0 && c3 > 0 && c4 > 0));
    add(Rule::FourClassesAtNine, n >= 9 && c1 > 0 && c2 > 0 && c3 > 0 && c4 > 0);
    // The "other" class needs only two where the letter and digit classes need three.
    add(Rule::ManyOfTwoClasses, (n >= 7 && c1 >= 3 && c2 >= 3) || (c1 >= 3 && c3 >= 3) || (c1 >= 3 && c4 >= 2) ||
                                    (c2 >= 3 && c3 >= 3) || (c2 >= 3 && c4 >= 2) || (c3 >= 3 && c4 >= 2));
    add(Rule::TwoEachOfThreeClasses, (n >= 9 && c1 >= 2 && c2 >= 2 && c3 >= 2) || (c1 >= 2 && c2 >= 2 && c4 >= 2) ||
                                         (c1 >= 2 && c3 >= 2 && c4 >= 2) || (c2 >= 2 && c3 >= 2 && c4 >= 2));
    add(Rule::TwoEachOfFourClassesAtEleven, n >= 11 && c1 >= 2 && c2 >= 2 && c3 >= 2 && c4 >= 2);
    add(Rule::ThreeOthers, c4 >= 3);
    add(Rule::SixOthers, c4 >= 6);
    add(Rule::LengthThirteen, n >= 13);
    add(Rule::LengthSixteen, n >= 16);
}

void deductRules(QList<StrengthPoints>& out, const QString& password, qint64 n, const ClassCounts& c) {
    auto take = [&out](Rule rule, bool condition) {
        if (condition) {
            out.append({rule, -1});
        }
    };
    take(Rule::AlphabetRun, inAny(password, {"abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"}));
    take(Rule::KeyboardRun, inAny(password, {"qwertyuiop", "asdfghjkl", "zxcvbnm"}));
    const bool numeric = isNumeric(password);
    take(Rule::DigitRun, numeric && inAny(password, {"01234567890", "09876543210"}));
    take(Rule::SingleClass, c.digits == n || c.lower == n || c.upper == n);
    if (n % 2 == 0) {
        const QString first = password.left(n / 2);
        const QString second = password.mid(n / 2);
        take(Rule::EqualHalves, first == second);
        take(Rule::UniformHalves, isCharEqual(first) && isCharEqual(second));
    }
    if (n % 3 == 0) {
        const qint64 third = n / 3;
        const QString a = password.left(third);
        take(Rule::EqualThirds, a == password.mid(third, third) && a == password.mid(2 * third));
    }
    take(Rule::DateLike, numeric && n == 8 && looksLikeDate(password));
    const QStringList common = commonUsers();
    take(Rule::CommonPassword, std::any_of(common.cbegin(), common.cend(), [&password](const QString& entry) {
             return entry.contains(password, Qt::CaseSensitive);
         }));
    if (n <= 6) {
        out.append({Rule::Short, n == 4 ? -2 : -1});
    }
}

}  // namespace

bool isNull(const QString& s) { return s.isEmpty(); }

bool isCharEqual(const QString& s) {
    if (s.isEmpty()) {
        return true;
    }
    const QChar first = s.front();
    for (const QChar unit : s) {
        if (unit != first) {
            return false;
        }
    }
    return true;
}

bool isNumeric(const QString& s) {
    if (s.isEmpty()) {
        return false;
    }
    for (const QChar unit : s) {
        if (unit.unicode() < u'0' || unit.unicode() > u'9') {
            return false;
        }
    }
    return true;
}

QStringList commonUsers() {
    return {QStringLiteral("123456"),   QStringLiteral("password"), QStringLiteral("12345678"),
            QStringLiteral("qwerty"),   QStringLiteral("abc123"),   QStringLiteral("111111"),
            QStringLiteral("iloveyou"), QStringLiteral("admin"),    QStringLiteral("welcome"),
            QStringLiteral("monkey"),   QStringLiteral("dragon"),   QStringLiteral("sunshine"),
            QStringLiteral("letmein")};
}

QList<StrengthPoints> strengthBreakdown(const QString& password) {
    QList<StrengthPoints> points;
    const qint64 n = password.size();
    if (isNull(password) || isCharEqual(password) || n <= 3) {
        return points;
    }
    const ClassCounts counts = countClasses(password);
    addRules(points, n, counts);
    deductRules(points, password, n, counts);
    return points;
}

qint64 checkPasswordStrength(const QString& password) {
    qint64 score = 0;
    for (const StrengthPoints& p : strengthBreakdown(password)) {
        score += p.points;
    }
    return score < 0 ? 0 : score;
}

quint64 passwordLevel(const QString& password) {
    static constexpr std::array<quint64, 13> kLevelByScore = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
    const qint64 score = checkPasswordStrength(password);
    return score >= 0 && score < static_cast<qint64>(kLevelByScore.size()) ? kLevelByScore[static_cast<size_t>(score)] : 4;
}

PasswordLevelLook passwordLevelLook(quint64 level) {
    switch (level) {
    case 0: return {"Weak", QColor(254, 123, 123)};
    case 1: return {"Moderate", QColor(255, 190, 50)};
    default: return {"Strong", QColor(180, 225, 35)};
    }
}

}  // namespace tessaro::access
