// tessaro-vault notes list, show, add and remove, run as a user would run them.
#include "core/catalogue.h"
#include "core/group_model.h"
#include "support/qt_printing.h"
#include "support/test_environment.h"
#include "support/vault_tool.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

namespace tessaro {
namespace {

using testing::passwordLine;
using testing::runVaultTool;
using testing::TestEnvironment;
using testing::ToolRun;

struct NotesVault {
    TestEnvironment env;
    QString notes = env.vaultRoot() + QStringLiteral("/Notes");
    NotesVault() {
        Catalogue catalogue;
        EXPECT_TRUE(catalogue.setUp(std::nullopt, false));
        catalogue.groupNoteList.insert(2, makeGroupRow(QStringLiteral("Work"), QString::fromLatin1(kNotesListKey), true, 1));
        renumberRowList(catalogue.groupNoteList);
        EXPECT_TRUE(catalogue.SaveGroupList(2));
    }
    ToolRun notesCommand(const QStringList& args, const QByteArray& input = {}) const {
        return runVaultTool(env, QStringList{QStringLiteral("notes")} + args, passwordLine() + input);
    }
    QStringList listed() const {
        return QString::fromUtf8(runVaultTool(env, {QStringLiteral("notes"), QStringLiteral("list")}).out)
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList packages() const { return QDir(notes).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }
};

TEST(VaultNotes, AddListShowAndRemoveNotes) {
    NotesVault v;
    const QByteArray plain = "Shopping:\tmilk\n中文 😀 {braces} back\\slash\n";
    ASSERT_EQ(v.notesCommand({QStringLiteral("add"), QStringLiteral("List\tone/two")}, plain).status, 0);
    const QByteArray rtf = TestEnvironment::readFile(QStringLiteral(TESSARO_FIXTURES_DIR "/notes/libreoffice-writer.rtf"));
    const ToolRun addedRtf =
        v.notesCommand({QStringLiteral("add"), QStringLiteral("From Writer"), QStringLiteral("--group"), QStringLiteral("Work")}, rtf);
    ASSERT_EQ(addedRtf.status, 0) << text(addedRtf);

    // Group, title with its tab escaped, last edit in UTC, and a safe package name.
    QStringList lines = v.listed();
    lines.replaceInStrings(QRegularExpression(QStringLiteral("\t\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\t")),
                           QStringLiteral("\t<edited>\t"));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("All Notes\tList\\tone/two\t<edited>\tList_one_two"),
                                  QStringLiteral("Work\tFrom Writer\t<edited>\tFrom Writer")}));

    const ToolRun shown = v.notesCommand({QStringLiteral("show"), QStringLiteral("List\tone/two")});
    ASSERT_EQ(shown.status, 0) << text(shown);
    EXPECT_EQ(shown.out, plain);
    const ToolRun writer = v.notesCommand({QStringLiteral("show"), QStringLiteral("From Writer")});
    EXPECT_TRUE(QString::fromUtf8(writer.out).contains(QStringLiteral("中文笔记：保险箱里的秘密。"))) << text(writer);
    const ToolRun asRtf = v.notesCommand({QStringLiteral("show"), QStringLiteral("--rtf"), QStringLiteral("List_one_two")});
    EXPECT_EQ(asRtf.out, TestEnvironment::readFile(v.notes + QStringLiteral("/List_one_two/TXT.rtf")));
    EXPECT_TRUE(asRtf.out.startsWith("{\\rtf1"));

    const ToolRun removed = v.notesCommand({QStringLiteral("remove"), QStringLiteral("From Writer")});
    ASSERT_EQ(removed.status, 0) << text(removed);
    EXPECT_EQ(v.listed().size(), 1);
    EXPECT_EQ(v.packages(), QStringList{QStringLiteral("List_one_two")});
}

struct Refusal {
    const char* name;
    QStringList arguments;
    QByteArray input;  // after the password line
};

const Refusal kRefusals[] = {
    {"RTF with a picture", {QStringLiteral("add"), QStringLiteral("T")}, "{\\rtf1 a{\\pict\\pngblip 00}}"},
    {"damaged RTF", {QStringLiteral("add"), QStringLiteral("T")}, "{\\rtf1 {\\b cut short"},
    {"text that is not UTF-8", {QStringLiteral("add"), QStringLiteral("T")}, "caf\xe9"},
    {"an unknown group", {QStringLiteral("add"), QStringLiteral("T"), QStringLiteral("--group"), QStringLiteral("Nope")}, "x"},
    {"an unknown title", {QStringLiteral("show"), QStringLiteral("Nope")}, {}},
    {"a title two notes share", {QStringLiteral("remove"), QStringLiteral("Twin")}, {}},
};

class VaultNotesRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(VaultNotesRefusals, ChangeNothingAndSayWhy) {
    NotesVault v;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(v.notesCommand({QStringLiteral("add"), QStringLiteral("Twin")}, "twin").status, 0);
    }
    const QStringList before = v.packages();
    const ToolRun run = v.notesCommand(GetParam().arguments, GetParam().input);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.err.startsWith("tessaro-vault: notes")) << text(run);
    EXPECT_EQ(v.packages(), before);
    EXPECT_EQ(v.listed().size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Notes, VaultNotesRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return testing::readableName(QString::fromLatin1(info.param.name)); });

}  // namespace
}  // namespace tessaro
