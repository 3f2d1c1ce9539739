// The actions on rows of the file list (open, restore, delete, comment) and
// the context menu that offers them. Each runs under its own error trap, so a
// failure is shown and the action ends with what was done before kept.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/error_trap.h"
#include "app/frm_mabrel94.h"
#include "backup/backup_store.h"
#include "backup/frm_rclick.h"
#include "platform/errors.h"
#include "settings/ext_filter.h"

namespace mabrel {

namespace {

constexpr int kNameColumn = 0;
constexpr int kTimestampColumn = 1;
constexpr int kBackupMarkColumn = 3;
constexpr int kCommentColumn = 4;

constexpr char kOpenRefused[] = "ｍａｂｒｅｌ９４から開くことが禁止されています。";
constexpr char kNotABackup[] = "ｍａｂｒｅｌ９バックアップファイルではありません。";
constexpr char kRestoredButReadOnly[] = "（ファイルは復活しましたが、読み取り専用のままです。）";
constexpr char kBadCommentChars[] = "コメントの中に「,」「\"」文字を含むことはできません。";

const ListItem& rowAt(const ListView& list, int row) {
    if (row < 0 || row >= static_cast<int>(list.rows.size())) {
        throw platform::PlatformError(platform::err::IndexOutOfRange);
    }
    return list.rows[static_cast<std::size_t>(row)];
}

bool isBackupRow(const ListItem& item) { return !item.cells[kBackupMarkColumn].empty(); }

// The file `name` of the folder `folder` (drive form) for the desktop.
// `ownBytes`: a name that is not UTF-8, handed on as its own bytes.
ShellRequest openRequest(const std::string& folder, const std::string& name, bool ownBytes) {
    ShellRequest request;
    request.owner = "frm_mabrel94";
    request.operation = "open";
    request.file = folder + name;
    if (ownBytes) request.ownName = name;
    request.showCommand = 3;
    return request;
}

// The copies of one action on one file, reported to the person, who may
// cancel them; any progress window closes when the copies are over.
class CopyReport {
public:
    CopyReport(Interaction& ui, std::string fileName) : ui_(ui), fileName_(std::move(fileName)) {}
    ~CopyReport() { ui_.copyProgressEnd(); }
    CopyReport(const CopyReport&) = delete;
    CopyReport& operator=(const CopyReport&) = delete;
    platform::CopyProgress progress() const {
        return [this](std::uint64_t copied, std::uint64_t total) { return ui_.copyProgress(fileName_, copied, total); };
    }

private:
    Interaction& ui_;
    std::string fileName_;
};

// A comment is one line of the comment file: a line break would split it
// into records of its own.
std::string onOneLine(std::string text) {
    for (auto& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// Asks for the row's new comment until it holds neither "," nor a double
// quote. True when a text was confirmed and stored; Cancel keeps the comment.
bool editComment(Interaction& ui, ListView& list, int row) {
    bool confirmed = false;
    runTrapped(ui, "fun_aEditComment", [&] {
        std::string text = rowAt(list, row).cells[kCommentColumn];
        for (;;) {
            auto answer = ui.inputBox("現在のコメント: " + text, "コメントをつける", text);
            if (!answer) return;
            text = onOneLine(*answer);
            if (text.find_first_of(",\"") == std::string::npos) break;
            ui.messageBox(kBadCommentChars);
        }
        list.rows[static_cast<std::size_t>(row)].cells[kCommentColumn] = text;
        confirmed = true;
    });
    return confirmed;
}

}  // namespace

void frm_mabrel94::fun_aOpen(int row) {
    runTrapped(ui_, "fun_aOpen", [&] {
        const ListItem item = rowAt(lvwFiles, row);
        const std::string& shown = item.cells[kNameColumn];
        // Every operation by the name's own bytes; the person reads it decoded.
        const std::string& name = lvwFiles.nameOf(item);
        if (!settings::filterAllows(state_.exceptionExtList2Mode, state_.exceptionExtList2, shown)) {
            ui_.messageBox(kOpenRefused);
            return;
        }
        ShellRequest request;
        if (isBackupRow(item)) {
            request = openRequest(backup::backupDirectoryPath(state_.p_driveAndPath) + "\\",
                                  backup::backupCopyName(name, item.cells[kTimestampColumn]), item.ownName != 0);
        } else {
            // No edit without its copy: a failure or a cancel here ends the
            // action before the file is handed to the shell.
            const CopyReport report(ui_, shown);
            const auto folder = fs_.openDirectory(state_.p_driveAndPath);
            std::unique_ptr<platform::Directory> backupDir;
            backup::takeBackupCopy(*folder, backupDir, name, report.progress());
            request = openRequest(state_.p_driveAndPath, name, item.ownName != 0);
        }
        ui_.shellExecute(request);
        reloadOnRestore = true;
        minimisedSinceOpen_ = false;
        setWindowState(WindowState::Minimized);
    });
}

void frm_mabrel94::fun_aResume(int row) {
    runTrapped(ui_, "fun_aResume", [&] {
        const ListItem item = rowAt(lvwFiles, row);
        if (!isBackupRow(item)) {
            ui_.messageBox(kNotABackup);
            return;
        }
        const std::string& name = lvwFiles.nameOf(item);
        const auto folder = fs_.openDirectory(state_.p_driveAndPath);
        {
            const CopyReport report(ui_, item.cells[kNameColumn]);
            // The present version is secured before anything overwrites it.
            std::unique_ptr<platform::Directory> backupDir;
            backup::takeBackupCopy(*folder, backupDir, name, report.progress());
            folder->copyFile(*backupDir, backup::backupCopyName(name, item.cells[kTimestampColumn]), name,
                             report.progress());
        }
        // The copy brings the backup's read-only attribute along.
        try {
            folder->setAttributes(name, platform::attr::Archive);
        } catch (const platform::PlatformError& e) {
            throw platform::PlatformError(e.number(), e.description() + kRestoredButReadOnly);
        }
    });
}

void frm_mabrel94::fun_aDelete(int row) {
    runTrapped(ui_, "fun_aDelete", [&] {
        const ListItem item = rowAt(lvwFiles, row);
        if (!isBackupRow(item)) {
            ui_.messageBox(kNotABackup);
            return;
        }
        const auto folder = fs_.openDirectory(state_.p_driveAndPath);
        const auto backupDir = backup::openBackupDirectory(*folder, false);
        // Read-only cleared and deleted in one: a copy that stays stays read-only.
        backupDir->deleteCopy(backup::backupCopyName(lvwFiles.nameOf(item), item.cells[kTimestampColumn]));
    });
}

void frm_mabrel94::fun_aEditComment(int row) { editComment(ui_, lvwFiles, row); }

void frm_mabrel94::fun_rClick() {
    runTrapped(ui_, "fun_rClick", [&] {
        try {
            const int selected = lvwFiles.selectedItem;
            if (selected < 0 || selected >= static_cast<int>(lvwFiles.rows.size())) return;

            std::vector<int> selectedRows;
            for (std::size_t i = 0; i < lvwFiles.rows.size(); ++i) {
                if (lvwFiles.rows[i].selected) selectedRows.push_back(static_cast<int>(i));
            }
            const bool single = selectedRows.size() == 1;

            frm_rclick menu(state_);
            menu.Command1[frm_rclick::kComment].enabled = single;
            menu.Command1[frm_rclick::kRestore].enabled = single;
            menu.Command1[frm_rclick::kDelete].enabled = true;
            menu.Command1[frm_rclick::kCancel].enabled = true;
            menu.Command1[frm_rclick::kCompare].enabled = canCompare();
            state_.p_dialogResult = 0;
            ui_.showModal(menu);

            switch (state_.p_dialogResult) {
            case frm_rclick::kComment:
                if (!single) return;
                // A cancelled edit changed nothing, so there is nothing to write.
                if (editComment(ui_, lvwFiles, selected)) saveCommentFile();
                break;
            case frm_rclick::kRestore:
                if (!single) return;
                fun_aResume(selected);
                reloadKeepingTyped();  // a folder comment typed meanwhile is not lost
                break;
            case frm_rclick::kDelete:
                // Each row reports its own refusal or failure; the rest go on.
                for (int r : selectedRows) fun_aDelete(r);
                reloadKeepingTyped();
                break;
            case frm_rclick::kCompare:
                fun_aCompare();  // reads only: nothing to save or reload
                break;
            default:
                break;
            }
        } catch (const platform::PlatformError& e) {
            // The menu is already shown: nothing to do.
            if (e.number() == platform::err::AlreadyModal) return;
            throw;
        }
    });
}

}  // namespace mabrel
