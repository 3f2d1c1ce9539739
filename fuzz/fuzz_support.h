// What the fuzz targets share: a failed property stops the run as a finding,
// texts built from fuzz bytes, and a file system held in memory for the
// targets whose subject is a file's content rather than the disk.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "platform/errors.h"
#include "platform/filesystem.h"
#include "platform/text.h"

// A property that does not hold: the message and the values go to stderr,
// then abort() makes libFuzzer save the input as a crash file.
#define FUZZ_CHECK(cond, ...)                                                      \
    do {                                                                           \
        if (!(cond)) {                                                             \
            std::fprintf(stderr, "\nproperty failed: %s (%s:%d)\n", #cond, __FILE__, \
                         __LINE__);                                                \
            ::mabrel::fuzz::printValues(__VA_ARGS__);                              \
            std::abort();                                                          \
        }                                                                          \
    } while (0)

namespace mabrel::fuzz {

// A text with its bytes visible: printable ASCII as it is, the rest and the
// double quote as \xNN.
inline std::string shown(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '"') {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return out + "\"";
}

inline void printValues() {}
template <typename... Rest>
void printValues(const char* label, const std::string& value, const Rest&... rest) {
    std::fprintf(stderr, "  %s = %s\n", label, shown(value).c_str());
    printValues(rest...);
}

// Bytes made valid UTF-8: valid sequences stay; every other byte stands for a
// character picked by its value from the ones that code page 932 maps in
// unusual ways (or not at all), so that the fuzzer reaches them easily.
inline std::string validUtf8(const std::string& bytes) {
    static const char32_t kPicks[] = {
        U'あ', U'ア', U'ｱ',  U'ﾟ',  U'漢', U'①', U'Ⅰ',  U'～', U'〜', U'−',    U'－',   U'¥',
        U'\\', U'‖',  U'∥',  U'¬',  U'￢', U'¦',  U'￤', U'—',  U'―',  U'\uFEFF', U'\uFFFD', U'é',
        U'€',  U'😀', U'纊', U'髙', U'ⅰ',  U'㈱', U'ー', U' ',  U'\t', U'\u3000', U'\u00A0', U'"'};
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        bool kept = false;
        for (std::size_t length = 1; length <= 4 && i + length <= bytes.size(); ++length) {
            const std::string piece = bytes.substr(i, length);
            if (platform::isValidUtf8(piece)) {
                out += piece;
                i += length;
                kept = true;
                break;
            }
        }
        if (!kept) {
            platform::appendUtf8(out, kPicks[static_cast<unsigned char>(bytes[i]) % std::size(kPicks)]);
            ++i;
        }
    }
    return out;
}

// A text of up to maxBytes fuzz bytes, made valid UTF-8, without the characters in `drop`.
inline std::string text(FuzzedDataProvider& p, std::size_t maxBytes, const std::string& drop = "") {
    std::string out;
    for (char c : validUtf8(p.ConsumeRandomLengthString(maxBytes))) {
        if (drop.find(c) == std::string::npos) out += c;
    }
    return out;
}

// A folder's files in memory, by name; every operation that is not a
// whole-file read or write fails.
class MemoryDirectory : public platform::Directory {
public:
    std::map<std::string, std::string> files;

    const std::string& path() const override { return path_; }
    std::string readFile(const std::string& name) override {
        auto it = files.find(name);
        if (it == files.end()) throw platform::PlatformError(platform::err::FileNotFound);
        return it->second;
    }
    void writeFileAtomic(const std::string& name, const std::string& bytes) override { files[name] = bytes; }
    void updateFile(const std::string& name, const FileChange& change) override {
        const auto it = files.find(name);
        const auto bytes = change(it == files.end() ? std::nullopt : std::optional<std::string>(it->second));
        if (bytes) files[name] = *bytes;
    }
    void removeStaleTemporaries() override {}

    std::vector<platform::DirEntry> list(std::uint32_t, const platform::ListProgress&) override {
        return unsupported<std::vector<platform::DirEntry>>();
    }
    std::optional<platform::DirEntry> find(const std::string&, std::uint32_t) override {
        return unsupported<std::optional<platform::DirEntry>>();
    }
    std::unique_ptr<platform::Directory> openFolder(const std::string&, bool) override {
        return unsupported<std::unique_ptr<platform::Directory>>();
    }
    void setAttributes(const std::string&, std::uint32_t) override { unsupported<void>(); }
    void createCopy(platform::Directory&, const std::string&, const std::string&, std::uint32_t,
                    const platform::CopyProgress&) override {
        unsupported<void>();
    }
    bool holdsCopyOf(const std::string&, platform::Directory&, const std::string&, const platform::CopyProgress&) override {
        return unsupported<bool>();
    }
    void copyFile(platform::Directory&, const std::string&, const std::string&, const platform::CopyProgress&) override {
        unsupported<void>();
    }
    void deleteCopy(const std::string&) override { unsupported<void>(); }
    std::int64_t takenTime(const std::string&) override { return unsupported<std::int64_t>(); }
    void markTaken(const std::string&) override { unsupported<void>(); }

private:
    template <typename T>
    [[noreturn]] static T unsupported() {
        throw platform::PlatformError(platform::err::PathFileAccess);
    }
    std::string path_ = "C:\\Docs\\";
};

}  // namespace mabrel::fuzz
