#include "mounted_fs.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace mabrel::test {

namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// Runs a shell command, its output into `log`; whether it succeeded.
bool run(const std::string& command, const fs::path& log) {
    const std::string line = "(" + command + ") >>" + quoted(log) + " 2>&1 </dev/null";
    return std::system(line.c_str()) == 0;
}

bool have(const char* tool) { return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0; }

std::string lastLines(const fs::path& log) {
    std::ifstream in(log);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.size() > 600 ? all.substr(all.size() - 600) : all;
}

// Waits for `ready` for up to `seconds`, for a server or driver to come up.
template <class F>
bool waitFor(F ready, int seconds) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

int freeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    int port = -1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(s);
    return port;
}

bool answers(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

bool isMounted(const fs::path& p) {
    std::ifstream in("/proc/self/mounts");
    std::string device, point;
    std::string rest;
    while (in >> device >> point && std::getline(in, rest)) {
        if (point == p.string()) return true;
    }
    return false;
}

}  // namespace

const char* nameOf(FsKind kind) {
    switch (kind) {
    case FsKind::Ext4: return "ext4";
    case FsKind::Xfs: return "xfs";
    case FsKind::Btrfs: return "btrfs";
    case FsKind::Tmpfs: return "tmpfs";
    case FsKind::Overlay: return "overlayfs";
    case FsKind::Exfat: return "exFAT (exfat-fuse)";
    case FsKind::Ntfs: return "NTFS (ntfs-3g)";
    case FsKind::Smb: return "SMB (smbd, smbnetfs)";
    }
    return "?";
}

MountedFs::MountedFs(FsKind kind) : kind_(kind) {
    char pattern[] = "/tmp/mabrel-mount-XXXXXX";
    if (::mkdtemp(pattern)) work_ = pattern;
}

std::unique_ptr<MountedFs> MountedFs::make(FsKind kind, std::string& whyNot) {
    if (::geteuid() != 0) {
        whyNot = std::string(nameOf(kind)) + ": mounting needs root";
        return nullptr;
    }
    // The share through smbnetfs gives results that change from run to run:
    // it closes the share's file after close() has returned, and the server
    // may then stamp a time or refuse a name set just before.
    const char* smb = std::getenv("MABREL_SMB_TESTS");
    if (kind == FsKind::Smb && (smb == nullptr || std::string(smb) != "1")) {
        whyNot = std::string(nameOf(kind)) + ": not run unless MABREL_SMB_TESTS=1 (smbnetfs closes files late)";
        return nullptr;
    }
    std::unique_ptr<MountedFs> m(new MountedFs(kind));
    if (m->work_.empty()) {
        whyNot = "no temporary folder";
        return nullptr;
    }
    if (!m->mount(whyNot)) {
        whyNot = std::string(nameOf(kind)) + " cannot be mounted here: " + whyNot;
        return nullptr;  // the destructor takes down what was made
    }
    return m;
}

