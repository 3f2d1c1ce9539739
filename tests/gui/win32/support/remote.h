// Talking to the windows of another process: messages that cannot hang the
// test, and memory inside that process for the common-control messages whose
// lParam points at a structure (the control reads and writes it in its own
// address space, so the structure must live there).
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

namespace mabrel::win32gui::test {

// SendMessageTimeoutW with a timeout of a few seconds; nullopt when the
// target did not answer in time.
std::optional<LRESULT> send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0, UINT timeoutMs = 5000);
// The same, for tests: fails the test (and returns 0) when there is no answer.
LRESULT sendOrFail(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0);

// A handle to the process that owns a window, with the rights to read and
// write its memory.
class ProcessHandle {
public:
    explicit ProcessHandle(HWND window);
    ~ProcessHandle();
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// Committed read-write memory in another process, freed on destruction.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, std::size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    // The address in the other process, for a message's lParam or a field.
    char* address() const { return static_cast<char*>(remote_); }
    LPARAM lparam() const { return reinterpret_cast<LPARAM>(remote_); }
    std::size_t size() const { return size_; }

    void write(const void* data, std::size_t n, std::size_t offset = 0) const;
    void read(void* out, std::size_t n, std::size_t offset = 0) const;
    template <typename T>
    T readAs(std::size_t offset = 0) const {
        T value{};
        read(&value, sizeof value, offset);
        return value;
    }
    // A NUL-terminated UTF-16 text at offset (at most up to the buffer's end).
    std::wstring readText(std::size_t offset) const;

private:
    HANDLE process_;
    void* remote_ = nullptr;
    std::size_t size_;
};

}  // namespace mabrel::win32gui::test
