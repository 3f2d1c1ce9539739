// The compare window: two versions of a text file side by side. It reads and
// compares them on a thread of its own (Excel and Word files as the lines
// taken out of them), so that it answers at once however
// large the files are; the front end calls Timer_Tick every few tens of
// milliseconds, shows the window once `visible` is set and closes it once
// `unloaded` is. Files that are no text (or too large) never show it: the
// window unloads itself with outcome NotText, and its opener hands them to a
// compare tool.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    std::string shown;   // its name as the person reads it
    std::string label;   // what a message calls it: "報告書.txt（現在のファイル）"
};

// Where a compare window opens, in the front end's screen units: over the
// main window at first, then as the person last left one, while the
// program runs.
struct ComparePlacement {
    int left = 0, top = 0, width = 0, height = 0;
};
ComparePlacement comparePlacement(const ComparePlacement& mainWindow);
void rememberComparePlacement(const ComparePlacement& placement);

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
    // The rows of comparison(), side by side: each side a grid of its own
    // (line numbers, then the text) that scrolls sideways by itself, both
    // scrolled up and down as one; beside them picChanges, a strip showing
    // where the changes lie in the whole file.
    Control grdOlder;
    Control grdNewer;
    Control picChanges;
    Control lblStatus;    // "変更 3 か所" and the like
    Control prgProgress;  // shown while a long comparison runs
    Control cmdPrevious;  // "前の変更" (Alt+Up)
    Control cmdNext;      // "次の変更" (Alt+Down)
    Control cmdClose;     // "閉じる" (Escape)
    Control chkIgnoreWhitespace;  // "空白の違いを無視"; checked as options.ignoreWhitespace
    Control chkIgnoreLineEnds;    // "改行の違いを無視"
    Control txtFind;              // the text Ctrl+F looks for (find)
    int progress = -1;    // 0 to 1000 while prgProgress is visible; -1 while it cannot tell

    bool visible = false;
    bool unloaded = false;
    // Index into comparison()->changes of the change shown; -1 for none.
    int currentChange = -1;
    // Where the front end is to scroll and what it is to show marked: a row,
    // a side, and a piece of its line in characters as shown (tabs laid
    // out): the first changed character of a change, a word found.
    struct Place {
        int row = -1;
        bool newerSide = true;
        int column = 0;
        int length = 0;
    };
    Place place;
    // Bumped whenever the front end should scroll to `place`.
    int scrollRequests = 0;

    // Starts reading and comparing.
    void Form_Load();
    void Form_Resize();
    // `elapsedMs` since Form_Load. True when anything shown changed.
    bool Timer_Tick(int elapsedMs);
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdClose_Click();
    // A click on a row: the position Alt+Down and Alt+Up go on from. On a
    // changed row that change becomes the current one.
    void grdRows_Click(int row);
    // A click on the strip, `fraction` of its height down: the change
    // nearest to that place in the file.
    void picChanges_Click(double fraction);
    // Ctrl+F: the next line of either side (older before newer) holding
    // `text`, from the place shown on; letter case as typed. False when no
    // line holds it; the place stays.
    bool find(const std::string& text, bool forward = true);
    // The lines of one side in the rows given, each followed by a line
    // break; rows without a line on that side give nothing.
    std::string copyText(int firstRow, int lastRow, bool newerSide) const;
    // The changes for the strip: first and last row of each, as shares of
    // all rows (0 to 1).
    struct StripMark {
        double from = 0;
        double to = 0;
        backup::RowKind kind = backup::RowKind::Changed;
    };
    std::vector<StripMark> stripMarks() const;
    // The options as the person set them: compared again at once, from the
    // texts already read.
    void chkIgnoreWhitespace_Click();
    void chkIgnoreLineEnds_Click();
    backup::CompareOptions options;
    // Closed in any other way: the comparison stops.
    void Form_Unload();

    Outcome outcome() const { return outcome_; }
    // Why it failed (outcome Failed).
    const std::optional<platform::PlatformError>& error() const { return error_; }
    // The failure in words, naming the file: 「報告書.txt（現在のファイル）が見つかりません。」
    std::string errorMessage() const;
    // Whether the failure was a file that is no longer there.
    bool fileGone() const;
    // Why the files are not compared here (outcome NotText), as the end of a
    // sentence ("パスワードで保護されているため"); empty when they are simply no text.
    const std::string& notTextReason() const { return notTextReason_; }
    // The comparison, once done; null before.
    const backup::TextComparison* comparison() const { return comparison_.get(); }
    // Whether closing ended a comparison before it had finished.
    bool stopped() const { return stopped_; }
    // The first row of the current change, -1 for none.
    int currentRow() const;

private:
    struct Job;
    void startJob(std::unique_ptr<backup::TextFile> older, std::unique_ptr<backup::TextFile> newer);
    void optionsChanged();
    void goToChange(int index);
    int clickedRow_ = -1;  // set by a click on a row between changes
    void showCount();

    CompareFile older_, newer_;
    platform::FileSystem& fs_;
    const platform::Codec& codec_;
    std::unique_ptr<Job> job_;
    std::unique_ptr<backup::TextComparison> comparison_;
    std::optional<platform::PlatformError> error_;
    const CompareFile* failed_ = nullptr;
    std::string notTextReason_;
    Outcome outcome_ = Outcome::Pending;
    bool stopped_ = false;
};

}  // namespace mabrel
