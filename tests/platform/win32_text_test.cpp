// Code page 932 through the Win32 code page functions, and the ANSI code
// page of the machine (932 when Wine runs in a Japanese locale). The text
// files themselves are the text files suite's, which runs on this codec under Wine.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/native.h"
#include "platform/text.h"
#include "platform/win32/win32_codec.h"

namespace mabrel::platform::win32 {
namespace {

const std::string kJapanese = "日本語のコメント ｶﾅ C:\\Docs\\";
const std::string kJapaneseSjis =
    "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x52\x83\x81\x83\x93\x83\x67 \xb6\xc5 C:\\Docs\\";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(CodePage932, ConvertsBothWaysRefusesWhatItCannotHoldAndReplacesWhatDoesNotConvert) {
    CodePageCodec codec(932);
    EXPECT_EQ(codec.toAnsi(kJapanese), kJapaneseSjis);
    EXPECT_EQ(codec.fromAnsi(kJapaneseSjis), kJapanese);
    EXPECT_EQ(codec.toAnsi("①"), "\x87\x40");  // the Microsoft extensions of 932
    // Nothing is approximated: no best fit from ä to a, no default "?".
    for (const char* text : {"Bär", "\xF0\x9F\x93\x84", "한국어", "\x93\xfa"}) EXPECT_FALSE(codec.toAnsi(text)) << text;
    EXPECT_EQ(codec.fromAnsi("\x81\x7f" "b"), kReplacement + "\x7f" "b");  // 0x7F is no trail byte
}

TEST(AnsiCodePage, TheNativeCodecUsesTheMachinesAnsiCodePageAndAWesternOneKeepsJapaneseInUtf8) {
    CodePageCodec western(1252);
    EXPECT_EQ(western.toAnsi("Bär"), "B\xe4r");
    EXPECT_EQ(encodeText(western, "日本語"), "\xEF\xBB\xBF日本語");
    EXPECT_EQ(decodeText(western, "B\xe4r"), "Bär");
    if (::GetACP() != 932) GTEST_SKIP() << "the ANSI code page here is " << ::GetACP() << ", not 932";
    auto codec = makeNativeCodec();
    EXPECT_EQ(codec->fromAnsi(kJapaneseSjis), kJapanese);
    EXPECT_EQ(encodeText(*codec, "設定"), "\x90\xdd\x92\xe8");
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
