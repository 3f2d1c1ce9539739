#include "platform/win32/win32_filesystem.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <climits>
#include <exception>
#include <vector>

#include "platform/errors.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_errors.h"

namespace mabrel::platform::win32 {

namespace {

constexpr DWORD kKnownBits = attr::ReadOnly | attr::Hidden | attr::System | attr::Directory | attr::Archive;
constexpr DWORD kSettableBits = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;

std::uint32_t known(DWORD attributes) { return attributes & kKnownBits; }

// Links and junctions count as links; other reparse points (cloud files,
// deduplicated files) are ordinary files to the person.
bool isLinkTag(DWORD attributes, DWORD tag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
}

std::int64_t utcSecondsOf(const FILETIME& t) {
    const auto ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ull) - 11644473600ll;
}

LocalTime localTimeOf(const FILETIME& t) {
    // Local time by the rules in force on that date, as Explorer shows it.
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!::FileTimeToSystemTime(&t, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return LocalTime{};
    }
    return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

DirEntry entryOf(const WIN32_FIND_DATAW& data) {
    DirEntry e;
    e.name = narrow(data.cFileName);
    e.attributes = known(data.dwFileAttributes);
    if (isLinkTag(data.dwFileAttributes, data.dwReserved0)) e.attributes |= attr::ReparsePoint;
    e.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    e.modified = localTimeOf(data.ftLastWriteTime);
    e.utcSeconds = utcSecondsOf(data.ftLastWriteTime);
    return e;
}

// Refuses a link where the program would write, delete or set attributes.
void rejectLink(const std::wstring& path) {
    WIN32_FIND_DATAW data{};
    HANDLE h = ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return;
    ::FindClose(h);
    if (isLinkTag(data.dwFileAttributes, data.dwReserved0)) throw PlatformError(err::PathFileAccess);
}

// Win32 takes 0 for "no attributes" only as FILE_ATTRIBUTE_NORMAL.
DWORD settable(std::uint32_t attributes) {
    const DWORD a = attributes & kSettableBits;
    return a == 0 ? FILE_ATTRIBUTE_NORMAL : a;
}

void rejectNul(const std::string& path) {
    // A NUL would silently cut the wide path short.
    if (path.find('\0') != std::string::npos) throw PlatformError(err::PathFileAccess);
}

std::wstring widePath(const std::string& path) {
    rejectNul(path);
    return widen(path);
}

// FindFirstFile takes these as wildcards (the last three as DOS ones); no
// stored name holds them, so a path with one names nothing.
bool hasWildcard(const std::string& path) { return path.find_first_of("*?<>\"") != std::string::npos; }

class FindHandle {
public:
    explicit FindHandle(HANDLE h) : handle_(h) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) ::FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : handle_(h) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closing can report a failed late write; the caller wants to know.
    bool close() {
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        const BOOL ok = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return ok != 0;
    }

private:
    HANDLE handle_;
};

HANDLE findFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
    return ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
}

WIN32_FILE_ATTRIBUTE_DATA attributeData(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data)) throwLastError();
    return data;
}

// Removes a temporary file whatever its attributes; nothing to report if it fails.
void discard(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

unsigned long long nextUnique() {
    static std::atomic<unsigned long long> counter{0};
    const unsigned long long pid = ::GetCurrentProcessId();
    return (pid << 40) ^ (::GetTickCount64() << 16) ^ counter.fetch_add(1);
}

// Copies `source` to a new temporary file beside `target`, with its content
// and modification time, telling `progress` of each piece. A cancel leaves no
// temporary and fails with err::Cancelled.
std::wstring copyBeside(const std::wstring& source, const std::wstring& target, const CopyProgress& progress);

void moveOver(const std::wstring& from, const std::wstring& to) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throwLastError();
    }
}

}  // namespace

