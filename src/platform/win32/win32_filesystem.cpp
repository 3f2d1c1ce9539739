#include "platform/win32/win32_filesystem.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
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

// The part of the moment below the second, in nanoseconds.
std::uint32_t nanosecondsOf(const FILETIME& t) {
    const auto ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<std::uint32_t>(ticks % 10000000ull) * 100u;
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
    e.nanoseconds = nanosecondsOf(data.ftLastWriteTime);
    return e;
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
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }
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


unsigned long long nextUnique() {
    static std::atomic<unsigned long long> counter{0};
    const unsigned long long pid = ::GetCurrentProcessId();
    return (pid << 40) ^ (::GetTickCount64() << 16) ^ counter.fetch_add(1);
}

// --- Handle-relative calls -----------------------------------------------------

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                          ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);
using NtSetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

struct Ntdll {
    NtCreateFileCall createFile;
    StatusToErrorCall toError;
    NtSetInformationFileCall setInformation;
};

const Ntdll& ntdll() {
    static const Ntdll calls = [] {
        HMODULE module = ::GetModuleHandleW(L"ntdll.dll");
        return Ntdll{reinterpret_cast<NtCreateFileCall>(reinterpret_cast<void*>(::GetProcAddress(module, "NtCreateFile"))),
                     reinterpret_cast<StatusToErrorCall>(
                         reinterpret_cast<void*>(::GetProcAddress(module, "RtlNtStatusToDosError"))),
                     reinterpret_cast<NtSetInformationFileCall>(
                         reinterpret_cast<void*>(::GetProcAddress(module, "NtSetInformationFile")))};
    }();
    return calls;
}

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder held open is shared for reading and writing, not for deleting:
// nobody renames, removes or replaces it while the program works in it.
constexpr ULONG kShareHeld = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Opens the entry `name` of the folder `root`: the name is one entry,
// never a path walked from somewhere else. INVALID_HANDLE_VALUE with the
// Win32 error in `error` when it fails.
HANDLE openIn(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
              DWORD& error, ULONG attributes = FILE_ATTRIBUTE_NORMAL) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE h = nullptr;
    const NTSTATUS status = ntdll().createFile(&h, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share,
                                               disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        error = ntdll().toError(status);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// Opens the entry `name` of `root` (with `access` besides) to change its
// attributes or times. Windows asks for the right to write them; Wine asks
// for it the file's write permission, which the owner of a read-only file
// lacks, but lets a handle without that right change them where the owner
// may (its own SetFileAttributes opens so).
HANDLE openToChangeAttributes(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG options, DWORD& error) {
    const HANDLE h = openIn(root, name, access | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN,
                            options, error);
    if (h != INVALID_HANDLE_VALUE || error != ERROR_ACCESS_DENIED) return h;
    return openIn(root, name, access | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, options, error);
}

FILE_ATTRIBUTE_TAG_INFO tagOf(HANDLE h) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) throwLastError();
    return tag;
}

bool isLink(HANDLE h) {
    const auto tag = tagOf(h);
    return isLinkTag(tag.FileAttributes, tag.ReparseTag);
}

void setBasicAttributes(HANDLE h, DWORD attributes) {
    FILE_BASIC_INFO basic{};  // zero times: left as they are
    basic.FileAttributes = attributes;
    if (!::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) throwLastError();
}

// Gives a new copy its attributes one change at a time, each one the
// system cannot refuse halfway: hidden off while the file may still be
// written, then read-only on. (Wine run by an ordinary user applies
// read-only first and may then no longer clear hidden.) Whether a listing
// now shows the copy as one: hidden and system as asked. A disk that keeps
// no read-only bit (exFAT and NTFS through some Linux drivers) leaves the
// copy writable, as any program's copy there is.
bool showAsCopy(HANDLE copy, std::uint32_t attributes) {
    constexpr std::uint32_t kShown = attr::Hidden | attr::System;
    try {
        setBasicAttributes(copy, settable(attributes & ~attr::ReadOnly));
        if (attributes & attr::ReadOnly) setBasicAttributes(copy, settable(attributes));
        return (tagOf(copy).FileAttributes & kShown) == (attributes & kShown);
    } catch (const PlatformError&) {
        return false;
    }
}

// Marks the open file as taken now: its creation and change times become
// the present. Its attributes are set again as they are, which is what
// changes the time where the system keeps neither time (Wine on a POSIX
// file system: the change time there).
void stampTaken(HANDLE h) {
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) throwLastError();
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    basic.CreationTime.LowPart = now.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(now.dwHighDateTime);
    basic.ChangeTime = basic.CreationTime;
    basic.LastAccessTime.QuadPart = 0;  // left as they are
    basic.LastWriteTime.QuadPart = 0;
    if (!::SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic)) throwLastError();
}

