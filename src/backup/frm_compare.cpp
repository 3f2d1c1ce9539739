#include "backup/frm_compare.h"

#include "backup/backup_store.h"
#include "backup/office_text.h"
#include "platform/errors.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <future>
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

// Characters of a text as shown (where the front end measures a place).
int columnsOf(std::string_view shown) {
    int n = 0;
    for (const char c : shown) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

// The one place the compared files are read: whole, through the platform
// layer, which opens them for reading only and shares them with any writer.
// Nothing when the file is too large or no text; `problem` then says why
// if there is more to say than that. Excel and Word files are compared as
// the lines their reader takes out of them.
std::optional<backup::TextFile> readCompared(platform::FileSystem& fs, const platform::Codec& codec,
                                             const CompareFile& file, std::string& problem) {
    const auto folder = fs.openDirectory(file.folder);
    std::unique_ptr<platform::Directory> backupDir;
    if (file.backup) backupDir = backup::openBackupDirectory(*folder, false);
    platform::Directory& where = backupDir ? *backupDir : *folder;
    const auto entry = where.find(file.name, platform::attr::Hidden | platform::attr::System);
    if (!entry) throw platform::PlatformError(platform::err::FileNotFound);
    if (entry->size > backup::kTextCompareLimit) return std::nullopt;
    std::string bytes = where.readFile(file.name);
    if (static_cast<std::int64_t>(bytes.size()) > backup::kTextCompareLimit) return std::nullopt;
    switch (const backup::OfficeKind kind = backup::officeKindOf(file.name)) {
    case backup::OfficeKind::Workbook:
    case backup::OfficeKind::Document: {
        backup::OfficeText office = backup::readOfficeText(kind, bytes);
        problem = std::move(office.problem);
        return std::move(office.file);
    }
    case backup::OfficeKind::OldWorkbook:
    case backup::OfficeKind::OldDocument:
        problem = "古い形式（.xls や .doc）のため";
        return std::nullopt;
    case backup::OfficeKind::None:
        break;
    }
    return backup::readAsText(codec, std::move(bytes));
}

bool isOffice(const CompareFile& file) {
    const backup::OfficeKind kind = backup::officeKindOf(file.name);
    return kind == backup::OfficeKind::Workbook || kind == backup::OfficeKind::Document;
}

std::string describe(const CompareFile& file, const backup::TextFile& text) {
    return isOffice(file) ? backup::describeOffice(backup::officeKindOf(file.name)) : backup::describeText(text);
}

}  // namespace

struct frm_compare::Job {
    enum Stage { Reading, Comparing, Done, NotText, Failed, Ended };
    std::atomic<bool> stop{false};
    std::atomic<int> stage{Reading};
    std::atomic<int> permille{-1};
    // Texts read before (compared again under other options); null: read them.
    std::unique_ptr<backup::TextFile> olderText, newerText;
    backup::CompareOptions options;
    // Written by the thread before it sets the stage that tells of them.
    std::unique_ptr<backup::TextComparison> result;
    std::optional<platform::PlatformError> error;
    bool newerFailed = false;
    std::string problem;  // why a file is not compared here
    std::thread thread;

