// The compare window: two versions of a text file side by side. It reads and
// compares them on a thread of its own, so that it answers at once however
// large the files are; the front end calls Timer_Tick every few tens of
// milliseconds, shows the window once `visible` is set and closes it once
// `unloaded` is. Files that are no text (or too large) never show it: the
// window unloads itself with outcome NotText, and its opener hands them to a
// compare tool.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/controls.h"
#include "backup/text_compare.h"
#include "platform/errors.h"
#include "platform/filesystem.h"
#include "platform/text.h"

namespace mabrel {

struct CompareFile {
    std::string folder;  // the folder shown, drive form, ending in "\"
    std::string name;    // the entry's own name, in the folder or its backup directory
    bool backup = false; // in the backup directory
    std::string path;    // drive form, for the compare tool
    std::string title;   // what the window says of it
};

class frm_compare {
public:
    enum class Outcome { Pending, Shown, NotText, Failed };

    // older goes on the left.
    frm_compare(platform::FileSystem& fs, const platform::Codec& codec, CompareFile older, CompareFile newer);
    // Stops the comparison if it still runs.
    ~frm_compare();
    frm_compare(const frm_compare&) = delete;
    frm_compare& operator=(const frm_compare&) = delete;

    std::string caption;
    // Client area in twips; the front end reports the person's resizes
    // here and calls Form_Resize, which lays the controls out.
    int clientWidth = 13500;
    int clientHeight = 8400;
    Control lblOlder;     // the older file's title, encoding and line ends
    Control lblNewer;
    Control grdRows;      // the rows of comparison(), side by side
    Control lblStatus;    // "変更 3 か所" and the like
    Control prgProgress;  // shown while a long comparison runs
    Control cmdPrevious;  // "前の変更" (Alt+Up)
    Control cmdNext;      // "次の変更" (Alt+Down)
    Control cmdClose;     // "閉じる" (Escape)
    int progress = -1;    // 0 to 1000 while prgProgress is visible; -1 while it cannot tell

    bool visible = false;
    bool unloaded = false;
    // Index into comparison()->changes of the change shown; -1 for none.
    int currentChange = -1;
    // Bumped whenever the front end should scroll to currentRow().
    int scrollRequests = 0;

    // Starts reading and comparing.
    void Form_Load();
    void Form_Resize();
    // `elapsedMs` since Form_Load. True when anything shown changed.
    bool Timer_Tick(int elapsedMs);
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdClose_Click();
    // Closed in any other way: the comparison stops.
    void Form_Unload();

    Outcome outcome() const { return outcome_; }
    // Why it failed (outcome Failed).
    const std::optional<platform::PlatformError>& error() const { return error_; }
    // The comparison, once done; null before.
    const backup::TextComparison* comparison() const { return comparison_.get(); }
    // Whether closing ended a comparison before it had finished.
    bool stopped() const { return stopped_; }
    // The first row of the current change, -1 for none.
    int currentRow() const;

private:
    struct Job;
    void goToChange(int index);
    void showCount();

    CompareFile older_, newer_;
    platform::FileSystem& fs_;
    const platform::Codec& codec_;
    std::unique_ptr<Job> job_;
    std::unique_ptr<backup::TextComparison> comparison_;
    std::optional<platform::PlatformError> error_;
    Outcome outcome_ = Outcome::Pending;
    bool stopped_ = false;
};

}  // namespace mabrel