// Names the open file `name` in `folder`, replacing what has that name
// only when asked to. Through ntdll: Wine's SetFileInformationByHandle takes
// no folder handle for a rename, its NtSetInformationFile does, as Windows'.
bool renameInto(HANDLE file, HANDLE folder, const std::wstring& name, bool replace, DWORD& error) {
    struct RenameInformation {
        BOOLEAN ReplaceIfExists;
        HANDLE RootDirectory;
        ULONG FileNameLength;
        WCHAR FileName[1];
    };
    constexpr ULONG kFileRenameInformation = 10;
    std::vector<char> buffer(sizeof(RenameInformation) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<ULONG>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), name.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        ntdll().setInformation(file, &io, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation);
    if (status >= 0) return true;
    error = ntdll().toError(status);
    return false;
}

// Deletes the open file when its handle closes.
bool deleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

// The times and size by which a writer shows.
struct Version {
    LARGE_INTEGER written{};
    LARGE_INTEGER changed{};
    LARGE_INTEGER size{};
    bool operator==(const Version& o) const {
        return written.QuadPart == o.written.QuadPart && changed.QuadPart == o.changed.QuadPart &&
               size.QuadPart == o.size.QuadPart;
    }
};

Version versionOf(HANDLE h) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard)) {
        throwLastError();
    }
    return Version{basic.LastWriteTime, basic.ChangeTime, standard.EndOfFile};
}

// A name of one entry: nothing that the machine would read as a path, a
// stream or a device.
std::wstring entryName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find_first_of(std::string("\\/:\0", 4)) != std::string::npos) {
        throw PlatformError(err::PathFileAccess);
    }
    return widen(name);
}

// Whether this is Wine, whose files are Linux files with names of UTF-8 bytes.
bool underWine() {
    static const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// --- A team's folder under Wine ----------------------------------------------------

// The security descriptor of an open entry (owner and DACL); empty when it
// cannot be read.
std::vector<char> securityOf(HANDLE h) {
    constexpr SECURITY_INFORMATION kWanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    ::GetKernelObjectSecurity(h, kWanted, nullptr, 0, &size);
    std::vector<char> sd(size);
    if (size == 0 || !::GetKernelObjectSecurity(h, kWanted, sd.data(), size, &size)) return {};
    return sd;
}

bool ownedByThisAccount(const std::vector<char>& sd) {
    static const std::vector<char> account = [] {
        std::vector<char> user;
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user.resize(size);
        if (size == 0 || !::GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
        ::CloseHandle(token);
        return user;
    }();
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return !sd.empty() && !account.empty() &&
           ::GetSecurityDescriptorOwner(const_cast<char*>(sd.data()), &owner, &defaulted) && owner &&
           ::EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(account.data())->User.Sid);
}

// Under Wine a Linux file's mode is all that shares it, and Wine makes new
// files and folders with the account's umask alone: in a team's folder,
// owned by another account and written through the group, what this
// account makes would shut the others out. Wine turns an allowing ACE of a
// group in the account's token into the Linux group's bits and one of
// Everyone into everyone's: `made` (this account's, open with READ_CONTROL
// and WRITE_DAC) gives the group what its owner has, everyone keeps what
// they had, and a file does not become executable. On Windows the folder's
// inherited ACL shares what is made: nothing to do there.
void shareWithTeam(HANDLE made, bool isFolder) {
    std::vector<char> sd = securityOf(made);
    if (!ownedByThisAccount(sd)) return;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorOwner(sd.data(), &owner, &defaulted);
    if (!::GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted) || !present || !dacl) {
        return;
    }
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    PSID world = nullptr;
    ::AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &world);
    // What the owner and everyone may now, as Wine reads them from the mode.
    ACCESS_MASK ownerMask = 0, worldMask = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = &allowed->SidStart;
        if (::EqualSid(sid, owner)) ownerMask |= allowed->Mask;
        if (world && ::EqualSid(sid, world)) worldMask |= allowed->Mask;
    }
    const auto rights = [isFolder](ACCESS_MASK mask) {
        ACCESS_MASK out = 0;
        if (mask & FILE_READ_DATA) out |= FILE_GENERIC_READ | (isFolder ? FILE_GENERIC_EXECUTE : 0);
        if (mask & FILE_WRITE_DATA) out |= FILE_GENERIC_WRITE | DELETE | (isFolder ? FILE_DELETE_CHILD : 0);
        return out;
    };
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof users;
    std::vector<char> acl(1024);
    SECURITY_DESCRIPTOR shared{};
    const bool built =
        world && ::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &usersSize) &&
        ::InitializeAcl(reinterpret_cast<PACL>(acl.data()), static_cast<DWORD>(acl.size()), ACL_REVISION) &&
        ::AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION,
                              rights(ownerMask) | READ_CONTROL | WRITE_DAC, owner) &&
        ::AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, rights(ownerMask), users) &&
        (rights(worldMask) == 0 ||
         ::AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, rights(worldMask), world)) &&
        ::InitializeSecurityDescriptor(&shared, SECURITY_DESCRIPTOR_REVISION) &&
        ::SetSecurityDescriptorDacl(&shared, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    if (built) ::SetKernelObjectSecurity(made, DACL_SECURITY_INFORMATION, &shared);
    if (world) ::FreeSid(world);
}

