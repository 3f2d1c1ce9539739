#include "platform/posix/path_map.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace mabrel::platform::posix {

namespace {

// Mount tables escape space, tab, newline and backslash as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// Whether `path` is `folder` or lies below it.
bool isAtOrBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") return startsWith(path, "/");
    return path == folder || startsWith(path, folder + "/");
}

// File systems of the kernel's own bookkeeping, never a user's drive.
bool isPseudoFsType(const std::string& fsType) {
    static const std::set<std::string> pseudo = {
        "proc",      "sysfs",     "devpts",   "devtmpfs", "cgroup",    "cgroup2",   "securityfs", "debugfs",
        "tracefs",   "pstore",    "bpf",      "autofs",   "mqueue",    "hugetlbfs", "configfs",   "fusectl",
        "binfmt_misc", "efivarfs", "selinuxfs", "rpc_pipefs", "nsfs",   "overlay",   "squashfs",   "ramfs_internal",
        "fuse.portal", "fuse.gvfsd-fuse", "fuse.lxcfs"};
    return pseudo.count(fsType) != 0;
}

bool isCifsType(const std::string& fsType) { return fsType == "cifs" || fsType == "smb3" || fsType == "smbfs"; }

std::string trimTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

std::vector<MountEntry> parseMountTable(const std::string& text) {
    std::vector<MountEntry> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, fsType;
        if (!(fields >> source >> mountPoint >> fsType)) continue;
        if (source.empty() || source[0] == '#') continue;
        mountPoint = unescapeMountField(mountPoint);
        if (mountPoint.empty() || mountPoint[0] != '/') continue;
        out.push_back({unescapeMountField(source), trimTrailingSlashes(mountPoint), fsType});
    }
    return out;
}

bool isNetworkFsType(const std::string& fsType) {
    static const std::set<std::string> network = {"nfs",       "nfs4",       "cifs",      "smb3",   "smbfs",
                                                  "ncpfs",     "afs",        "9p",        "ceph",   "glusterfs",
                                                  "fuse.sshfs", "sshfs",     "fuse.rclone", "davfs", "fuse.davfs2",
                                                  "fuse.glusterfs", "fuse.cephfs", "lustre", "gfs2", "ocfs2"};
    return network.count(fsType) != 0;
}

unsigned classifyMount(const std::string& fsType, const std::string& mountPoint) {
    if (isNetworkFsType(fsType)) return drive_type::Network;
    if (fsType == "iso9660" || fsType == "udf") return drive_type::CdRom;
    if (fsType == "tmpfs" || fsType == "ramfs") return drive_type::RamDisk;
    if (isAtOrBelow(mountPoint, "/media") || isAtOrBelow(mountPoint, "/run/media")) return drive_type::Removable;
    return drive_type::Fixed;
}

std::vector<Drive> drivesFromMounts(const std::vector<MountEntry>& mounts) {
    // A later mount on the same point hides the earlier one.
    std::vector<MountEntry> visible;
    for (const auto& m : mounts) {
        auto same = std::find_if(visible.begin(), visible.end(),
                                 [&](const MountEntry& v) { return v.mountPoint == m.mountPoint; });
        if (same != visible.end()) *same = m;
        else visible.push_back(m);
    }

    std::vector<Drive> drives;
    Drive root{'C', "/", drive_type::Fixed, "", ""};
    std::vector<const MountEntry*> extra;
    for (const auto& m : visible) {
        if (m.mountPoint == "/") {
            root.source = m.source;
            root.fsType = m.fsType;
            // The root is a fixed disk even when it is an overlay or a RAM disk of a live system.
            if (isNetworkFsType(m.fsType)) root.type = drive_type::Network;
            continue;
        }
        if (isPseudoFsType(m.fsType)) continue;
        const bool userVolume = isAtOrBelow(m.mountPoint, "/media") || isAtOrBelow(m.mountPoint, "/run/media") ||
                                isAtOrBelow(m.mountPoint, "/mnt");
        if (userVolume || isNetworkFsType(m.fsType)) extra.push_back(&m);
    }
    std::sort(extra.begin(), extra.end(),
              [](const MountEntry* a, const MountEntry* b) { return a->mountPoint < b->mountPoint; });

    drives.push_back(root);
    char letter = 'D';
    for (const auto* m : extra) {
        if (letter > 'Z') break;
        drives.push_back({letter++, m->mountPoint, classifyMount(m->fsType, m->mountPoint), m->source, m->fsType});
    }
    return drives;
}

