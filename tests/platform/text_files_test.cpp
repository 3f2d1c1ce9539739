// Text files in code page 932 with the UTF-8 fallback, through the real
// iconv codec and real files.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/native.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace mabrel::platform {
namespace {

using test::TempDir;

class TextFilesTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
    std::unique_ptr<Directory> folder = fs->openDirectory(dir.drivePath());
    std::unique_ptr<Codec> codec = makeNativeCodec();
};

TEST(Utf8Validation, AcceptsCharactersAndRejectsMalformedSequences) {
    for (const char* good : {"", "plain, ascii\r\n", "日本語 ｶﾅ \xF0\x9F\x93\x84"}) EXPECT_TRUE(isValidUtf8(good)) << good;
    // 日本 in Shift_JIS, overlong "/" in two and three bytes, a surrogate,
    // past U+10FFFF, cut short, a lone continuation byte.
    for (const char* bad : {"\x93\xfa\x96\x7b", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "\xE6\x97", "a\x80"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
    }
}

TEST(LineSplitting, EveryLineEndCountsAndALastLineWithoutOneToo) {
    EXPECT_EQ(splitLines(""), std::vector<std::string>{});
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitLines("\r\n"), (std::vector<std::string>{""}));
    EXPECT_EQ(splitLines("\n\r"), (std::vector<std::string>{"", ""}));  // LF then a lone CR
}

// Code page 932 where it holds the text and reads back as written; else
// UTF-8 behind a byte order mark. Kana pairs stay code page 932, but after a
// user-defined character they would read back as UTF-8 (F0 A8 BD BD).
TEST_F(TextFilesTest, TextIsWrittenInCodePage932OrElseInUtf8BehindAMark) {
    const struct {
        std::vector<std::string> lines;
        std::string bytes;
    } cases[] = {
        {{"フォルダ", "第一版 ①～", ""}, "\x83\x74\x83\x48\x83\x8b\x83\x5f\r\n\x91\xe6\x88\xea\x94\xc5 \x87\x40\x81\x60\r\n\r\n"},
        {{"ok", "한국어 and \xF0\x9F\x93\x84 and 日本語"}, "\xEF\xBB\xBFok\r\n한국어 and \xF0\x9F\x93\x84 and 日本語\r\n"},
        {{"ﾐｽ"}, "\xD0\xBD\r\n"},
        {{"\xEE\x81\xA7ｽｽ"}, "\xEF\xBB\xBF\xEE\x81\xA7ｽｽ\r\n"},
        // A first line that itself begins with U+FEFF (pasted from elsewhere) keeps it.
        {{"\xEF\xBB\xBF" "comment", "x"}, "\xEF\xBB\xBF\xEF\xBB\xBF" "comment\r\nx\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.front());
        writeTextLines(*folder, *codec, "_mabre.l94", c.lines);
        EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), c.bytes);
        EXPECT_EQ(readTextLines(*folder, *codec, "_mabre.l94"), c.lines);
    }
}

// Which encoding a file is read in: behind a byte order mark UTF-8, even
// damaged; without one UTF-8 only when it holds a sequence of three bytes or
// more, so that the pairs of half-width kana the Windows program writes stay
// code page 932.
TEST_F(TextFilesTest, AFileIsReadInTheEncodingItsBytesShow) {
    struct Case {
        const char* what;
        std::string bytes;
        TextEncoding encoding;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"kana pairs that are also UTF-8 (ﾐｽ is D0 BD, н in UTF-8)", "\xD0\xBD\r\nkey,\xC3\xBD\r\n",
         TextEncoding::Ansi, {"ﾐｽ", "key,ﾃｽ"}},
        {"UTF-8 by hand that is also code page 932", "\xE3\x83\xA1\xE3\x83\xA2\r\nk,\xE5\x88\x9D\xE7\x89\x88\r\n",
         TextEncoding::Utf8, {"メモ", "k,初版"}},
        {"code page 932", "\x83\x81\x83\x82\r\n", TextEncoding::Ansi, {"メモ"}},
        {"behind the mark, a damaged byte", "\xEF\xBB\xBF\xE3\x83\xA1\xFF\r\nok\r\n", TextEncoding::Utf8WithMark,
         {"メ\xEF\xBF\xBD", "ok"}},
        {"behind the mark, the last character cut off", "\xEF\xBB\xBF\xE3\x83\xA1\r\n\xE3\x83",
         TextEncoding::Utf8WithMark, {"メ", "\xEF\xBF\xBD\xEF\xBF\xBD"}},
        {"behind the mark, no line end", "\xEF\xBB\xBF" "first\r\nsecond", TextEncoding::Utf8WithMark, {"first", "second"}},
        {"without the mark, one character cut short among many", "メモメモメモメモ初\xE7\x89\r\n",
         TextEncoding::Utf8, {"メモメモメモメモ初\xEF\xBF\xBD\xEF\xBF\xBD"}},
        {"code page 932 that holds a UTF-8 sequence by chance (E3 81 82, あ)", "\xE3\x81\x82\xA0\x82\xA2\x82\xA4\r\n",
         TextEncoding::Ansi, {"縺あいう"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(textEncoding(c.bytes), c.encoding);
        dir.write("case.l94", c.bytes);
        EXPECT_EQ(readTextLines(*folder, *codec, "case.l94"), c.lines);
    }
}

TEST_F(TextFilesTest, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(codec->fromAnsi("a\x85\xff" "b\x82\xa0"), "a\xEF\xBF\xBD\xEF\xBF\xBD" "bあ");
    EXPECT_EQ(codec->fromAnsi("\x82"), "\xEF\xBF\xBD");  // a lead byte at the end
    EXPECT_EQ(codec->toAnsi("\\~"), std::optional<std::string>("\\~"));
    EXPECT_EQ(codec->toAnsi("\xF0\x9F\x93\x84"), std::nullopt);
    // The code page holds 〜 only as ～: it would read back as another character.
    EXPECT_EQ(codec->toAnsi("〜"), std::nullopt);
}

}  // namespace
}  // namespace mabrel::platform
