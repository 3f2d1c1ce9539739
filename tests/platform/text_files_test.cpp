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
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain, ascii\r\n"));
    EXPECT_TRUE(isValidUtf8("日本語 ｶﾅ \xF0\x9F\x93\x84"));
    EXPECT_FALSE(isValidUtf8("\x93\xfa\x96\x7b"));      // 日本 in Shift_JIS
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));              // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));          // overlong, three bytes
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));          // a surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));      // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE6\x97"));              // cut short
    EXPECT_FALSE(isValidUtf8("a\x80"));
}

TEST(LineSplitting, EveryLineEndCountsAndALastLineWithoutOneToo) {
    EXPECT_EQ(splitLines(""), std::vector<std::string>{});
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(splitLines("\r\n"), (std::vector<std::string>{""}));
    EXPECT_EQ(splitLines("\n\r"), (std::vector<std::string>{"", ""}));  // LF then a lone CR
}

TEST_F(TextFilesTest, JapaneseTextIsWrittenInShiftJisWithCrLf) {
    const std::string path = "_mabre.l94";
    const std::vector<std::string> lines = {"フォルダのコメント", "report.txt_2000-07-15 09-05-03,第一版 ①～", ""};
    writeTextLines(*folder, *codec, path, lines);
    const std::string bytes = test::readBytes(dir.path() / "_mabre.l94");
    EXPECT_FALSE(isValidUtf8(bytes));
    EXPECT_EQ(bytes.substr(0, 4), "\x83\x74\x83\x48");  // フォ
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n");
    EXPECT_EQ(readTextLines(*folder, *codec, path), lines);
}

TEST_F(TextFilesTest, TextThatCodePage932CannotHoldIsKeptInUtf8BehindAByteOrderMark) {
    const std::string path = "_mabre.l94";
    const std::vector<std::string> lines = {"ok", "한국어 and \xF0\x9F\x93\x84 and 日本語"};
    writeTextLines(*folder, *codec, path, lines);
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), "\xEF\xBB\xBFok\r\n" + lines[1] + "\r\n");
    EXPECT_EQ(readTextLines(*folder, *codec, path), lines);
}

TEST_F(TextFilesTest, ShiftJisBytesThatLookLikeUtf8AreReadAsShiftJis) {
    // ﾐｽ is D0 BD in code page 932, which is also "н" in UTF-8: a file the
    // Windows program wrote reads as code page 932, and ours is written so.
    dir.write("windows.l94", "\xD0\xBD\r\nkey,\xC3\xBD\r\n");
    EXPECT_EQ(readTextLines(*folder, *codec, "windows.l94"), (std::vector<std::string>{"ﾐｽ", "key,ﾃｽ"}));
    const std::string path = "kana.txt";
    writeTextLines(*folder, *codec, path, {"ﾐｽ"});
    EXPECT_EQ(test::readBytes(dir.path() / "kana.txt"), "\xD0\xBD\r\n");
    EXPECT_EQ(readTextLines(*folder, *codec, path), std::vector<std::string>{"ﾐｽ"});
    // Edited by hand in UTF-8: not valid code page 932, so UTF-8 it is.
    dir.write("hand.l94", "memo \xE3\x81\x82\r\n");
    EXPECT_EQ(readTextLines(*folder, *codec, "hand.l94"), std::vector<std::string>{"memo あ"});
}

TEST_F(TextFilesTest, UndecodableBytesBecomeReplacementCharactersAndABomIsDropped) {
    EXPECT_EQ(codec->fromAnsi("a\x85\xff" "b\x82\xa0"), "a\xEF\xBF\xBD\xEF\xBF\xBD" "bあ");
    EXPECT_EQ(codec->fromAnsi("\x82"), "\xEF\xBF\xBD");  // a lead byte at the end
    EXPECT_EQ(codec->toAnsi("\\~"), std::optional<std::string>("\\~"));
    EXPECT_EQ(codec->toAnsi("\xF0\x9F\x93\x84"), std::nullopt);
    dir.write("bom.txt", "\xEF\xBB\xBF" "first\r\nsecond");
    EXPECT_EQ(readTextLines(*folder, *codec, "bom.txt"), (std::vector<std::string>{"first", "second"}));

    // A first line that itself begins with U+FEFF (a folder comment pasted
    // from elsewhere) keeps it.
    const std::vector<std::string> lines = {"\xEF\xBB\xBF" "comment", "x"};
    writeTextLines(*folder, *codec, "own.txt", lines);
    EXPECT_EQ(readTextLines(*folder, *codec, "own.txt"), lines);
}

TEST_F(TextFilesTest, AMissingFileIsFileNotFound) {
    try {
        readTextLines(*folder, *codec, "none.ini");
        FAIL() << "no error";
    } catch (const PlatformError& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
        EXPECT_EQ(e.description(), "ファイルが見つかりません。");
    }
}

}  // namespace
}  // namespace mabrel::platform
