// Comparing a kept version with the file as it is now, or two rows with
// each other: text, Excel and Word files in the compare window, anything
// else in the machine's compare tool. Both files are only read.
#include <string>
#include <vector>

#include "app/error_trap.h"
#include "app/frm_mabrel94.h"
#include "backup/backup_store.h"
#include "backup/frm_compare.h"
#include "platform/errors.h"
#include "util/text.h"

namespace mabrel {

namespace {

constexpr int kNameColumn = 0;
constexpr int kTimestampColumn = 1;
constexpr int kBackupMarkColumn = 3;

constexpr char kChooseRows[] = "比べる版を選んでください（バックアップの行を一つ、またはファイルやバックアップの行を二つ）。";

struct Version {
    CompareFile file;
    std::string timestamp;
    bool backup = false;
};

std::vector<int> selectedRows(const ListView& list) {
    std::vector<int> rows;
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        if (list.rows[i].selected) rows.push_back(static_cast<int>(i));
    }
    return rows;
}

bool isBackup(const ListItem& item) { return !item.cells[kBackupMarkColumn].empty(); }

// `name` the file's own bytes, `shown` as the person reads it.
Version versionOf(const std::string& folder, const std::string& name, const std::string& shown,
                  const std::string& timestamp, bool backup) {
    Version v;
    v.timestamp = timestamp;
    v.backup = backup;
    v.file.folder = folder;
    v.file.backup = backup;
    v.file.name = backup ? backup::backupCopyName(name, timestamp) : name;
    v.file.path = backup ? backup::backupCopyPathOfRow(folder, name, timestamp) : folder + name;
    v.file.title = shown + "　" + timestamp + (backup ? "（バックアップ）" : "（現在のファイル）");
    v.file.shown = shown;
    v.file.label = shown + (backup ? "（バックアップ）" : "（現在のファイル）");
    return v;
}

// `reason` as the end of a sentence; empty for files that are no text.
std::string noToolMessage(const std::string& tools, const std::string& reason) {
    return "このファイルは比較ツールで比べます（" + (reason.empty() ? std::string("文字のファイルでないか、64 MB より大きいため") : reason) +
           "）。比較ツール（" + tools + "）がインストールされていません。";
}

}  // namespace

bool frm_mabrel94::canCompare() const {
    const std::vector<int> rows = selectedRows(lvwFiles);
    if (rows.size() == 2) return true;
    return rows.size() == 1 && isBackup(lvwFiles.rows[static_cast<std::size_t>(rows[0])]);
}

void frm_mabrel94::fun_aCompare() {
    runTrapped(ui_, "fun_aCompare", [&] {
        if (!canCompare()) {
            ui_.messageBox(kChooseRows);
            return;
        }
        const std::string& folder = state_.p_driveAndPath;
        std::vector<Version> versions;
        for (const int r : selectedRows(lvwFiles)) {
            const ListItem& item = lvwFiles.rows[static_cast<std::size_t>(r)];
            versions.push_back(versionOf(folder, lvwFiles.nameOf(item), item.cells[kNameColumn],
                                         item.cells[kTimestampColumn], isBackup(item)));
        }
        if (versions.size() == 1) {
            // The file as it is now, which may have changed since the list was read.
            const ListItem& item = lvwFiles.rows[static_cast<std::size_t>(selectedRows(lvwFiles)[0])];
            const std::string& name = lvwFiles.nameOf(item);
            const auto present = fs_.openDirectory(folder)->find(name, platform::attr::Hidden | platform::attr::System);
            if (!present) {
                ui_.messageBox(item.cells[kNameColumn] + "（現在のファイル）が見つかりません。");
                fun_Load();
                return;
            }
            versions.push_back(
                versionOf(folder, name, item.cells[kNameColumn], util::formatTimestamp(present->modified), false));
        }
        // The older on the left; of two of one time (a file restored from
        // a copy), the copy.
        if (versions[1].timestamp < versions[0].timestamp ||
            (versions[1].timestamp == versions[0].timestamp && versions[1].backup && !versions[0].backup)) {
            std::swap(versions[0], versions[1]);
        }

        frm_compare window(fs_, codec_, versions[0].file, versions[1].file);
        ui_.showModal(window);
        switch (window.outcome()) {
        case frm_compare::Outcome::Failed:
            ui_.messageBox(window.errorMessage());
            // What is gone goes from the list too.
            if (window.fileGone()) fun_Load();
            break;
        case frm_compare::Outcome::NotText: {
            CompareToolRequest request;
            request.older = versions[0].file.path;
            request.newer = versions[1].file.path;
            request.olderTitle = versions[0].file.title;
            request.newerTitle = versions[1].file.title;
            if (!ui_.openInCompareTool(request)) ui_.messageBox(noToolMessage(ui_.compareToolNames(), window.notTextReason()));
            break;
        }
        default:
            break;  // shown, or closed before it was done
        }
    });
}

}  // namespace mabrel
