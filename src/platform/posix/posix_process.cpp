// The running process on a POSIX machine, and the native factories.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <vector>

#include "platform/native.h"
#include "platform/posix/posix_filesystem.h"
#include "platform/posix/process_paths.h"

namespace mabrel::platform {

namespace posix {

std::string lockFilePath(const std::string& programName, const char* runtimeDir, unsigned uid) {
    std::string name;
    for (char c : programName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        name += plain ? c : '_';
    }
    if (name.empty() || name[0] == '.') name = "mabrel9-iv" + name;
    if (runtimeDir && runtimeDir[0] == '/') return std::string(runtimeDir) + "/" + name + ".lock";
    return "/tmp/" + name + "-" + std::to_string(uid) + ".lock";
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// file:///home/a%20b as a file manager may pass it, as /home/a b.
std::string fileUriToPath(const std::string& uri) {
    std::string rest = uri.substr(7);  // after "file://"
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') return uri;
    std::string out;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 && hexDigit(rest[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
            i += 2;
        } else {
            out += rest[i];
        }
    }
    return out;
}

// "//", "/./" and "/../" taken out of an absolute path by its text, as
// Windows does with a typed path, before it is put into drive form: a ".."
// that leaves a mounted drive must not be taken as one inside it.
std::string withoutDotNames(const std::string& path) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(start, end - start);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& name : names) out += "/" + name;
    return out.empty() ? "/" : out;
}

}  // namespace

namespace {

// C:, C:\x, \\server\share: a path in the program's own form; quoted, as the
// program's command line may be, it is the program's to read.
bool inProgramForm(const std::string& text) {
    if (!text.empty() && text[0] == '"') return true;
    const bool letter = !text.empty() && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    return (letter && text.size() >= 2 && text[1] == ':') || text.rfind("\\\\", 0) == 0;
}

}  // namespace

std::string joinCommandLine(const std::vector<std::string>& arguments, const std::string& currentDirectory,
                            const std::function<std::string(const std::string&)>& toDrivePath) {
    std::string out;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (argument.rfind("file://", 0) == 0) argument = fileUriToPath(argument);
        if (!argument.empty() && argument[0] == '/') {
            argument = toDrivePath(withoutDotNames(argument));
        } else if (i == 0 && !argument.empty() && !inProgramForm(argument) && !currentDirectory.empty()) {
            argument = toDrivePath(withoutDotNames(currentDirectory + "/" + argument));
        }
        if (i > 0) out += ' ';
        out += argument;
    }
    return out;
}

std::string typedFolderPath(const std::string& text, const std::string& home,
                            const std::function<std::string(const std::string&)>& toDrivePath) {
    std::string path = text;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.rfind("file://", 0) == 0) path = fileUriToPath(path);
    if ((path == "~" || path.rfind("~/", 0) == 0) && !home.empty() && home[0] == '/') path = home + path.substr(1);
    if (path.empty() || path[0] != '/') return text;
    return toDrivePath(withoutDotNames(path));
}

std::string settingsFolderPath(const char* configHome, const std::string& home, const std::string& program) {
    if (configHome != nullptr && configHome[0] == '/') return withoutDotNames(std::string(configHome) + "/" + program);
    return withoutDotNames(home + "/.config/" + program);
}

}  // namespace posix

namespace {

class PosixProcess : public Process {
public:
    PosixProcess(int argc, char** argv) {
        for (int i = 1; i < argc; ++i) arguments_.emplace_back(argv[i] ? argv[i] : "");
    }

    ~PosixProcess() override {
        for (auto& [name, fd] : locks_) ::close(fd);
    }

    bool claimSingleInstance(const std::string& programName) override {
        if (locks_.count(programName)) return true;  // this process holds it already
        const std::string path = posix::lockFilePath(programName, std::getenv("XDG_RUNTIME_DIR"), ::getuid());
        // Not inherited by the programs we open files with: they must not
        // keep the claim alive after we end.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return true;  // no place to keep a claim: better to run than to refuse
        struct stat st{};
        if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid()) {
            // Someone else's file in a shared folder is no claim of ours.
            ::close(fd);
            return true;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        locks_[programName] = fd;
        return true;
    }

    std::string executableFolder() override {
        const std::string exe = executable();
        const auto slash = exe.find_last_of('/');
        const std::string folder = slash == std::string::npos || slash == 0 ? "/" : exe.substr(0, slash);
        return fs_.drivePath(folder);
    }

    std::string executableBaseName() override {
        const std::string exe = executable();
        std::string name = exe.substr(exe.find_last_of('/') + 1);
        const auto dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0) name.resize(dot);
        return name;
    }

    std::string settingsFolder() override {
        return fs_.drivePath(posix::settingsFolderPath(std::getenv("XDG_CONFIG_HOME"), home(), "mabrel9-iv"));
    }

    std::string dataFolder() override {
        // Installed as the machine's programs are: <prefix>/bin/<name> with its
        // files in <prefix>/share/<name>/.
        const std::string exe = executable();
        const std::string folder = exe.substr(0, exe.find_last_of('/'));
        const auto slash = folder.find_last_of('/');
        if (slash != std::string::npos && folder.substr(slash) == "/bin") {
            const std::string share = folder.substr(0, slash) + "/share/" + executableBaseName();
            struct stat st{};
            if (::stat(share.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return fs_.drivePath(share);
        }
        return executableFolder();
    }

    std::string commandLine() override {
        return posix::joinCommandLine(arguments_, nativeCurrentDirectory(),
                                      [this](const std::string& p) { return fs_.drivePath(p); });
    }

    std::string currentDirectory() override { return fs_.drivePath(nativeCurrentDirectory()); }

    std::string typedPath(const std::string& text) override {
        return posix::typedFolderPath(text, home(), [this](const std::string& p) { return fs_.drivePath(p); });
    }

    LocalTime now() override {
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&t, &tm);
        return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }

    std::int64_t utcNow() override { return static_cast<std::int64_t>(std::time(nullptr)); }

private:
    static std::string nativeCurrentDirectory() {
        std::string cwd = "/";
        if (char* c = ::getcwd(nullptr, 0)) {
            cwd = c;
            std::free(c);
        }
        return cwd;
    }

    // $HOME, or the account's home folder where it is not set.
    static std::string home() {
        const char* h = std::getenv("HOME");
        if (h != nullptr && h[0] == '/') return h;
        if (const passwd* account = ::getpwuid(::getuid()); account != nullptr && account->pw_dir != nullptr) {
            return account->pw_dir;
        }
        return "/";
    }

    static std::string executable() {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n <= 0) return "/mabrel9-iv";
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    std::vector<std::string> arguments_;
    std::map<std::string, int> locks_;
    posix::PosixFileSystem fs_;
};

}  // namespace

std::unique_ptr<FileSystem> makeNativeFileSystem() { return std::make_unique<posix::PosixFileSystem>(); }

std::unique_ptr<Process> makeNativeProcess(int argc, char** argv) {
    return std::make_unique<PosixProcess>(argc, argv);
}

}  // namespace mabrel::platform
