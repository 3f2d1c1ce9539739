// Text files of the program (settings file, comment files): lines ended by
// CR LF, in the ANSI code page (932, Shift_JIS) whenever it can hold the text,
// otherwise in UTF-8 behind a byte order mark, so that nothing typed is lost
// and the reader knows which it is. A file is in one encoding, never two.
// Inside the program all text is UTF-8.
#pragma once

#include <cstddef>
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
// Appends the UTF-8 bytes of the code point `cp`.
void appendUtf8(std::string& out, char32_t cp);
// UTF-8 with U+FFFD for each byte that is not part of a valid sequence;
// `invalid`, when given, counts those bytes.
std::string utf8Lossy(const std::string& bytes, std::size_t* invalid = nullptr);

enum class TextEncoding { Ansi, Utf8, Utf8WithMark };
inline constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The encoding of a text file's bytes: behind a byte order mark UTF-8, even
// where a byte is damaged; without one, UTF-8 when the bytes hold sequences
// of three bytes or more (Japanese text in UTF-8 is made of such; text in
// the ANSI code page is valid UTF-8 almost only as pairs of half-width kana,
// two-byte sequences) and at most one damaged byte to every four of them (a
// file cut or spliced mid-character is still UTF-8; ANSI text read as UTF-8
// is mostly damage); otherwise ANSI, as the Windows program writes.
TextEncoding textEncoding(std::string_view bytes);

// Text behind a UTF-16 byte order mark (FF FE little-endian, FE FF
// big-endian) as UTF-8, without the mark; nothing for other bytes. An
// unpaired surrogate or a last odd byte becomes U+FFFD, counted in `invalid`.
std::optional<std::string> decodeUtf16WithMark(std::string_view bytes, std::size_t& invalid);

// Bytes as read from a text file into UTF-8, by textEncoding (without the
// mark); bytes that do not convert become U+FFFD.
std::string decodeText(const Codec& codec, const std::string& bytes);
// UTF-8 into file bytes: ANSI when it can hold the text and reads back as
// ANSI, else UTF-8 behind a byte order mark.
std::string encodeText(const Codec& codec, const std::string& utf8);

// A file name as the person sees it: UTF-8 as it is; else read as the ANSI
// code page where it is valid there (a name from a Japanese Windows
// archive); else with U+FFFD for each byte that cannot be read.
std::string displayName(const Codec& codec, const std::string& bytes);

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
