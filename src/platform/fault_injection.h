// A FileSystem that fails on request, for tests: it wraps any other file
// system and forwards every call, except those a rule tells it to fail.
//
//   auto native = platform::makeNativeFileSystem();
//   platform::FaultInjectingFileSystem fs(*native);
//   fs.failNthCall(FsOp::WriteFileAtomic, 1, err::DiskFull);   // the next write fails with 61
//   fs.failCallsOn(FsOp::CreateCopy, "_mabre-l94", err::PathNotFound);  // every copy into it fails
//   fs.failCallsOn(FsOp::Any, "report.txt", err::DeviceIo);    // every operation on it fails
//   fs.failFromNthCall(FsOp::Any, 3, err::DiskNotReady);      // the 3rd call and all after it fail
//   ... run the code under test against fs ...
//   EXPECT_EQ(fs.calls(FsOp::CopyFile), 2);
//   fs.clear();                                                // forwards everything again
//
// A failed call throws PlatformError(errorNumber) before the wrapped file
// system is asked, so nothing on disk changes. Calls are counted per
// operation from construction (failed ones too); failNthCall counts from the
// moment the rule is given: n = 1 is the next call of that operation, and
// the rule is used up once it fires; failFromNthCall stays, as a medium that
// has gone away stays away. failCallsOn matches a path containing the text,
// exact case, and stays until clear(): in a folder opened here, the folder's
// path and the entry's name (either file of a copy), the folder's path for
// its listing; the root of driveType. Folders opened here fail the same way.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform {

enum class FsOp {
    Attributes,
    Find,
    OpenDirectory,
    OpenFolder,
    List,
    SetAttributes,
    CreateCopy,
    HoldsCopyOf,
    CopyFile,
    DeleteCopy,
    ReadFile,
    WriteFileAtomic,
    RemoveStaleTemporaries,
    DriveType,
    UpdateFile,
    TakenTime,
    MarkTaken,
    Any,  // in a rule: every operation
};

class FaultInjectingFileSystem : public FileSystem {
public:
    explicit FaultInjectingFileSystem(FileSystem& inner);

    // Fails the nth call of `op` from now on (1 = the next one) with errorNumber.
    void failNthCall(FsOp op, int n, int errorNumber);
    // Fails the nth call of `op` from now on and every later one.
    void failFromNthCall(FsOp op, int n, int errorNumber);
    // Fails every call of `op` whose path contains `pathContains` with errorNumber.
    void failCallsOn(FsOp op, std::string pathContains, int errorNumber);
    // Removes every rule; the counts stay.
    void clear();
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

    std::uint32_t attributes(const std::string& path) override;
    std::optional<DirEntry> findIgnoringCase(const std::string& path, std::uint32_t mask) override;
    std::unique_ptr<Directory> openDirectory(const std::string& path) override;
    unsigned driveType(const std::string& root) override;

private:
    class Folder;
    struct Rule {
        FsOp op;
        int callNumber;          // > 0: the call count that fails; 0: by path
        bool sticky;             // with callNumber: every later call fails too
        std::string pathContains;
        int errorNumber;
    };
    // Counts the call and throws when a rule says so.
    void enter(FsOp op, const std::string& path, const std::string& otherPath = {});

    FileSystem& inner_;
    std::vector<Rule> rules_;
    std::vector<Failure> failures_;
    Failure last_{FsOp::Any, {}, {}, 0, 0};
    std::array<int, static_cast<std::size_t>(FsOp::Any)> counts_{};
};

}  // namespace mabrel::platform
