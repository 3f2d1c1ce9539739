#include "support/remote.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace mabrel::win32gui::test {

std::optional<LRESULT> send(HWND window, UINT message, WPARAM w, LPARAM l, UINT timeoutMs) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &result)) {
        return std::nullopt;
    }
    return static_cast<LRESULT>(result);
}

LRESULT sendOrFail(HWND window, UINT message, WPARAM w, LPARAM l) {
    const auto r = send(window, message, w, l);
    if (!r) {
        ADD_FAILURE() << "window " << window << " did not answer message 0x" << std::hex << message;
        return 0;
    }
    return *r;
}

ProcessHandle::ProcessHandle(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    handle_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                          FALSE, pid);
    if (!handle_) throw std::runtime_error("cannot open the process of a window");
}

ProcessHandle::~ProcessHandle() { CloseHandle(handle_); }

RemoteBuffer::RemoteBuffer(HANDLE process, std::size_t size) : process_(process), size_(size) {
    remote_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote_) throw std::runtime_error("VirtualAllocEx failed");
}

RemoteBuffer::~RemoteBuffer() { VirtualFreeEx(process_, remote_, 0, MEM_RELEASE); }

void RemoteBuffer::write(const void* data, std::size_t n, std::size_t offset) const {
    SIZE_T done = 0;
    if (offset + n > size_ || !WriteProcessMemory(process_, address() + offset, data, n, &done) || done != n) {
        throw std::runtime_error("WriteProcessMemory failed");
    }
}

void RemoteBuffer::read(void* out, std::size_t n, std::size_t offset) const {
    SIZE_T done = 0;
    if (offset + n > size_ || !ReadProcessMemory(process_, address() + offset, out, n, &done) || done != n) {
        throw std::runtime_error("ReadProcessMemory failed");
    }
}

std::wstring RemoteBuffer::readText(std::size_t offset) const {
    std::vector<wchar_t> chars((size_ - offset) / sizeof(wchar_t));
    read(chars.data(), chars.size() * sizeof(wchar_t), offset);
    std::wstring text(chars.data(), chars.size());
    return text.substr(0, text.find(L'\0'));
}

}  // namespace mabrel::win32gui::test
