// Code page 932 through the Win32 code page functions, and the ANSI code
// page of the machine (932 when Wine runs in a Japanese locale).
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "platform/text.h"
#include "platform/win32/win32_codec.h"
#include "platform/win32/win32_filesystem.h"
#include "support/temp_dir.h"

namespace mabrel::platform::win32 {
namespace {

const std::string kJapanese = "日本語のコメント ｶﾅ C:\\Docs\\";
const std::string kJapaneseSjis =
    "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x52\x83\x81\x83\x93\x83\x67 \xb6\xc5 C:\\Docs\\";

TEST(CodePage932, ConvertsBothWaysAndRefusesWhatItCannotHold) {
    CodePageCodec codec(932);
    EXPECT_EQ(codec.toAnsi(kJapanese), kJapaneseSjis);
    EXPECT_EQ(codec.fromAnsi(kJapaneseSjis), kJapanese);
    EXPECT_EQ(codec.toAnsi(""), "");
    EXPECT_EQ(codec.fromAnsi(""), "");
    // The Microsoft extensions of 932: circled digits, NEC row 13.
    EXPECT_EQ(codec.toAnsi("①"), "\x87\x40");

    // Nothing is approximated: no best fit from ä to a, no default "?".
    EXPECT_FALSE(codec.toAnsi("Bär"));
    EXPECT_FALSE(codec.toAnsi("\xF0\x9F\x93\x84"));  // beyond the BMP
    EXPECT_FALSE(codec.toAnsi("한국어"));
    EXPECT_FALSE(codec.toAnsi("\x93\xfa"));  // not UTF-8 to begin with
}

TEST(CodePage932, BytesThatDoNotConvertBecomeReplacementCharacters) {
    CodePageCodec codec(932);
    EXPECT_EQ(codec.fromAnsi("a\x93"), "a\xEF\xBF\xBD");           // a lead byte cut off at the end
    EXPECT_EQ(codec.fromAnsi("\x93\xfa\x81"), "日\xEF\xBF\xBD");
    EXPECT_EQ(codec.fromAnsi("\x81\x7f" "b"), "\xEF\xBF\xBD\x7f" "b");  // 0x7F is no trail byte: it stands alone
}

TEST(CodePage932, TextFilesAreShiftJisWhenTheyCanBeAndUtf8OtherwiseWithNothingLost) {
    test::TempDir dir;
    Win32FileSystem native;
    const auto fs = native.openDirectory(dir.drivePath());
    CodePageCodec codec(932);
    const std::string path = "_mabre.l94";

    writeTextLines(*fs, codec, path, {"フォルダのコメント", "a.txt_2000-07-15 09-05-03,ｶﾅ"});
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"),
              "\x83\x74\x83\x48\x83\x8b\x83\x5f\x82\xcc\x83\x52\x83\x81\x83\x93\x83\x67\r\n"
              "a.txt_2000-07-15 09-05-03,\xb6\xc5\r\n");
    EXPECT_EQ(readTextLines(*fs, codec, path),
              (std::vector<std::string>{"フォルダのコメント", "a.txt_2000-07-15 09-05-03,ｶﾅ"}));

    writeTextLines(*fs, codec, path, {"日本語", "Bär \xF0\x9F\x93\x84"});
    EXPECT_EQ(test::readBytes(dir.path() / "_mabre.l94"), "\xEF\xBB\xBF日本語\r\nBär \xF0\x9F\x93\x84\r\n");
    EXPECT_EQ(readTextLines(*fs, codec, path), (std::vector<std::string>{"日本語", "Bär \xF0\x9F\x93\x84"}));
}

TEST(AnsiCodePage, TheNativeCodecUsesTheMachinesAnsiCodePage) {
    auto codec = makeNativeCodec();
    const unsigned acp = ::GetACP();
    if (acp != 932) {
        GTEST_SKIP() << "the ANSI code page here is " << acp
                     << ", not 932 (under Wine: LANG=ja_JP.UTF-8 with that locale generated)";
    }
    EXPECT_EQ(codec->toAnsi(kJapanese), kJapaneseSjis);
    EXPECT_EQ(codec->fromAnsi(kJapaneseSjis), kJapanese);
    EXPECT_EQ(encodeText(*codec, "設定"), "\x90\xdd\x92\xe8");
}

TEST(AnsiCodePage, AWesternCodePageKeepsJapaneseTextInUtf8) {
    CodePageCodec codec(1252);
    EXPECT_EQ(codec.toAnsi("Bär"), "B\xe4r");
    EXPECT_FALSE(codec.toAnsi("日本語"));
    EXPECT_EQ(encodeText(codec, "日本語"), "\xEF\xBB\xBF日本語");
    EXPECT_EQ(decodeText(codec, "\xEF\xBB\xBF日本語"), "日本語");
    EXPECT_EQ(decodeText(codec, "B\xe4r"), "Bär");
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
