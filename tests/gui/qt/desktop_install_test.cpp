// The program as people install it: the Debian package this build makes
// (cpack), installed with dpkg into a root of its own whose package database
// is a copy of the machine's (so its dependencies are checked against this
// machine, and nothing of the machine's own changes), started through its
// desktop entry on an X server, and removed; and cmake --install into a
// place whose name needs quoting, with the uninstall target.
#include <gtest/gtest.h>

#include <QImage>
#include <set>
#include <sstream>

#include "support/program.h"

namespace mabrel::gui::test {
namespace {

const stdfs::path kBuildDir = MABREL_BUILD_DIR;
const stdfs::path kSharedDir = MABREL_SHARED_DIR;

QString q(const stdfs::path& p) { return QString::fromStdString(p.string()); }

// The files below a folder (not the folders), relative to it.
std::set<std::string> filesBelow(const stdfs::path& dir) {
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(dir, ec); it != stdfs::recursive_directory_iterator(); ++it) {
        if (!it->is_directory()) out.insert(stdfs::relative(it->path(), dir).string());
    }
    return out;
}

// The process running this executable, 0 while there is none.
qint64 processOf(const stdfs::path& exe) {
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator("/proc", ec)) {
        std::error_code linkError;
        if (stdfs::read_symlink(entry.path() / "exe", linkError) == exe)
            return std::stoll(entry.path().filename().string());
    }
    return 0;
}

// The build's install manifest (what its uninstall target reads) is the
// developer's: cpack and cmake --install write it, so it is put back after
// the test. One test only, as two would race for it.
class DebianPackageWithoutAWindowManager : public ::testing::Test {
protected:
    DebianPackageWithoutAWindowManager() {
        if (stdfs::exists(manifest())) stdfs::copy_file(manifest(), saved.path() / "manifest");
    }
    ~DebianPackageWithoutAWindowManager() override {
        std::error_code ec;
        if (!stdfs::copy_file(saved.path() / "manifest", manifest(), stdfs::copy_options::overwrite_existing, ec))
            stdfs::remove(manifest(), ec);
    }
    static stdfs::path manifest() { return kBuildDir / "install_manifest.txt"; }

    // The person's session: this home, the installed data, nothing of the
    // machine's own desktop. The help page opens in a "browser" of the
    // test's own that records what it is given.
    QProcessEnvironment session(const stdfs::path& data) const {
        QProcessEnvironment env = personalDesktop(home);
        env.remove("XDG_CONFIG_DIRS");
        env.insert("XDG_DATA_DIRS", q(data) + ":/usr/share");
        env.insert("XDG_CONFIG_HOME", q(home.path() / "config"));
        env.insert("XDG_RUNTIME_DIR", q(runtime.path()));
        return env;
    }
    // Started by gio as a file manager's "Open with" does, by a person with
    // an ordinary account: waits for its window, returns its title, and ends
    // it as a log-out would.
    std::string launch(const QProcessEnvironment& env, const stdfs::path& entry, const stdfs::path& folder,
                       const std::function<void()>& meanwhile = {}) {
        for (const stdfs::path& own : {home.path(), runtime.path()}) giveTo(own, person);
        const x::Ran launched = x::exec(asAccount(person, {"gio", "launch", q(entry), q(folder)}), env);
        EXPECT_EQ(launched.code, 0) << launched.out;
        const stdfs::path exe = entry.parent_path().parent_path().parent_path() / "bin/mabrel9-iv";
        qint64 pid = 0;
        if (!x::waitUntil([&] { return (pid = processOf(exe)) != 0 && (window = x::visibleWindowOf(pid)) != 0; }))
            return "(no window)";
        // The window shows before its first load has named it after the folder.
        std::string title;
        x::waitUntil([&] { return (title = x::title(window)) != "mabrel9-iv"; });
        if (meanwhile) meanwhile();
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        EXPECT_TRUE(x::waitUntil([&] { return processOf(exe) == 0; }));
        return title;
    }

    TempDir saved, root, home, work;
    RuntimeDir runtime;
    const Account person = colleague(1500);
    unsigned long window = 0;
};