bool MountedFs::mount(std::string& whyNot) {
    const fs::path log = work_ / "log";
    const fs::path image = work_ / "image";
    const fs::path point = work_ / "mnt";
    fs::create_directories(point);
    const auto needs = [&](std::initializer_list<const char*> tools) {
        for (const char* t : tools) {
            if (!have(t)) {
                whyNot = std::string(t) + " is not installed (scripts/deps.sh)";
                return false;
            }
        }
        return true;
    };
    const auto fail = [&](const std::string& what) {
        whyNot = what + ": " + lastLines(log);
        return false;
    };
    // A kernel file system from an image; the loop device goes with the mount.
    const auto kernelImage = [&](const char* mkfs, const char* size) {
        if (!needs({mkfs})) return false;
        if (!run(std::string("truncate -s ") + size + " " + quoted(image) + " && " + mkfs + " " + quoted(image), log)) {
            return fail(mkfs);
        }
        if (!run("mount -o loop " + quoted(image) + " " + quoted(point), log)) return fail("mount");
        mounts_.push_back(point);
        return true;
    };
    // A FUSE driver on a loop device of its own.
    const auto fuseImage = [&](const char* mkfs, const char* driver, const char* size) {
        if (!needs({mkfs, driver, "losetup"})) return false;
        if (!fs::exists("/dev/fuse")) {
            whyNot = "no /dev/fuse";
            return false;
        }
        if (!run(std::string("truncate -s ") + size + " " + quoted(image) + " && " + mkfs + " " + quoted(image), log)) {
            return fail(mkfs);
        }
        if (!run("losetup -f --show " + quoted(image) + " >" + quoted(work_ / "loop"), log)) return fail("losetup");
        std::ifstream in(work_ / "loop");
        std::getline(in, loop_);
        if (loop_.empty()) return fail("losetup");
        if (!run(std::string(driver) + " " + loop_ + " " + quoted(point), log)) return fail(driver);
        mounts_.push_back(point);
        return true;
    };

    switch (kind_) {
    case FsKind::Ext4:
        if (!kernelImage("mkfs.ext4 -q -F", "256M")) return false;
        break;
    case FsKind::Xfs:
        if (!kernelImage("mkfs.xfs -q -f", "320M")) return false;
        break;
    case FsKind::Btrfs:
        if (!kernelImage("mkfs.btrfs -q -f", "128M")) return false;
        break;
    case FsKind::Tmpfs:
        if (!run("mount -t tmpfs -o size=64m mabrel-test " + quoted(point), log)) return fail("mount");
        mounts_.push_back(point);
        break;
    case FsKind::Overlay: {
        // On a tmpfs of its own: an upper folder cannot be on every file system.
        const fs::path base = work_ / "base";
        fs::create_directories(base);
        if (!run("mount -t tmpfs -o size=64m mabrel-test " + quoted(base), log)) return fail("mount");
        mounts_.push_back(base);
        for (const char* d : {"lower", "upper", "work"}) fs::create_directories(base / d);
        if (!run("mount -t overlay overlay -o lowerdir=" + (base / "lower").string() + ",upperdir=" +
                     (base / "upper").string() + ",workdir=" + (base / "work").string() + " " + quoted(point),
                 log)) {
            return fail("mount overlay");
        }
        mounts_.push_back(point);
        break;
    }
    case FsKind::Exfat:
        if (!fuseImage("mkfs.exfat", "mount.exfat-fuse", "256M")) return false;
        break;
    case FsKind::Ntfs:
        if (!fuseImage("mkfs.ntfs -q -F -f", "ntfs-3g", "64M")) return false;
        break;
    case FsKind::Smb: {
        if (!needs({"smbd", "smbnetfs", "fusermount"})) return false;
        const int port = freeLoopbackPort();
        const fs::path s = work_ / "samba";
        for (const char* d : {"share", "private", "lock", "state", "cache", "pid", "home/.smb"}) {
            fs::create_directories(s / d);
        }
        {
            std::ofstream conf(s / "smb.conf");
            conf << "[global]\n  interfaces = 127.0.0.1\n  bind interfaces only = yes\n  smb ports = " << port
                 << "\n  private dir = " << (s / "private").string() << "\n  lock directory = " << (s / "lock").string()
                 << "\n  state directory = " << (s / "state").string()
                 << "\n  cache directory = " << (s / "cache").string()
                 << "\n  pid directory = " << (s / "pid").string() << "\n  log file = " << log.string()
                 << "\n  map to guest = Bad User\n  guest account = root\n  disable netbios = yes\n"
                    "  server role = standalone server\n  load printers = no\n  printcap name = /dev/null\n"
                    "  disable spoolss = yes\n[share]\n  path = "
                 << (s / "share").string() << "\n  guest ok = yes\n  read only = no\n  force user = root\n";
        }
        server_ = ::fork();
        if (server_ == 0) {
            ::setpgid(0, 0);
            const std::string conf = (s / "smb.conf").string();
            ::freopen(log.c_str(), "a", stdout);
            ::freopen(log.c_str(), "a", stderr);
            ::execlp("smbd", "smbd", "--foreground", "--no-process-group", "-s", conf.c_str(), "--debug-stdout",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (server_ < 0 || !waitFor([&] { return answers(port); }, 60)) return fail("smbd");
        const fs::path home = s / "home";
        {
            std::ofstream(home / ".smb" / "smb.conf") << "[global]\n  client min protocol = SMB2\n";
            std::ofstream(home / ".smb" / "smbnetfs.conf") << "auth \"guest\" \"\"\nsmb_query_browsers false\n";
        }
        fs::permissions(home / ".smb" / "smbnetfs.conf", fs::perms::owner_read | fs::perms::owner_write);
        if (!run("HOME=" + quoted(home) + " smbnetfs " + quoted(point) + " -o config=" +
                     quoted(home / ".smb" / "smbnetfs.conf") + ",smb_query_browsers=false",
                 log)) {
            return fail("smbnetfs");
        }
        mounts_.push_back(point);
        const fs::path share = point / ("127.0.0.1:" + std::to_string(port)) / "share";
        // The share is reached once the client has connected.
        const fs::path probe = share / ".mabrel-probe";
        if (!waitFor([&] { return std::ofstream(probe).good(); }, 60)) return fail("the share");
        fs::remove(probe);
        // Where a Windows path can reach it too: no ":" on the way.
        root_ = work_ / "share";
        fs::create_directories(root_);
        if (!run("mount --bind " + quoted(share) + " " + quoted(root_), log)) return fail("mount --bind");
        mounts_.push_back(root_);
        return true;
    }
    }
    root_ = point;
    return true;
}

MountedFs::~MountedFs() {
    const fs::path log = work_ / "log";
    std::error_code ec;
    // What the tests left, so that nothing of theirs keeps a mount busy.
    if (!root_.empty()) {
        for (const auto& e : fs::directory_iterator(root_, ec)) fs::remove_all(e.path(), ec);
    }
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
        const bool fuse = (kind_ == FsKind::Exfat || kind_ == FsKind::Ntfs || kind_ == FsKind::Smb) && *it == work_ / "mnt";
        const std::string unmount = (fuse ? "fusermount -u " : "umount ") + quoted(*it);
        // A driver may still be busy for a moment after the last close.
        if (!waitFor([&] { return run(unmount, log) || !isMounted(*it); }, 20)) run("umount -l " + quoted(*it), log);
    }
    if (!loop_.empty()) {
        waitFor([&] { return run("losetup -d " + loop_, log); }, 20);
    }
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        int status = 0;
        if (!waitFor([&] { return ::waitpid(server_, &status, WNOHANG) == server_; }, 20)) {
            ::kill(-server_, SIGKILL);
            ::waitpid(server_, &status, 0);
        }
        ::kill(-server_, SIGKILL);  // the children that served connections
    }
    bool anyLeft = false;
    for (const auto& m : mounts_) anyLeft = anyLeft || isMounted(m);
    if (!work_.empty() && !anyLeft) fs::remove_all(work_, ec);
}

}  // namespace mabrel::test
