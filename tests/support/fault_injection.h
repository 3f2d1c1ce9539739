// A FileSystem that fails on request, for tests: it forwards every call to
// another file system, except those a rule tells it to fail, e.g.
//   fs.failNthCall(FsOp::WriteFileAtomic, 1, err::DiskFull);           // the next write
//   fs.failCallsOn(FsOp::CreateCopy, "_mabre-l94", err::PathNotFound);  // every copy into it
//   fs.failFromNthCall(FsOp::Any, 3, err::DiskNotReady);               // the 3rd call and all after
// A failed call throws PlatformError(errorNumber) before the wrapped file
// system is asked, so nothing on disk changes. Calls are counted per
// operation from construction (failed ones too); failNthCall counts from now
// and is used up once it fires; failFromNthCall stays, as a medium that has
// gone away stays away. failCallsOn matches a path (either file of a copy)
// containing the text, exact case, until clear().
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
        int callNumber;  // > 0: the call count that fails; 0: by path
        bool sticky;     // with callNumber: every later call fails too
        std::string pathContains;
        int errorNumber;
    };
    std::vector<Rule> rules_;
    std::vector<Failure> failures_;
    Failure last_{FsOp::Any, {}, {}, 0, 0};
    std::array<int, static_cast<std::size_t>(FsOp::Any)> counts_{};
};

}  // namespace mabrel::platform
