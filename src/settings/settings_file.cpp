#include "settings/settings_file.h"

#include <exception>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "util/bas_basic.h"
#include "util/text.h"

#ifndef MABREL_VERSION_MAJOR
#define MABREL_VERSION_MAJOR 0
#define MABREL_VERSION_MINOR 0
#define MABREL_VERSION_REVISION 0
#endif

namespace mabrel::settings {

namespace {

constexpr char kRestOver[] = "__restover__";
// Line 4, "lastAccess,": never read back.
constexpr std::size_t kLastAccessLine = 3;

std::string trimSpaces(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// A mode value as a whole number: spaces ignored, sign, digits and a decimal
// fraction read as far as they go (nothing readable is 0), rounded half to
// even. Nothing when the result does not fit 16 bits.
std::optional<std::int16_t> readMode(const std::string& value) {
    std::string text;
    for (char c : value) {
        if (c != ' ') text += c;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The whole part; anything past six significant digits is out of range anyway.
    long long whole = 0;
    bool tooLarge = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (whole > 1'000'000) {
            tooLarge = true;
        } else {
            whole = whole * 10 + (text[i] - '0');
        }
    }
    std::string fraction;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) fraction += text[i];
    }
    if (tooLarge) return std::nullopt;
    if (!fraction.empty()) {
        const char first = fraction[0];
        const bool moreAfterHalf = fraction.find_first_not_of('0', 1) != std::string::npos;
        if (first > '5' || (first == '5' && moreAfterHalf) || (first == '5' && whole % 2 == 1)) ++whole;
    }
    const long long result = negative ? -whole : whole;
    if (result < -32768 || result > 32767) return std::nullopt;
    return static_cast<std::int16_t>(result);
}

// N(x): " 5 " for zero and positive values, "-5 " for negative ones.
std::string numberText(long long x) {
    return x < 0 ? "-" + std::to_string(-x) + " " : " " + std::to_string(x) + " ";
}

std::string normalisedList(const std::string& list) {
    std::string out = bas_basic::removeChars(list, " ,");
    if (isBlank(out)) out = kDefaultExtList;
    if (out.front() != '.') out.insert(0, 1, '.');
    if (out.back() != '.') out += '.';
    return out;
}

}  // namespace

Version programVersion() { return {MABREL_VERSION_MAJOR, MABREL_VERSION_MINOR, MABREL_VERSION_REVISION}; }

std::string settingsFileName(const std::string& baseName) { return baseName + ".ini"; }

bool readSettings(platform::Directory& folder, const platform::Codec& codec, const std::string& fileName,
                  ProcessState& state, bool* unreadable) {
    bool complete = false;
    if (unreadable) *unreadable = false;
    state.p_driveAndPath.clear();
    state.exceptionExtList1.clear();
    state.exceptionExtList2.clear();
    try {
        std::vector<std::string> lines;
        try {
            lines = platform::readTextLines(folder, codec, fileName);
        } catch (const platform::PlatformError& e) {
            if (unreadable) *unreadable = e.number() != platform::err::FileNotFound;
            throw;
        }
        bas_basic::FieldSplitter splitter;
        bool stopped = false;
        for (const auto& line : lines) {
            const std::string key = util::toLowerAscii(splitter.split(line, ",", true));
            const bool freshSplit = !line.empty() && line != kRestOver;
            if (key == "lastpath") {
                // The writer puts the folder down verbatim, commas and all, so
                // the whole rest of the line is the folder.
                if (freshSplit) {
                    const auto comma = line.find(',');
                    state.p_driveAndPath = comma == std::string::npos ? std::string() : trimSpaces(line.substr(comma + 1));
                } else {
                    // Trimmed as the writer's own line reads back, so that the
                    // folder survives the next write and read unchanged.
                    state.p_driveAndPath = trimSpaces(splitter.split(kRestOver));
                }
            } else if (key == "exceptionextlist1") {
                state.exceptionExtList1 = splitter.split("");
            } else if (key == "exceptionextlist2") {
                state.exceptionExtList2 = splitter.split("");
            } else if (key == "exceptionextlist1mode" || key == "exceptionextlist2mode") {
                const auto mode = readMode(splitter.split(""));
                if (!mode) {
                    stopped = true;
                    break;
                }
                (key == "exceptionextlist1mode" ? state.exceptionExtList1Mode : state.exceptionExtList2Mode) = *mode;
            }
        }
        complete = !stopped;
    } catch (const std::exception&) {
        complete = false;
    }

    state.exceptionExtList1 = normalisedList(state.exceptionExtList1);
    state.exceptionExtList2 = normalisedList(state.exceptionExtList2);
    if (isBlank(state.p_driveAndPath)) state.p_driveAndPath.clear();
    return complete;
}

bool writeSettings(platform::Directory& folder, const platform::Codec& codec, const std::string& fileName,
                   const ProcessState& state, const std::string& baseName, const platform::LocalTime& now) {
    try {
        const Version v = programVersion();
        const std::vector<std::string> lines = {
            "[" + baseName + "]",
            "version," + numberText(v.major) + "." + numberText(v.minor) + "." + numberText(v.revision),
            "lastPath," + state.p_driveAndPath,
            "lastAccess," + util::formatDateTime(now),
            "exceptionExtList1Mode," + numberText(state.exceptionExtList1Mode),
            "exceptionExtList1," + state.exceptionExtList1,
            "exceptionExtList2Mode," + numberText(state.exceptionExtList2Mode),
            "exceptionExtList2," + state.exceptionExtList2,
        };
        // Written only when it would hold something else than it does; the
        // time of the last access alone is no reason to write.
        std::vector<std::string> stored;
        try {
            stored = platform::readTextLines(folder, codec, fileName);
        } catch (const platform::PlatformError& e) {
            if (e.number() != platform::err::FileNotFound) return false;
        }
        if (stored.size() == lines.size()) {
            bool same = true;
            for (std::size_t i = 0; i < lines.size() && same; ++i) {
                same = i == kLastAccessLine || stored[i] == lines[i];
            }
            if (same) return true;
        }
        platform::writeTextLines(folder, codec, fileName, lines);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace mabrel::settings
