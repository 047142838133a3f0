#pragma once

#include <QSize>
#include <QString>

#include <optional>

// The login screen's rules, without the screen: counting wrong entries and what the hint
// popover shows at each count.
namespace tessaro::access {

// From this many wrong entries on, a wrong entry also brings up the hint popover.
inline constexpr qint64 kHintFromErrorCount = 4;
// From this many on, the popover shows a fixed message instead of the saved hint.
inline constexpr qint64 kFixedMessageFromErrorCount = 6;

struct HintPopoverContent {
    QString title;
    QString text;
    QSize size;
};
// The popover's texts and size for `errorCount` wrong entries; `storedHint` absent or
// empty shows as empty text.
HintPopoverContent hintPopoverContent(qint64 errorCount, const std::optional<QString>& storedHint);

// Wrong entries since the screen was created or since the last success. There is no
// lock-out and no delay: the user may try without limit.
class LoginAttempts {
public:
    struct Result {
        bool matched = false;
        bool showHint = false;  // a wrong entry at or past kHintFromErrorCount
    };
    Result enter(const std::optional<QString>& storedPassword, const QString& typed);
    qint64 errorCount() const { return errorCount_; }

private:
    qint64 errorCount_ = 0;
};

// The password in force ("kSOUREPASSWORD") and the saved hint ("kPASSWORDHINTCONTENT"),
// absent when never stored.
std::optional<QString> storedPassword();
std::optional<QString> storedHint();

}  // namespace tessaro::access
