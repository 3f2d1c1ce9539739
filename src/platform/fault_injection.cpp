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

std::uint32_t FaultInjectingFileSystem::attributes(const std::string& path) {
    enter(FsOp::Attributes, path);
    return inner_.attributes(path);
}

void FaultInjectingFileSystem::setAttributes(const std::string& path, std::uint32_t attributes) {
    enter(FsOp::SetAttributes, path);
    inner_.setAttributes(path, attributes);
}

std::vector<DirEntry> FaultInjectingFileSystem::list(const std::string& folder, std::uint32_t mask,
                                                     const ListProgress& progress) {
    enter(FsOp::List, folder);
    return inner_.list(folder, mask, progress);
}

std::optional<DirEntry> FaultInjectingFileSystem::find(const std::string& path, std::uint32_t mask) {
    enter(FsOp::Find, path);
    return inner_.find(path, mask);
}

std::optional<DirEntry> FaultInjectingFileSystem::findIgnoringCase(const std::string& path, std::uint32_t mask) {
    enter(FsOp::Find, path);
    return inner_.findIgnoringCase(path, mask);
}

void FaultInjectingFileSystem::createCopy(const std::string& from, const std::string& to, std::uint32_t attributes,
                                          const CopyProgress& progress) {
    enter(FsOp::CreateCopy, from, to);
    inner_.createCopy(from, to, attributes, progress);
}

void FaultInjectingFileSystem::removeStaleTemporaries(const std::string& folder) {
    enter(FsOp::RemoveStaleTemporaries, folder);
    inner_.removeStaleTemporaries(folder);
}

void FaultInjectingFileSystem::copyFile(const std::string& from, const std::string& to,
                                        const CopyProgress& progress) {
    enter(FsOp::CopyFile, from, to);
    inner_.copyFile(from, to, progress);
}

void FaultInjectingFileSystem::rename(const std::string& from, const std::string& to) {
    enter(FsOp::Rename, from, to);
    inner_.rename(from, to);
}

void FaultInjectingFileSystem::deleteCopy(const std::string& path) {
    enter(FsOp::DeleteCopy, path);
    inner_.deleteCopy(path);
}

void FaultInjectingFileSystem::deleteFile(const std::string& path) {
    enter(FsOp::DeleteFile, path);
    inner_.deleteFile(path);
}

void FaultInjectingFileSystem::createDirectory(const std::string& path) {
    enter(FsOp::CreateDirectory, path);
    inner_.createDirectory(path);
}

std::int64_t FaultInjectingFileSystem::fileSize(const std::string& path) {
    enter(FsOp::FileSize, path);
    return inner_.fileSize(path);
}

LocalTime FaultInjectingFileSystem::modificationTime(const std::string& path) {
    enter(FsOp::ModificationTime, path);
    return inner_.modificationTime(path);
}

std::string FaultInjectingFileSystem::readFile(const std::string& path) {
    enter(FsOp::ReadFile, path);
    return inner_.readFile(path);
}

void FaultInjectingFileSystem::writeFileAtomic(const std::string& path, const std::string& bytes) {
    enter(FsOp::WriteFileAtomic, path);
    inner_.writeFileAtomic(path, bytes);
}

unsigned FaultInjectingFileSystem::driveType(const std::string& root) {
    enter(FsOp::DriveType, root);
    return inner_.driveType(root);
}

}  // namespace mabrel::platform
