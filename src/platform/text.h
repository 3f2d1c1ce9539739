// Text files of the program (settings file, comment files): lines ended by
// CR LF, in the ANSI code page (932, Shift_JIS) whenever it can hold the text,
// otherwise in UTF-8 behind a byte order mark, so that nothing typed is lost
// and the reader knows which it is. Inside the program all text is UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform {

// Conversion between UTF-8 and the ANSI code page; iconv on POSIX, the
// Win32 code page functions on Windows.
class Codec {
public:
    virtual ~Codec() = default;
    // The text in the ANSI code page, or nothing when it cannot hold every character.
    virtual std::optional<std::string> toAnsi(const std::string& utf8) const = 0;
    // ANSI bytes as UTF-8; bytes that do not convert become U+FFFD.
    virtual std::string fromAnsi(const std::string& ansi) const = 0;
    // ANSI bytes as UTF-8, or nothing when some bytes are not valid ANSI text.
    virtual std::optional<std::string> fromAnsiStrict(const std::string& ansi) const {
        std::string text = fromAnsi(ansi);
        if (text.find("\xEF\xBF\xBD") != std::string::npos) return std::nullopt;
        return text;
    }
};

bool isValidUtf8(std::string_view bytes);

// Bytes as read from a text file into UTF-8: behind a byte order mark UTF-8;
// otherwise ANSI (as the Windows program writes), unless the bytes are not
// valid ANSI but valid UTF-8 (a file edited by hand).
std::string decodeText(const Codec& codec, const std::string& bytes);
// UTF-8 into file bytes: ANSI when it can hold the text, else UTF-8 behind a
// byte order mark.
std::string encodeText(const Codec& codec, const std::string& utf8);

// Splits at CR LF, LF or CR; a last line without its line end counts.
// An empty text has no lines.
std::vector<std::string> splitLines(const std::string& text);

// The lines of the text file `name` of a folder, decoded. Errors as
// Directory::readFile.
std::vector<std::string> readTextLines(Directory& folder, const Codec& codec, const std::string& name);
// Writes every line followed by CR LF, atomically.
void writeTextLines(Directory& folder, const Codec& codec, const std::string& name,
                    const std::vector<std::string>& lines);

}  // namespace mabrel::platform
