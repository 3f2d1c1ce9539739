// The main window's core without a toolkit, as the benchmarks load folders
// with it: the native file system, and a person who sees every file with
// one plain icon and is never asked anything.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "platform/native.h"

namespace bench {

class QuietInteraction : public mabrel::Interaction {
public:
    void messageBox(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void showModal(mabrel::frm_rclick&) override {}
    void showModal(mabrel::frm_option&) override {}
    void showModal(mabrel::frm_drive&) override {}
    void showModal(mabrel::frm_compare&) override {}
    void setWindowState(mabrel::WindowState) override {}
    void endProgram() override {}
    void setWaitCursor(bool) override {}
    void shellExecute(const mabrel::ShellRequest&) override {}
    bool openInCompareTool(const mabrel::CompareToolRequest&) override { return false; }
    std::string compareToolNames() override { return {}; }
    mabrel::SharedIcon iconFor(const std::string&) override { return icon; }
    unsigned driveType(const std::string&) override { return 3; }

    mabrel::SharedIcon icon = std::make_shared<const mabrel::IconImage>(
        mabrel::IconImage{16, 16, std::vector<std::uint32_t>(256, 0xFF336699u)});
    std::vector<std::string> messages;
};

class FixedProcess : public mabrel::platform::Process {
public:
    bool claimSingleInstance(const std::string&) override { return true; }
    std::string executableFolder() override { return "C:\\"; }
    std::string executableBaseName() override { return "mabrel9-iv"; }
    std::string commandLine() override { return {}; }
    std::string currentDirectory() override { return "C:\\"; }
    mabrel::platform::LocalTime now() override { return {2026, 1, 1, 0, 0, 0}; }
    std::int64_t utcNow() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

struct CoreWindow {
    std::unique_ptr<mabrel::platform::FileSystem> fs = mabrel::platform::makeNativeFileSystem();
    std::unique_ptr<mabrel::platform::Codec> codec = mabrel::platform::makeNativeCodec();
    mabrel::ProcessState state;
    QuietInteraction ui;
    FixedProcess process;
    mabrel::frm_mabrel94 window{state, *fs, *codec, process, ui};

    // fun_Load of folder (drive form, ending in "\"); the seconds it took.
    double load(const std::string& folder) {
        state.p_driveAndPath = folder;
        return secondsOf([&] { window.fun_Load(); });
    }
};

}  // namespace bench
