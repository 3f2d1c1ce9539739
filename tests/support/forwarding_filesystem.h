// A FileSystem that hands every call to another one: the base for wrappers
// that change a few calls and leave the rest alone. Folders it opens are
// handed on as well, their copies told of through progressFor.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform {

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    std::uint32_t attributes(const std::string& p) override { return inner_.attributes(map(p)); }
    std::optional<DirEntry> findIgnoringCase(const std::string& p, std::uint32_t mask) override {
        return inner_.findIgnoringCase(map(p), mask);
    }
    std::unique_ptr<Directory> openDirectory(const std::string& p) override {
        return std::make_unique<Folder>(*this, inner_.openDirectory(map(p)));
    }
    unsigned driveType(const std::string& root) override { return inner_.driveType(map(root)); }

protected:
    // The path handed on; unchanged unless a wrapper maps paths.
    virtual std::string map(const std::string& path) const { return path; }
    // What a copy in a folder opened here tells of its progress.
    virtual CopyProgress progressFor(const CopyProgress& progress) { return progress; }
    // What a listing of a folder opened here returns.
    virtual void listed(std::vector<DirEntry>&) {}
    FileSystem& inner() { return inner_; }

private:
    class Folder : public Directory {
    public:
        Folder(ForwardingFileSystem& owner, std::unique_ptr<Directory> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        const std::string& path() const override { return inner_->path(); }
        std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) override {
            auto entries = inner_->list(mask, progress);
            owner_.listed(entries);
            return entries;
        }
        std::optional<DirEntry> find(const std::string& n, std::uint32_t mask) override { return inner_->find(n, mask); }
        std::unique_ptr<Directory> openFolder(const std::string& n, bool create) override {
            return std::make_unique<Folder>(owner_, inner_->openFolder(n, create));
        }
        void setAttributes(const std::string& n, std::uint32_t a) override { inner_->setAttributes(n, a); }
        void createCopy(Directory& from, const std::string& f, const std::string& n, std::uint32_t a,
                        const CopyProgress& progress) override {
            inner_->createCopy(from, f, n, a, owner_.progressFor(progress));
        }
        bool holdsCopyOf(const std::string& n, Directory& from, const std::string& f,
                         const CopyProgress& progress) override {
            return inner_->holdsCopyOf(n, from, f, progress);
        }
        void copyFile(Directory& from, const std::string& f, const std::string& n,
                      const CopyProgress& progress) override {
            inner_->copyFile(from, f, n, owner_.progressFor(progress));
        }
        void deleteCopy(const std::string& n) override { inner_->deleteCopy(n); }
        std::string readFile(const std::string& n) override { return inner_->readFile(n); }
        void writeFileAtomic(const std::string& n, const std::string& bytes) override {
            inner_->writeFileAtomic(n, bytes);
        }
        void updateFile(const std::string& n, const FileChange& change) override { inner_->updateFile(n, change); }
        std::int64_t takenTime(const std::string& n) override { return inner_->takenTime(n); }
        void markTaken(const std::string& n) override { inner_->markTaken(n); }
        void removeStaleTemporaries() override { inner_->removeStaleTemporaries(); }
        Directory& unwrapped() override { return inner_->unwrapped(); }

    private:
        ForwardingFileSystem& owner_;
        std::unique_ptr<Directory> inner_;
    };

    FileSystem& inner_;
};

}  // namespace mabrel::platform
