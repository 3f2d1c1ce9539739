// Text in a Windows code page, through MultiByteToWideChar and
// WideCharToMultiByte. The native codec uses the ANSI code page (GetACP(),
// 932 on Japanese Windows).
#pragma once

#include <optional>
#include <string>

#include "platform/text.h"

namespace mabrel::platform::win32 {

class CodePageCodec : public Codec {
public:
    explicit CodePageCodec(unsigned codePage);
    unsigned codePage() const { return codePage_; }

    std::optional<std::string> toAnsi(const std::string& utf8) const override;
    std::string fromAnsi(const std::string& ansi) const override;

private:
    unsigned codePage_;
};

}  // namespace mabrel::platform::win32
