// A cell's number as Excel shows it under the cell's number format: the
// General format (at most 15 significant digits, as Excel keeps them), dates
// and times, fixed decimals, thousands separators, percent and scientific.
// Formats beyond those (fractions, conditions) show as General.
#pragma once

#include <string>
#include <string_view>

namespace mabrel::backup {

// The format code of a built-in format number; empty for General and for
// numbers without one.
std::string_view builtinNumberFormat(int id);

// True when the format shows a date or a time.
bool isDateFormat(std::string_view code);

// `value` under `code`; `date1904` for workbooks that count days from 1904.
std::string formatCellNumber(double value, std::string_view code, bool date1904 = false);

// In the General format.
std::string generalNumber(double value);

}  // namespace mabrel::backup
