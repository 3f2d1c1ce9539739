// A FileSystem that hands every call to another one: the base for wrappers
// that change a few calls and leave the rest alone.
#pragma once

#include "platform/filesystem.h"

namespace mabrel::platform {

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    std::uint32_t attributes(const std::string& p) override { return inner_.attributes(map(p)); }
    void setAttributes(const std::string& p, std::uint32_t a) override { inner_.setAttributes(map(p), a); }
    std::vector<DirEntry> list(const std::string& f, std::uint32_t mask, const ListProgress& progress = {}) override {
        return inner_.list(map(f), mask, progress);
    }
    std::optional<DirEntry> find(const std::string& p, std::uint32_t mask) override { return inner_.find(map(p), mask); }
    std::optional<DirEntry> findIgnoringCase(const std::string& p, std::uint32_t mask) override {
        return inner_.findIgnoringCase(map(p), mask);
    }
    void copyFile(const std::string& a, const std::string& b, const CopyProgress& progress = {}) override {
        inner_.copyFile(map(a), map(b), progress);
    }
    void createCopy(const std::string& a, const std::string& b, std::uint32_t attributes,
                    const CopyProgress& progress = {}) override {
        inner_.createCopy(map(a), map(b), attributes, progress);
    }
    void rename(const std::string& a, const std::string& b) override { inner_.rename(map(a), map(b)); }
    void deleteFile(const std::string& p) override { inner_.deleteFile(map(p)); }
    void deleteCopy(const std::string& p) override { inner_.deleteCopy(map(p)); }
    void createDirectory(const std::string& p) override { inner_.createDirectory(map(p)); }
    std::int64_t fileSize(const std::string& p) override { return inner_.fileSize(map(p)); }
    LocalTime modificationTime(const std::string& p) override { return inner_.modificationTime(map(p)); }
    std::string readFile(const std::string& p) override { return inner_.readFile(map(p)); }
    void writeFileAtomic(const std::string& p, const std::string& bytes) override {
        inner_.writeFileAtomic(map(p), bytes);
    }
    unsigned driveType(const std::string& root) override { return inner_.driveType(map(root)); }
    void removeStaleTemporaries(const std::string& f) override { inner_.removeStaleTemporaries(map(f)); }

protected:
    // The path handed on; unchanged unless a wrapper maps paths.
    virtual std::string map(const std::string& path) const { return path; }
    FileSystem& inner() { return inner_; }

private:
    FileSystem& inner_;
};

}  // namespace mabrel::platform
