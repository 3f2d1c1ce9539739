// The Win32 code page functions. Code page 932 itself, as the machine's ANSI
// code page, is the text files suite's, which runs on this codec under Wine.
#ifdef _WIN32

#include <gtest/gtest.h>

#include "platform/text.h"
#include "platform/win32/win32_codec.h"

namespace mabrel::platform::win32 {
namespace {

// What only the Windows conversion functions decide: nothing approximated (no
// best fit from ä to a, no default "?"), bytes that are no character replaced,
// and a Western machine keeping Japanese in UTF-8.
TEST(CodePages, NothingIsApproximatedWhatDoesNotConvertIsReplacedAndAWesternOneKeepsJapaneseInUtf8) {
    CodePageCodec codec(932);
    for (const char* text : {"Bär", "\xF0\x9F\x93\x84", "한국어", "\x93\xfa"}) EXPECT_FALSE(codec.toAnsi(text)) << text;
    EXPECT_EQ(codec.fromAnsi("\x81\x7f" "b"), "\xEF\xBF\xBD\x7f" "b");  // 0x7F is no trail byte
    CodePageCodec western(1252);
    EXPECT_EQ(western.toAnsi("Bär"), "B\xe4r");
    EXPECT_EQ(encodeText(western, "日本語"), "\xEF\xBB\xBF日本語");
    EXPECT_EQ(decodeText(western, "B\xe4r"), "Bär");
}

}  // namespace
}  // namespace mabrel::platform::win32

#endif  // _WIN32
