// The scripted person for headless tests: records what the program asks and
// answers as queued. showModal runs Form_Load, the next script for the kind
// (a compare window's once its comparison ended), then closes what is still
// open through the title bar. Unqueued, an input box is cancelled and a
// question answered いいえ; copies and loads run to their end.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/interaction.h"

namespace mabrel::test {

enum class WindowKind { RClick, Option, Drive, Compare };

struct ProgressReport { std::string fileName; std::uint64_t copied = 0, total = 0; };
struct InputBoxCall { std::string prompt, title, defaultText; };

class ScriptedInteraction : public Interaction {
public:
    // What was asked, in order.
    std::vector<std::string> messages;
    std::vector<InputBoxCall> inputBoxCalls;
    std::vector<ShellRequest> shellRequests;
    std::vector<WindowState> windowStates;
    std::vector<bool> waitCursorChanges;
    int endProgramCalls = 0;
    std::vector<WindowKind> modalShowings;
    std::vector<ProgressReport> progressReports;
    int progressEnds = 0;
    std::vector<std::string> questions;
    // The status texts a load reported; each load's reports end with a loadEnd.
    std::vector<std::string> loadReports;
    int loadEnds = 0;
    // Whether a message box or question came while a load still reported.
    bool askedDuringLoad = false;
    std::vector<CompareToolRequest> compareToolRequests;

    // How the person answers.
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<bool> yesNoAnswers;
    std::deque<std::function<void(frm_rclick&)>> rclickScripts;
    std::deque<std::function<void(frm_option&)>> optionScripts;
    std::deque<std::function<void(frm_drive&)>> driveScripts;
    std::deque<std::function<void(frm_compare&)>> compareScripts;
    bool compareToolInstalled = true;  // whether the machine has one
    bool throwOnNextShowModal = false;
    // Whether the person cancels the copy at this report (already recorded).
    std::function<bool(const ProgressReport&)> cancelWhen;
    // Whether the program ends during the load at this report (already recorded).
    std::function<bool(const std::string&)> cancelLoadWhen;

    // Drive type code by upper-case letter; others report 1 (no such root).
    std::map<char, unsigned> driveTypes{{'C', 3}};

    void messageBox(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void showModal(frm_rclick& window) override;
    void showModal(frm_option& window) override;
    void showModal(frm_drive& window) override;
    void showModal(frm_compare& window) override;
    void setWindowState(WindowState state) override { windowStates.push_back(state); }
    void endProgram() override { ++endProgramCalls; }
    void setWaitCursor(bool on) override { waitCursorChanges.push_back(on); }
    void shellExecute(const ShellRequest& request) override { shellRequests.push_back(request); }
    bool openInCompareTool(const CompareToolRequest& request) override {
        compareToolRequests.push_back(request);
        return compareToolInstalled;
    }
    std::string compareToolNames() override { return "TestDiff"; }
    SharedIcon iconFor(const std::string& path) override;
    unsigned driveType(const std::string& root) override;
    bool copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) override;
    void copyProgressEnd() override { ++progressEnds; }
    bool loadProgress(const std::string& statusText) override;
    void loadProgressEnd() override;

private:
    void beginShowing(WindowKind kind);
    bool loading_ = false;
};


}  // namespace mabrel::test
