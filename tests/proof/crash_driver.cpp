// The main window's model over the real file system, driven by the scripted
// person through one operation, for the crash test (which kills it under the
// crash shim) and the race with another account:
//
//   crash_driver <operation> <folder> <program folder> [<native folder>]
//
// open big.bin; restore its older version; delete two copies of small.txt;
// comment small.txt over a comment another instance stored meanwhile; exit
// with a folder comment typed; again: start and exit (the next run); cycle:
// 80 rounds of open a.txt, an editor's save, refresh, restore and delete a
// copy. The shim counts from the operation on, except for "again".
#include <dlfcn.h>

#include <cstdio>
#include <fstream>

#include "proof/person.h"

using namespace mabrel;
using mabrel::test::proof::Session;

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: crash_driver <operation> <folder> <program folder> [<native folder>]\n");
        return 2;
    }
    const std::string operation = argv[1];
    Session run(argv[3], argv[2]);
    if (!run.newWindow().Form_Load()) return 3;
    auto& w = *run.window;
    if (operation == "comment") {
        Session other(argv[3], argv[2]);
        if (!other.newWindow().Form_Load()) return 3;
        const int row = other.rowOf("small.txt", "2020-02-02 02-02-02");
        other.window->lvwFiles.rows.at(static_cast<std::size_t>(row)).cells[4] = "from another instance";
        if (!other.window->saveCommentFile()) return 4;
    }

    if (operation != "again") {
        if (auto arm = reinterpret_cast<void (*)()>(::dlsym(RTLD_DEFAULT, "mabrel_crash_arm"))) arm();
    }
    if (operation == "open") {
        w.fun_aOpen(run.rowOf("big.bin"));
    } else if (operation == "restore") {
        run.menu({test::proof::rowOf(w, "big.bin", true)}, frm_rclick::kRestore);
    } else if (operation == "delete") {
        run.menu({run.rowOf("small.txt", "2020-01-01 01-01-01"), run.rowOf("small.txt", "2020-02-02 02-02-02")},
                 frm_rclick::kDelete);
    } else if (operation == "comment") {
        run.ui->inputAnswers.push_back("a new comment");
        run.menu({run.rowOf("small.txt")}, frm_rclick::kComment);
    } else if (operation == "cycle" && argc == 5) {
        const auto file = std::filesystem::path(argv[4]) / "a.txt";
        for (int round = 0; round < 80; ++round) {
            w.fun_aOpen(run.rowOf("a.txt"));
            // The editor saves the next version, a minute on.
            std::ofstream(file, std::ios::binary | std::ios::trunc) << "version " << 100 + round;
            test::setModificationTime(file, 2020, 1, 1, 1, round % 60, 0);
            w.cmdUpdate_Click();
            for (int button : {frm_rclick::kRestore, frm_rclick::kDelete}) {
                run.menu({test::proof::rowOf(w, "a.txt", true)}, button);
            }
            w.cmdUpdate_Click();
        }
    } else if (operation == "exit" || operation == "again") {
        if (operation == "exit") w.txtFolderComment.text = "typed before exit";
        w.cmdExit_Click();
    } else {
        std::fprintf(stderr, "unknown operation %s\n", operation.c_str());
        return 2;
    }
    for (const auto& m : run.ui->messages) std::fprintf(stderr, "message: %s\n", m.c_str());
    return 0;
}