// Whether what is made in the open `folder` is shared so: under Wine, a
// folder another account owns (a team's), or a folder made in one.
bool isTeamFolder(HANDLE folder, bool inTeamFolder) {
    if (!underWine()) return false;
    if (inTeamFolder) return true;
    DWORD e = 0;
    FileHandle self(openIn(folder, L"", READ_CONTROL, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE, e));
    return self.valid() && !ownedByThisAccount(securityOf(self.get()));
}

// The entry `name` of a team's `folder`, made by this program, shared as above.
void shareWithTeam(HANDLE folder, const std::wstring& name, bool isFolder) {
    DWORD e = 0;
    FileHandle made(openIn(folder, name, READ_CONTROL | WRITE_DAC, kShareAll, FILE_OPEN,
                           (isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE) | FILE_OPEN_REPARSE_POINT, e));
    if (made.valid() && !isLink(made.get())) shareWithTeam(made.get(), isFolder);
}

// A hidden temporary file in `folder` beside `name`, open for writing; it
// goes when its handle closes unless it was given a name. Shared with the
// team in a team's folder.
HANDLE createTemporaryIn(HANDLE folder, const std::wstring& name, bool team) {
    for (int attempt = 0;; ++attempt) {
        const std::wstring temporary = temporaryBeside(name, nextUnique());
        DWORD e = 0;
        const ACCESS_MASK sharing = team ? READ_CONTROL | WRITE_DAC : 0;
        HANDLE h = openIn(folder, temporary, GENERIC_READ | GENERIC_WRITE | DELETE | FILE_WRITE_ATTRIBUTES | sharing, 0,
                          FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, e, FILE_ATTRIBUTE_HIDDEN);
        if (h != INVALID_HANDLE_VALUE && team) shareWithTeam(h, false);
        if (h != INVALID_HANDLE_VALUE) return h;
        if ((e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) || attempt >= 16) throwError(e);
    }
}

// A file being made in a folder: removed when it is not given a name.
class NewFile {
public:
    NewFile(HANDLE folder, const std::wstring& name, bool team) : handle_(createTemporaryIn(folder, name, team)) {}
    ~NewFile() {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        if (!named_) {
            setBasicAttributes(handle_, FILE_ATTRIBUTE_HIDDEN);
            deleteOnClose(handle_);
        }
        ::CloseHandle(handle_);
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    HANDLE get() const { return handle_; }
    void name(HANDLE folder, const std::wstring& name, bool replace) {
        DWORD e = 0;
        if (!renameInto(handle_, folder, name, replace, e)) {
            if (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) throw PlatformError(err::FileAlreadyExists);
            throwError(e);
        }
        named_ = true;
    }
    void close() {
        const BOOL ok = ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        if (!ok) throwLastError();
    }

private:
    HANDLE handle_;
    bool named_ = false;
};

// Copies the open `in` into `out` piece by piece, telling `progress`, as the
// file was at one moment: a file that changed during the copy is copied
// again, and one that keeps changing is refused (70). Returns the source's
// information as copied.
BY_HANDLE_FILE_INFORMATION copyOneVersion(HANDLE in, HANDLE out, const CopyProgress& progress) {
    constexpr DWORD kPiece = 1u << 20;
    std::vector<char> piece(kPiece);
    for (int attempt = 1;; ++attempt) {
        const Version before = versionOf(in);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(in, &info)) throwLastError();
        const std::uint64_t total = sizeOf(info);
        LARGE_INTEGER zero{};
        if (!::SetFilePointerEx(in, zero, nullptr, FILE_BEGIN) || !::SetFilePointerEx(out, zero, nullptr, FILE_BEGIN) ||
            !::SetEndOfFile(out)) {
            throwLastError();
        }
        if (progress && !progress(0, total)) throw PlatformError(err::Cancelled);
        std::uint64_t done = 0;
        while (done < total) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, total - done));
            if (!::ReadFile(in, piece.data(), want, &got, nullptr)) throwReadError(::GetLastError());
            if (got == 0) break;
            DWORD put = 0;
            if (!::WriteFile(out, piece.data(), got, &put, nullptr)) throwLastError();
            if (put != got) throwError(ERROR_DISK_FULL);
            done += got;
            if (progress && !progress(done, total)) throw PlatformError(err::Cancelled);
        }
        if (versionOf(in) == before) {
            if (done != total) throw PlatformError(err::DeviceIo);
            return info;
        }
        if (attempt == 5) throw PlatformError(err::PermissionDenied, kBeingWritten);
        ::Sleep(50u << (attempt - 1));
    }
}

}  // namespace

