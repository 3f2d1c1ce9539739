// The main window's model over the real file system, driven through one
// operation by the scripted person; the crash test runs it under the crash
// shim and kills it on the way.
//
//   crash_driver <operation> <folder, drive form> <program folder, drive form>
//
// Operations: open (the large file big.bin), restore (big.bin's older
// version), delete (two copies of small.txt), comment (a new comment on
// small.txt, saved over one that another instance stored after this one had
// read the folder), exit (with a folder comment typed), again (start and
// exit: the next run of the program), cycle (80 rounds of: open a.txt, an
// editor's save of it, refresh, restore and delete a copy of it; the folder's
// native path follows as a fourth argument). The shim starts counting once
// the window has started, unless the operation is "again".
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/native.h"
#include "proof/person.h"

using namespace mabrel;
using mabrel::test::proof::menu;
using mabrel::test::proof::rowOf;

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: crash_driver <operation> <folder> <program folder> [<native folder>]\n");
        return 2;
    }
    const std::string operation = argv[1];
    auto fs = platform::makeNativeFileSystem();
    auto codec = platform::makeNativeCodec();
    ProcessState state;
    test::TestProcess process;
    process.exeFolder = test::withoutTrailingSeparator(argv[3]);
    process.commandLineText = argv[2];
    process.currentDir = process.exeFolder;
    test::ScriptedInteraction ui;
    frm_mabrel94 w(state, *fs, *codec, process, ui);
    if (!w.Form_Load()) return 3;
    if (operation == "comment") {
        ProcessState otherState;
        test::TestProcess otherProcess = process;
        test::ScriptedInteraction otherUi;
        frm_mabrel94 other(otherState, *fs, *codec, otherProcess, otherUi);
        if (!other.Form_Load()) return 3;
        other.lvwFiles.rows.at(static_cast<std::size_t>(rowOf(other, "small.txt", true, "2020-02-02 02-02-02")))
            .cells[4] = "from another instance";
        if (!other.saveCommentFile()) return 4;
    }

    if (operation != "again") {
        if (auto arm = reinterpret_cast<void (*)()>(::dlsym(RTLD_DEFAULT, "mabrel_crash_arm"))) arm();
    }
    if (operation == "open") {
        w.fun_aOpen(rowOf(w, "big.bin", false));
    } else if (operation == "restore") {
        menu(w, ui, {rowOf(w, "big.bin", true)}, frm_rclick::kRestore);
    } else if (operation == "delete") {
        menu(w, ui, {rowOf(w, "small.txt", true, "2020-01-01 01-01-01"), rowOf(w, "small.txt", true, "2020-02-02 02-02-02")},
             frm_rclick::kDelete);
    } else if (operation == "comment") {
        ui.inputAnswers.push_back("a new comment");
        menu(w, ui, {rowOf(w, "small.txt", false)}, frm_rclick::kComment);
    } else if (operation == "cycle" && argc == 5) {
        for (int round = 0; round < 80; ++round) {
            w.fun_aOpen(rowOf(w, "a.txt", false));
            // The editor saves the next version, a minute on.
            const auto file = std::filesystem::path(argv[4]) / "a.txt";
            std::ofstream(file, std::ios::binary | std::ios::trunc) << "version " << 100 + round;
            test::setModificationTime(file, 2020, 1, 1, 1, round % 60, 0);
            w.cmdUpdate_Click();
            menu(w, ui, {rowOf(w, "a.txt", true)}, frm_rclick::kRestore);
            menu(w, ui, {rowOf(w, "a.txt", true)}, frm_rclick::kDelete);
            w.cmdUpdate_Click();
        }
    } else if (operation == "exit" || operation == "again") {
        if (operation == "exit") w.txtFolderComment.text = "typed before exit";
        w.cmdExit_Click();
    } else {
        std::fprintf(stderr, "unknown operation %s\n", operation.c_str());
        return 2;
    }
    for (const auto& m : ui.messages) std::fprintf(stderr, "message: %s\n", m.c_str());
    return 0;
}
