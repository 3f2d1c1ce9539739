// The ANSI code page of the program's text files, 932 (Shift_JIS with the
// Microsoft extensions), through glibc's iconv "CP932".
#include <iconv.h>

#include <cerrno>
#include <memory>

#include "platform/errors.h"
#include "platform/native.h"

namespace mabrel::platform {

namespace {

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : handle_(::iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) throw PlatformError(err::InvalidArgument);
    }
    ~IconvHandle() { ::iconv_close(handle_); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

enum class Stop { Done, BadInput };

// Converts as far as the input allows; `consumed` tells where it stopped.
Stop convert(iconv_t cd, const std::string& in, std::size_t& consumed, std::string& out) {
    char* inPtr = const_cast<char*>(in.data()) + consumed;
    std::size_t inLeft = in.size() - consumed;
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            consumed = in.size() - inLeft;
            return Stop::BadInput;  // EILSEQ, or EINVAL for a sequence cut short
        }
    }
    consumed = in.size();
    return Stop::Done;
}

class IconvCodec : public Codec {
public:
    std::optional<std::string> toAnsi(const std::string& utf8) const override {
        std::string ansi;
        try {
            IconvHandle cd("CP932", "UTF-8");
            std::size_t consumed = 0;
            if (convert(cd.get(), utf8, consumed, ansi) != Stop::Done) return std::nullopt;
        } catch (const PlatformError&) {
            return std::nullopt;  // no converter installed: UTF-8 keeps the text
        }
        // Some characters share one code (U+00A5 and "\" both become 0x5C in
        // some tables): only a text that comes back unchanged is held.
        if (fromAnsi(ansi) != utf8) return std::nullopt;
        return ansi;
    }

    std::optional<std::string> fromAnsiStrict(const std::string& ansi) const override {
        try {
            IconvHandle cd("UTF-8", "CP932");
            std::string out;
            std::size_t consumed = 0;
            if (convert(cd.get(), ansi, consumed, out) != Stop::Done) return std::nullopt;
            return out;
        } catch (const PlatformError&) {
            return std::nullopt;  // no converter installed
        }
    }

    std::string fromAnsi(const std::string& ansi) const override {
        IconvHandle cd("UTF-8", "CP932");
        std::string out;
        std::size_t consumed = 0;
        while (convert(cd.get(), ansi, consumed, out) == Stop::BadInput) {
            out += "\xEF\xBF\xBD";  // U+FFFD for the byte that does not convert
            ++consumed;
            ::iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }
};

}  // namespace

std::unique_ptr<Codec> makeNativeCodec() { return std::make_unique<IconvCodec>(); }

}  // namespace mabrel::platform
