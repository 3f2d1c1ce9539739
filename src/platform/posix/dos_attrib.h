// The DOS attributes as Samba (and ksmbd) keep them in the extended
// attribute "user.DOSATTRIB", so that a folder shared by Samba shows the same
// hidden, system and archive flags to Windows clients as to this program.
//
// Two forms are read: the old text form ("0x22"), and the binary form, an
// NDR blob: a NUL-terminated hex text (often empty), a 16-bit version, the
// 16-bit union level, then the version's record, in which the attribute is
// the first 32-bit field (versions 1 and 0xFFFF) or the second one, after
// the valid-flags field (versions 2 to 5). The version 4 record is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mabrel::platform::posix {

inline constexpr const char* kDosAttribName = "user.DOSATTRIB";

// The attribute bits held by a stored value, or nothing when the value is
// not in a form we know or says its attribute field is not valid.
std::optional<std::uint32_t> decodeDosAttrib(const std::string& value);

// A value holding these attribute bits, in the version 4 binary form.
std::string encodeDosAttrib(std::uint32_t attributes);

}  // namespace mabrel::platform::posix
