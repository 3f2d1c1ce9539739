// Text files of the program (settings file, comment files): lines ended by
// CR LF, in the ANSI code page (932, Shift_JIS) whenever it can hold the text,
// in UTF-8 otherwise so that nothing typed is lost. Inside the program all
// text is UTF-8.
#pragma once

#include <optional>
#include <string>
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
};

bool isValidUtf8(const std::string& bytes);

// Bytes as read from a text file into UTF-8: valid UTF-8 stays, anything else
// is taken as ANSI.
std::string decodeText(const Codec& codec, const std::string& bytes);
// UTF-8 into file bytes: ANSI when it can hold the text, UTF-8 otherwise.
std::string encodeText(const Codec& codec, const std::string& utf8);

// Splits at CR LF, LF or CR; a last line without its line end counts.
// An empty text has no lines.
std::vector<std::string> splitLines(const std::string& text);

// The lines of a text file, decoded. Errors as FileSystem::readFile.
std::vector<std::string> readTextLines(FileSystem& fs, const Codec& codec, const std::string& path);
// Writes every line followed by CR LF, atomically.
void writeTextLines(FileSystem& fs, const Codec& codec, const std::string& path,
                    const std::vector<std::string>& lines);

}  // namespace mabrel::platform
