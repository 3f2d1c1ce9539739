// The field splitter against a model of its rules written here on its own:
// texts as sequences of characters, positions counted from 1, 32 slots. A
// run of calls (new splits, next fields, the rest) must answer alike.
#include <array>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/bas_basic.h"

namespace {

using namespace mabrel;
using Chars = std::u32string;

// A text as its code points (valid UTF-8), or byte by byte.
Chars chars(const std::string& s, bool bytes) {
    Chars out;
    if (bytes) {
        for (unsigned char c : s) out += static_cast<char32_t>(c);
        return out;
    }
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += cp;
        i += length;
    }
    return out;
}

std::string encode(const Chars& chars, bool bytes) {
    std::string out;
    for (char32_t c : chars) {
        if (bytes) out += static_cast<char>(c);
        else platform::appendUtf8(out, c);
    }
    return out;
}

class ModelSplitter {
public:
    Chars split(const Chars& text, const Chars& delimiter, bool trim) {
        if (text == U"__restover__") {
            Chars joined;
            for (int i = read_ + 1; i <= count_; ++i) joined += delim_ + slot_[i];
            read_ = count_;
            return joined.empty() ? joined : joined.substr(delim_.size());
        }
        if (!text.empty()) {
            for (int i = 1; i <= 32; ++i) slot_[i].clear();
            delim_ = delimiter.empty() ? Chars(U",") : delimiter;
            count_ = 0;
            std::size_t scan = 1;  // 1-based
            for (;;) {
                const std::size_t p = inStr(scan, text, delim_);
                Chars field = p ? mid(text, scan, p - scan) : mid(text, scan, text.size());
                if (trim) field = trimmed(field);
                ++count_;
                slot_[count_] = field.empty() ? Chars(U" ") : field;
                if (!p || count_ == 32) break;
                scan = p + delim_.size();
            }
            read_ = 0;
        }
        if (read_ < count_) return slot_[++read_];
        return {};
    }

private:
    // 1-based position of `what` in `text` at or after `start`; 0 when absent.
    static std::size_t inStr(std::size_t start, const Chars& text, const Chars& what) {
        for (std::size_t p = start; p + what.size() <= text.size() + 1; ++p) {
            if (text.compare(p - 1, what.size(), what) == 0) return p;
        }
        return 0;
    }
    static Chars mid(const Chars& text, std::size_t start, std::size_t length) {
        return start > text.size() ? Chars() : text.substr(start - 1, length);
    }
    static Chars trimmed(Chars s) {
        while (!s.empty() && s.front() == U' ') s.erase(0, 1);
        while (!s.empty() && s.back() == U' ') s.pop_back();
        return s;
    }

    std::array<Chars, 33> slot_{};
    int count_ = 0;
    int read_ = 0;
    Chars delim_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider p(data, size);
    bas_basic::FieldSplitter splitter;
    ModelSplitter model;
    // Raw bytes in some runs: a settings line need not be valid UTF-8.
    const bool raw = p.ConsumeBool();
    bool bytes = false;
    while (p.remaining_bytes() > 0) {
        std::string text;
        std::string delimiter;
        bool trim = false;
        switch (p.ConsumeIntegralInRange(0, 3)) {
        case 0:
            break;  // the next field
        case 1:
            text = "__restover__";
            break;
        default:
            trim = p.ConsumeBool();
            delimiter = p.ConsumeRandomLengthString(3);
            text = p.ConsumeRandomLengthString(200);
            if (!raw) {
                delimiter = fuzz::validUtf8(delimiter);
                text = fuzz::validUtf8(text);
            }
        }
        const std::string got = splitter.split(text, delimiter, trim);
        // A new split that is not UTF-8 is modelled byte by byte, as the
        // splitter then compares raw bytes; its fields are handed out alike.
        if (!text.empty() && text != "__restover__") {
            bytes = !platform::isValidUtf8(text) || !platform::isValidUtf8(delimiter);
        }
        const std::string want = encode(model.split(chars(text, bytes), chars(delimiter, bytes), trim), bytes);
        FUZZ_CHECK(got == want, "text", text, "delimiter", delimiter, "got", got, "model", want);
    }
    return 0;
}
