// Taking a backup copy: of a 1 KiB file where 100,000 copies are kept
// against one where none are, and of a 256 MiB file against
// `cp --preserve=mode,timestamps` followed by an fsync of its result.
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <string>

#include "backup/backup_store.h"
#include "bench/bench_support.h"
#include "platform/native.h"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;

// A folder with source.bin and a backup directory holding `kept` copies of
// other files.
struct CopyFolder {
    CopyFolder(const std::string& tag, std::size_t sourceBytes, int kept) : native(bench::uniqueFolder(tag)) {
        stdfs::create_directories(native / "_mabre-l94");
        const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::string content(sourceBytes, '\0');
        std::mt19937_64 random{42};
        for (std::size_t i = 0; i + 8 <= content.size(); i += 8) {
            const auto v = random();
            std::memcpy(&content[i], &v, 8);
        }
        const std::time_t modified = std::time(nullptr) - 86400;
        bench::writeFile(dir, "source.bin", content, modified, 0644);
        ::close(dir);
        const int backups = ::open((native / "_mabre-l94").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int i = 0; i < kept; ++i) {
            bench::writeFile(backups, "other " + std::to_string(i) + "_" + bench::timestamp(modified - i) + ".txt",
                             "kept", modified - i, 0444);
        }
        ::close(backups);
        drive = bench::driveForm(native);
        copyName = "source_" + bench::timestamp(modified) + ".bin";
    }
    ~CopyFolder() { bench::removeTree(native); }

    // The copy just taken goes, and its blocks are given back to the disk
    // before the next one is timed.
    void removeCopy() {
        std::error_code ec;
        stdfs::remove(native / "_mabre-l94" / copyName, ec);
        stdfs::remove(native / "cp-copy.bin", ec);
        const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::syncfs(fd);
        ::close(fd);
    }
    bool copyTaken() const { return stdfs::exists(native / "_mabre-l94" / copyName); }

    stdfs::path native;
    std::string drive;
    std::string copyName;
};

double takeCopy(mabrel::platform::FileSystem& fs, CopyFolder& folder) {
    folder.removeCopy();
    // Watched as the program watches its copies: in pieces, told of each.
    std::uint64_t told = 0;
    const mabrel::platform::CopyProgress watch = [&](std::uint64_t copied, std::uint64_t) {
        told = copied;
        return true;
    };
    const double s =
        bench::secondsOf([&] {
            const auto dir = fs.openDirectory(folder.drive);
            std::unique_ptr<mabrel::platform::Directory> backupDir;
            mabrel::backup::takeBackupCopy(*dir, backupDir, "source.bin", watch);
        });
    if (told == 0 && stdfs::file_size(folder.native / "source.bin") > 0) throw std::runtime_error("no progress told");
    if (!folder.copyTaken()) throw std::runtime_error("no copy was taken");
    return s;
}

// cp, then an fsync of the copy: what our copy must match, as it is on the
// disk before it takes its name.
double cpAndFsync(CopyFolder& folder) {
    folder.removeCopy();
    const std::string source = (folder.native / "source.bin").string();
    const std::string target = (folder.native / "cp-copy.bin").string();
    const char* argv[] = {"cp", "--preserve=mode,timestamps", source.c_str(), target.c_str(), nullptr};
    return bench::secondsOf([&] {
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            throw std::runtime_error("cannot run cp");
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cp failed");
        const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
        ::fsync(fd);
        ::close(fd);
    });
}

}  // namespace

int main() {
    bench::Goals goals;
    auto fs = mabrel::platform::makeNativeFileSystem();
    {
        CopyFolder many("copy100k", 1024, 100000);
        CopyFolder none("copy0", 1024, 0);
        goals.ratio("copy_100k_vs_none",
                    bench::compare([&] { return takeCopy(*fs, many); }, [&] { return takeCopy(*fs, none); }, 9, 41, 15),
                    1.5, "100,000 kept", "none kept");
    }
    {
        CopyFolder large("copy256m", std::size_t{256} << 20, 0);
        goals.ratio("copy_vs_cp_fsync",
                    bench::compare([&] { return takeCopy(*fs, large); }, [&] { return cpAndFsync(large); }, 5, 9, 30),
                    1.05, "backup copy", "cp + fsync");
    }
    return goals.exitCode();
}
