// The error number a call fails with (0: it did not fail).
#pragma once

#include <functional>

#include "platform/errors.h"

namespace mabrel::test {

inline int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::PlatformError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace mabrel::test
