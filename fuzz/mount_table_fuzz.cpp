// The mount table and the drive letters made from it: any table parses
// without harm; drives are C: at "/" then D: onwards in mount point order;
// every drive root and every path below it maps to drive form and back; a
// mounted share is found by its server and share name; and any line taken as
// a path splits into clean components.
#include <cstdint>
#include <sstream>

#include "fuzz_support.h"
#include "platform/posix/path_map.h"

namespace {

using namespace mabrel::platform::posix;

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += n + "|";
    return out;
}

void checkSplit(const SplitPath& split, const std::string& path) {
    FUZZ_CHECK(!split.base.empty() && split.base.front() == '/', "path", path, "base", split.base);
    for (const auto& c : split.components) {
        FUZZ_CHECK(!c.empty() && c != "." && c != ".." && c.find_first_of("/\\") == std::string::npos, "path", path,
                   "components", joined(split.components));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string table(reinterpret_cast<const char*>(data), size);
    const auto mounts = parseMountTable(table);
    for (const auto& m : mounts) {
        FUZZ_CHECK(!m.mountPoint.empty() && m.mountPoint.front() == '/' &&
                       (m.mountPoint == "/" || m.mountPoint.back() != '/'),
                   "mount point", m.mountPoint);
        FUZZ_CHECK(!m.fsType.empty(), "table", table);
    }

    const auto drives = drivesFromMounts(mounts);
    FUZZ_CHECK(!drives.empty() && drives[0].letter == 'C' && drives[0].mountPoint == "/", "table", table);
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const Drive& d = drives[i];
        FUZZ_CHECK(d.letter == static_cast<char>('C' + i) && d.letter <= 'Z' && d.type <= drive_type::RamDisk,
                   "table", table);
        if (i > 1) FUZZ_CHECK(drives[i - 1].mountPoint < d.mountPoint, "table", table);
        if (i > 0) FUZZ_CHECK(d.mountPoint != "/", "table", table);

        const std::string root = std::string(1, d.letter) + ":\\";
        FUZZ_CHECK(nativeToDrivePath(d.mountPoint, drives) == root, "mount point", d.mountPoint, "drive path",
                   nativeToDrivePath(d.mountPoint, drives));
        for (const std::string& spelled : {root, std::string(1, static_cast<char>(d.letter + 32)) + ":"}) {
            const auto split = splitDrivePath(spelled, drives, mounts, "/", "/");
            FUZZ_CHECK(split && joinNative(*split) == d.mountPoint, "drive", spelled, "mount point", d.mountPoint);
        }
        const std::string below = (d.mountPoint == "/" ? "" : d.mountPoint) + "/sub dir/file.txt";
        const std::string drivePath = nativeToDrivePath(below, drives);
        const auto back = splitDrivePath(drivePath, drives, mounts, "/", "/");
        FUZZ_CHECK(back && joinNative(*back) == below, "native", below, "drive path", drivePath, "back",
                   back ? joinNative(*back) : std::string("<none>"));
    }

    // Shares by the name their source gives.
    for (const auto& m : mounts) {
        if (m.fsType != "cifs" || m.source.rfind("//", 0) != 0) continue;
        const std::string rest = m.source.substr(2);
        const auto slash = rest.find('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 >= rest.size()) continue;
        const std::string server = rest.substr(0, slash);
        const std::string share = rest.substr(slash + 1);
        if (share.find_first_of("/\\") != std::string::npos || server.find('\\') != std::string::npos) continue;
        const auto point = shareMountPoint(mounts, server, share);
        FUZZ_CHECK(point.has_value(), "source", m.source);
        const std::string path = "\\\\" + server + "\\" + share + "\\sub";
        const auto split = splitDrivePath(path, drives, mounts, "/", "/");
        FUZZ_CHECK(split && split->base == *point, "path", path, "mount point", *point);
        checkSplit(*split, path);
    }

    // Every line of the input as a path in the program's form.
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        if (auto split = splitDrivePath(line, drives, mounts, "/mnt/x/cwd", "/mnt/x")) checkSplit(*split, line);
    }
    return 0;
}
