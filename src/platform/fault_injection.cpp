#include "platform/fault_injection.h"

#include <numeric>

#include "platform/errors.h"

namespace mabrel::platform {

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& inner) : inner_(inner) {}

void FaultInjectingFileSystem::failNthCall(FsOp op, int n, int errorNumber) {
    if (n < 1) throw PlatformError(err::InvalidArgument);
    // Any counts every operation: its nth call is n calls from now, whichever they are.
    const int base = calls(op);
    rules_.push_back({op, base + n, false, {}, errorNumber});
}

void FaultInjectingFileSystem::failFromNthCall(FsOp op, int n, int errorNumber) {
    if (n < 1) throw PlatformError(err::InvalidArgument);
    rules_.push_back({op, calls(op) + n, true, {}, errorNumber});
}

void FaultInjectingFileSystem::failCallsOn(FsOp op, std::string pathContains, int errorNumber) {
    rules_.push_back({op, 0, false, std::move(pathContains), errorNumber});
}

void FaultInjectingFileSystem::clear() { rules_.clear(); }

int FaultInjectingFileSystem::calls(FsOp op) const {
    if (op == FsOp::Any) return std::accumulate(counts_.begin(), counts_.end(), 0);
    return counts_[static_cast<std::size_t>(op)];
}

void FaultInjectingFileSystem::enter(FsOp op, const std::string& path, const std::string& otherPath) {
    ++counts_[static_cast<std::size_t>(op)];
    const int opCount = calls(op);
    const int anyCount = calls(FsOp::Any);
    last_ = {op, path, otherPath, 0, anyCount};
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->op != op && it->op != FsOp::Any) continue;
        const int count = it->op == FsOp::Any ? anyCount : opCount;
        if (it->callNumber > 0) {
            if (it->sticky ? count < it->callNumber : count != it->callNumber) continue;
            const int number = it->errorNumber;
            if (!it->sticky) rules_.erase(it);  // used up
            failures_.push_back({op, path, otherPath, number, anyCount});
            throw PlatformError(number);
        }
        if (path.find(it->pathContains) != std::string::npos ||
            (!otherPath.empty() && otherPath.find(it->pathContains) != std::string::npos)) {
            failures_.push_back({op, path, otherPath, it->errorNumber, anyCount});
            throw PlatformError(it->errorNumber);
        }
    }
}

// A folder opened through the wrapper: its calls count and fail as the
// wrapper's own, named by the folder's path and the entry's name.
class FaultInjectingFileSystem::Folder : public Directory {
public:
    Folder(FaultInjectingFileSystem& owner, std::unique_ptr<Directory> inner)
        : owner_(owner), inner_(std::move(inner)) {}

    const std::string& path() const override { return inner_->path(); }
    std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) override {
        owner_.enter(FsOp::List, path());
        return inner_->list(mask, progress);
    }
    std::optional<DirEntry> find(const std::string& name, std::uint32_t mask) override {
        owner_.enter(FsOp::Find, path() + name);
        return inner_->find(name, mask);
    }
    std::unique_ptr<Directory> openFolder(const std::string& name, bool create) override {
        owner_.enter(FsOp::OpenFolder, path() + name);
        return std::make_unique<Folder>(owner_, inner_->openFolder(name, create));
    }
    void setAttributes(const std::string& name, std::uint32_t attributes) override {
        owner_.enter(FsOp::SetAttributes, path() + name);
        inner_->setAttributes(name, attributes);
    }
    void createCopy(Directory& from, const std::string& fromName, const std::string& name, std::uint32_t attributes,
                    const CopyProgress& progress) override {
        owner_.enter(FsOp::CreateCopy, from.path() + fromName, path() + name);
        inner_->createCopy(from, fromName, name, attributes, progress);
    }
    bool holdsCopyOf(const std::string& name, Directory& from, const std::string& fromName,
                     const CopyProgress& progress) override {
        owner_.enter(FsOp::HoldsCopyOf, path() + name, from.path() + fromName);
        return inner_->holdsCopyOf(name, from, fromName, progress);
    }
    void copyFile(Directory& from, const std::string& fromName, const std::string& name,
                  const CopyProgress& progress) override {
        owner_.enter(FsOp::CopyFile, from.path() + fromName, path() + name);
        inner_->copyFile(from, fromName, name, progress);
    }
    void deleteCopy(const std::string& name) override {
        owner_.enter(FsOp::DeleteCopy, path() + name);
        inner_->deleteCopy(name);
    }
    std::string readFile(const std::string& name) override {
        owner_.enter(FsOp::ReadFile, path() + name);
        return inner_->readFile(name);
    }
    void writeFileAtomic(const std::string& name, const std::string& bytes) override {
        owner_.enter(FsOp::WriteFileAtomic, path() + name);
        inner_->writeFileAtomic(name, bytes);
    }
    void updateFile(const std::string& name, const FileChange& change) override {
        // The lock, the read of what is stored and the write each may fail.
        owner_.enter(FsOp::UpdateFile, path() + name);
        inner_->updateFile(name, [&](const std::optional<std::string>& stored) -> std::optional<std::string> {
            if (stored) owner_.enter(FsOp::ReadFile, path() + name);
            auto bytes = change(stored);
            if (bytes) owner_.enter(FsOp::WriteFileAtomic, path() + name);
            return bytes;
        });
    }
    std::int64_t takenTime(const std::string& name) override {
        owner_.enter(FsOp::TakenTime, path() + name);
        return inner_->takenTime(name);
    }
    void markTaken(const std::string& name) override {
        owner_.enter(FsOp::MarkTaken, path() + name);
        inner_->markTaken(name);
    }
    void removeStaleTemporaries() override {
        owner_.enter(FsOp::RemoveStaleTemporaries, path());
        inner_->removeStaleTemporaries();
    }
    Directory& unwrapped() override { return inner_->unwrapped(); }

private:
    FaultInjectingFileSystem& owner_;
    std::unique_ptr<Directory> inner_;
};

std::uint32_t FaultInjectingFileSystem::attributes(const std::string& path) {
    enter(FsOp::Attributes, path);
    return inner_.attributes(path);
}

std::optional<DirEntry> FaultInjectingFileSystem::findIgnoringCase(const std::string& path, std::uint32_t mask) {
    enter(FsOp::Find, path);
    return inner_.findIgnoringCase(path, mask);
}

std::unique_ptr<Directory> FaultInjectingFileSystem::openDirectory(const std::string& path) {
    enter(FsOp::OpenDirectory, path);
    return std::make_unique<Folder>(*this, inner_.openDirectory(path));
}

unsigned FaultInjectingFileSystem::driveType(const std::string& root) {
    enter(FsOp::DriveType, root);
    return inner_.driveType(root);
}

}  // namespace mabrel::platform
