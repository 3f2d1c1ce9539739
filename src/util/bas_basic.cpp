#include "util/bas_basic.h"

#include <vector>

#include "platform/errors.h"
#include "util/text.h"

namespace mabrel::bas_basic {

namespace {

constexpr char kRestOver[] = "__restover__";

std::string trimSpaces(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// Byte offset of the character at 0-based character index `index` (the size
// of the text when the index is at or past its end).
std::size_t byteOffset(const std::string& s, std::size_t index) { return util::leftChars(s, index).size(); }

bool endsWithSeparator(const std::string& s) { return !s.empty() && s.back() == '\\'; }

// The UTF-8 characters of a text, one string each.
std::vector<std::string> characters(const std::string& s) {
    std::vector<std::string> out;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80 || out.empty()) {
            out.emplace_back(1, static_cast<char>(c));
        } else {
            out.back().push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace

std::string FieldSplitter::split(const std::string& text, const std::string& delimiter, bool trim) {
    if (text == kRestOver) {
        std::string rest;
        for (int i = readPosition_ + 1; i <= count_; ++i) {
            if (i > readPosition_ + 1) rest += delimiter_;
            rest += slots_[static_cast<std::size_t>(i)];
        }
        readPosition_ = count_;
        return rest;
    }
    if (!text.empty()) {
        for (std::size_t i = 1; i < slots_.size(); ++i) slots_[i].clear();
        delimiter_ = delimiter.empty() ? std::string(",") : delimiter;
        count_ = 0;
        std::size_t scan = 0;
        while (true) {
            const auto p = text.find(delimiter_, scan);
            // The last field is kept whole, however long: a setting must not
            // lose characters on its way back in.
            std::string field = p == std::string::npos ? text.substr(scan) : text.substr(scan, p - scan);
            if (trim) field = trimSpaces(field);
            ++count_;
            slots_[static_cast<std::size_t>(count_)] = field.empty() ? std::string(" ") : field;
            if (p == std::string::npos || count_ == kMaxFields) break;
            scan = p + delimiter_.size();
        }
        readPosition_ = 0;
    }
    if (readPosition_ < count_) {
        ++readPosition_;
        return slots_[static_cast<std::size_t>(readPosition_)];
    }
    return {};
}

NameParts splitName(const std::string& text, const std::string& separator, int count) {
    if (separator.empty()) return {text, {}};
    const auto p = text.rfind(separator);
    if (p == std::string::npos) return {text, {}};
    // Positions in characters: the separator starts at character index `at`.
    const auto at = static_cast<long long>(util::charLength(text.substr(0, p)));
    const auto length = static_cast<long long>(util::charLength(text));
    const long long leftLength = at + count;
    const long long rightStart = at + count;
    NameParts parts;
    // At 0 characters the left part still holds the stray continuation bytes
    // a broken name may begin with: the right part starts after them.
    if (leftLength >= 0) parts.left = text.substr(0, byteOffset(text, static_cast<std::size_t>(leftLength)));
    if (rightStart < length) {
        parts.right = text.substr(byteOffset(text, static_cast<std::size_t>(rightStart < 0 ? 0 : rightStart)));
    }
    return parts;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    const bool folderEnds = endsWithSeparator(folder);
    const bool nameBegins = !name.empty() && name.front() == '\\';
    if (folderEnds && nameBegins) return folder + name.substr(1);
    if (folderEnds || nameBegins) return folder + name;
    return folder + "\\" + name;
}

namespace {

// The stored spelling of the entry at `path`, or nothing; a lookup that
// cannot be made counts as a missing entry.
std::optional<std::string> storedName(platform::FileSystem& fs, const std::string& path, std::uint32_t mask) {
    try {
        if (auto entry = fs.findIgnoringCase(path, mask)) return entry->name;
    } catch (const platform::PlatformError&) {
    }
    return std::nullopt;
}

bool isDirectory(platform::FileSystem& fs, std::string path) {
    // A bare drive ("C:") is asked about as its root.
    if (path.size() == 2 && path[1] == ':') path += '\\';
    try {
        return (fs.attributes(path) & platform::attr::Directory) != 0;
    } catch (const platform::PlatformError&) {
        return false;
    }
}

// The names after the root with "", "." and ".." resolved as the file system
// resolves them ("a\\b", "a\.\b" and "a\x\..\b" all name a\b), so that
// each lookup of the scan stands for the name it adds. ".." never climbs
// above the root; in a relative path, leading ones stay for the lookup.
std::string withoutDotNames(const std::string& rest, bool relative) {
    std::vector<std::string> names;
    std::size_t leading = 0;  // ".." names kept at the front
    std::string name;
    auto flush = [&] {
        if (name == "..") {
            if (names.size() > leading) {
                names.pop_back();
            } else if (relative) {
                names.push_back(name);
                ++leading;
            }
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        name.clear();
    };
    for (char c : rest) {
        if (c == '\\' || c == '/') flush();
        else name += c;
    }
    const bool trailing = name.empty() && !rest.empty();
    flush();
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : "\\") + n;
    if (trailing && !out.empty()) out += '\\';
    return out;
}

}  // namespace

std::string normaliseLongName(platform::FileSystem& fs, const std::string& input) {
    std::string text = trimSpaces(input);
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
    if (text.empty()) return {};

    // Byte positions below; every separator searched for is ASCII.
    std::string root;
    std::size_t scan = 0;
    bool scanRest = true;
    if (text.find(':') != std::string::npos) {
        root = text.substr(0, byteOffset(text, 2));
        scan = byteOffset(text, 3);
    } else if (text.rfind("\\\\", 0) == 0) {
        // "/" separates as "\\" does (\\server\share/Docs): were it taken
        // into the share's name, the folders after it would keep their typed spelling.
        const auto a = text.find_first_of("\\/", 2);
        const auto b = text.find_first_of("\\/", a == std::string::npos ? 1 : a + 2);
        if (b != std::string::npos) {
            root = text.substr(0, b);
            scan = b + 1;
        } else {
            root = text;
            text += '\\';
            scanRest = false;
        }
    } else {
        scan = text.front() == '\\' ? 1 : 0;
    }

    if (scanRest) {
        text = text.substr(0, scan) + withoutDotNames(text.substr(scan), root.empty() && text.front() != '\\');
        constexpr std::uint32_t componentMask = platform::attr::Directory;
        constexpr std::uint32_t lastMask = platform::attr::ReadOnly | platform::attr::Hidden |
                                           platform::attr::System | platform::attr::Directory |
                                           platform::attr::Archive;
        // A component left out (missing, or a hidden or system folder) ends
        // the result: a name found below it would name an entry that is not
        // below the components kept.
        bool leftOut = false;
        std::size_t q;
        while (!leftOut && scan <= text.size() && (q = text.find('\\', scan)) != std::string::npos) {
            if (auto name = storedName(fs, text.substr(0, q), componentMask)) root += "\\" + *name;
            else leftOut = true;
            scan = q + 1;
        }
        if (!leftOut && scan < text.size() && !isBlank(text.substr(scan))) {
            if (auto name = storedName(fs, text, lastMask)) root += "\\" + *name;
        }
    }

    if (!endsWithSeparator(root) && !root.empty() && isDirectory(fs, root)) root += '\\';
    return root;
}

std::optional<CheckedPath> checkPath(platform::FileSystem& fs, const std::string& input) {
    try {
        const std::string text = trimSpaces(input);
        std::string drive;
        std::string rest;
        const auto chars = characters(text);
        if (chars.size() >= 2 && chars[1] == ":") {
            drive = chars[0] + ":";
            rest = text.substr(drive.size());
            if (rest.empty() || rest.front() != '\\') rest.insert(0, 1, '\\');
            if (endsWithSeparator(rest)) rest.pop_back();
        } else if (text.rfind("\\\\", 0) == 0) {
            const auto a = text.find('\\', 2);
            if (a == std::string::npos) return std::nullopt;
            const auto b = text.find('\\', a + 1);
            if (b != std::string::npos) {
                drive = text.substr(0, b);
                rest = text.substr(b);
                if (rest.size() > 1 && endsWithSeparator(rest)) rest.pop_back();
            } else {
                drive = text;
                rest = "\\";
            }
        }
        if (drive.empty()) return std::nullopt;
        // "." and ".." names and doubled separators resolved first, as the
        // file system resolves them, so that the parts name what it found;
        // a separator still at the end asks for a folder.
        rest = "\\" + withoutDotNames(rest, false);
        // A drive or share root is taken as it is, without asking the disk.
        if (rest == "\\") return CheckedPath{drive, "\\", ""};

        const auto attributes = fs.attributes(drive + rest);
        if (attributes & platform::attr::Directory) {
            return CheckedPath{drive, endsWithSeparator(rest) ? rest : rest + "\\", ""};
        }
        auto parts = splitName(rest, "\\", 1);
        // A file named with a separator after it ("a.txt\\\\") has no name here.
        if (parts.right.empty()) return std::nullopt;
        return CheckedPath{drive, parts.left, parts.right};
    } catch (...) {
        return std::nullopt;
    }
}

std::string removeChars(const std::string& text, const std::string& set) {
    if (set.empty()) return text;
    const auto removed = characters(set);
    std::string out;
    out.reserve(text.size());
    for (const auto& c : characters(text)) {
        bool drop = false;
        for (const auto& r : removed) {
            if (c == r) {
                drop = true;
                break;
            }
        }
        if (!drop) out += c;
    }
    return out;
}

}  // namespace mabrel::bas_basic
