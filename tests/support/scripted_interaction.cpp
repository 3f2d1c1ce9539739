#include "support/scripted_interaction.h"

#include <cctype>
#include <chrono>
#include <thread>
#include <utility>

#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "platform/errors.h"
#include "settings/frm_option.h"

namespace mabrel::test {

namespace {

// The next answer queued, or `otherwise`.
template <class T>
T next(std::deque<T>& queue, T otherwise) {
    if (queue.empty()) return otherwise;
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
}

template <class Window>
void runScript(std::deque<std::function<void(Window&)>>& scripts, Window& window, bool load = true) {
    if (load) window.Form_Load();
    if (auto script = window.unloaded ? std::function<void(Window&)>() : next(scripts, {})) script(window);
    if constexpr (requires { window.Form_Unload(); }) { if (!window.unloaded) window.Form_Unload(); }
    window.unloaded = true;
}

}  // namespace

void ScriptedInteraction::messageBox(const std::string& text) {
    askedDuringLoad = askedDuringLoad || loading_;
    messages.push_back(text);
}

std::optional<std::string> ScriptedInteraction::inputBox(const std::string& prompt, const std::string& title,
                                                         const std::string& defaultText) {
    inputBoxCalls.push_back({prompt, title, defaultText});
    return next(inputAnswers, std::optional<std::string>());
}

void ScriptedInteraction::beginShowing(WindowKind kind) {
    if (std::exchange(throwOnNextShowModal, false)) throw platform::PlatformError(platform::err::AlreadyModal);
    modalShowings.push_back(kind);
}

void ScriptedInteraction::showModal(frm_rclick& w) { beginShowing(WindowKind::RClick); runScript(rclickScripts, w); }
void ScriptedInteraction::showModal(frm_option& w) { beginShowing(WindowKind::Option); runScript(optionScripts, w); }
void ScriptedInteraction::showModal(frm_drive& w) { beginShowing(WindowKind::Drive); runScript(driveScripts, w); }
void ScriptedInteraction::showModal(frm_compare& window) {
    beginShowing(WindowKind::Compare);
    window.Form_Load();
    const auto start = std::chrono::steady_clock::now();
    while (window.outcome() == frm_compare::Outcome::Pending) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        window.Timer_Tick(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()));
    }
    runScript(compareScripts, window, false);
}

// One picture for every file: which picture a type gets is the front ends' test.
SharedIcon ScriptedInteraction::iconFor(const std::string&) {
    static const SharedIcon icon =
        std::make_shared<const IconImage>(IconImage{16, 16, std::vector<std::uint32_t>(256, 0xFF3366CCu)});
    return icon;
}

unsigned ScriptedInteraction::driveType(const std::string& root) {
    const auto found = root.empty() ? driveTypes.end()
                                    : driveTypes.find(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))));
    return found == driveTypes.end() ? 1u : found->second;
}

bool ScriptedInteraction::copyProgress(const std::string& fileName, std::uint64_t copied, std::uint64_t total) {
    progressReports.push_back({fileName, copied, total});
    return !(cancelWhen && cancelWhen(progressReports.back()));
}

bool ScriptedInteraction::askYesNo(const std::string& text) {
    askedDuringLoad = askedDuringLoad || loading_;
    questions.push_back(text);
    return next(yesNoAnswers, false);
}

bool ScriptedInteraction::loadProgress(const std::string& statusText) {
    loading_ = true;
    loadReports.push_back(statusText);
    return !(cancelLoadWhen && cancelLoadWhen(statusText));
}

void ScriptedInteraction::loadProgressEnd() { loadEnds += std::exchange(loading_, false) ? 1 : 0; }

}  // namespace mabrel::test
