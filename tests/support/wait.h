// How a test waits: for a state it can see (a file, a process's end, a
// report), never for a fixed time. The bound only keeps a broken program from
// hanging the suite; it is generous, so that a busy machine is never a failure.
#pragma once

#include <chrono>
#include <thread>

namespace mabrel::test {

inline constexpr double kGenerousSeconds = 60;

// Polls `state` until it holds (true) or `seconds` have passed (false).
template <typename State>
bool waitFor(State&& state, double seconds = kGenerousSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!state()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace mabrel::test