std::optional<std::string> shareMountPoint(const std::vector<MountEntry>& mounts, const std::string& server,
                                           const std::string& share) {
    const std::string wanted = lower("//" + server + "/" + share);
    std::optional<std::string> found;
    for (const auto& m : mounts) {
        if (!isCifsType(m.fsType)) continue;
        std::string source = m.source;
        for (char& c : source) {
            if (c == '\\') c = '/';
        }
        source = lower(trimTrailingSlashes(source));
        if (source == wanted) found = m.mountPoint;  // the latest mount wins
    }
    return found;
}

namespace {

// Adds the names of `rest` (separated by "\" or "/") to components.
void appendComponents(const std::string& rest, std::vector<std::string>& components) {
    std::string name;
    auto flush = [&] {
        if (name.empty() || name == ".") {
        } else if (name == "..") {
            if (!components.empty()) components.pop_back();
        } else {
            components.push_back(name);
        }
        name.clear();
    };
    for (char c : rest) {
        if (c == '\\' || c == '/') flush();
        else name += c;
    }
    flush();
}

// A native absolute path as base "/" and its components.
SplitPath splitNative(const std::string& native) {
    SplitPath out{"/", {}};
    appendComponents(native, out.components);
    return out;
}

}  // namespace

std::optional<SplitPath> splitDrivePath(const std::string& path, const std::vector<Drive>& drives,
                                        const std::vector<MountEntry>& mounts, const std::string& currentDirectory,
                                        const std::string& currentRoot) {
    if (path.size() >= 2 && path[1] == ':') {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        auto drive = std::find_if(drives.begin(), drives.end(), [&](const Drive& d) { return d.letter == letter; });
        if (drive == drives.end()) return std::nullopt;
        SplitPath out{drive->mountPoint, {}};
        // "C:name" is relative to the drive's root here: there is one current directory only.
        appendComponents(path.substr(2), out.components);
        return out;
    }
    if (startsWith(path, "\\\\") || startsWith(path, "//")) {
        std::vector<std::string> names;
        appendComponents(path.substr(2), names);
        // ".." must not climb out of the share: take server and share from the text as written.
        std::string server, share;
        std::size_t i = 2;
        auto nextName = [&] {
            std::string n;
            while (i < path.size() && path[i] != '\\' && path[i] != '/') n += path[i++];
            while (i < path.size() && (path[i] == '\\' || path[i] == '/')) ++i;
            return n;
        };
        server = nextName();
        share = nextName();
        if (server.empty() || share.empty()) return std::nullopt;
        auto point = shareMountPoint(mounts, server, share);
        if (!point) return std::nullopt;
        SplitPath out{*point, {}};
        appendComponents(path.substr(i), out.components);
        return out;
    }
    if (startsWith(path, "\\") || startsWith(path, "/")) {
        SplitPath out{currentRoot.empty() ? "/" : currentRoot, {}};
        appendComponents(path, out.components);
        return out;
    }
    // Relative: the current directory's names, then the path's, so that ".."
    // may climb to the drive's root but not beyond it.
    SplitPath out{currentRoot.empty() ? "/" : currentRoot, {}};
    if (isAtOrBelow(currentDirectory, out.base)) {
        appendComponents(currentDirectory.substr(out.base == "/" ? 0 : out.base.size()), out.components);
    } else {
        out = splitNative(currentDirectory);
    }
    appendComponents(path, out.components);
    return out;
}

std::string joinNative(const SplitPath& split) {
    std::string out = split.base;
    for (const auto& c : split.components) {
        if (out.empty() || out.back() != '/') out += '/';
        out += c;
    }
    return out.empty() ? "/" : out;
}

std::string nativeToDrivePath(const std::string& native, const std::vector<Drive>& drives) {
    const std::string path = trimTrailingSlashes(native.empty() ? "/" : native);
    const Drive* best = nullptr;
    for (const auto& d : drives) {
        if (!isAtOrBelow(path, d.mountPoint)) continue;
        if (!best || d.mountPoint.size() > best->mountPoint.size()) best = &d;
    }
    std::string out;
    out.reserve(path.size() + 3);
    out.push_back(best ? best->letter : 'C');
    out.push_back(':');
    const std::size_t from = best && best->mountPoint != "/" ? best->mountPoint.size() : 0;
    if (from >= path.size()) out.push_back('\\');
    for (std::size_t i = from; i < path.size(); ++i) out.push_back(path[i] == '/' ? '\\' : path[i]);
    return out;
}

}  // namespace mabrel::platform::posix
