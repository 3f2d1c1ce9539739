#include "backup/frm_compare.h"

#include "backup/backup_store.h"
#include "platform/errors.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <utility>

namespace mabrel {

namespace {

// A window that has not learnt within this time whether the files are text
// shows itself, saying that it reads them.
constexpr int kShowAfterMs = 300;
// A comparison running this long shows its progress.
constexpr int kProgressAfterMs = 500;

struct Stopped {};

// The one place the compared files are read: whole, through the platform
// layer, which opens them for reading only and shares them with any writer.
// Nothing when the file is too large or no text.
std::optional<backup::TextFile> readCompared(platform::FileSystem& fs, const platform::Codec& codec,
                                             const CompareFile& file) {
    const auto folder = fs.openDirectory(file.folder);
    std::unique_ptr<platform::Directory> backupDir;
    if (file.backup) backupDir = backup::openBackupDirectory(*folder, false);
    platform::Directory& where = backupDir ? *backupDir : *folder;
    const auto entry = where.find(file.name, platform::attr::Hidden | platform::attr::System);
    if (!entry) throw platform::PlatformError(platform::err::FileNotFound);
    if (entry->size > backup::kTextCompareLimit) return std::nullopt;
    std::string bytes = where.readFile(file.name);
    if (static_cast<std::int64_t>(bytes.size()) > backup::kTextCompareLimit) return std::nullopt;
    return backup::readAsText(codec, std::move(bytes));
}

}  // namespace

struct frm_compare::Job {
    enum Stage { Reading, Comparing, Done, NotText, Failed, Ended };
    std::atomic<bool> stop{false};
    std::atomic<int> stage{Reading};
    std::atomic<int> permille{-1};
    // Written by the thread before it sets the stage that tells of them.
    std::unique_ptr<backup::TextComparison> result;
    std::optional<platform::PlatformError> error;
    std::thread thread;

