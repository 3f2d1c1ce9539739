#include "platform/win32/wide.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>

#include "platform/errors.h"

namespace mabrel::platform::win32 {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > INT_MAX) throw PlatformError(err::InvalidArgument);
    const int inLength = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, nullptr, 0);
    if (n <= 0) throw PlatformError(err::InvalidArgument);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inLength, out.data(), n);
    return out;
}

std::string narrow(const wchar_t* utf16, std::size_t length) {
    if (length == 0) return {};
    if (length > INT_MAX) throw PlatformError(err::InvalidArgument);
    const int inLength = static_cast<int>(length);
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16, inLength, nullptr, 0, nullptr, nullptr);
    if (n <= 0) throw PlatformError(err::InvalidArgument);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16, inLength, out.data(), n, nullptr, nullptr);
    return out;
}

std::string narrow(const std::wstring& utf16) { return narrow(utf16.data(), utf16.size()); }

}  // namespace mabrel::platform::win32