    void run(platform::FileSystem& fs, const platform::Codec& codec, const CompareFile& olderFile,
             const CompareFile& newerFile) {
        try {
            if (!olderText) {
                // Two Excel or Word files are read side by side: unpacking
                // and parsing them is most of the work.
                const bool together = isOffice(olderFile) && isOffice(newerFile);
                std::string newerProblem;
                std::future<std::optional<backup::TextFile>> newerRead;
                if (together) {
                    newerRead = std::async(std::launch::async, [&] { return readCompared(fs, codec, newerFile, newerProblem); });
                }
                auto older = readCompared(fs, codec, olderFile, problem);
                if (stop) throw Stopped{};
                newerFailed = true;
                auto newer = together ? newerRead.get() : std::nullopt;
                if (!together && older) newer = readCompared(fs, codec, newerFile, problem);
                newerFailed = false;
                if (problem.empty()) problem = std::move(newerProblem);
                if (!older || !newer) {
                    stage = NotText;
                    return;
                }
                olderText = std::make_unique<backup::TextFile>(std::move(*older));
                newerText = std::make_unique<backup::TextFile>(std::move(*newer));
            }
            stage = Comparing;
            result = std::make_unique<backup::TextComparison>(backup::compareTexts(
                std::move(*olderText), std::move(*newerText), options, [this](int p) {
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
    const std::string& name = newer_.shown.empty() ? newer_.title : newer_.shown;
    caption = (older_.shown.empty() || older_.shown == name ? name : older_.shown + " と " + name) +
              " の比較 — mabrel9-iv";
    lblOlder.caption = older_.title;
    lblNewer.caption = newer_.title;
    lblStatus.caption = "読み込み中…";
    prgProgress.visible = false;
    cmdPrevious.caption = "前の変更";
    cmdNext.caption = "次の変更";
    cmdClose.caption = "閉じる";
    chkIgnoreWhitespace.caption = "空白の違いを無視";
    chkIgnoreLineEnds.caption = "改行の違いを無視";
    txtFind.caption = "検索（Ctrl+F）";
    chkIgnoreWhitespace.enabled = chkIgnoreLineEnds.enabled = false;
    cmdPrevious.enabled = cmdNext.enabled = false;
    grdNewer.tabIndex = 0;
    grdOlder.tabIndex = 1;
    txtFind.tabIndex = 2;
    cmdNext.tabIndex = 3;
    cmdPrevious.tabIndex = 4;
    cmdClose.tabIndex = 5;
    Form_Resize();
}

frm_compare::~frm_compare() { Form_Unload(); }

void frm_compare::Form_Load() {
    if (job_ || comparison_) return;
    startJob(nullptr, nullptr);
}

void frm_compare::startJob(std::unique_ptr<backup::TextFile> older, std::unique_ptr<backup::TextFile> newer) {
    job_ = std::make_unique<Job>();
    Job& job = *job_;
    job.olderText = std::move(older);
    job.newerText = std::move(newer);
    job.options = options;
    job.thread = std::thread([&job, this, older = older_, newer = newer_] {
        job.run(fs_, codec_, older, newer);
    });
}

void frm_compare::chkIgnoreWhitespace_Click() {
    options.ignoreWhitespace = !options.ignoreWhitespace;
    optionsChanged();
}

void frm_compare::chkIgnoreLineEnds_Click() {
    options.ignoreLineEnds = !options.ignoreLineEnds;
    optionsChanged();
}

void frm_compare::optionsChanged() {
    // Before the first comparison is done the job takes the options it finds.
    if (!comparison_ || job_) return;
    startJob(std::make_unique<backup::TextFile>(comparison_->older), std::make_unique<backup::TextFile>(comparison_->newer));
    lblStatus.caption = "比較中…";
    chkIgnoreWhitespace.enabled = chkIgnoreLineEnds.enabled = false;
    cmdPrevious.enabled = cmdNext.enabled = false;
}

void frm_compare::Form_Resize() {
    constexpr int kMargin = 90, kButtonWidth = 1200, kButtonHeight = 375, kTitleHeight = 480, kStripWidth = 240,
                  kOptionWidth = 2400;
    const int w = std::max(clientWidth, 6000), h = std::max(clientHeight, 3000);
    const int bottom = h - kMargin - kButtonHeight;
    const int optionsTop = bottom - kMargin - kButtonHeight;
    const int gridTop = 2 * kMargin + kTitleHeight;
    const int gridsWidth = w - 3 * kMargin - kStripWidth;
    const int half = (gridsWidth - kMargin) / 2;
    const int gridHeight = optionsTop - kMargin - gridTop;
    lblOlder.geometry = {kMargin, kMargin, half, kTitleHeight};
    lblNewer.geometry = {2 * kMargin + half, kMargin, half, kTitleHeight};
    grdOlder.geometry = {kMargin, gridTop, half, gridHeight};
    grdNewer.geometry = {2 * kMargin + half, gridTop, gridsWidth - half - kMargin, gridHeight};
    picChanges.geometry = {w - kMargin - kStripWidth, gridTop, kStripWidth, gridHeight};
    chkIgnoreWhitespace.geometry = {kMargin, optionsTop, kOptionWidth, kButtonHeight};
    chkIgnoreLineEnds.geometry = {2 * kMargin + kOptionWidth, optionsTop, kOptionWidth, kButtonHeight};
    const int findLeft = 3 * kMargin + 2 * kOptionWidth;
    txtFind.geometry = {findLeft, optionsTop, std::max(600, std::min(3600, w - kMargin - findLeft)), kButtonHeight};
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
    if (!job_) return false;
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
    case Job::Done: {
        job_->thread.join();
        comparison_ = std::move(job_->result);
        const bool optionsAsShown = job_->options.ignoreWhitespace == options.ignoreWhitespace &&
                                    job_->options.ignoreLineEnds == options.ignoreLineEnds;
        job_.reset();
        currentChange = -1;
        chkIgnoreWhitespace.enabled = chkIgnoreLineEnds.enabled = true;
        outcome_ = Outcome::Shown;
        visible = true;
        lblOlder.caption = older_.title + "\n" + describe(older_, comparison_->older);
        lblNewer.caption = newer_.title + "\n" + describe(newer_, comparison_->newer);
        prgProgress.visible = false;
        showCount();
        if (!comparison_->changes.empty()) goToChange(0);
        // Changed while it compared: once more with the options as they are.
        if (!optionsAsShown) optionsChanged();
        return true;
    }
    case Job::NotText:
    case Job::Failed:
        job_->thread.join();
        error_ = std::move(job_->error);
        failed_ = job_->newerFailed ? &newer_ : &older_;
        notTextReason_ = std::move(job_->problem);
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
        lblStatus.caption = backup::sameSentence(*comparison_);
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
    clickedRow_ = -1;
    // The first changed character in view: on the newer side, or the older
    // where the newer has no line.
    const int row = comparison_->changes[static_cast<std::size_t>(index)];
    const auto& r = comparison_->rows[static_cast<std::size_t>(row)];
    place = {row, r.right >= 0, 0, 0};
    for (const backup::Run& run : comparison_->runs(static_cast<std::size_t>(row), place.newerSide)) {
        if (run.changed) {
            place.length = columnsOf(run.text);
            break;
        }
        place.column += columnsOf(run.text);
    }
    ++scrollRequests;
    showCount();
}

int frm_compare::currentRow() const {
    if (!comparison_ || currentChange < 0) return -1;
    return comparison_->changes[static_cast<std::size_t>(currentChange)];
}

void frm_compare::cmdNext_Click() {
    if (clickedRow_ < 0) return goToChange(currentChange + 1);
    const auto& changes = comparison_->changes;
    goToChange(static_cast<int>(std::upper_bound(changes.begin(), changes.end(), clickedRow_) - changes.begin()));
}

void frm_compare::cmdPrevious_Click() {
    if (clickedRow_ < 0) return goToChange(currentChange - 1);
    const auto& changes = comparison_->changes;
    goToChange(static_cast<int>(std::lower_bound(changes.begin(), changes.end(), clickedRow_) - changes.begin()) - 1);
}

void frm_compare::grdRows_Click(int row) {
    if (!comparison_ || row < 0 || row >= static_cast<int>(comparison_->rows.size())) return;
    const auto& changes = comparison_->changes;
    const int before = static_cast<int>(std::upper_bound(changes.begin(), changes.end(), row) - changes.begin()) - 1;
    bool inChange = comparison_->rows[static_cast<std::size_t>(row)].kind != backup::RowKind::Same;
    if (inChange && before >= 0) {
        clickedRow_ = -1;
        currentChange = before;
    } else {
        clickedRow_ = row;
        currentChange = -1;
    }
    place = {row, place.newerSide, 0, 0};
    showCount();
    if (clickedRow_ >= 0) {
        cmdNext.enabled = !changes.empty() && changes.back() > row;
        cmdPrevious.enabled = !changes.empty() && changes.front() < row;
    }
}

void frm_compare::picChanges_Click(double fraction) {
    if (!comparison_ || comparison_->changes.empty()) return;
    const auto& changes = comparison_->changes;
    const double row = fraction * static_cast<double>(comparison_->rows.size());
    int nearest = 0;
    for (std::size_t i = 1; i < changes.size(); ++i) {
        if (std::abs(changes[i] - row) < std::abs(changes[static_cast<std::size_t>(nearest)] - row)) nearest = static_cast<int>(i);
    }
    clickedRow_ = -1;
    goToChange(nearest);
}

bool frm_compare::find(const std::string& text, bool forward) {
    if (!comparison_ || text.empty()) return false;
    const auto& c = *comparison_;
    const int rows = static_cast<int>(c.rows.size());
    if (rows == 0) return false;
    // Places in order: each row's older side, then its newer side.
    const int slots = rows * 2;
    int at = place.row < 0 ? (forward ? -1 : slots) : place.row * 2 + (place.newerSide ? 1 : 0);
    for (int k = 0; k < slots; ++k) {
        at = ((forward ? at + 1 : at - 1) % slots + slots) % slots;
        const int row = at / 2;
        const bool newerSide = at % 2 == 1;
        const auto& r = c.rows[static_cast<std::size_t>(row)];
        const int index = newerSide ? r.right : r.left;
        if (index < 0) continue;
        const auto& file = newerSide ? c.newer : c.older;
        const std::string_view line = file.line(static_cast<std::size_t>(index));
        if (line.find(text) == std::string_view::npos) continue;
        std::string shown;
        for (const backup::Run& run : c.runs(static_cast<std::size_t>(row), newerSide)) shown += run.text;
        const std::size_t found = shown.find(text);
        // Alt+Down and Alt+Up go on from the line found, as from a line clicked.
        grdRows_Click(row);
        place = {row, newerSide, found == std::string::npos ? 0 : columnsOf(std::string_view(shown).substr(0, found)),
                 columnsOf(text)};
        ++scrollRequests;
        return true;
    }
    return false;
}

std::string frm_compare::copyText(int firstRow, int lastRow, bool newerSide) const {
    std::string out;
    if (!comparison_) return out;
    const auto& c = *comparison_;
    const int last = std::min(lastRow, static_cast<int>(c.rows.size()) - 1);
    for (int row = std::max(firstRow, 0); row <= last; ++row) {
        const int index = newerSide ? c.rows[static_cast<std::size_t>(row)].right : c.rows[static_cast<std::size_t>(row)].left;
        if (index < 0) continue;
        out += (newerSide ? c.newer : c.older).line(static_cast<std::size_t>(index));
        out += '\n';
    }
    return out;
}

std::vector<frm_compare::StripMark> frm_compare::stripMarks() const {
    std::vector<StripMark> marks;
    if (!comparison_ || comparison_->rows.empty()) return marks;
    const auto& rows = comparison_->rows;
    const double n = static_cast<double>(rows.size());
    for (const std::int32_t first : comparison_->changes) {
        std::size_t end = static_cast<std::size_t>(first);
        backup::RowKind kind = rows[end].kind;
        while (end < rows.size() && rows[end].kind != backup::RowKind::Same) {
            if (rows[end].kind != kind) kind = backup::RowKind::Changed;
            ++end;
        }
        marks.push_back({first / n, static_cast<double>(end) / n, kind});
    }
    return marks;
}

namespace {
std::optional<ComparePlacement> lastPlacement;
}

ComparePlacement comparePlacement(const ComparePlacement& mainWindow) { return lastPlacement.value_or(mainWindow); }

void rememberComparePlacement(const ComparePlacement& placement) { lastPlacement = placement; }

void frm_compare::cmdClose_Click() {
    Form_Unload();
    unloaded = true;
}

std::string frm_compare::errorMessage() const {
    if (!error_ || !failed_) return {};
    const std::string& who = failed_->label.empty() ? failed_->title : failed_->label;
    if (fileGone()) return who + "が見つかりません。";
    return who + "を読めません。" + error_->description();
}

bool frm_compare::fileGone() const {
    return error_ && (error_->number() == platform::err::FileNotFound || error_->number() == platform::err::PathNotFound);
}

void frm_compare::Form_Unload() {
    if (!job_) return;
    job_->stop = true;
    job_->thread.join();
    stopped_ = job_->stage == Job::Ended;
    job_.reset();
}

}  // namespace mabrel