std::wstring temporaryBeside(const std::wstring& target, unsigned long long unique) {
    const auto slash = target.find_last_of(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    // A component holds at most 255 UTF-16 units; keep room for the suffix
    // and never cut a surrogate pair in two.
    if (name.size() > 200) {
        std::size_t cut = 200;
        if (name[cut] >= 0xDC00 && name[cut] <= 0xDFFF) --cut;
        name.resize(cut);
    }
    wchar_t suffix[24];
    ::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%012llx~", unique & 0xFFFFFFFFFFFFull);
    return folder + L"." + name + suffix;
}

namespace {

// What a copy's progress routine learnt, for the code around CopyFileExW.
struct CopyWatch {
    explicit CopyWatch(const CopyProgress& watcher) : progress(watcher) {}
    const CopyProgress& progress;
    bool told = false;      // the system told of at least one piece
    bool cancelled = false;
    std::exception_ptr failure;
};

DWORD CALLBACK onCopyProgress(LARGE_INTEGER total, LARGE_INTEGER copied, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                              HANDLE, HANDLE, LPVOID data) {
    auto* watch = static_cast<CopyWatch*>(data);
    watch->told = true;
    // Nothing may be thrown through the system's copy.
    try {
        if (watch->progress(static_cast<std::uint64_t>(copied.QuadPart), static_cast<std::uint64_t>(total.QuadPart))) {
            return PROGRESS_CONTINUE;
        }
        watch->cancelled = true;
    } catch (...) {
        watch->failure = std::current_exception();
    }
    return PROGRESS_CANCEL;
}

// Wine's CopyFileExW copies in pieces as well but tells its progress routine
// of none, so that a long copy could neither show how far it is nor be
// cancelled: there the pieces are copied here. Windows keeps its own copy,
// which copies on the server for a file on a share and keeps the alternate
// data streams (a download's zone among them).
bool systemCopyTellsNoPieces() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// Copies `source` into a new file `temporary` piece by piece, telling
// `progress` of each, and gives the copy the source's modification time as
// CopyFileExW does (the callers set the attributes). False when `temporary`
// exists already. A failure or a cancel leaves no file behind.
bool copyInPieces(const std::wstring& source, const std::wstring& temporary, const CopyProgress& progress) {
    constexpr DWORD kPiece = 1u << 20;
    FileHandle in(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid()) throwLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(in.get(), &info)) throwLastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(err::PathFileAccess);
    const std::uint64_t total = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;

    FileHandle out(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out.valid()) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) return false;
        throwError(e);
    }
    try {
        if (!progress(0, total)) throw PlatformError(err::Cancelled);
        std::vector<char> piece(kPiece);
        std::uint64_t done = 0;
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(in.get(), piece.data(), kPiece, &got, nullptr)) throwReadError(::GetLastError());
            if (got == 0) break;
            DWORD put = 0;
            if (!::WriteFile(out.get(), piece.data(), got, &put, nullptr)) throwLastError();
            if (put != got) throwError(ERROR_DISK_FULL);
            done += got;
            if (!progress(done, std::max(total, done))) throw PlatformError(err::Cancelled);
        }
        if (!::SetFileTime(out.get(), nullptr, nullptr, &info.ftLastWriteTime)) throwLastError();
        if (!::FlushFileBuffers(out.get())) throwLastError();
        if (!out.close()) throwLastError();
    } catch (...) {
        out.close();
        discard(temporary);
        throw;
    }
    return true;
}

std::wstring copyBeside(const std::wstring& source, const std::wstring& target, const CopyProgress& progress) {
    if (progress && systemCopyTellsNoPieces()) {
        for (int attempt = 0;; ++attempt) {
            std::wstring temporary = temporaryBeside(target, nextUnique());
            if (copyInPieces(source, temporary, progress)) return temporary;
            if (attempt >= 16) throwError(ERROR_FILE_EXISTS);
        }
    }
    for (int attempt = 0;; ++attempt) {
        std::wstring temporary = temporaryBeside(target, nextUnique());
        CopyWatch watch{progress};
        const BOOL copied =
            progress ? ::CopyFileExW(source.c_str(), temporary.c_str(), onCopyProgress, &watch, nullptr,
                                     COPY_FILE_FAIL_IF_EXISTS)
                     : ::CopyFileW(source.c_str(), temporary.c_str(), TRUE);
        const DWORD e = ::GetLastError();
        if (watch.cancelled || watch.failure) {
            // The system removes what it copied; the temporary is removed again in case.
            discard(temporary);
            if (watch.failure) std::rethrow_exception(watch.failure);
            throw PlatformError(err::Cancelled);
        }
        if (copied) {
            // Where the system told of no piece, the copy is told of once it
            // is whole, and may still be cancelled then.
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (progress && !watch.told && ::GetFileAttributesExW(temporary.c_str(), GetFileExInfoStandard, &data)) {
                const auto size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                bool goOn = false;
                try {
                    goOn = progress(size, size);
                } catch (...) {
                    discard(temporary);
                    throw;
                }
                if (!goOn) {
                    discard(temporary);
                    throw PlatformError(err::Cancelled);
                }
            }
            return temporary;
        }
        if ((e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) || attempt >= 16) throwError(e);
    }
}

}  // namespace

bool isRootSpelling(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.size() == 2 || (path.size() == 3 && path[2] == '\\');
    if (path.rfind("\\\\", 0) != 0) return false;
    const auto a = path.find('\\', 2);
    if (a == std::string::npos) return true;
    const auto b = path.find('\\', a + 1);
    return b == std::string::npos || b == path.size() - 1;
}

