// A FileSystem that fails on request, for tests: it forwards every call
// except those a rule fails, throwing PlatformError(errorNumber) before the
// wrapped file system is asked. failNthCall(op, n, e): the nth call of op
// from now, once; failFromNthCall: that one and every later call, as a medium
// that has gone away stays away; failCallsOn(op, text, e): every call whose
// path (either file of a copy) holds the text, until clear(). FsOp::Any
// stands for every operation. Calls are counted from construction.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "support/forwarding_filesystem.h"

namespace mabrel::platform {

class FaultInjectingFileSystem : public ForwardingFileSystem {
public:
    explicit FaultInjectingFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

    void failNthCall(FsOp op, int n, int errorNumber);
    void failFromNthCall(FsOp op, int n, int errorNumber);
    void failCallsOn(FsOp op, std::string pathContains, int errorNumber);
    // Removes every rule; the counts stay.
    void clear() { rules_.clear(); }
    // Calls of `op` so far (FsOp::Any: of all operations).
    int calls(FsOp op) const;

    struct Failure {
        FsOp op;
        std::string path;
        std::string otherPath;  // the target of a copy, the source that holdsCopyOf compares with
        int errorNumber;
        int call;               // its number among the calls of all operations
    };
    // Every call failed so far, in order; clear() keeps them.
    const std::vector<Failure>& failures() const { return failures_; }
    // The call most recently begun (errorNumber 0), for a fault injected
    // further down to name the operation it hit.
    const Failure& lastCall() const { return last_; }

protected:
    void entering(FsOp op, const std::string& path, const std::string& otherPath) override;

private:
    struct Rule {
        FsOp op;
        int callNumber;  // > 0: the call count that fails (every later one too when sticky); 0: by path
        bool sticky;
        std::string pathContains;
        int errorNumber;
    };
    std::vector<Rule> rules_;
    std::vector<Failure> failures_;
    Failure last_{FsOp::Any, {}, {}, 0, 0};
    std::array<int, static_cast<std::size_t>(FsOp::Any)> counts_{};
};

}  // namespace mabrel::platform
