// A main window over a real temporary folder, with the scripted person and a
// process of its own whose executable folder is another temporary folder (so
// it has its own settings file and help page).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "platform/native.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/scripted_interaction.h"
#include "support/temp_dir.h"

namespace mabrel::test {

class TestProcess : public platform::Process {
public:
    std::vector<std::string> claims;
    std::string exeFolder;
    std::string settingsDir;  // empty: beside the executable
    std::string commandLineText;
    std::string currentDir;
    platform::LocalTime clock{2026, 12, 5, 9, 0, 0};
    // The clock kept copies age by; the machine's until a test sets it.
    std::optional<std::int64_t> utcClock;

    bool claimSingleInstance(const std::string& programName) override {
        claims.push_back(programName);
        return true;
    }
    std::string executableFolder() override { return exeFolder; }
    std::string settingsFolder() override { return settingsDir.empty() ? exeFolder : settingsDir; }
    std::string executableBaseName() override { return "mabrel9-iv"; }
    std::string commandLine() override { return commandLineText; }
    std::string currentDirectory() override { return currentDir; }
    platform::LocalTime now() override { return clock; }
    std::int64_t utcNow() override { return utcClock ? *utcClock : static_cast<std::int64_t>(std::time(nullptr)); }
};

// A drive-form folder without its trailing "\".
inline std::string withoutTrailingSeparator(const std::string& path) {
    return path.size() > 1 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        process.exeFolder = withoutTrailingSeparator(exeDir.drivePath());
        process.currentDir = withoutTrailingSeparator(work.drivePath());
    }

    frm_mabrel94& window() {
        if (!window_) window_ = std::make_unique<frm_mabrel94>(state, *fs, *codec, process, ui);
        return *window_;
    }

    // The program ended and started again: a new window, the process-wide state kept.
    void nextRun() {
        window_.reset();
        window().fun_Load();
    }

    // Starts the program on `folder` (drive form) through its command line.
    void startIn(const std::string& folder) {
        process.commandLineText = folder;
        ASSERT_TRUE(window().Form_Load());
        ASSERT_EQ(state.p_driveAndPath, folder);
    }

    // Index of the row for `name`: the file row, or with a timestamp the backup row; -1 for none.
    int rowOf(const std::string& name, const std::string& backupTimestamp = "") {
        const auto& rows = window().lvwFiles.rows;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto& c = rows[i].cells;
            if (c[0] == name && (c[3] == "*") == !backupTimestamp.empty() && (c[3] != "*" || c[1] == backupTimestamp)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // A file of the work folder with a modification time.
    std::filesystem::path file(const std::string& name, const std::string& bytes, int year = 2000, int month = 7,
                               int day = 15, int hour = 9, int minute = 5, int second = 3) const {
        auto p = work.write(name, bytes);
        setModificationTime(p, year, month, day, hour, minute, second);
        return p;
    }
    // The comment cell of a row (to read or to type into).
    std::string& commentOf(int row) { return window().lvwFiles.rows.at(static_cast<std::size_t>(row)).cells[4]; }

    // Selects exactly these rows; the first is the list's selected item.
    void select(const std::vector<int>& rows) {
        auto& list = window().lvwFiles;
        for (auto& r : list.rows) r.selected = false;
        for (int r : rows) list.rows.at(static_cast<std::size_t>(r)).selected = true;
        list.selectedItem = rows.empty() ? -1 : rows.front();
    }

    // The names in a folder (none if it does not exist), sorted.
    static std::vector<std::string> namesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> backupNames() const { return namesIn(work.path() / "_mabre-l94"); }
    std::string commentBytes() const { return readBytes(work.path() / "_mabre.l94"); }

    // How many folder view loads ran so far (each shows the hourglass once).
    int loads() const {
        return static_cast<int>(std::count(ui.waitCursorChanges.begin(), ui.waitCursorChanges.end(), true));
    }

    std::filesystem::path settingsFile() const { return exeDir.path() / "mabrel9-iv.ini"; }
    // Line `n` (1-based) of the settings file.
    std::string settingsLine(int n) const {
        auto lines = platform::splitLines(readBytes(settingsFile()));
        return n <= static_cast<int>(lines.size()) ? lines[static_cast<std::size_t>(n - 1)] : std::string();
    }

    static bool isReadOnly(const std::filesystem::path& p) {
        return (std::filesystem::status(p).permissions() & std::filesystem::perms::owner_write) ==
               std::filesystem::perms::none;
    }

    // Where the work folder is made: a test on another file system moves it.
    static std::filesystem::path& workParent() {
        static std::filesystem::path parent = std::filesystem::temp_directory_path();
        return parent;
    }

    TempDir exeDir;
    TempDir work{workParent()};
    std::unique_ptr<platform::FileSystem> nativeFs = platform::makeNativeFileSystem();
    // The window's file system; a test may replace it before the first window().
    platform::FileSystem* fs = nativeFs.get();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    ProcessState state;
    TestProcess process;
    ScriptedInteraction ui;
    const std::string root = work.drivePath();

private:
    std::unique_ptr<frm_mabrel94> window_;
};

}  // namespace mabrel::test