std::uint32_t Win32FileSystem::attributes(const std::string& path) {
    const DWORD a = ::GetFileAttributesW(widePath(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) throwLastError();
    return known(a);
}

void Win32FileSystem::setAttributes(const std::string& path, std::uint32_t attributes) {
    const std::wstring p = widePath(path);
    rejectLink(p);
    if (!::SetFileAttributesW(p.c_str(), settable(attributes))) throwLastError();
}

std::vector<DirEntry> Win32FileSystem::list(const std::string& folder, std::uint32_t mask,
                                            const ListProgress& progress) {
    if (hasWildcard(folder)) return {};
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW data{};
    FindHandle find(findFirst(widePath(pattern), data));
    if (!find.valid()) {
        const DWORD e = ::GetLastError();
        // An empty drive root has no entries at all, not even "." and "..".
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_NO_MORE_FILES ||
            e == ERROR_INVALID_NAME || e == ERROR_DIRECTORY || e == ERROR_BAD_NETPATH || e == ERROR_BAD_NET_NAME) {
            return {};
        }
        throwReadError(e);
    }
    std::vector<DirEntry> entries;
    std::size_t read = 0;
    auto nextReport = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    do {
        // Every few hundred entries, or 50 ms: the person sees how far a long
        // listing is.
        if (progress && (++read % 256 == 0 || std::chrono::steady_clock::now() >= nextReport)) {
            nextReport = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
            if (!progress(read)) throw PlatformError(err::Cancelled);
        }
        DirEntry entry = entryOf(data);
        if (matchesMask(entry.attributes, mask)) entries.push_back(std::move(entry));
    } while (::FindNextFileW(find.get(), &data));
    const DWORD e = ::GetLastError();
    if (e != ERROR_NO_MORE_FILES) throwReadError(e);

    // "." and ".." first, then by name: the same order every time, whatever
    // order the file system keeps.
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    std::sort(entries.begin(), entries.end(), [&](const DirEntry& x, const DirEntry& y) {
        if (rank(x.name) != rank(y.name)) return rank(x.name) < rank(y.name);
        return x.name < y.name;
    });
    return entries;
}

std::optional<DirEntry> Win32FileSystem::find(const std::string& path, std::uint32_t mask) {
    if (path.empty() || isRootSpelling(path) || hasWildcard(path)) return std::nullopt;  // a root has no entry
    std::string p = path;
    if (p.back() == '\\') p.pop_back();
    WIN32_FIND_DATAW data{};
    FindHandle find(findFirst(widePath(p), data));
    if (!find.valid()) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_NO_MORE_FILES ||
            e == ERROR_INVALID_NAME || e == ERROR_DIRECTORY || e == ERROR_BAD_NETPATH || e == ERROR_BAD_NET_NAME) {
            return std::nullopt;
        }
        throwError(e);
    }
    DirEntry entry = entryOf(data);
    if (!matchesMask(entry.attributes, mask)) return std::nullopt;
    return entry;
}

void Win32FileSystem::copyFile(const std::string& from, const std::string& to, const CopyProgress& progress) {
    const std::wstring source = widePath(from);
    const std::wstring target = widePath(to);
    rejectLink(target);
    const DWORD sourceAttributes = ::GetFileAttributesW(source.c_str());
    if (sourceAttributes == INVALID_FILE_ATTRIBUTES) throwLastError();
    if (sourceAttributes & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(err::PathFileAccess);
    // Windows refuses to move over a read-only file, Wine does not: a
    // read-only target (a backup copy) is never replaced, on either.
    const DWORD targetAttributes = ::GetFileAttributesW(target.c_str());
    if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
        (targetAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        throw PlatformError(err::PermissionDenied);
    }

    const std::wstring temporary = copyBeside(source, target, progress);
    try {
        if (!::SetFileAttributesW(temporary.c_str(), settable(sourceAttributes | attr::Hidden))) throwLastError();
        moveOver(temporary, target);
    } catch (...) {
        discard(temporary);
        throw;
    }
    if (!::SetFileAttributesW(target.c_str(), settable(sourceAttributes))) throwLastError();
}

void Win32FileSystem::createCopy(const std::string& from, const std::string& to, std::uint32_t attributes,
                                 const CopyProgress& progress) {
    const std::wstring source = widePath(from);
    const std::wstring target = widePath(to);
    WIN32_FILE_ATTRIBUTE_DATA before{};
    if (!::GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &before)) throwLastError();
    if (before.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(err::PathFileAccess);

    const std::wstring temporary = copyBeside(source, target, progress);
    try {
        WIN32_FILE_ATTRIBUTE_DATA copied{};
        if (!::GetFileAttributesExW(temporary.c_str(), GetFileExInfoStandard, &copied)) throwLastError();
        // Complete only with every byte the source had when the copy began.
        if (copied.nFileSizeHigh != before.nFileSizeHigh || copied.nFileSizeLow != before.nFileSizeLow) {
            throw PlatformError(err::DeviceIo);
        }
        if (!::SetFileAttributesW(temporary.c_str(), settable(attributes | attr::Hidden))) throwLastError();
        // Never over an existing entry.
        if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            const DWORD e = ::GetLastError();
            if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) throw PlatformError(err::FileAlreadyExists);
            throwError(e);
        }
    } catch (...) {
        discard(temporary);
        throw;
    }
    if (!::SetFileAttributesW(target.c_str(), settable(attributes))) throwLastError();
}

