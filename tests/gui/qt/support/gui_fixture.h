// The real main window over a real temporary folder: native file system,
// Qt widgets on the offscreen platform, a process of its own whose
// executable folder is another temporary folder (its own settings file and
// help page). The desktop's shell is replaced by a recorder; copies can be
// held half-way, as on a slow medium.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "gui/qt/file_list_model.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_interaction.h"
#include "platform/forwarding_filesystem.h"
#include "platform/native.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/modal_script.h"
#include "support/temp_dir.h"

namespace mabrel::gui::test {

using mabrel::test::TempDir;

class FixedProcess : public platform::Process {
public:
    std::string exeFolder;
    std::string commandLineText;
    std::string currentDir;

    bool claimSingleInstance(const std::string&) override { return true; }
    std::string executableFolder() override { return exeFolder; }
    std::string executableBaseName() override { return "mabrel9-iv"; }
    std::string commandLine() override { return commandLineText; }
    std::string currentDirectory() override { return currentDir; }
    platform::LocalTime now() override { return {2026, 12, 5, 9, 0, 0}; }
    std::int64_t utcNow() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

// The machine's file system, one of whose copies can stop after its first
// piece, telling of its progress meanwhile, until released or cancelled: a
// copy from a slow medium, as long as a test needs it.
class HoldingFileSystem : public platform::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    // Holds the nth copy from now (1: the next one).
    void holdCopy(int n = 1) { held_ = copies_ + n; }
    void release() { held_ = 0; }

private:
    platform::CopyProgress progressFor(const platform::CopyProgress& progress) override {
        if (!progress) return progress;
        // Numbered at their first report: an attempt that failed at once is no copy.
        return [this, progress, number = 0](std::uint64_t copied, std::uint64_t total) mutable {
            if (number == 0) number = ++copies_;
            while (held_ == number && copied > 0 && copied < total) {
                if (!progress(copied, total)) return false;
                QThread::msleep(5);
            }
            return progress(copied, total);
        };
    }
    int copies_ = 0;
    int held_ = 0;
};

inline std::string withoutTrailingSeparator(const std::string& path) {
    return path.size() > 1 && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}

class GuiWindowTest : public ::testing::Test {
protected:
    GuiWindowTest() {
        process.exeFolder = withoutTrailingSeparator(exeDir.drivePath());
        process.currentDir = withoutTrailingSeparator(work.drivePath());
        ui.setShellOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }

    // Builds the window and starts it on the work folder, or on a command line.
    void start() { startOn(work.drivePath()); }
    void startOn(const std::string& commandLine) {
        process.commandLineText = commandLine;
        window = std::make_unique<MainWindow>(model, ui);
        ASSERT_TRUE(window->start());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // The view's row showing `name` (a backup row when `backup`); -1 for none.
    int viewRow(const std::string& name, bool backup = false) const {
        const auto& rows = window->listModel()->rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].cells[0] == name && (rows[i].cells[3] == "*") == backup) return static_cast<int>(i);
        }
        return -1;
    }
    QPoint rowPoint(int row) const {
        return window->lvwFiles()->visualRect(window->listModel()->index(row, 0)).center();
    }
    void clickRow(int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(window->lvwFiles()->viewport(), Qt::LeftButton, mods, rowPoint(row));
    }
    void doubleClickRow(int row) {
        QTest::mouseDClick(window->lvwFiles()->viewport(), Qt::LeftButton, {}, rowPoint(row));
    }
    void rightClickRow(int row) { QTest::mouseClick(window->lvwFiles()->viewport(), Qt::RightButton, {}, rowPoint(row)); }
    QString cell(int row, int column) const {
        return window->listModel()->data(window->listModel()->index(row, column), Qt::DisplayRole).toString();
    }
    // Clicks the header of a 1-based column.
    void clickHeader(int column) {
        QHeaderView* h = window->lvwFiles()->horizontalHeader();
        const int x = h->sectionViewportPosition(column - 1) + h->sectionSize(column - 1) / 2;
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
    }

    std::filesystem::path backupDir() const { return work.path() / "_mabre-l94"; }
    std::vector<std::string> backupNames() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(backupDir(), ec)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path settingsFile() const { return exeDir.path() / "mabrel9-iv.ini"; }
    std::string ansi(const std::string& utf8) const { return *codec->toAnsi(utf8); }

    TempDir exeDir;
    TempDir work;
    std::unique_ptr<platform::FileSystem> native = platform::makeNativeFileSystem();
    HoldingFileSystem holding{*native};
    platform::FileSystem* fs = &holding;
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    ProcessState state;
    FixedProcess process;
    QtInteraction ui{*fs};
    std::vector<QUrl> opened;
    frm_mabrel94 model{state, *fs, *codec, process, ui};
    std::unique_ptr<MainWindow> window;
    ModalScript script;
};

}  // namespace mabrel::gui::test
