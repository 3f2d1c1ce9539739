#include "util/text.h"

#include <algorithm>
#include <iterator>
#include <cstdio>

namespace mabrel::util {

namespace {

// A character starts at every byte that is not a UTF-8 continuation byte, so
// stray bytes of a broken name still count as one character each.
bool startsChar(unsigned char c) { return (c & 0xC0) != 0x80; }

}  // namespace

std::size_t charLength(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        if (startsChar(c)) ++n;
    }
    return n;
}

std::string leftChars(const std::string& s, std::size_t n) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (startsChar(static_cast<unsigned char>(s[i]))) {
            if (seen == n) return s.substr(0, i);
            ++seen;
        }
    }
    return s;
}

std::string rightChars(const std::string& s, std::size_t n) {
    const std::size_t length = charLength(s);
    if (n >= length) return s;
    return s.substr(leftChars(s, length - n).size());
}

std::string toLowerAscii(const std::string& s) {
    std::string out = s;
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string toUpperAscii(const std::string& s) {
    std::string out = s;
    for (auto& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string foldCase(const std::string& s) {
    std::string out = toLowerAscii(s);
    // Full-width Ａ..Ｚ (U+FF21..U+FF3A, EF BC A1..BA) to ａ..ｚ (U+FF41..U+FF5A, EF BD 81..9A).
    for (std::size_t i = 0; i + 2 < out.size(); ++i) {
        auto b0 = static_cast<unsigned char>(out[i]);
        auto b1 = static_cast<unsigned char>(out[i + 1]);
        auto b2 = static_cast<unsigned char>(out[i + 2]);
        if (b0 == 0xEF && b1 == 0xBC && b2 >= 0xA1 && b2 <= 0xBA) {
            out[i + 1] = static_cast<char>(0xBD);
            out[i + 2] = static_cast<char>(b2 - 0xA1 + 0x81);
            i += 2;
        }
    }
    return out;
}

void assignExact(std::string& out, std::string_view text) {
    if (out.capacity() >= text.size()) {
        out.assign(text);
    } else {
        out = std::string(text);
    }
}

namespace {

void formatWith(const platform::LocalTime& t, char timeSeparator, std::string& out) {
    // By hand where every field has its width (a load formats one a row).
    if (t.year >= 0 && t.year <= 9999 && t.month >= 0 && t.month <= 99 && t.day >= 0 && t.day <= 99 &&
        t.hour >= 0 && t.hour <= 99 && t.minute >= 0 && t.minute <= 99 && t.second >= 0 && t.second <= 99) {
        char text[19];
        std::fill(std::begin(text), std::end(text), '-');
        auto two = [&](std::size_t at, int v) {
            text[at] = static_cast<char>('0' + v / 10);
            text[at + 1] = static_cast<char>('0' + v % 10);
        };
        two(0, t.year / 100);
        two(2, t.year % 100);
        two(5, t.month);
        two(8, t.day);
        text[10] = ' ';
        two(11, t.hour);
        text[13] = timeSeparator;
        two(14, t.minute);
        text[16] = timeSeparator;
        two(17, t.second);
        assignExact(out, std::string_view(text, sizeof text));
        return;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d%c%02d%c%02d", t.year, t.month, t.day, t.hour,
                  timeSeparator, t.minute, timeSeparator, t.second);
    out.assign(buffer);
}

}  // namespace

std::string formatTimestamp(const platform::LocalTime& t) {
    std::string out;
    formatWith(t, '-', out);
    return out;
}

void formatTimestamp(const platform::LocalTime& t, std::string& out) { formatWith(t, '-', out); }

std::string formatDateTime(const platform::LocalTime& t) {
    std::string out;
    formatWith(t, ':', out);
    return out;
}

}  // namespace mabrel::util