TEST_F(DebianPackageWithoutAWindowManager, InstallsStartsThroughItsDesktopEntryAndIsRemovedWholeAsCmakeInstallIs) {
    const stdfs::path packages = root.path() / "packages";
    const x::Ran cpack = x::exec({"cpack", "--config", q(kBuildDir / "CPackConfig.cmake"), "-B", q(packages)},
                                 QProcessEnvironment::systemEnvironment(), 300000);
    ASSERT_EQ(cpack.code, 0) << cpack.out;
    const stdfs::path deb = packages / "mabrel9-iv_4.0.9_amd64.deb";
    ASSERT_TRUE(stdfs::exists(deb)) << cpack.out;

    // What it needs of the machine: the Qt libraries it is linked with and the
    // Japanese font it draws its captions in, each by the package that holds it.
    const std::string depends = x::run({"dpkg-deb", "-f", q(deb), "Depends"});
    for (const std::string& file : {std::string("/usr/lib/x86_64-linux-gnu/libQt6Widgets.so.6"),
                                    x::run({"fc-match", "-f", "%{file}", "IPAPGothic"})}) {
        std::string owner = x::run({"dpkg", "-S", QString::fromStdString(file)});
        owner = owner.substr(0, owner.find_first_of(":\n"));
        ASSERT_FALSE(owner.empty()) << file;
        EXPECT_NE(depends.find(owner), std::string::npos)
            << file << " comes from " << owner << "; Depends: " << depends;
    }

    // A root of its own, whose package database is the machine's: dpkg
    // checks the dependencies against what this machine has installed.
    const stdfs::path db = root.path() / "var/lib/dpkg";
    stdfs::create_directories(db / "info");
    stdfs::create_directories(db / "updates");
    stdfs::copy_file("/var/lib/dpkg/status", db / "status");
    std::ofstream(db / "available").flush();
    std::istringstream installed(x::run({"dpkg-query", "-W", "-f=${binary:Package}\\n"}));
    for (std::string name; std::getline(installed, name);) std::ofstream(db / "info" / (name + ".list")).flush();
    const auto dpkg = [&](const char* what, const char* arg) {
        return x::exec({"dpkg", "--root", q(root.path()), what, arg});
    };
    const x::Ran install = dpkg("-i", deb.c_str());
    ASSERT_EQ(install.code, 0) << install.out;

    const stdfs::path usr = root.path() / "usr";
    const std::set<std::string> files{"bin/mabrel9-iv",
                                      "share/applications/mabrel9-iv.desktop",
                                      "share/icons/hicolor/48x48/apps/mabrel9-iv.png",
                                      "share/icons/hicolor/256x256/apps/mabrel9-iv.png",
                                      "share/icons/hicolor/scalable/apps/mabrel9-iv.svg",
                                      "share/mabrel9-iv/mabrel9-iv.html",
                                      "share/man/man1/mabrel9-iv.1.gz",
                                      "share/metainfo/io.github.mabrel9_iv.mabrel9_iv.metainfo.xml"};
    EXPECT_EQ(filesBelow(usr), files);
    EXPECT_EQ(readBytes(usr / "share/icons/hicolor/48x48/apps/mabrel9-iv.png"),
              readBytes(kSharedDir / "icons/mabrel9-iv-48.png"));
    // The desktop's own checks of what it reads.
    for (const QStringList& check :
         {QStringList{"desktop-file-validate", q(usr / "share/applications/mabrel9-iv.desktop")},
          {"appstreamcli", "validate", "--no-net",
           q(usr / "share/metainfo/io.github.mabrel9_iv.mabrel9_iv.metainfo.xml")},
          {"man", "--warnings", "-l", q(usr / "share/man/man1/mabrel9-iv.1.gz")}}) {
        const x::Ran r = x::exec(check);
        EXPECT_EQ(r.code, 0) << check.join(' ').toStdString() << ": " << r.out;
    }

    // Started through its entry, the program found on the path: no file
    // type gets it as its default; it shows the folder given and its own
    // picture; 操作説明 opens the installed help page, the Linux one.
    recorder(home, "text/html", home.path() / "browser.log");
    QProcessEnvironment env = session(usr / "share");
    env.insert("PATH", q(usr / "bin") + ":" + env.value("PATH"));
    for (const char* type : {"text/plain", "application/pdf", "image/png", "application/octet-stream"}) {
        const std::string d = x::exec({"xdg-mime", "query", "default", type}, env).out;
        EXPECT_EQ(d.find("mabrel9-iv"), std::string::npos) << type << ": " << d;
    }
    const stdfs::path folder = work.mkdir("作業 フォルダ");
    work.write("作業 フォルダ/notes.txt", "x");
    const stdfs::path page = usr / "share/mabrel9-iv/mabrel9-iv.html";
    const stdfs::path browserLog = home.path() / "browser.log";
    EXPECT_EQ(launch(env, usr / "share/applications/mabrel9-iv.desktop", folder,
                     [&] {
                         // As a pixmap holds it (premultiplied).
                         const QImage picture = QImage(q(kSharedDir / "icons/mabrel9-iv-48.png"))
                                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                                    .convertToFormat(QImage::Format_ARGB32);
                         std::vector<std::uint32_t> icon = x::icon(window, 48);
                         icon.resize(48 * 48);
                         EXPECT_TRUE(QImage(reinterpret_cast<const uchar*>(icon.data()), 48, 48,
                                            QImage::Format_ARGB32) == picture)
                             << "the window's icon is not the application's";
                         // 操作説明, once the window fills the screen (its place follows the
                         // width); clicked again if a busy machine lost the click.
                         const auto helpShown = [&] {
                             return textOf(browserLog).find(page.string()) != std::string::npos;
                         };
                         EXPECT_TRUE(x::waitUntil([&] { return x::width(window) >= 1200; }));
                         EXPECT_TRUE(x::waitUntil(
                             [&] {
                                 x::click(window, x::width(window) - 5 - 36, 6 + 12);
                                 return x::waitUntil(helpShown, 5000);
                             },
                             60000))
                             << "no help page opened: " << textOf(browserLog);
                         EXPECT_NE(readBytes(page).find("Linux では"), std::string::npos);
                     }),
              titleFor(work.drivePath() + "作業 フォルダ\\"));
    const stdfs::path settings = home.path() / "config/mabrel9-iv/mabrel9-iv.ini";
    EXPECT_NE(readBytes(settings).find("lastPath," + work.drivePath()), std::string::npos) << readBytes(settings);

    // Removed and purged: nothing of it is left in the root, the person's
    // files stay.
    for (const char* how : {"--remove", "--purge"}) {
        const x::Ran r = dpkg(how, "mabrel9-iv");
        EXPECT_EQ(r.code, 0) << how << ": " << r.out;
    }
    EXPECT_EQ(filesBelow(usr), std::set<std::string>{});
    EXPECT_TRUE(stdfs::exists(settings));
    EXPECT_EQ(readBytes(folder / "notes.txt"), "x");
    EXPECT_EQ(dpkg("-s", "mabrel9-iv").out.find("Status: install"), std::string::npos);

    // cmake --install into a place whose name needs quoting on the Exec line:
    // the entry is valid, gio launches it, and the uninstall target takes it
    // all away.
    const stdfs::path prefix = root.path() / "My Apps $HOME 'x' ＆";
    const x::Ran cmakeInstall = x::exec({MABREL_CMAKE_COMMAND, "--install", q(kBuildDir), "--prefix", q(prefix)},
                                        QProcessEnvironment::systemEnvironment(), 300000);
    ASSERT_EQ(cmakeInstall.code, 0) << cmakeInstall.out;
    const stdfs::path entry = prefix / "share/applications/mabrel9-iv.desktop";
    const x::Ran valid = x::exec({"desktop-file-validate", q(entry)});
    EXPECT_EQ(std::make_pair(valid.code, valid.out), std::make_pair(0, std::string()));
    EXPECT_EQ(launch(session(prefix / "share"), entry, work.path()), titleFor(work.drivePath()));
    const x::Ran uninstall = x::exec({MABREL_CMAKE_COMMAND, "--build", q(kBuildDir), "--target", "uninstall"});
    ASSERT_EQ(uninstall.code, 0) << uninstall.out;
    EXPECT_EQ(filesBelow(prefix), std::set<std::string>{});
}

}  // namespace
}  // namespace mabrel::gui::test
