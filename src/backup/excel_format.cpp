#include "backup/excel_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mabrel::backup {

namespace {

// Bytes of the UTF-8 character that starts at `c`.
std::size_t charLength(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x80 ? 1 : u < 0xE0 ? 2 : u < 0xF0 ? 3 : 4;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The format's sections, split at ";" outside quotes, escapes and brackets.
std::vector<std::string_view> sections(std::string_view code) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const auto close = code.find('"', i + 1);
            i = close == std::string_view::npos ? code.size() : close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == '[') {
            const auto close = code.find(']', i + 1);
            i = close == std::string_view::npos ? code.size() : close;
        } else if (c == ';') {
            out.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(code.substr(std::min(start, code.size())));
    return out;
}

// One piece of a format: literal text, or a run of one format letter.
struct Token {
    char kind = 0;  // 0 literal; y m d h s e g for dates; 'a' AM/PM; 'f' fraction of a second; 'H' 'M' 'S' elapsed
    int count = 0;
    std::string text;
};

// Splits a section into tokens; a number format's symbols stay literal text.
std::vector<Token> tokens(std::string_view s) {
    std::vector<Token> out;
    const auto literal = [&](std::string_view t) {
        if (out.empty() || out.back().kind != 0) out.push_back({});
        out.back().text.append(t);
    };
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const char l = lower(c);
        if (c == '"') {
            const auto close = s.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? s.size() : close;
            literal(s.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '\\' && i + 1 < s.size()) {
            const std::size_t n = charLength(s[i + 1]);
            literal(s.substr(i + 1, n));
            i += 1 + n;
        } else if (c == '_' && i + 1 < s.size()) {
            literal(" ");
            i += 1 + charLength(s[i + 1]);
        } else if (c == '*' && i + 1 < s.size()) {
            i += 1 + charLength(s[i + 1]);
        } else if (c == '[') {
            const auto close = s.find(']', i + 1);
            const std::size_t end = close == std::string_view::npos ? s.size() : close;
            const std::string_view inside = s.substr(i + 1, end - i - 1);
            const char first = inside.empty() ? 0 : lower(inside[0]);
            if ((first == 'h' || first == 'm' || first == 's') && inside.find_first_not_of(inside[0]) == std::string_view::npos) {
                out.push_back({static_cast<char>(first - 'a' + 'A'), static_cast<int>(inside.size()), {}});
            } else if (first == '$') {
                // A currency or locale: "[$¥-411]" shows "¥".
                const auto dash = inside.find('-');
                literal(inside.substr(1, (dash == std::string_view::npos ? inside.size() : dash) - 1));
            }
            i = end + 1;
        } else if (l == 'e' && !out.empty() && out.back().kind == 0 && !out.back().text.empty() &&
                   std::string_view("0#?.").find(out.back().text.back()) != std::string_view::npos) {
            literal(s.substr(i, 1));  // the exponent of "0.00E+00"
            ++i;
        } else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's' || l == 'e' || l == 'g') {
            std::size_t j = i;
            while (j < s.size() && lower(s[j]) == l) ++j;
            out.push_back({l, static_cast<int>(j - i), {}});
            i = j;
        } else if (l == 'a' && (s.substr(i, 5) == "AM/PM" || s.substr(i, 5) == "am/pm")) {
            out.push_back({'a', 5, {}});
            i += 5;
        } else if (l == 'a' && (s.substr(i, 3) == "A/P" || s.substr(i, 3) == "a/p")) {
            out.push_back({'a', 3, {}});
            i += 3;
        } else if (c == '.' && i + 1 < s.size() && s[i + 1] == '0' && !out.empty() && (out.back().kind == 's' || out.back().kind == 'S')) {
            std::size_t j = i + 1;
            while (j < s.size() && s[j] == '0') ++j;
            out.push_back({'f', static_cast<int>(j - i - 1), {}});
            i = j;
        } else {
            const std::size_t n = charLength(c);
            literal(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

std::string padded(std::int64_t v, int width) {
    std::string s = std::to_string(v < 0 ? -v : v);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return v < 0 ? "-" + s : s;
}

constexpr std::array<const char*, 12> kMonths = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kWeekdays = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

struct Era {
    std::int64_t firstDay;  // days since 1970
    std::int64_t firstYear;
    const char* name;
    const char* letter;
};

std::string formatDate(double serial, std::string_view section, bool date1904) {
    std::int64_t days = static_cast<std::int64_t>(std::floor(serial));
    std::int64_t ms = std::llround((serial - static_cast<double>(days)) * 86400000.0);
    std::vector<Token> toks = tokens(section);
    int fraction = 0;
    for (const Token& t : toks) fraction = t.kind == 'f' ? t.count : fraction;
    // Shown to the second (or to its shown fraction), rounded as Excel does.
    const std::int64_t unit = fraction >= 3 ? 1 : fraction == 2 ? 10 : fraction == 1 ? 100 : 1000;
    ms = (ms + unit / 2) / unit * unit;
    if (ms >= 86400000) {
        ++days;
        ms -= 86400000;
    }
    Civil date{};
    if (date1904) {
        date = civilFromDays(daysFromCivil(1904, 1, 1) + days);
    } else if (days == 60) {
        date = {1900, 2, 29};  // the day Excel counts that never was
    } else {
        date = civilFromDays(daysFromCivil(1899, 12, 31) + days - (days > 60 ? 1 : 0));
    }
    const std::int64_t civilDays = daysFromCivil(date.year, date.month, date.day);
    const std::int64_t seconds = ms / 1000;
    const std::int64_t hour = seconds / 3600, minute = seconds / 60 % 60, second = seconds % 60;

    bool twelve = false;
    for (const Token& t : toks) twelve = twelve || t.kind == 'a';
    // "m" is minutes after an hour or before a second.
    for (std::size_t i = 0; i < toks.size(); ++i) {
        if (toks[i].kind != 'm' || toks[i].count > 2) continue;
        std::size_t p = i, n = i + 1;
        while (p > 0 && toks[p - 1].kind == 0) --p;
        while (n < toks.size() && toks[n].kind == 0) ++n;
        const bool afterHour = p > 0 && (toks[p - 1].kind == 'h' || toks[p - 1].kind == 'H');
        const bool beforeSecond = n < toks.size() && (toks[n].kind == 's' || toks[n].kind == 'S');
        if (afterHour || beforeSecond) toks[i].kind = 'n';
    }
    static const std::array<Era, 5> eras = {{{daysFromCivil(2019, 5, 1), 2019, "令和", "R"},
                                             {daysFromCivil(1989, 1, 8), 1989, "平成", "H"},
                                             {daysFromCivil(1926, 12, 25), 1926, "昭和", "S"},
                                             {daysFromCivil(1912, 7, 30), 1912, "大正", "T"},
                                             {daysFromCivil(1868, 1, 1), 1868, "明治", "M"}}};
    const Era* era = &eras.back();
    for (const Era& e : eras) {
        if (civilDays >= e.firstDay) {
            era = &e;
            break;
        }
    }
    std::string out;
    for (const Token& t : toks) {
        switch (t.kind) {
        case 0: out += t.text; break;
        case 'y': out += t.count <= 2 ? padded(date.year % 100, 2) : padded(date.year, 4); break;
        case 'm':
            out += t.count == 1   ? std::to_string(date.month)
                   : t.count == 2 ? padded(date.month, 2)
                   : t.count == 3 ? std::string(kMonths[date.month - 1]).substr(0, 3)
                   : t.count == 4 ? std::string(kMonths[date.month - 1])
                                  : std::string(kMonths[date.month - 1]).substr(0, 1);
            break;
        case 'd': {
            const auto weekday = static_cast<std::size_t>(((civilDays % 7) + 11) % 7);  // 1970-01-01 was a Thursday
            out += t.count == 1   ? std::to_string(date.day)
                   : t.count == 2 ? padded(date.day, 2)
                   : t.count == 3 ? std::string(kWeekdays[weekday]).substr(0, 3)
                                  : std::string(kWeekdays[weekday]);
            break;
        }
        case 'h': {
            std::int64_t h = hour;
            if (twelve) h = h % 12 == 0 ? 12 : h % 12;
            out += padded(h, std::min(t.count, 2));
            break;
        }
        case 'n': out += padded(minute, std::min(t.count, 2)); break;
        case 's': out += padded(second, std::min(t.count, 2)); break;
        case 'H': out += padded((days * 24) + hour, t.count); break;
        case 'M': out += padded((days * 24 + hour) * 60 + minute, t.count); break;
        case 'S': out += padded(((days * 24 + hour) * 60 + minute) * 60 + second, t.count); break;
        case 'f': out += "." + padded(ms % 1000, 3).substr(0, static_cast<std::size_t>(std::min(t.count, 3))); break;
        case 'a': out += t.count == 5 ? (hour < 12 ? "AM" : "PM") : (hour < 12 ? "A" : "P"); break;
        case 'e': out += padded(date.year - era->firstYear + 1, t.count >= 2 ? 2 : 1); break;
        case 'g': out += t.count >= 3 ? std::string(era->name) : t.count == 2 ? std::string(era->name).substr(0, 3) : era->letter; break;
        default: break;
        }
    }
    return out;
}

// `v` (not below zero) with `decimals` decimals, rounded half up on the 15
// significant digits Excel keeps (1.005 shows as 1.01 with two).
std::string fixed(double v, int decimals) {
    if (!std::isfinite(v)) return "#NUM!";
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, 14);
    const std::string s(buffer, r.ptr);  // d.dddddddddddddde+XX
    const auto e = s.find('e');
    int exponent = 0;
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exponent);
    std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
    int before = exponent + 1;  // digits before the point
    const int keep = before + decimals;
    if (keep < 0) return decimals > 0 ? "0." + std::string(static_cast<std::size_t>(decimals), '0') : "0";
    if (keep < static_cast<int>(digits.size())) {
        const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(static_cast<std::size_t>(keep));
        if (up) {
            int i = keep - 1;
            for (; i >= 0 && digits[static_cast<std::size_t>(i)] == '9'; --i) digits[static_cast<std::size_t>(i)] = '0';
            if (i < 0) {
                digits.insert(0, "1");
                ++before;
            } else {
                ++digits[static_cast<std::size_t>(i)];
            }
        }
    } else {
        digits.append(static_cast<std::size_t>(keep) - digits.size(), '0');
    }
    const std::string integer = before > 0 ? digits.substr(0, static_cast<std::size_t>(before)) : "0";
    std::string fraction = before >= 0 ? digits.substr(static_cast<std::size_t>(before))
                                       : std::string(static_cast<std::size_t>(-before), '0') + digits;
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    return decimals > 0 ? integer + "." + fraction : integer;
}

// A number format's section for a number `v` not below zero (the sign is
// the caller's).
std::string formatNumber(double v, std::string_view section) {
    std::string prefix, suffix;
    int integerZeros = 0, decimals = 0, decimalZeros = 0, percent = 0, exponentDigits = -1;
    bool seenPlaceholder = false, seenPoint = false, thousands = false;
    for (const Token& t : tokens(section)) {
        if (t.kind != 0) return generalNumber(v);  // a letter where a number format has none
        for (std::size_t i = 0; i < t.text.size(); ++i) {
            const char c = t.text[i];
            if (exponentDigits >= 0) {
                if (c == '0' || c == '#') ++exponentDigits;
                else if (c != '+' && c != '-') suffix += c;
            } else if (c == '0' || c == '#' || c == '?') {
                seenPlaceholder = true;
                suffix.clear();
                if (seenPoint) {
                    ++decimals;
                    decimalZeros = c == '0' ? decimals : decimalZeros;
                } else if (c == '0') {
                    ++integerZeros;
                }
            } else if (c == '.' && seenPlaceholder) {
                seenPoint = true;
            } else if (c == ',' && seenPlaceholder && !seenPoint) {
                thousands = true;
            } else if (c == '%') {
                ++percent;
                (seenPlaceholder ? suffix : prefix) += c;
            } else if ((c == 'E' || c == 'e') && seenPlaceholder) {
                exponentDigits = 0;
            } else if (c == '/' || c == '@') {
                return generalNumber(v);  // fractions, text
            } else {
                (seenPlaceholder ? suffix : prefix) += c;
            }
        }
    }
    if (!seenPlaceholder) return prefix;
    for (int i = 0; i < percent; ++i) v *= 100;
    if (!std::isfinite(v)) return "#NUM!";
    decimals = std::min(decimals, 30);  // as many as Excel takes
    decimalZeros = std::min(decimalZeros, 30);
    if (exponentDigits >= 0) {
        char buffer[64];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, decimals);
        std::string s(buffer, r.ptr);
        const auto e = s.find('e');
        std::string mantissa = s.substr(0, e), exponent = s.substr(e + 2);
        while (exponent.size() > 1 && exponent[0] == '0' && static_cast<int>(exponent.size()) > exponentDigits) exponent.erase(0, 1);
        return prefix + mantissa + "E" + s[e + 1] + exponent + suffix;
    }
    std::string digits = fixed(v, decimals);
    const auto point = digits.find('.');
    std::string integer = digits.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : digits.substr(point + 1);
    while (static_cast<int>(fraction.size()) > decimalZeros && !fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (integer == "0" && integerZeros == 0) integer.clear();
    if (thousands) {
        for (int at = static_cast<int>(integer.size()) - 3; at > 0; at -= 3) integer.insert(static_cast<std::size_t>(at), ",");
    }
    return prefix + integer + (decimals > 0 ? "." + fraction : "") + suffix;
}

}  // namespace

std::string_view builtinNumberFormat(int id) {
    switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13: return "# ?""?/?""?";
    case 14: return "yyyy/m/d";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "yyyy/m/d h:mm";
    case 27: case 36: case 50: case 57: return "[$-411]ge.m.d";
    case 28: case 29: case 51: case 54: case 58: return "[$-411]ggge\"年\"m\"月\"d\"日\"";
    case 30: return "m/d/yy";
    case 31: return "yyyy\"年\"m\"月\"d\"日\"";
    case 32: return "h\"時\"mm\"分\"";
    case 33: return "h\"時\"mm\"分\"ss\"秒\"";
    case 34: case 52: case 55: return "yyyy\"年\"m\"月\"";
    case 35: case 53: case 56: return "m\"月\"d\"日\"";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return {};
    }
}

