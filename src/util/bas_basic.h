// Text and path helpers shared by every subsystem. Paths are in drive form
// (C:\Docs\a.txt) or network form (\\server\share\dir); "\" is the only
// separator. Positions and lengths count characters (UTF-8 code points).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "platform/filesystem.h"

namespace mabrel::bas_basic {

// Field splitter. Stateful: a new split discards the fields of the previous one.
//   split(text, delim, trim) with any text but "" and "__restover__" starts a
//   new split and returns field 1; split("") hands out the next field (" " for
//   an empty field, "" when none is left); split("__restover__") returns the
//   fields not yet handed out joined with the delimiter.
class FieldSplitter {
public:
    static constexpr int kMaxFields = 32;

    std::string split(const std::string& text, const std::string& delimiter = ",", bool trim = false);

private:
    std::array<std::string, kMaxFields + 1> slots_{};
    int count_ = 0;
    int readPosition_ = 0;
    std::string delimiter_;
};

struct NameParts {
    std::string left;
    std::string right;
    friend bool operator==(const NameParts&, const NameParts&) = default;
};

// Splits at the last separator: left = the first p - 1 + count characters,
// right = from p + count on. Without the separator: left = text, right = "".
// ("." with 0: base and extension with its dot; "\" with 1: folder with its
// "\" and the last name.)
NameParts splitName(const std::string& text, const std::string& separator, int count);

// Folder and name with exactly one "\" between them.
std::string joinPath(const std::string& folder, const std::string& name);

// The path with every existing component spelled as stored on disk and the
// missing ones left out; quotes and surrounding spaces removed; a trailing "\"
// when it names a directory. Empty text gives empty text.
std::string normaliseLongName(platform::FileSystem& fs, const std::string& text);

struct CheckedPath {
    std::string drive;   // C: or \\server\share
    std::string folder;  // begins and ends with "\"
    std::string file;    // possibly empty
    friend bool operator==(const CheckedPath&, const CheckedPath&) = default;
};

// A usable path split into its parts, or nothing. Never throws.
std::optional<CheckedPath> checkPath(platform::FileSystem& fs, const std::string& path);

// The text without every character that occurs in set.
std::string removeChars(const std::string& text, const std::string& set);

}  // namespace mabrel::bas_basic
