#include "platform/win32/win32_codec.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>

#include "platform/native.h"
#include "platform/win32/wide.h"

namespace mabrel::platform::win32 {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Strict: fails on anything the code page does not define.
std::optional<std::wstring> decodeStrict(unsigned codePage, const char* data, int length) {
    if (length == 0) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data, length, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, data, length, out.data(), n);
    return out;
}

}  // namespace

CodePageCodec::CodePageCodec(unsigned codePage) : codePage_(codePage) {}

std::optional<std::string> CodePageCodec::toAnsi(const std::string& utf8) const {
    if (utf8.size() > INT_MAX) return std::nullopt;
    if (!isValidUtf8(utf8)) return std::nullopt;
    if (codePage_ == CP_UTF8) return utf8;
    auto wide = decodeStrict(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
    if (!wide) return std::nullopt;
    if (wide->empty()) return std::string();
    const int inLength = static_cast<int>(wide->size());
    BOOL usedDefault = FALSE;
    // No best fit: a character the code page lacks must not turn silently
    // into a look-alike.
    const int n = ::WideCharToMultiByte(codePage_, WC_NO_BEST_FIT_CHARS, wide->data(), inLength, nullptr, 0, nullptr,
                                        &usedDefault);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage_, WC_NO_BEST_FIT_CHARS, wide->data(), inLength, ansi.data(), n, nullptr,
                          &usedDefault);
    if (usedDefault) return std::nullopt;
    // Only a text that reads back unchanged is held by the code page.
    if (fromAnsi(ansi) != utf8) return std::nullopt;
    return ansi;
}

std::string CodePageCodec::fromAnsi(const std::string& ansi) const {
    if (ansi.size() > INT_MAX) return std::string();
    if (auto whole = decodeStrict(codePage_, ansi.data(), static_cast<int>(ansi.size()))) return narrow(*whole);

    // Some bytes do not convert: character by character, U+FFFD for each
    // byte that cannot start a character here.
    std::string out;
    std::size_t i = 0;
    while (i < ansi.size()) {
        const auto byte = static_cast<BYTE>(ansi[i]);
        std::size_t length = ::IsDBCSLeadByteEx(codePage_, byte) && i + 1 < ansi.size() ? 2 : 1;
        auto piece = decodeStrict(codePage_, ansi.data() + i, static_cast<int>(length));
        if (!piece && length == 2) {
            length = 1;
            piece = decodeStrict(codePage_, ansi.data() + i, 1);
        }
        if (piece) {
            out += narrow(*piece);
        } else {
            out += kReplacement;
        }
        i += length;
    }
    return out;
}

}  // namespace mabrel::platform::win32

namespace mabrel::platform {

std::unique_ptr<Codec> makeNativeCodec() { return std::make_unique<win32::CodePageCodec>(::GetACP()); }

}  // namespace mabrel::platform
