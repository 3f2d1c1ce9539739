// A FileSystem that hands every call to another one: the base for wrappers
// that change a few calls and leave the rest alone. Folders it opens are
// handed on as well, each call told of through entering() first.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform {

enum class FsOp {
    Attributes, Find, OpenDirectory, OpenFolder, List, SetAttributes, CreateCopy, HoldsCopyOf, CopyFile,
    DeleteCopy, ReadFile, WriteFileAtomic, RemoveStaleTemporaries, DriveType, UpdateFile, TakenTime, MarkTaken,
    Any,  // in a rule: every operation
};

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner) : inner_(inner) {}

    std::uint32_t attributes(const std::string& p) override { return inner_.attributes(to(FsOp::Attributes, p)); }
    std::optional<DirEntry> findIgnoringCase(const std::string& p, std::uint32_t mask) override {
        return inner_.findIgnoringCase(to(FsOp::Find, p), mask);
    }
    std::unique_ptr<Directory> openDirectory(const std::string& p) override {
        return std::make_unique<Folder>(*this, inner_.openDirectory(to(FsOp::OpenDirectory, p)));
    }
    unsigned driveType(const std::string& root) override { return inner_.driveType(to(FsOp::DriveType, root)); }

protected:
    // Told of each call before it is handed on (a folder's calls by the
    // folder's path and the entry's name); may throw to fail it.
    virtual void entering(FsOp, const std::string& /*path*/, const std::string& /*otherPath*/ = {}) {}
    // The path handed on; unchanged unless a wrapper maps paths.
    virtual std::string map(const std::string& path) const { return path; }
    // What a copy in a folder opened here tells of its progress.
    virtual CopyProgress progressFor(const CopyProgress& progress) { return progress; }
    // What a listing of a folder opened here returns.
    virtual void listed(std::vector<DirEntry>&) {}

private:
    std::string to(FsOp op, const std::string& p) { entering(op, p); return map(p); }
    class Folder : public Directory {
    public:
        Folder(ForwardingFileSystem& owner, std::unique_ptr<Directory> inner) : o_(owner), in_(std::move(inner)) {}
        const std::string& path() const override { return in_->path(); }
        std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) override {
            o_.entering(FsOp::List, path());
            auto entries = in_->list(mask, progress);
            o_.listed(entries);
            return entries;
        }
        std::optional<DirEntry> find(const std::string& n, std::uint32_t m) override {
            return in_->find(at(FsOp::Find, n), m);
        }
        std::unique_ptr<Directory> openFolder(const std::string& n, bool create) override {
            return std::make_unique<Folder>(o_, in_->openFolder(at(FsOp::OpenFolder, n), create));
        }
        void setAttributes(const std::string& n, std::uint32_t a) override {
            in_->setAttributes(at(FsOp::SetAttributes, n), a);
        }
        void createCopy(Directory& from, const std::string& f, const std::string& n, std::uint32_t a,
                        const CopyProgress& progress) override {
            o_.entering(FsOp::CreateCopy, from.path() + f, path() + n);
            in_->createCopy(from, f, n, a, o_.progressFor(progress));
        }
        bool holdsCopyOf(const std::string& n, Directory& from, const std::string& f,
                         const CopyProgress& progress) override {
            o_.entering(FsOp::HoldsCopyOf, path() + n, from.path() + f);
            return in_->holdsCopyOf(n, from, f, progress);
        }
        void copyFile(Directory& from, const std::string& f, const std::string& n,
                      const CopyProgress& progress) override {
            o_.entering(FsOp::CopyFile, from.path() + f, path() + n);
            in_->copyFile(from, f, n, o_.progressFor(progress));
        }
        void deleteCopy(const std::string& n) override { in_->deleteCopy(at(FsOp::DeleteCopy, n)); }
        std::string readFile(const std::string& n) override { return in_->readFile(at(FsOp::ReadFile, n)); }
        void writeFileAtomic(const std::string& n, const std::string& b) override {
            in_->writeFileAtomic(at(FsOp::WriteFileAtomic, n), b);
        }
        // The lock, the read of what is stored and the write each are a call.
        void updateFile(const std::string& n, const FileChange& change) override {
            in_->updateFile(at(FsOp::UpdateFile, n), [&](const std::optional<std::string>& stored) {
                if (stored) at(FsOp::ReadFile, n);
                auto bytes = change(stored);
                if (bytes) at(FsOp::WriteFileAtomic, n);
                return bytes;
            });
        }
        std::int64_t takenTime(const std::string& n) override { return in_->takenTime(at(FsOp::TakenTime, n)); }
        void markTaken(const std::string& n) override { in_->markTaken(at(FsOp::MarkTaken, n)); }
        void removeStaleTemporaries() override {
            o_.entering(FsOp::RemoveStaleTemporaries, path());
            in_->removeStaleTemporaries();
        }
        Directory& unwrapped() override { return in_->unwrapped(); }

    private:
        // Tells of a call on the entry `n` and gives `n` back.
        const std::string& at(FsOp op, const std::string& n) { o_.entering(op, path() + n); return n; }
        ForwardingFileSystem& o_;
        std::unique_ptr<Directory> in_;
    };

    FileSystem& inner_;
};

}  // namespace mabrel::platform
