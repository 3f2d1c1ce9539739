// UTF-8 inside the program, UTF-16 at the Win32 boundary.
#pragma once

#include <string>

namespace mabrel::platform::win32 {

// Invalid UTF-8 becomes U+FFFD (such a name cannot exist on disk anyway).
std::wstring widen(const std::string& utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, std::size_t length);

}  // namespace mabrel::platform::win32
