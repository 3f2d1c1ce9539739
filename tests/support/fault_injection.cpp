#include "support/fault_injection.h"

#include <numeric>

#include "platform/errors.h"

namespace mabrel::platform {

void FaultInjectingFileSystem::failFrom(FsOp op, int n, bool sticky, int errorNumber) {
    if (n < 1) throw PlatformError(err::InvalidArgument);
    rules_.push_back({op, calls(op) + n, sticky, {}, errorNumber});
}

void FaultInjectingFileSystem::failCallsOn(FsOp op, std::string pathContains, int errorNumber) {
    rules_.push_back({op, 0, false, std::move(pathContains), errorNumber});
}

int FaultInjectingFileSystem::calls(FsOp op) const {
    if (op == FsOp::Any) return std::accumulate(counts_.begin(), counts_.end(), 0);
    return counts_[static_cast<std::size_t>(op)];
}

void FaultInjectingFileSystem::entering(FsOp op, const std::string& path, const std::string& otherPath) {
    ++counts_[static_cast<std::size_t>(op)];
    const int opCount = calls(op), anyCount = calls(FsOp::Any);
    last_ = {op, path, otherPath, 0, anyCount};
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->op != op && it->op != FsOp::Any) continue;
        const int count = it->op == FsOp::Any ? anyCount : opCount;
        const bool fails = it->callNumber > 0
                               ? (it->sticky ? count >= it->callNumber : count == it->callNumber)
                               : path.find(it->pathContains) != std::string::npos ||
                                     (!otherPath.empty() && otherPath.find(it->pathContains) != std::string::npos);
        if (!fails) continue;
        const int number = it->errorNumber;
        if (it->callNumber > 0 && !it->sticky) rules_.erase(it);  // used up
        failures_.push_back({op, path, otherPath, number, anyCount});
        throw PlatformError(number);
    }
}

}  // namespace mabrel::platform