bool isDateFormat(std::string_view code) {
    for (const Token& t : tokens(sections(code)[0])) {
        if (t.kind != 0 && t.kind != 'a' && t.kind != 'f') return true;
    }
    return false;
}

std::string generalNumber(double value) {
    if (!std::isfinite(value)) return "#NUM!";
    if (value == 0) return "0";
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string s(buffer, r.ptr);
    const auto e = s.find('e');
    if (e != std::string::npos) s[e] = 'E';
    return s;
}

std::string formatCellNumber(double value, std::string_view code, bool date1904) {
    if (!std::isfinite(value)) return "#NUM!";
    std::string lowered;
    for (const char c : code) lowered += lower(c);
    if (code.empty() || lowered == "general") return generalNumber(value);
    const std::vector<std::string_view> parts = sections(code);
    if (isDateFormat(code)) {
        // Before the first day and after the year 9999 a date shows as hashes in Excel.
        return value < 0 || value >= 2958466 ? "#######" : formatDate(value, parts[0], date1904);
    }
    if (value < 0 && parts.size() >= 2) return formatNumber(-value, parts[1]);
    if (value == 0 && parts.size() >= 3) return formatNumber(0, parts[2]);
    const std::string shown = formatNumber(std::fabs(value), parts[0]);
    return value < 0 && shown.find_first_of("123456789") != std::string::npos ? "-" + shown : shown;
}

}  // namespace mabrel::backup
