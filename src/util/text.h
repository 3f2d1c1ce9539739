// Character-level helpers on UTF-8 text, and the program's time formats.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/filesystem.h"

namespace mabrel::util {

// Length in characters (code points).
std::size_t charLength(const std::string& s);
// The first n characters; the whole text when it is shorter.
std::string leftChars(const std::string& s, std::size_t n);
// The last n characters; the whole text when it is shorter.
std::string rightChars(const std::string& s, std::size_t n);

// ASCII letters only; other characters stay as they are.
std::string toLowerAscii(const std::string& s);
std::string toUpperAscii(const std::string& s);

// Letter case folded for comparison without regard to case (ASCII and the
// full-width Latin letters).
std::string foldCase(const std::string& s);

// `text` over `out` in a room of its own size. Growing a short string to a
// longer one doubles its room (a 19-character timestamp would take 31 bytes
// where 20 do): texts kept once a row are made to measure.
void assignExact(std::string& out, std::string_view text);

// "yyyy-mm-dd hh-mm-ss": the timestamp of row keys and backup names.
std::string formatTimestamp(const platform::LocalTime& t);
// The same written over `out`, whose storage it keeps.
void formatTimestamp(const platform::LocalTime& t, std::string& out);
// "yyyy-mm-dd hh:mm:ss": the date and time of the settings file.
std::string formatDateTime(const platform::LocalTime& t);

}  // namespace mabrel::util
