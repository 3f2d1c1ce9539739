// A FileSystem that fails on request, for tests: a call a rule fails throws
// PlatformError(errorNumber) before the wrapped file system is asked.
// failNthCall: the nth call of op from now, once; failFromNthCall: that and
// every later one (a medium gone away stays away); failCallsOn: every call whose
// path (either file of a copy) holds the text, until clear(). FsOp::Any: all.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "support/forwarding_filesystem.h"

namespace mabrel::platform {

class FaultInjectingFileSystem : public ForwardingFileSystem {
public:
    explicit FaultInjectingFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

    void failNthCall(FsOp op, int n, int errorNumber) { failFrom(op, n, false, errorNumber); }
    void failFromNthCall(FsOp op, int n, int errorNumber) { failFrom(op, n, true, errorNumber); }
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
    void failFrom(FsOp op, int n, bool sticky, int errorNumber);
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
