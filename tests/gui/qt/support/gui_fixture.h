// The real main window over a real temporary folder: native file system,
// Qt widgets, a process whose executable folder is another temporary folder
// (its own settings file and help page). The desktop's shell is replaced by
// a recorder; copies can be held half-way, as on a slow medium.
#pragma once

#include <gtest/gtest.h>

#include <QThread>
#include <QUrl>
#include <ctime>
#include <filesystem>
#include <memory>

#include "app/frm_mabrel94.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/file_list_model.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_interaction.h"
#include "platform/native.h"
#include "platform/text.h"
#include "support/forwarding_filesystem.h"
#include "support/modal_script.h"
#include "support/temp_dir.h"

namespace mabrel::gui::test {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

class FixedProcess : public platform::Process {
public:
    std::string exeFolder, commandLineText, currentDir;
    bool claimSingleInstance(const std::string&) override { return true; }
    std::string executableFolder() override { return exeFolder; }
    std::string executableBaseName() override { return "mabrel9-iv"; }
    std::string commandLine() override { return commandLineText; }
    std::string currentDirectory() override { return currentDir; }
    platform::LocalTime now() override { return {2026, 12, 5, 9, 0, 0}; }
    std::int64_t utcNow() override { return static_cast<std::int64_t>(std::time(nullptr)); }
};

// The machine's file system, one of whose copies stops after its first
// piece, telling of its progress meanwhile, until released or cancelled.
class HoldingFileSystem : public platform::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    void holdCopy(int n = 1) { held_ = copies_ + n; }  // the nth copy from now
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
    int copies_ = 0, held_ = 0;
};

class GuiWindowTest : public ::testing::Test {
protected:
    GuiWindowTest() {
        const auto folder = [](const TempDir& d) { return d.drivePath().substr(0, d.drivePath().size() - 1); };
        process.exeFolder = folder(exeDir);
        process.currentDir = folder(work);
        ui.setShellOpener([this](const QUrl& url) { return opened.push_back(url), true; });
    }

    // Builds the window and starts it on the work folder, or on a command line.
    void start(const std::string& commandLine = {}) {
        process.commandLineText = commandLine.empty() ? work.drivePath() : commandLine;
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
    void clickRow(int row, Qt::KeyboardModifiers mods = {}, Qt::MouseButton button = Qt::LeftButton,
                  bool twice = false) {
        const QPoint at = window->lvwFiles()->visualRect(window->listModel()->index(row, 0)).center();
        if (twice) return QTest::mouseDClick(window->lvwFiles()->viewport(), button, mods, at);
        QTest::mouseClick(window->lvwFiles()->viewport(), button, mods, at);
    }
    void doubleClickRow(int row) { clickRow(row, {}, Qt::LeftButton, true); }
    // The row's menu, its button pressed; `next` adds the steps for the
    // windows that button opens. Returns once they are all closed.
    void menuOnRow(int row, int button, const std::function<void()>& next = {}) {
        clickRow(row);
        script.on<RClickDialog>([button](RClickDialog* d) { click(d->button(button)); });
        if (next) next();
        clickRow(row, {}, Qt::RightButton);
    }
    QString cell(int row, int column) const { return window->listModel()->index(row, column).data().toString(); }

    std::filesystem::path backupDir() const { return work.path() / "_mabre-l94"; }
    std::size_t backupCount() const {
        std::error_code ec;
        const std::filesystem::directory_iterator entries(backupDir(), ec);
        return ec ? 0 : static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }
    std::filesystem::path settingsFile() const { return exeDir.path() / "mabrel9-iv.ini"; }

    TempDir exeDir, work;
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