// How long a save waits for another instance's lock before it gives up.
constexpr ULONGLONG kLockPatienceMs = 10000;
constexpr char kInUse[] = "他のプログラムが使用中です。";

// --- Win32Directory ----------------------------------------------------------

class Win32Directory final : public Directory {
public:
    // inTeamFolder: made or opened in a team's folder (isTeamFolder).
    Win32Directory(HANDLE handle, std::string path, bool inTeamFolder = false)
        : handle_(handle), path_(std::move(path)), team_(isTeamFolder(handle, inTeamFolder)) {}
    ~Win32Directory() override { ::CloseHandle(handle_); }
    HANDLE handle() const { return handle_; }

    const std::string& path() const override { return path_; }

    std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) override {
        // Through a handle of its own, opened from the held one: a handle
        // lists its folder as it was at its first listing (Wine keeps it).
        DWORD e = 0;
        FileHandle listed(openIn(handle_, L"", FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE, e));
        if (!listed.valid()) throwReadError(e);
        std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
        std::vector<DirEntry> entries;
        FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
        std::size_t read = 0;
        auto nextReport = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        for (;;) {
            if (!::GetFileInformationByHandleEx(listed.get(), kind, buffer.data(),
                                                static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
                const DWORD e = ::GetLastError();
                if (e == ERROR_NO_MORE_FILES) break;
                throwReadError(e);
            }
            kind = FileIdBothDirectoryInfo;
            const char* at = reinterpret_cast<const char*>(buffer.data());
            for (;;) {
                const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                // Every few hundred entries, or 50 ms: the person sees how far
                // a long listing is.
                if (progress && (++read % 256 == 0 || std::chrono::steady_clock::now() >= nextReport)) {
                    nextReport = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
                    if (!progress(read)) throw PlatformError(err::Cancelled);
                }
                DirEntry e;
                e.name = narrow(info->FileName, info->FileNameLength / sizeof(wchar_t));
                e.attributes = known(info->FileAttributes);
                // A reparse point's tag stands where its extended attributes' size would.
                if (isLinkTag(info->FileAttributes, info->EaSize)) e.attributes |= attr::ReparsePoint;
                e.size = info->EndOfFile.QuadPart;
                FILETIME written{info->LastWriteTime.LowPart, static_cast<DWORD>(info->LastWriteTime.HighPart)};
                e.modified = localTimeOf(written);
                e.utcSeconds = utcSecondsOf(written);
                e.nanoseconds = nanosecondsOf(written);
                if (matchesMask(e.attributes, mask)) entries.push_back(std::move(e));
                if (info->NextEntryOffset == 0) break;
                at += info->NextEntryOffset;
            }
        }
        // "." and ".." first, then by name: the same order every time,
        // whatever order the file system keeps.
        auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
        std::sort(entries.begin(), entries.end(), [&](const DirEntry& x, const DirEntry& y) {
            if (rank(x.name) != rank(y.name)) return rank(x.name) < rank(y.name);
            return x.name < y.name;
        });
        return entries;
    }

    std::optional<DirEntry> find(const std::string& name, std::uint32_t mask) override {
        const std::wstring wide = entryName(name);
        DWORD e = 0;
        FileHandle entry(openIn(handle_, wide, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT, e));
        if (!entry.valid()) {
            if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME) return std::nullopt;
            throwError(e);
        }
        DirEntry found;
        found.name = name;
        const bool link = isLink(entry.get());
        HANDLE described = entry.get();
        // A link is described by what it points at, where it points anywhere.
        FileHandle target(link ? openIn(handle_, wide, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, e)
                               : INVALID_HANDLE_VALUE);
        if (target.valid()) described = target.get();
        FILE_BASIC_INFO basic{};
        FILE_STANDARD_INFO standard{};
        if (!::GetFileInformationByHandleEx(described, FileBasicInfo, &basic, sizeof basic) ||
            !::GetFileInformationByHandleEx(described, FileStandardInfo, &standard, sizeof standard)) {
            throwLastError();
        }
        found.attributes = known(basic.FileAttributes) | (link ? attr::ReparsePoint : 0);
        found.size = standard.EndOfFile.QuadPart;
        FILETIME written{basic.LastWriteTime.LowPart, static_cast<DWORD>(basic.LastWriteTime.HighPart)};
        found.modified = localTimeOf(written);
        found.utcSeconds = utcSecondsOf(written);
        found.nanoseconds = nanosecondsOf(written);
        if (!matchesMask(found.attributes, mask)) return std::nullopt;
        return found;
    }

    std::unique_ptr<Directory> openFolder(const std::string& name, bool create) override {
        const std::wstring wide = entryName(name);
        DWORD e = 0;
        HANDLE h = openIn(handle_, wide, kFolderAccess, kShareHeld, create ? FILE_OPEN_IF : FILE_OPEN,
                          FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, e);
        if (h == INVALID_HANDLE_VALUE) {
            if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) throw PlatformError(err::PathNotFound);
            if (e == ERROR_DIRECTORY) throw PlatformError(err::PathFileAccess);
            throwError(e);
        }
        auto folder = std::make_unique<Win32Directory>(h, path_ + name + "\\", team_);
        // Looked at through the handle itself: what was opened is what is used.
        if (isLink(h)) throw PlatformError(err::PathFileAccess, kLinkNotFolder);
        if (create && team_) shareWithTeam(handle_, wide, true);
        return folder;
    }

    void setAttributes(const std::string& name, std::uint32_t attributes) override {
        DWORD e = 0;
        FileHandle entry(openToChangeAttributes(handle_, entryName(name), 0, FILE_OPEN_REPARSE_POINT, e));
        if (!entry.valid()) throwError(e);
        if (isLink(entry.get())) throw PlatformError(err::PathFileAccess, kLinkNotFile);
        setBasicAttributes(entry.get(), settable(attributes));
        // Wine gives only the owner write back.
        if (team_ && !(attributes & attr::ReadOnly)) {
            shareWithTeam(handle_, entryName(name), (tagOf(entry.get()).FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    }

    void createCopy(Directory& from, const std::string& fromName, const std::string& name, std::uint32_t attributes,
                    const CopyProgress& progress) override {
        const std::wstring target = entryName(name);
        // Told before anything is copied: a name holds at most 255 UTF-16
        // units, and under Wine at most 255 bytes of the Linux name.
        if (target.size() > 255 || (underWine() && name.size() > 255)) throw PlatformError(err::NameTooLong);
        FileHandle in(openSource(from, fromName, true));
        NewFile out(handle_, target, team_);
        const auto info = copyOneVersion(in.get(), out.get(), progress);
        // Both times at once: some drivers (exFAT, SMB through FUSE, as
        // Wine meets them) drop a change of the modification time alone.
        if (!::SetFileTime(out.get(), nullptr, &info.ftLastAccessTime, &info.ftLastWriteTime)) throwLastError();
        if (!::FlushFileBuffers(out.get())) throwLastError();
        // Never over an existing entry.
        out.name(handle_, target, false);
        if (!showAsCopy(out.get(), attributes)) {
            // A hidden copy no listing shows: not kept.
            try {
                setBasicAttributes(out.get(), FILE_ATTRIBUTE_NORMAL);
            } catch (const PlatformError&) {
            }
            deleteOnClose(out.get());
            throwError(ERROR_ACCESS_DENIED);
        }
        // A name deleted moments ago can hand its old creation time to the
        // new file (tunnelling): the copy's age starts now.
        try {
            stampTaken(out.get());
        } catch (const PlatformError&) {
        }
        out.close();
    }

    bool holdsCopyOf(const std::string& name, Directory& from, const std::string& fromName,
                     const CopyProgress& progress) override {
        DWORD e = 0;
        FileHandle copy(openIn(handle_, entryName(name), GENERIC_READ, FILE_SHARE_READ, FILE_OPEN,
                               FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, e));
        if (!copy.valid()) {
            if (e == ERROR_FILE_NOT_FOUND || e == ERROR_ACCESS_DENIED) return false;  // gone, or a folder
            throwReadError(e);
        }
        if (isLink(copy.get())) return false;
        BY_HANDLE_FILE_INFORMATION copied{};
        if (!::GetFileInformationByHandle(copy.get(), &copied)) throwLastError();
        // A file with another name somewhere else may change with it.
        if (copied.nNumberOfLinks != 1) return false;
        FileHandle file(openSource(from, fromName, true));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(file.get(), &info)) throwLastError();
        if ((info.dwVolumeSerialNumber == copied.dwVolumeSerialNumber && info.nFileIndexHigh == copied.nFileIndexHigh &&
             info.nFileIndexLow == copied.nFileIndexLow) ||
            sizeOf(info) != sizeOf(copied)) {
            return false;
        }
        constexpr DWORD kPiece = 1u << 20;
        std::vector<char> a(kPiece), b(kPiece);
        const std::uint64_t total = sizeOf(info);
        std::uint64_t done = 0;
        if (progress && !progress(0, total)) throw PlatformError(err::Cancelled);
        while (done < total) {
            const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, total - done));
            DWORD gotA = 0, gotB = 0;
            if (!::ReadFile(file.get(), a.data(), want, &gotA, nullptr) || !::ReadFile(copy.get(), b.data(), want, &gotB, nullptr)) {
                throwReadError(::GetLastError());
            }
            if (gotA != want || gotB != want || std::memcmp(a.data(), b.data(), want) != 0) return false;
            done += want;
            if (progress && !progress(done, total)) throw PlatformError(err::Cancelled);
        }
        return true;
    }

    void copyFile(Directory& from, const std::string& fromName, const std::string& name,
                  const CopyProgress& progress) override {
        const std::wstring target = entryName(name);
        FileHandle in(openSource(from, fromName, false));
        BY_HANDLE_FILE_INFORMATION source{};
        if (!::GetFileInformationByHandle(in.get(), &source)) throwLastError();
        checkReplaceable(target);
        NewFile out(handle_, target, team_);
        const auto info = copyOneVersion(in.get(), out.get(), progress);
        // Both times at once: some drivers (exFAT, SMB through FUSE, as
        // Wine meets them) drop a change of the modification time alone.
        if (!::SetFileTime(out.get(), nullptr, &info.ftLastAccessTime, &info.ftLastWriteTime)) throwLastError();
        if (!::FlushFileBuffers(out.get())) throwLastError();
        out.name(handle_, target, true);
        setBasicAttributes(out.get(), settable(source.dwFileAttributes));
        out.close();
    }

    void deleteCopy(const std::string& name) override {
        DWORD e = 0;
        FileHandle entry(
            openToChangeAttributes(handle_, entryName(name), DELETE, FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE, e));
        if (!entry.valid()) {
            if (e == ERROR_ACCESS_DENIED && isFolder(name)) throw PlatformError(err::PathFileAccess);
            throwError(e);
        }
        const auto tag = tagOf(entry.get());
        if (isLinkTag(tag.FileAttributes, tag.ReparseTag) || (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw PlatformError(err::PathFileAccess);
        }
        setBasicAttributes(entry.get(), FILE_ATTRIBUTE_NORMAL);
        if (!deleteOnClose(entry.get())) {
            const DWORD failed = ::GetLastError();
            setBasicAttributes(entry.get(), settable(tag.FileAttributes));  // a copy that stays is read-only again
            throwError(failed);
        }
    }

    std::string readFile(const std::string& name) override {
        DWORD e = 0;
        FileHandle file(openIn(handle_, entryName(name), GENERIC_READ, kShareAll, FILE_OPEN,
                               FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, e));
        if (!file.valid()) {
            if (e == ERROR_ACCESS_DENIED && isFolder(name)) throw PlatformError(err::PathFileAccess, kFolderNotFile);
            throwReadError(e);
        }
        if (isLink(file.get())) throw PlatformError(err::PathFileAccess, kLinkNotFile);
        if (::GetFileType(file.get()) != FILE_TYPE_DISK) throw PlatformError(err::PathFileAccess, kNotRegularFile);
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file.get(), &size)) throwLastError();
        if (static_cast<std::uint64_t>(size.QuadPart) > kMaxOwnFileBytes) {
            throw PlatformError(err::PathFileAccess, kFileTooLarge);
        }
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
        char buffer[65536];
        for (;;) {
            DWORD n = 0;
            if (!::ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) throwReadError(::GetLastError());
            if (n == 0) break;
            bytes.append(buffer, n);
            if (bytes.size() > kMaxOwnFileBytes) throw PlatformError(err::PathFileAccess, kFileTooLarge);
        }
        return bytes;
    }

    void writeFileAtomic(const std::string& name, const std::string& bytes) override {
        const std::wstring target = entryName(name);
        // The new file keeps what the person set on the old one (hidden, say).
        const auto existing = checkReplaceable(target);
        const DWORD final = existing ? settable(*existing) : FILE_ATTRIBUTE_ARCHIVE;
        NewFile out(handle_, target, team_);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD n = 0;
            if (!::WriteFile(out.get(), bytes.data() + done, chunk, &n, nullptr)) throwLastError();
            done += n;
        }
        if (!::FlushFileBuffers(out.get())) throwLastError();
        out.name(handle_, target, true);
        setBasicAttributes(out.get(), final);
        out.close();
    }

    void updateFile(const std::string& name, const FileChange& change) override {
        const std::wstring target = entryName(name);
        // The lock: the file beside it locked as a whole, which the Linux
        // program locks too (Wine makes the lock a POSIX lock of the file,
        // a Samba server as well). It stays, so that every instance locks
        // the same file; an earlier version, which holds it open without
        // sharing and removes it, is waited for as well. Where no file can
        // be made (a read-only folder), or the file system keeps no locks,
        // nothing.
        const ULONGLONG giveUp = ::GetTickCount64() + kLockPatienceMs;
        FileHandle lock(INVALID_HANDLE_VALUE);
        for (;;) {
            DWORD e = 0;
            lock = FileHandle(openIn(handle_, target + L".lock", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE, e,
                                     FILE_ATTRIBUTE_HIDDEN));
            // Another's that this account may not write: a shared lock,
            // which still waits for every writer.
            if (!lock.valid() && e == ERROR_ACCESS_DENIED) {
                lock = FileHandle(openIn(handle_, target + L".lock", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         FILE_OPEN, FILE_NON_DIRECTORY_FILE, e));
            }
            if (lock.valid()) {
                if (team_) shareWithTeam(handle_, target + L".lock", false);
                OVERLAPPED whole{};
                if (::LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                                 &whole)) {
                    break;
                }
                e = ::GetLastError();
                if (e != ERROR_LOCK_VIOLATION && e != ERROR_IO_PENDING) break;  // no locks here
                lock.close();
            } else if (e != ERROR_SHARING_VIOLATION) {
                break;
            }
            if (::GetTickCount64() > giveUp) throw PlatformError(err::PermissionDenied, kInUse);
            ::Sleep(20);
        }
        std::optional<std::string> stored;
        try {
            stored = readFile(name);
        } catch (const PlatformError& e) {
            if (e.number() != err::FileNotFound) throw;
        }
        if (const auto bytes = change(stored)) writeFileAtomic(name, *bytes);
    }

    std::int64_t takenTime(const std::string& name) override {
        DWORD e = 0;
        FileHandle entry(openIn(handle_, entryName(name), FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN,
                                FILE_OPEN_REPARSE_POINT, e));
        if (!entry.valid()) throwError(e);
        FILE_BASIC_INFO basic{};
        if (!::GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof basic)) throwLastError();
        // The later of the two: a creation time can be handed down from a
        // name deleted moments before, and Wine gives the modification time
        // for it.
        const auto seconds = [](const LARGE_INTEGER& t) {
            return static_cast<std::int64_t>(static_cast<std::uint64_t>(t.QuadPart) / 10000000ull) - 11644473600ll;
        };
        // A copy's modification time is its file's, from before it was
        // taken: where neither time is later, both only tell that time again
        // (exFAT and SMB through FUSE under Wine) and the age cannot be told.
        if (basic.CreationTime.QuadPart <= basic.LastWriteTime.QuadPart &&
            basic.ChangeTime.QuadPart <= basic.LastWriteTime.QuadPart) {
            throw PlatformError(err::PathFileAccess, "このファイルシステムは、コピーを取った時を記録しません。");
        }
        return std::max(seconds(basic.CreationTime), seconds(basic.ChangeTime));
    }

    void markTaken(const std::string& name) override {
        DWORD e = 0;
        FileHandle entry(
            openToChangeAttributes(handle_, entryName(name), 0, FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE, e));
        if (!entry.valid()) throwError(e);
        if (isLink(entry.get())) throw PlatformError(err::PathFileAccess, kLinkNotFile);
        stampTaken(entry.get());
    }

    void removeStaleTemporaries() override {
        // Temporary files ("." + name + "." + 12 hex digits + "~") left by an
        // interrupted write; only the program's own names, and only after a
        // day, since another copy of the program may be writing on a shared
        // folder.
        FILETIME nowFile{};
        ::GetSystemTimeAsFileTime(&nowFile);
        const std::int64_t now = utcSecondsOf(nowFile);
        std::vector<DirEntry> entries;
        try {
            entries = list(attr::Hidden | attr::System);
        } catch (const PlatformError&) {
            return;
        }
        for (const auto& entry : entries) {
            const std::string& n = entry.name;
            if (n.size() < 15 || n[0] != '.' || n.back() != '~' || n[n.size() - 14] != '.') continue;
            if (n.find("_mabre") == std::string::npos && n.find(".ini.") == std::string::npos) continue;
            if (entry.attributes & (attr::Directory | attr::ReparsePoint)) continue;
            if (now - entry.utcSeconds <= 24 * 60 * 60) continue;
            try {
                deleteCopy(n);
            } catch (const PlatformError&) {
            }
        }
    }

