// The rule every command applies to a catalogue record before acting on its paths.
#include "core/record_check.h"

#include "support/test_environment.h"

#include <gtest/gtest.h>

namespace tessaro {
namespace {

TEST(RecordCheck, RefusesEveryPathThatCouldLeaveTheVault) {
    const QString nul = QStringLiteral("x") + QChar(u'\0') + QStringLiteral("/..");
    const struct {
        QString name, path, encryptedPath;
        const char* reason;  // empty: the record is sound
    } cases[] = {
        {"a.txt", "/home/u/a.txt", "11-22/33", ""},
        {"a b ..txt", "/home/u/.hidden/a b ..txt", "123-456/789", ""},
        {"", "/home/u/a.txt", "11-22/33", "the name is empty"},
        {".", "/home/u/a.txt", "11-22/33", "is not a single file name"},
        {"..", "/home/u/a.txt", "11-22/33", "is not a single file name"},
        {"a/b", "/home/u/a.txt", "11-22/33", "is not a single file name"},
        {"a.txt", "home/u/a.txt", "11-22/33", "is not absolute"},
        {"a.txt", "", "11-22/33", "is not absolute"},
        {"a.txt", "/", "11-22/33", "the root folder"},
        {"a.txt", "/home/u/", "11-22/33", "an empty component"},
        {"a.txt", "/home//a.txt", "11-22/33", "an empty component"},
        {"a.txt", "/home/./a.txt", "11-22/33", "a \".\" component"},
        {"a.txt", "/home/u/../../etc", "11-22/33", "a \"..\" component"},
        {"a.txt", "/home/u/a.txt", "", "names no stored place"},
        {"a.txt", "/home/u/a.txt", "/etc", "is not inside the vault"},
        {"a.txt", "/home/u/a.txt", "11-22/..", "a \"..\" component"},
        {"a.txt", "/home/u/a.txt", "../x/y", "a \"..\" component"},
        {"a.txt", "/home/u/a.txt", "11-22//33", "an empty component"},
        {"a.txt", "/home/u/a.txt", "11-22/33/", "an empty component"},
        {"a.txt", "/home/u/a.txt", "11-22", "not a group folder and an item folder"},
        {"a.txt", "/home/u/a.txt", "11-22/33/44", "not a group folder and an item folder"},
        {"a.txt", "/home/u/a.txt", "Notes/33", "the vault's own files"},
        {"a.txt", "/home/u/a.txt", ".tessaro-journal/33", "the vault's own files"},
        {"a.txt", "/home/u/a.txt", "Thumb/33", "the vault's own files"},
        {nul, "/home/u/a.txt", "11-22/33", "NUL"},
        {"a.txt", "/home/u/a.txt", nul, "NUL"},
    };
    for (const auto& c : cases) {
        const auto damage = recordDamage(c.name, c.path, c.encryptedPath);
        SCOPED_TRACE(testing::readableName(c.name + QLatin1Char('|') + c.path + QLatin1Char('|') + c.encryptedPath));
        if (*c.reason == '\0') {
            EXPECT_FALSE(damage) << damage->toStdString();
        } else {
            ASSERT_TRUE(damage);
            EXPECT_TRUE(damage->contains(QLatin1String(c.reason))) << damage->toStdString();
        }
    }
}

TEST(RecordCheck, AReasonShowsControlCharactersEscapedAndLongTextsCut) {
    const auto damage = recordDamage(QStringLiteral("a.txt"), QStringLiteral("rel\x1b[31m") + QString(300, 'x'),
                                     QStringLiteral("11-22/33"));
    ASSERT_TRUE(damage);
    EXPECT_FALSE(damage->contains(QChar(0x1b)));
    EXPECT_TRUE(damage->contains(QStringLiteral("\\x1b[31m")));
    EXPECT_LT(damage->size(), 200);
}

}  // namespace
}  // namespace tessaro