    void run(platform::FileSystem& fs, const platform::Codec& codec, const CompareFile& olderFile,
             const CompareFile& newerFile) {
        try {
            auto older = readCompared(fs, codec, olderFile);
            if (stop) throw Stopped{};
            auto newer = older ? readCompared(fs, codec, newerFile) : std::nullopt;
            if (!older || !newer) {
                stage = NotText;
                return;
            }
            stage = Comparing;
            result = std::make_unique<backup::TextComparison>(
                backup::compareTexts(std::move(*older), std::move(*newer), [this](int p) {
                    if (stop) throw Stopped{};
                    if (p >= 0) permille = p;
                }));
            stage = Done;
        } catch (const platform::PlatformError& e) {
            error = e;
            stage = Failed;
        } catch (const std::bad_alloc&) {
            error = platform::PlatformError(7, "メモリが不足しています。");
            stage = Failed;
        } catch (const Stopped&) {
            stage = Ended;
        }
    }
};

frm_compare::frm_compare(platform::FileSystem& fs, const platform::Codec& codec, CompareFile older, CompareFile newer)
    : older_(std::move(older)), newer_(std::move(newer)), fs_(fs), codec_(codec) {
    caption = " mabrel9-iv 比較";
    lblOlder.caption = older_.title;
    lblNewer.caption = newer_.title;
    lblStatus.caption = "読み込み中…";
    prgProgress.visible = false;
    cmdPrevious.caption = "前の変更";
    cmdNext.caption = "次の変更";
    cmdClose.caption = "閉じる";
    cmdPrevious.enabled = cmdNext.enabled = false;
    grdRows.tabIndex = 0;
    cmdNext.tabIndex = 1;
    cmdPrevious.tabIndex = 2;
    cmdClose.tabIndex = 3;
    Form_Resize();
}

frm_compare::~frm_compare() { Form_Unload(); }

void frm_compare::Form_Load() {
    if (job_) return;
    job_ = std::make_unique<Job>();
    Job& job = *job_;
    job.thread = std::thread([&job, this, older = older_, newer = newer_] {
        job.run(fs_, codec_, older, newer);
    });
}

void frm_compare::Form_Resize() {
    constexpr int kMargin = 90, kButtonWidth = 1200, kButtonHeight = 375, kTitleHeight = 480;
    const int w = std::max(clientWidth, 6000), h = std::max(clientHeight, 3000);
    const int half = (w - 3 * kMargin) / 2;
    lblOlder.geometry = {kMargin, kMargin, half, kTitleHeight};
    lblNewer.geometry = {2 * kMargin + half, kMargin, half, kTitleHeight};
    const int bottom = h - kMargin - kButtonHeight;
    grdRows.geometry = {kMargin, 2 * kMargin + kTitleHeight, w - 2 * kMargin, bottom - 3 * kMargin - kTitleHeight};
    int left = w - kMargin - kButtonWidth;
    cmdClose.geometry = {left, bottom, kButtonWidth, kButtonHeight};
    left -= kMargin + kButtonWidth;
    cmdNext.geometry = {left, bottom, kButtonWidth, kButtonHeight};
    left -= kMargin + kButtonWidth;
    cmdPrevious.geometry = {left, bottom, kButtonWidth, kButtonHeight};
    const int statusWidth = std::max(0, left - 2 * kMargin);
    lblStatus.geometry = {kMargin, bottom + 60, statusWidth / 2, kButtonHeight - 60};
    prgProgress.geometry = {kMargin + statusWidth / 2, bottom + 60, statusWidth / 2, kButtonHeight - 120};
}

bool frm_compare::Timer_Tick(int elapsedMs) {
    if (!job_ || outcome_ != Outcome::Pending) return false;
    const int stage = job_->stage.load();
    switch (stage) {
    case Job::Reading:
    case Job::Comparing: {
        bool changed = false;
        if (!visible && (stage == Job::Comparing || elapsedMs >= kShowAfterMs)) visible = changed = true;
        if (stage == Job::Comparing && lblStatus.caption != "比較中…") {
            lblStatus.caption = "比較中…";
            changed = true;
        }
        const int permille = job_->permille.load();
        if (elapsedMs >= kProgressAfterMs) {
            changed = changed || !prgProgress.visible || progress != permille;
            prgProgress.visible = true;
            progress = permille;
        }
        return changed;
    }
    case Job::Done:
        job_->thread.join();
        comparison_ = std::move(job_->result);
        job_.reset();
        outcome_ = Outcome::Shown;
        visible = true;
        lblOlder.caption = older_.title + "\n" + backup::describeText(comparison_->older);
        lblNewer.caption = newer_.title + "\n" + backup::describeText(comparison_->newer);
        prgProgress.visible = false;
        showCount();
        if (!comparison_->changes.empty()) goToChange(0);
        return true;
    case Job::NotText:
    case Job::Failed:
        job_->thread.join();
        error_ = std::move(job_->error);
        job_.reset();
        outcome_ = stage == Job::NotText ? Outcome::NotText : Outcome::Failed;
        unloaded = true;
        return true;
    default:
        return false;
    }
}

void frm_compare::showCount() {
    const std::size_t n = comparison_->changes.size();
    if (n == 0) {
        lblStatus.caption = "相違はありません。";
    } else if (currentChange < 0) {
        lblStatus.caption = "変更 " + std::to_string(n) + " か所";
    } else {
        lblStatus.caption =
            "変更 " + std::to_string(n) + " か所（" + std::to_string(currentChange + 1) + " 番目）";
    }
    cmdPrevious.enabled = n > 0 && currentChange > 0;
    cmdNext.enabled = n > 0 && currentChange + 1 < static_cast<int>(n);
}

void frm_compare::goToChange(int index) {
    if (!comparison_ || index < 0 || index >= static_cast<int>(comparison_->changes.size())) return;
    currentChange = index;
    ++scrollRequests;
    showCount();
}

int frm_compare::currentRow() const {
    if (!comparison_ || currentChange < 0) return -1;
    return comparison_->changes[static_cast<std::size_t>(currentChange)];
}

void frm_compare::cmdNext_Click() { goToChange(currentChange + 1); }

void frm_compare::cmdPrevious_Click() { goToChange(currentChange - 1); }

void frm_compare::cmdClose_Click() {
    Form_Unload();
    unloaded = true;
}

void frm_compare::Form_Unload() {
    if (!job_) return;
    job_->stop = true;
    job_->thread.join();
    stopped_ = job_->stage == Job::Ended;
    job_.reset();
}

}  // namespace mabrel