private:
    static Win32Directory& win32Of(Directory& d) {
        auto* native = dynamic_cast<Win32Directory*>(&d.unwrapped());
        if (!native) throw PlatformError(err::InvalidArgument);
        return *native;
    }

    // The file `fromName` of `from`, open for reading; a link is read through
    // only where the person's own file may be one.
    static HANDLE openSource(Directory& from, const std::string& fromName, bool followLink) {
        DWORD e = 0;
        HANDLE h = openIn(win32Of(from).handle(), entryName(fromName), GENERIC_READ | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                          FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY | (followLink ? 0 : FILE_OPEN_REPARSE_POINT), e);
        if (h == INVALID_HANDLE_VALUE) {
            if (e == ERROR_ACCESS_DENIED && win32Of(from).isFolder(fromName)) throw PlatformError(err::PathFileAccess);
            throwReadError(e);
        }
        if (!followLink) {
            bool link = true;
            try {
                link = isLink(h);
            } catch (...) {
            }
            if (link) {
                ::CloseHandle(h);
                throw PlatformError(err::PathFileAccess, kLinkNotFile);
            }
        }
        return h;
    }

    bool isFolder(const std::string& name) {
        const auto entry = find(name, attr::Directory | attr::Hidden | attr::System);
        return entry && (entry->attributes & attr::Directory);
    }

    // What an existing target allows: nothing there, or a writable file whose
    // attributes are given back. A link or a folder is refused (75), a
    // read-only file too (70): Windows would not move over it, Wine would.
    std::optional<DWORD> checkReplaceable(const std::wstring& target) {
        DWORD e = 0;
        FileHandle entry(openIn(handle_, target, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT, e));
        if (!entry.valid()) {
            if (e == ERROR_FILE_NOT_FOUND) return std::nullopt;
            throwError(e);
        }
        const auto tag = tagOf(entry.get());
        if (isLinkTag(tag.FileAttributes, tag.ReparseTag)) throw PlatformError(err::PathFileAccess, kLinkNotFile);
        if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw PlatformError(err::PathFileAccess, kFolderNotFile);
        if (tag.FileAttributes & FILE_ATTRIBUTE_READONLY) throw PlatformError(err::PermissionDenied);
        return tag.FileAttributes;
    }

    HANDLE handle_;
    std::string path_;
    bool team_;  // what is made here is shared with the team (shareWithTeam)
};

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

std::optional<DirEntry> Win32FileSystem::findIgnoringCase(const std::string& path, std::uint32_t mask) {
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

std::unique_ptr<Directory> Win32FileSystem::openDirectory(const std::string& path) {
    std::string p = path;
    if (p.empty() || p.back() != '\\') p += '\\';
    // Following reparse points: the person chose this path. Held without
    // sharing for deletion, so it is not renamed or replaced meanwhile.
    HANDLE h = ::CreateFileW(widePath(p).c_str(), kFolderAccess, kShareHeld, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_DIRECTORY || e == ERROR_INVALID_NAME) throw PlatformError(err::PathNotFound);
        throwReadError(e);
    }
    auto folder = std::make_unique<Win32Directory>(h, p);
    if (!(tagOf(h).FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) throw PlatformError(err::PathNotFound);
    return folder;
}

unsigned Win32FileSystem::driveType(const std::string& root) {
    return ::GetDriveTypeW(widePath(root).c_str());
}

}  // namespace mabrel::platform::win32
