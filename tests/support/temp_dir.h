// A real folder for a test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace mabrel::test {

class TempDir {
public:
    TempDir() : TempDir(std::filesystem::temp_directory_path()) {}
    // A folder below `parent` (for a test that needs a given file system).
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The native path of the folder.
    const std::filesystem::path& path() const { return path_; }
    // The folder in the program's drive form, with a trailing "\" (C:\tmp\x\).
    std::string drivePath() const;

    // Writes a file (or makes a folder) below it, parents too; its native path.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;
    std::filesystem::path mkdir(const std::string& relative) const;

private:
    std::filesystem::path path_;
};

// The bytes of a native file.
std::string readBytes(const std::filesystem::path& p);

// Sets a native file's modification time (local time), with `nanoseconds`
// past the second (as far as the file system keeps them).
void setModificationTime(const std::filesystem::path& p, int year, int month, int day, int hour, int minute,
                         int second, long nanoseconds = 0);

}  // namespace mabrel::test
