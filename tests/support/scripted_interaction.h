// The scripted person for headless tests: records everything the program
// asks of the person and answers as the test tells it.
//
//   ScriptedInteraction ui;
//   ui.inputAnswers.push_back("new comment");    // next input box: typed text
//   ui.inputAnswers.push_back(std::nullopt);     // the one after: Cancel
//   ui.driveScripts.push_back([](frm_drive& w) { w.Option1_Click(3); w.Command1_Click(); });
//   ... run the code under test ...
//   EXPECT_EQ(ui.messages, std::vector<std::string>{"..."});
//
// showModal(window): records the kind, runs the window's Form_Load, then the
// next queued script for that kind (none queued: the person closes the window
// at once through the title bar). A window still open after its script is
// closed through the title bar too: Form_Unload where the window has one.
// Then `unloaded` is set. With throwOnNextShowModal set, the next showModal
// clears the flag and throws PlatformError(400) without showing (or recording)
// anything.
//
// showModal(frm_compare&) ticks the window's timer until its comparison has
// ended, then runs the next compare script (none: the person closes it).
//
// An input box with no answer queued is answered with Cancel, a question with
// no answer queued with いいえ. A copy runs to its end unless cancelWhen says
// otherwise at one of its progress reports; a load unless cancelLoadWhen does.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/interaction.h"

namespace mabrel::test {

enum class WindowKind { RClick, Option, Drive, Compare };

struct ProgressReport {
    std::string fileName;
    std::uint64_t copied = 0;
    std::uint64_t total = 0;
};

struct InputBoxCall {
    std::string prompt;
    std::string title;
    std::string defaultText;
};

class ScriptedInteraction : public Interaction {
public:
    // --- What was asked, in order --------------------------------------
    std::vector<std::string> messages;
    std::vector<InputBoxCall> inputBoxCalls;
    std::vector<ShellRequest> shellRequests;
    std::vector<WindowState> windowStates;
    std::vector<bool> waitCursorChanges;
    int endProgramCalls = 0;
    std::vector<WindowKind> modalShowings;
    std::vector<std::string> iconRequests;
    std::vector<std::string> driveTypeQueries;
    std::vector<ProgressReport> progressReports;
    int progressEnds = 0;
    std::vector<std::string> questions;
    // The status texts a load reported; each load's reports end with a
    // loadEnd.
    std::vector<std::string> loadReports;
    int loadEnds = 0;
    // What a message box or question found: whether a load was still
    // reporting (it would keep the person's answer from the box).
    bool askedDuringLoad = false;
    std::vector<CompareToolRequest> compareToolRequests;

    // --- How the person answers ------------------------------------------
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<bool> yesNoAnswers;
    std::deque<std::function<void(frm_rclick&)>> rclickScripts;
    std::deque<std::function<void(frm_option&)>> optionScripts;
    std::deque<std::function<void(frm_drive&)>> driveScripts;
    std::deque<std::function<void(frm_compare&)>> compareScripts;
    // Whether the machine has a compare tool.
    bool compareToolInstalled = true;
    bool throwOnNextShowModal = false;
    // Whether the person cancels the copy at this report (already recorded).
    std::function<bool(const ProgressReport&)> cancelWhen;
    // Whether the program ends during the load at this report (already recorded).
    std::function<bool(const std::string&)> cancelLoadWhen;

    // Extensions (with their dot, lower case: ".txt"; "" for names without
    // one) that have an icon; nothing set: every path has one. The icon is
    // 16 x 16, one colour per extension, one picture per extension.
    std::optional<std::set<std::string>> iconExtensions;
    // Drive type code by upper-case letter; letters not listed report 1
    // (no such root).
    std::map<char, unsigned> driveTypes{{'C', 3}};

    // The last wait-cursor state set (false when never set).
    bool waitCursorOn() const { return !waitCursorChanges.empty() && waitCursorChanges.back(); }

    // --- Interaction -------------------------------------------------------
    void messageBox(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    void showModal(frm_rclick& window) override;
    void showModal(frm_option& window) override;
    void showModal(frm_drive& window) override;
    void showModal(frm_compare& window) override;
    void setWindowState(WindowState state) override;
    void endProgram() override;
    void setWaitCursor(bool on) override;
    void shellExecute(const ShellRequest& request) override;
    bool openInCompareTool(const CompareToolRequest& request) override;
    std::string compareToolNames() override { return "TestDiff"; }
    SharedIcon iconFor(const std::string& path) override;
    unsigned driveType(const std::string& root) override;
    bool copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) override;
    void copyProgressEnd() override;
    bool loadProgress(const std::string& statusText) override;
    void loadProgressEnd() override;

private:
    void beginShowing(WindowKind kind);
    bool loading_ = false;
    std::map<std::string, SharedIcon> icons_;
};

// The icon ScriptedInteraction gives for an extension (".txt", "" for none).
IconImage scriptedIcon(const std::string& extension);

}  // namespace mabrel::test
