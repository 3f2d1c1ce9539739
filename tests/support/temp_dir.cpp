#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <random>
#include <stdexcept>

namespace mabrel::test {

namespace fs = std::filesystem;

TempDir::TempDir(const fs::path& parent) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::error_code ec;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const auto candidate = parent / ("mabrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        if (fs::create_directory(candidate, ec)) path_ = fs::canonical(candidate);
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Backup copies are read-only: give write permission back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::drivePath() const {
#ifdef _WIN32
    const auto s = path_.u8string();
    std::string out(s.begin(), s.end());
#else
    std::string out = "C:" + path_.string();
#endif
    std::replace(out.begin(), out.end(), '/', '\\');
    return out.ends_with('\\') ? out : out + '\\';
}

fs::path TempDir::write(const std::string& relative, const std::string& bytes) const {
    const auto p = path_ / fs::u8path(relative);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        throw std::runtime_error("cannot write " + p.string());
    }
    return p;
}

fs::path TempDir::mkdir(const std::string& relative) const {
    fs::create_directories(path_ / fs::u8path(relative));
    return path_ / fs::u8path(relative);
}

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void setModificationTime(const fs::path& p, int year, int month, int day, int hour, int minute, int second,
                         long nanoseconds) {
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
#ifdef _WIN32
    // The library sets whole seconds there: the parts of a second through the system.
    const auto ticks = (static_cast<unsigned long long>(t) + 11644473600ull) * 10000000ull +
                       static_cast<unsigned long long>(nanoseconds / 100);
    const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = ::CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // Both times: some drivers drop a change of the modification time alone.
    const bool set = file != INVALID_HANDLE_VALUE && ::SetFileTime(file, nullptr, &written, &written);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!set) throw std::runtime_error("cannot set the time of " + p.string());
#else
    // Both times: some drivers (exfat-fuse, smbnetfs) drop a change of the
    // modification time alone.
    const struct timespec times[2] = {{t, nanoseconds}, {t, nanoseconds}};
    if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + p.string());
#endif
}

}  // namespace mabrel::test
