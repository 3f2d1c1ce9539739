// One of two programs saving into one comment file at the same time, the
// Linux program's platform layer and the Windows program's under Wine
// (scripts/wine-tests.sh starts both on one folder): each save adds a line
// of its own to what is stored, under the lock both honour, so that at the
// end every line of both is there. Run only so:
// --gtest_also_run_disabled_tests with MABREL_SHARED_FOLDER (the folder in
// drive form), MABREL_SHARED_TAG (this program), MABREL_SHARED_PEER (the
// other) and MABREL_SHARED_ROUNDS.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/native.h"

namespace mabrel::platform {
namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

TEST(DISABLED_SharedSaves, EachSaveAddsItsLineToWhatTheOtherStored) {
    const std::string folder = variable("MABREL_SHARED_FOLDER"), tag = variable("MABREL_SHARED_TAG"),
                      peer = variable("MABREL_SHARED_PEER");
    const int rounds = std::atoi(variable("MABREL_SHARED_ROUNDS").c_str());
    ASSERT_FALSE(folder.empty() || tag.empty() || peer.empty() || rounds <= 0) << "not started by the script";
    const auto fs = makeNativeFileSystem();
    const auto dir = fs->openDirectory(folder);
    // Both at once: each says it is ready and waits for the other, which
    // may take long to start (Wine).
    dir->writeFileAtomic(tag + ".ready", "");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!dir->find(peer + ".ready", 0)) {
        ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << peer << " never came";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (int i = 0; i < rounds; ++i) {
        const std::string line = tag + " " + std::to_string(i) + "\r\n";
        ASSERT_NO_THROW(dir->updateFile("_mabre.l94", [&](const std::optional<std::string>& stored) {
            return std::optional<std::string>(stored.value_or("") + line);
        })) << "round " << i;
    }
}

}  // namespace
}  // namespace mabrel::platform
