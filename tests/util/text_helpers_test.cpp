// The pure text routines: field splitter, name splitter, path joiner,
// character remover, character counting and the two time formats.
#include <gtest/gtest.h>

#include "util/bas_basic.h"
#include "util/text.h"

namespace mabrel {
namespace {

using bas_basic::FieldSplitter;
using bas_basic::NameParts;

TEST(FieldSplitter, HandsOutFieldsThenEmptyAndMarksEmptyFieldsWithASpace) {
    FieldSplitter s;
    EXPECT_EQ(s.split("lastPath,C:\\Docs\\ ", ",", true), "lastPath");
    EXPECT_EQ(s.split(""), "C:\\Docs\\");
    EXPECT_EQ(s.split(""), "");

    EXPECT_EQ(s.split("lastPath, ", ",", true), "lastPath");
    EXPECT_EQ(s.split(""), " ");

    // Untrimmed fields keep their spaces; an empty delimiter splits at ",".
    EXPECT_EQ(s.split(" a ,b", "", false), " a ");
    EXPECT_EQ(s.split(""), "b");

    // Multi-character delimiters and Japanese text.
    EXPECT_EQ(s.split("資料::報告::", "::", false), "資料");
    EXPECT_EQ(s.split(""), "報告");
    EXPECT_EQ(s.split(""), " ");
}

TEST(FieldSplitter, RestOverJoinsTheFieldsNotYetHandedOut) {
    FieldSplitter s;
    EXPECT_EQ(s.split("a,b,c", ",", true), "a");
    EXPECT_EQ(s.split("__restover__"), "b,c");
    EXPECT_EQ(s.split("__restover__"), "");
    EXPECT_EQ(s.split(""), "");
}

TEST(FieldSplitter, StopsAtThirtyTwoFieldsAndKeepsALongLastFieldWhole) {
    std::string text;
    for (int i = 1; i <= 41; ++i) text += "f" + std::to_string(i) + (i < 41 ? "," : "");
    std::string expectedRest;
    for (int i = 2; i <= 32; ++i) expectedRest += (i > 2 ? ",f" : "f") + std::to_string(i);
    FieldSplitter s;
    EXPECT_EQ(s.split(text, ",", false), "f1");
    EXPECT_EQ(s.split("__restover__"), expectedRest);

    s.split(text, ",", false);
    for (int i = 2; i <= 31; ++i) s.split("");
    EXPECT_EQ(s.split(""), "f32");
    EXPECT_EQ(s.split(""), "");

    const std::string longValue = "C:\\" + std::string(100, 'x') + "\\深い\\";
    s.split("lastPath," + longValue, ",", true);
    EXPECT_EQ(s.split(""), longValue);
}

TEST(NameSplitter, SplitsAtTheLastSeparator) {
    struct Case {
        std::string text, sep;
        int count;
        NameParts expected;
    };
    const Case cases[] = {
        {"report.txt", ".", 0, {"report", ".txt"}},
        {"README", ".", 0, {"README", ""}},
        {"archive.tar.gz", ".", 0, {"archive.tar", ".gz"}},
        {".profile", ".", 0, {"", ".profile"}},
        {"note.", ".", 0, {"note", "."}},
        {"C:\\Docs\\a.txt", "\\", 1, {"C:\\Docs\\", "a.txt"}},
        {"C:\\資料\\報告書.txt", "\\", 1, {"C:\\資料\\", "報告書.txt"}},
        {"報告書.テキスト", ".", 0, {"報告書", ".テキスト"}},
        {"C:\\Docs\\", "\\", 1, {"C:\\Docs\\", ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bas_basic::splitName(c.text, c.sep, c.count), c.expected) << c.text;
    }
}

TEST(PathJoiner, PutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(bas_basic::joinPath("C:\\Tools", "mabrel9-iv.ini"), "C:\\Tools\\mabrel9-iv.ini");
    EXPECT_EQ(bas_basic::joinPath("C:\\", "mabrel9-iv.ini"), "C:\\mabrel9-iv.ini");
    EXPECT_EQ(bas_basic::joinPath("C:\\", "\\a"), "C:\\a");
    EXPECT_EQ(bas_basic::joinPath("C:\\x", "\\a"), "C:\\x\\a");
    EXPECT_EQ(bas_basic::joinPath("", "a"), "\\a");
}

TEST(CharacterRemover, RemovesEveryCharacterOfTheSet) {
    EXPECT_EQ(bas_basic::removeChars(".t x,t", " ,"), ".txt");
    EXPECT_EQ(bas_basic::removeChars("a, b", ""), "a, b");
    // Characters, not bytes: removing one kanji must not break its neighbours.
    EXPECT_EQ(bas_basic::removeChars("報告,書 。", "告 "), "報,書。");
}

TEST(CharacterText, CountsAndCutsByCharacter) {
    const std::string s = "報告a書";
    EXPECT_EQ(util::charLength(s), 4u);
    EXPECT_EQ(util::leftChars(s, 2), "報告");
    EXPECT_EQ(util::rightChars(s, 2), "a書");
    EXPECT_EQ(util::leftChars(s, 10), s);
    EXPECT_EQ(util::rightChars(s, 10), s);
    EXPECT_EQ(util::leftChars(s, 0), "");
}

TEST(CharacterText, CaseHelpersTouchOnlyLatinLetters) {
    EXPECT_EQ(util::toLowerAscii("Report.TXT 報告"), "report.txt 報告");
    EXPECT_EQ(util::toUpperAscii("report.txt ａ"), "REPORT.TXT ａ");
    EXPECT_EQ(util::foldCase("ＡＢＣabcDEF資料"), util::foldCase("ａｂｃABCdef資料"));
    EXPECT_NE(util::foldCase("資料"), util::foldCase("報告"));
}

TEST(TimeFormats, AreNineteenCharactersWithLeadingZeros) {
    const platform::LocalTime t{2026, 12, 5, 9, 0, 3};
    EXPECT_EQ(util::formatDateTime(t), "2026-12-05 09:00:03");
    EXPECT_EQ(util::formatTimestamp(t), "2026-12-05 09-00-03");
    EXPECT_EQ(util::formatTimestamp({987, 1, 31, 23, 59, 59}), "0987-01-31 23-59-59");
}

}  // namespace
}  // namespace mabrel