void Win32FileSystem::removeStaleTemporaries(const std::string& folder) {
    // Temporary files ("." + name + "." + 12 hex digits + "~") left by an
    // interrupted write; only the program's own names, and only after a day,
    // since another copy of the program may be writing on a shared folder.
    std::string pattern = folder;
    if (pattern.empty() || pattern.back() != '\\') pattern += '\\';
    const std::string base = pattern;
    pattern += ".*~";
    WIN32_FIND_DATAW data{};
    FindHandle find(findFirst(widePath(pattern), data));
    if (!find.valid()) return;
    FILETIME nowFile{};
    ::GetSystemTimeAsFileTime(&nowFile);
    const std::int64_t now = utcSecondsOf(nowFile);
    do {
        const std::string name = narrow(data.cFileName);
        if (name.find("_mabre") == std::string::npos && name.find(".ini.") == std::string::npos) continue;
        if (name.size() < 15 || name[name.size() - 14] != '.') continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        if (now - utcSecondsOf(data.ftLastWriteTime) > 24 * 60 * 60) discard(widePath(base + name));
    } while (::FindNextFileW(find.get(), &data));
}

void Win32FileSystem::rename(const std::string& from, const std::string& to) {
    moveOver(widePath(from), widePath(to));
}

void Win32FileSystem::deleteCopy(const std::string& path) {
    const std::wstring p = widePath(path);
    rejectLink(p);
    const DWORD before = ::GetFileAttributesW(p.c_str());
    if (before == INVALID_FILE_ATTRIBUTES) throwLastError();
    if (before & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(err::PathFileAccess);
    if (!::SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL)) throwLastError();
    if (!::DeleteFileW(p.c_str())) {
        const DWORD e = ::GetLastError();
        ::SetFileAttributesW(p.c_str(), before);  // a copy that stays is read-only again
        throwError(e);
    }
}

void Win32FileSystem::deleteFile(const std::string& path) {
    const std::wstring p = widePath(path);
    rejectLink(p);
    if (!::DeleteFileW(p.c_str())) throwLastError();
}

void Win32FileSystem::createDirectory(const std::string& path) {
    if (!::CreateDirectoryW(widePath(path).c_str(), nullptr)) throwLastError();
}

std::int64_t Win32FileSystem::fileSize(const std::string& path) {
    const auto data = attributeData(path);
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

LocalTime Win32FileSystem::modificationTime(const std::string& path) {
    const auto data = attributeData(path);
    // Local time by the rules in force on that date, as Explorer shows it.
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &utc)) throwLastError();
    if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) throwLastError();
    return LocalTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

std::string Win32FileSystem::readFile(const std::string& path) {
    FileHandle file(::CreateFileW(widePath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) throwReadError(::GetLastError());
    std::string bytes;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart < INT_MAX) {
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) throwReadError(::GetLastError());
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    return bytes;
}

void Win32FileSystem::writeFileAtomic(const std::string& path, const std::string& bytes) {
    const std::wstring target = widePath(path);
    rejectLink(target);
    // The new file keeps what the person set on the old one (hidden, say).
    const DWORD existing = ::GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
        throw PlatformError(err::PathFileAccess);
    }
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) {
        throw PlatformError(err::PermissionDenied);  // a read-only file is not rewritten
    }
    const DWORD final = existing == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_ARCHIVE : settable(existing);

    std::wstring temporary;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0;; ++attempt) {
        temporary = temporaryBeside(target, nextUnique());
        h = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h != INVALID_HANDLE_VALUE) break;
        const DWORD e = ::GetLastError();
        if ((e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) || attempt >= 16) throwError(e);
    }
    FileHandle file(h);
    try {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD n = 0;
            if (!::WriteFile(file.get(), bytes.data() + done, chunk, &n, nullptr)) throwLastError();
            done += n;
        }
        if (!::FlushFileBuffers(file.get())) throwLastError();
        if (!file.close()) throwLastError();
        if (!::SetFileAttributesW(temporary.c_str(), final)) throwLastError();
        moveOver(temporary, target);
    } catch (...) {
        file.close();
        discard(temporary);
        throw;
    }
}

unsigned Win32FileSystem::driveType(const std::string& root) {
    return ::GetDriveTypeW(widePath(root).c_str());
}

}  // namespace mabrel::platform::win32
