// The path checker and the long-name normaliser on a real folder tree, made
// once per process in a temporary folder and reached as C:\tmp\...\tree, as
// the drive E: and as the share \\fuzzhost\share of a fed mount table (D: is
// a drive whose folder is missing). Paths are built from the tree's names in
// other letter cases, ".", "..", missing names, doubled and "/" separators,
// quotes and spaces, or are the fuzz bytes as they are.
//   checker: when usable, the folder part begins and ends with "\"; below a
//   drive root it names an existing folder, and the file name an existing
//   file in it.
//   normaliser: for a path in drive, share or rooted form, the result names
//   only existing entries, and it ends with "\" exactly when it names a folder.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "platform/posix/posix_filesystem.h"
#include "util/bas_basic.h"

namespace {

using namespace mabrel;
namespace stdfs = std::filesystem;

struct Scratch {
    stdfs::path top;
    std::string drivePath;  // C:\tmp\...\tree
    std::unique_ptr<platform::posix::PosixFileSystem> fs;

    Scratch() {
        char pattern[] = "/tmp/mabrel-fuzz-XXXXXX";
        if (!::mkdtemp(pattern)) std::abort();
        top = pattern;
        const stdfs::path tree = top / "tree";
        for (const char* dir : {"Docs/Sub Dir", "Docs/日本語", "a,b", ".hidden/inside", "dup", "DUP",
                                "name.with.dots", "sp ace"}) {
            stdfs::create_directories(tree / stdfs::u8path(dir));
        }
        for (const char* file : {"Docs/report.txt", "Docs/Sub Dir/deep.txt", "Docs/日本語/memo.txt", "ro.txt",
                                 ".hidden/inside/x.txt"}) {
            std::ofstream(tree / stdfs::u8path(file)) << "x";
        }
        ::chmod((tree / "ro.txt").c_str(), 0444);
        stdfs::create_directory_symlink("Docs", tree / "link");
        stdfs::create_symlink("missing", tree / "dangling");
        std::ofstream(top / "mounts") << "/dev/vda1 / ext4 rw 0 0\n"
                                      << "//fuzzhost/share " << tree.string() << " cifs rw 0 0\n"
                                      << "tmpfs /mnt/mabrel-fuzz-absent tmpfs rw 0 0\n";
        fs = std::make_unique<platform::posix::PosixFileSystem>((top / "mounts").string());
        drivePath = "C:" + tree.string();
        for (auto& c : drivePath) {
            if (c == '/') c = '\\';
        }
    }
    ~Scratch() {
        std::error_code ec;
        stdfs::permissions(top / "tree" / "ro.txt", stdfs::perms::owner_write, stdfs::perm_options::add, ec);
        stdfs::remove_all(top, ec);
    }
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

std::string pathFrom(FuzzedDataProvider& p) {
    static const char* const kNames[] = {"Docs", "docs", "DOCS", "report.txt", "REPORT.TXT", "Sub Dir", "sub dir",
                                         "日本語", "memo.txt", "deep.txt", "a,b", ".hidden", "inside", "x.txt",
                                         "ro.txt", "dup", "DUP", "Dup", "link", "dangling", "name.with.dots",
                                         "sp ace", "missing", ".", "..", "...", "", " ", "tree"};
    static const char* const kSeparators[] = {"\\", "\\", "\\", "\\\\", "/"};
    std::string path;
    switch (p.ConsumeIntegralInRange(0, 6)) {
    case 0: path = scratch().drivePath; break;
    case 1: path = "E:"; break;
    case 2: path = "\\\\fuzzhost\\share"; break;
    case 3: path = "\\\\FUZZHOST\\Share"; break;
    case 4: path = "D:"; break;
    case 5: path = "c:"; break;  // from the real root
    default: break;              // relative, from the current directory (left as it is: libFuzzer works there)
    }
    const int count = p.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < count; ++i) {
        if (i > 0 || !path.empty()) path += p.PickValueInArray(kSeparators);
        path += p.ConsumeBool() ? std::string(p.PickValueInArray(kNames)) : fuzz::text(p, 8, "\\/");
    }
    if (p.ConsumeBool()) path += p.PickValueInArray(kSeparators);
    if (p.ConsumeIntegralInRange(0, 7) == 0) path = " \"" + path + "\" ";
    return path;
}

bool exists(platform::FileSystem& fs, const std::string& path, std::uint32_t* attributes = nullptr) {
    try {
        const auto a = fs.attributes(path);
        if (attributes) *attributes = a;
        return true;
    } catch (const platform::PlatformError&) {
        return false;
    }
}

bool isFolder(platform::FileSystem& fs, const std::string& path) {
    std::uint32_t a = 0;
    return exists(fs, path, &a) && (a & platform::attr::Directory);
}

void checkChecker(platform::FileSystem& fs, const std::string& path) {
    const auto checked = bas_basic::checkPath(fs, path);
    if (!checked) return;
    const std::string& folder = checked->folder;
    FUZZ_CHECK(!checked->drive.empty() && !folder.empty() && folder.front() == '\\' && folder.back() == '\\', "path",
               path, "drive", checked->drive, "folder", folder);
    if (folder == "\\") return;  // a drive or share root is taken without asking the disk
    FUZZ_CHECK(isFolder(fs, checked->drive + folder), "path", path, "drive", checked->drive, "folder", folder);
    if (!checked->file.empty()) {
        const std::string file = checked->drive + folder + checked->file;
        FUZZ_CHECK(exists(fs, file) && !isFolder(fs, file), "path", path, "file", file);
    }
}

// Where the normaliser's result leaves its root: the drive letter, the share
// (\\server\share), or nothing for a path from the current drive's root.
std::size_t rootLength(const std::string& result) {
    if (result.size() >= 2 && result[1] == ':') return 2;
    if (result.rfind("\\\\", 0) == 0) {
        const auto a = result.find('\\', 2);
        // The share name is at least one character, as the normaliser takes it.
        const auto b = a == std::string::npos ? a : result.find('\\', a + 2);
        return b == std::string::npos ? result.size() : b;
    }
    return 0;
}

void checkNormaliser(platform::FileSystem& fs, const std::string& path, bool built) {
    const std::string result = bas_basic::normaliseLongName(fs, path);
    if (result.empty() || !built) return;
    // A relative path comes back from the root ("foo" gives "\foo"): it names
    // no entry of the current folder, so only the other forms are checked.
    // So is a name holding a ":" ("a:b\c" gives "a:" and what follows).
    std::string trimmed = path;
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    if (!trimmed.empty() && trimmed.front() == '"') trimmed.erase(0, 1);
    const bool driveForm = trimmed.size() >= 2 && trimmed[1] == ':';
    if (!driveForm && (trimmed.find(':') != std::string::npos || trimmed.rfind("\\", 0) != 0)) return;

    const std::size_t root = rootLength(result);
    const bool trailing = result.back() == '\\';
    const std::string named = trailing ? result.substr(0, result.size() - 1) : result;
    for (std::size_t q = result.find('\\', root + 1); q != std::string::npos && q < named.size();
         q = result.find('\\', q + 1)) {
        FUZZ_CHECK(exists(fs, result.substr(0, q)), "path", path, "result", result, "missing", result.substr(0, q));
    }
    if (named.size() > root) {
        FUZZ_CHECK(exists(fs, named) && trailing == isFolder(fs, named), "path", path, "result", result);
    } else if (result.size() >= 2 && result[1] == ':') {
        // A drive alone ends with "\" when its root is there; a share root
        // is the text as written, whatever it is.
        FUZZ_CHECK(trailing == isFolder(fs, named + "\\"), "path", path, "result", result);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::FileSystem& fs = *scratch().fs;
    FuzzedDataProvider p(data, size);
    const bool built = p.ConsumeIntegralInRange(0, 7) != 0;
    const std::string path = built ? pathFrom(p) : p.ConsumeRemainingBytesAsString();
    checkChecker(fs, path);
    checkNormaliser(fs, path, built);
    return 0;
}
