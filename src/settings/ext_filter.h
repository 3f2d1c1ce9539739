// Extension filters: a list of the form .ext.ext. and a mode (1: only listed).
#pragma once

#include <cstdint>
#include <string>

namespace mabrel::settings {

// The file's extension, lower-cased, with "." appended (".txt." for
// report.TXT, "." for a name without a dot), searched case-sensitively in list.
bool isListed(const std::string& fileName, const std::string& list);

// Whether the filter lets the file through: with mode 1 only listed files,
// with any other mode only files not listed.
bool filterAllows(std::int16_t mode, const std::string& list, const std::string& fileName);

}  // namespace mabrel::settings
