// What must hold of the folders the program works in, whatever happened to
// it: every version of a file kept somewhere, backup copies complete and
// read-only, no temporary file of the program left over, comments stored.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mabrel::test::proof {

namespace stdfs = std::filesystem;

inline constexpr char kBackupDir[] = "_mabre-l94";
inline constexpr char kCommentFile[] = "_mabre.l94";

// The program's temporaries hold "_mabre" (the backup store's) or begin with
// "." and end in "~" (the platform layer's).
inline bool isProgramTemporary(const std::string& name) {
    if (name == kBackupDir || name == kCommentFile || name == std::string(kCommentFile) + ".lock") return false;
    if (name.find("_mabre") != std::string::npos) return true;
    return name.size() > 1 && name.front() == '.' && name.back() == '~';
}

// On a memory file system when there is one: the program flushes every file
// it writes, which a disk makes slow and a sweep makes many.
inline stdfs::path scratchParent() {
    std::error_code ec;
    if (stdfs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
    return stdfs::temp_directory_path();
}

inline std::string bytesOr(const stdfs::path& p, const std::string& missing) {
    std::error_code ec;
    return stdfs::is_regular_file(p, ec) ? readBytes(p) : missing;
}

// Writes a file, its folders too, with the modification time `stamp`
// ("2021-01-02 03-04-05"); read-only when asked.
inline stdfs::path put(const stdfs::path& p, const std::string& bytes, const std::string& stamp,
                       bool readOnly = false) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::sscanf(stamp.c_str(), "%d-%d-%d %d-%d-%d", &y, &mo, &d, &h, &mi, &s);
    stdfs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    setModificationTime(p, y, mo, d, h, mi, s);
    if (readOnly) ::chmod(p.c_str(), 0444);
    return p;
}

// The program's settings in `folder`, its last folder `lastPath`; .exe files hidden.
inline void putSettings(const stdfs::path& folder, const std::string& lastPath) {
    std::ofstream(folder / "mabrel9-iv.ini", std::ios::binary)
        << "[mabrel9-iv]\r\nversion, 4 . 0 . 9 \r\nlastPath," << lastPath
        << "\r\nlastAccess,2026-01-01 00:00:00\r\nexceptionExtList1Mode, 0 \r\nexceptionExtList1,.exe.\r\n"
           "exceptionExtList2Mode, 0 \r\nexceptionExtList2,.exe.\r\n";
}

inline bool isInBackupDir(const stdfs::path& p) { return p.parent_path().filename() == kBackupDir; }

inline bool isReadOnlyFile(const stdfs::path& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Every regular file below root (path relative to root -> bytes), the
// program's temporaries and comment files left out; symbolic links are not
// followed.
inline std::map<std::string, std::string> filesBelow(const stdfs::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_regular_file() || it->is_symlink() || isProgramTemporary(name) || name == kCommentFile) continue;
        try {
            out[stdfs::relative(it->path(), root).string()] = readBytes(it->path());
        } catch (const std::exception&) {
            out[stdfs::relative(it->path(), root).string()] = "<unreadable>";
        }
    }
    return out;
}

// The program's temporaries below root, relative paths.
inline std::vector<std::string> temporariesBelow(const stdfs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::recursive_directory_iterator();
         it.increment(ec)) {
        if (isProgramTemporary(it->path().filename().string())) out.push_back(stdfs::relative(it->path(), root).string());
    }
    return out;
}

}  // namespace mabrel::test::proof
