// The pure text routines: field splitter, name splitter, path joiner,
// character remover and character counting.
#include <gtest/gtest.h>

#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel {
namespace {

using bas_basic::FieldSplitter;
using bas_basic::NameParts;

// Each row: the text and delimiter to split, then what the following calls hand out.
TEST(FieldSplitter, HandsOutFieldsThenEmptyMarksEmptyFieldsWithASpaceAndRestOverJoinsTheRest) {
    const struct {
        std::string text, delimiter;
        bool trim;
        std::vector<std::string> calls, out;
    } cases[] = {
        {"lastPath,C:\\Docs\\ ", ",", true, {"", ""}, {"lastPath", "C:\\Docs\\", ""}},
        {"lastPath, ", ",", true, {""}, {"lastPath", " "}},
        {" a ,b", "", false, {""}, {" a ", "b"}},  // untrimmed; an empty delimiter splits at ","
        {"資料::報告::", "::", false, {"", ""}, {"資料", "報告", " "}},
        {"a,b,c", ",", true, {"__restover__", "__restover__", ""}, {"a", "b,c", "", ""}},
    };
    for (const auto& c : cases) {
        FieldSplitter s;
        std::vector<std::string> out{s.split(c.text, c.delimiter, c.trim)};
        for (const auto& call : c.calls) out.push_back(s.split(call));
        EXPECT_EQ(out, c.out) << c.text;
    }
}

TEST(FieldSplitter, StopsAtThirtyTwoFieldsAndKeepsALongLastFieldWhole) {
    std::string text, rest;
    for (int i = 1; i <= 41; ++i) text += "f" + std::to_string(i) + (i < 41 ? "," : "");
    for (int i = 2; i <= 32; ++i) rest += (i > 2 ? ",f" : "f") + std::to_string(i);
    FieldSplitter s;
    EXPECT_EQ(s.split(text, ",", false), "f1");
    EXPECT_EQ(s.split("__restover__"), rest);
    const std::string longValue = "C:\\" + std::string(100, 'x') + "\\深い\\";
    s.split("lastPath," + longValue, ",", true);
    EXPECT_EQ(s.split(""), longValue);
}

TEST(NameSplitter, SplitsAtTheLastSeparator) {
    const struct {
        std::string text, sep;
        int count;
        NameParts expected;
    } cases[] = {
        {"report.txt", ".", 0, {"report", ".txt"}},    {"README", ".", 0, {"README", ""}},
        {"archive.tar.gz", ".", 0, {"archive.tar", ".gz"}}, {".profile", ".", 0, {"", ".profile"}},
        {"note.", ".", 0, {"note", "."}},              {"報告書.テキスト", ".", 0, {"報告書", ".テキスト"}},
        {"C:\\資料\\報告書.txt", "\\", 1, {"C:\\資料\\", "報告書.txt"}}, {"C:\\Docs\\", "\\", 1, {"C:\\Docs\\", ""}},
    };
    for (const auto& c : cases) EXPECT_EQ(bas_basic::splitName(c.text, c.sep, c.count), c.expected) << c.text;
}

TEST(PathJoiner, PutsExactlyOneSeparatorBetween) {
    const std::string cases[][3] = {{"C:\\Tools", "mabrel9-iv.ini", "C:\\Tools\\mabrel9-iv.ini"},
                                    {"C:\\", "mabrel9-iv.ini", "C:\\mabrel9-iv.ini"},
                                    {"C:\\", "\\a", "C:\\a"},
                                    {"C:\\x", "\\a", "C:\\x\\a"},
                                    {"", "a", "\\a"}};
    for (const auto& [folder, name, joined] : cases) EXPECT_EQ(bas_basic::joinPath(folder, name), joined);
}

TEST(CharacterText, RemovesCountsCutsAndFoldsByCharacter) {
    EXPECT_EQ(bas_basic::removeChars(".t x,t", " ,"), ".txt");
    // Characters, not bytes: removing one kanji must not break its neighbours.
    EXPECT_EQ(bas_basic::removeChars("報告,書 。", "告 "), "報,書。");
    const std::string s = "報告a書";
    EXPECT_EQ(util::charLength(s), 4u);
    EXPECT_EQ(util::leftChars(s, 2), "報告");
    EXPECT_EQ(util::rightChars(s, 2), "a書");
    EXPECT_EQ(util::leftChars(s, 10), s);
    EXPECT_EQ(util::toLowerAscii("Report.TXT 報告"), "report.txt 報告");
    EXPECT_EQ(util::toUpperAscii("report.txt ａ"), "REPORT.TXT ａ");
    EXPECT_EQ(util::foldCase("ＡＢＣabcDEF資料"), util::foldCase("ａｂｃABCdef資料"));
    EXPECT_NE(util::foldCase("資料"), util::foldCase("報告"));
}

}  // namespace
}  // namespace mabrel
