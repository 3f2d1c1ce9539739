// The first folder shown: command line, then the remembered folder, then the
// current directory.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "platform/native.h"
#include "support/temp_dir.h"

namespace mabrel::app {
namespace {

TEST(StartFolder, CommandLineThenTheRememberedFolderThenTheCurrentDirectory) {
    const auto fs = platform::makeNativeFileSystem();
    test::TempDir dir, currentDir;
    dir.write("With Space/a.txt", "a");
    dir.mkdir("Remembered");
    const std::string root = dir.drivePath();
    const std::string current = currentDir.drivePath();
    const std::string remembered = root + "Remembered\\";
    const struct {
        std::string remembered, commandLine;
        StartFolder chosen;
    } cases[] = {
        // The command line wins, quoted or naming a file whose row is to be
        // selected (how a typed path is resolved is the path helpers' test).
        {remembered, "\"" + root + "With Space\"", {root + "With Space\\", ""}},
        {remembered, root + "With Space\\a.txt", {root + "With Space\\", "a.txt"}},
        {"", root + "WITH SPACE\\A.TXT", {root + "With Space\\", "a.txt"}},
        // A command line the checker rejects: the current directory, not the remembered one.
        {remembered, "xyz:\\folder", {current, ""}},
        {remembered, "Q:\\", {current, ""}},  // a drive that is gone
        // Without one, the remembered folder if it and its drive still exist.
        {remembered, "", {remembered, ""}},
        {root + "Remembered", "   ", {remembered, ""}},
        {root + "Gone\\", "", {current, ""}},
        {"", "", {current, ""}},
        {"Q:\\", "", {current, ""}},
        {"\\\\mabrel-no-server\\share\\", "", {current, ""}},
        {root.substr(0, 3), "", {root.substr(0, 3), ""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chooseStartFolder(*fs, c.remembered, c.commandLine, current.substr(0, current.size() - 1)), c.chosen)
            << c.remembered << " / " << c.commandLine;
    }
}

}  // namespace
}  // namespace mabrel::app
