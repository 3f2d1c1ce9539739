// The program as people install it: the Debian package this build makes
// (cpack), installed with dpkg into a root of its own whose package database
// is a copy of the machine's (so its dependencies are checked against this
// machine, and nothing of the machine's own changes), started through its
// desktop entry on an X server, and removed; and cmake --install into a
// place whose name needs quoting, with the uninstall target.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/program.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

namespace stdfs = std::filesystem;
using mabrel::test::readBytes;
using mabrel::test::TempDir;

const stdfs::path kBuildDir = MABREL_BUILD_DIR;
const stdfs::path kSharedDir = MABREL_SHARED_DIR;

// A tool's exit code (-1 when it did not run to its end) and its output.
struct Ran {
    int code = -1;
    std::string out;
};

Ran runIn(const QProcessEnvironment& env, const QString& program, const QStringList& args, int ms = 120000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(ms) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished(1000);
        return {-1, p.readAll().toStdString()};
    }
    return {p.exitCode(), p.readAll().toStdString()};
}

Ran run(const QString& program, const QStringList& args, int ms = 120000) {
    return runIn(QProcessEnvironment::systemEnvironment(), program, args, ms);
}

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
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code linkError;
        if (stdfs::read_symlink(entry.path() / "exe", linkError) == exe) return std::stoll(name);
    }
    return 0;
}

// The window title the program shows for a folder.
std::string titleFor(const std::string& driveFolder) {
    return " " + QString::fromStdString(driveFolder).toUpper().toStdString();
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
        if (stdfs::exists(saved.path() / "manifest")) {
            stdfs::copy_file(saved.path() / "manifest", manifest(), stdfs::copy_options::overwrite_existing, ec);
        } else {
            stdfs::remove(manifest(), ec);
        }
    }
    static stdfs::path manifest() { return kBuildDir / "install_manifest.txt"; }

    // The person's session: this home, the installed root's data, and
    // nothing of the machine's own desktop (no desktop name, so xdg-open
    // goes by the associations). The help page opens in a "browser" of the
    // test's own that records what it is given.
    QProcessEnvironment session(const stdfs::path& data) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                                "BROWSER", "XDG_CONFIG_DIRS"}) {
            env.remove(QString::fromLatin1(var));
        }
        env.insert(QStringLiteral("HOME"), q(home.path()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), q(home.path() / "data"));
        env.insert(QStringLiteral("XDG_DATA_DIRS"), q(data) + QStringLiteral(":/usr/share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), q(home.path() / "config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), q(runtime.path()));
        return env;
    }
    void registerBrowser() const {
        const stdfs::path browser = home.write("browser.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" +
                                                                 (home.path() / "browser.log").string() + "'\n");
        stdfs::permissions(browser, stdfs::perms::owner_all);
        home.write("data/applications/mabrel-test-browser.desktop",
                   "[Desktop Entry]\nType=Application\nName=Test browser\nExec=" + browser.string() +
                       " %u\nMimeType=text/html;\n");
        home.write("config/mimeapps.list", "[Default Applications]\ntext/html=mabrel-test-browser.desktop\n");
    }
    std::string browserLog() const {
        std::error_code ec;
        return stdfs::exists(home.path() / "browser.log", ec) ? readBytes(home.path() / "browser.log") : "";
    }

    // The installed program started by `launcher`: waits for its window and
    // returns its title; the program then runs until endProgram().
    std::string waitForWindow(const stdfs::path& exe) {
        const bool shown =
            x::waitUntil([&] { return (pid = processOf(exe)) != 0 && (window = x::visibleWindowOf(pid)) != 0; }, 20000);
        return shown ? x::title(window) : std::string("(no window)");
    }
    // Ends it as a log-out would.
    void endProgram(const stdfs::path& exe) {
        if (pid == 0) return;
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        EXPECT_TRUE(x::waitUntil([&] { return processOf(exe) == 0; }, 20000));
        pid = 0;
    }

    TempDir saved;
    TempDir root;
    TempDir home;
    TempDir work;
    RuntimeDir runtime;
    qint64 pid = 0;
    unsigned long window = 0;
};

TEST_F(DebianPackageWithoutAWindowManager, InstallsStartsThroughItsDesktopEntryAndIsRemovedWholeAsCmakeInstallIs) {
    // The package, as scripts/build-deb.sh makes it.
    const stdfs::path packages = root.path() / "packages";
    const Ran cpack = run(QStringLiteral("cpack"), {QStringLiteral("--config"), q(kBuildDir / "CPackConfig.cmake"),
                                                    QStringLiteral("-B"), q(packages)},
                          300000);
    ASSERT_EQ(cpack.code, 0) << cpack.out;
    const stdfs::path deb = packages / "mabrel9-iv_4.0.9_amd64.deb";
    ASSERT_TRUE(stdfs::exists(deb)) << cpack.out;

    // What it needs of the machine: the Qt libraries it is linked with and the
    // Japanese font it draws its captions in, each by the package that holds it.
    const std::string depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), q(deb), QStringLiteral("Depends")}).out;
    const std::string ipaFont = run(QStringLiteral("fc-match"), {QStringLiteral("-f"), QStringLiteral("%{file}"),
                                                                 QStringLiteral("IPAPGothic")}).out;
    for (const std::string& file : {std::string("/usr/lib/x86_64-linux-gnu/libQt6Widgets.so.6"), ipaFont}) {
        std::string owner = run(QStringLiteral("dpkg"), {QStringLiteral("-S"), QString::fromStdString(file)}).out;
        owner = owner.substr(0, owner.find_first_of(":\n"));
        ASSERT_FALSE(owner.empty()) << file;
        EXPECT_NE(depends.find(owner), std::string::npos) << file << " comes from " << owner << "; Depends: " << depends;
    }

    // A root of its own, whose package database is the machine's: dpkg
    // checks the dependencies against what this machine has installed.
    const stdfs::path db = root.path() / "var/lib/dpkg";
    stdfs::create_directories(db / "info");
    stdfs::create_directories(db / "updates");
    stdfs::copy_file("/var/lib/dpkg/status", db / "status");
    std::ofstream(db / "available").flush();
    std::istringstream installed(
        run(QStringLiteral("dpkg-query"), {QStringLiteral("-W"), QStringLiteral("-f=${binary:Package}\\n")}).out);
    for (std::string name; std::getline(installed, name);) std::ofstream(db / "info" / (name + ".list")).flush();
    const Ran install = run(QStringLiteral("dpkg"), {QStringLiteral("--root"), q(root.path()), QStringLiteral("-i"), q(deb)});
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
    const struct {
        const char* tool;
        QStringList args;
    } checks[] = {
        {"desktop-file-validate", {q(usr / "share/applications/mabrel9-iv.desktop")}},
        {"appstreamcli", {QStringLiteral("validate"), QStringLiteral("--no-net"),
                          q(usr / "share/metainfo/io.github.mabrel9_iv.mabrel9_iv.metainfo.xml")}},
        {"man", {QStringLiteral("--warnings"), QStringLiteral("-l"), q(usr / "share/man/man1/mabrel9-iv.1.gz")}},
    };
    for (const auto& c : checks) {
        const Ran r = run(QString::fromLatin1(c.tool), c.args);
        EXPECT_EQ(r.code, 0) << c.tool << ": " << r.out;
    }

    // Started as the desktop starts it: its entry, the program found on the
    // path. No file type gets it as its default; it shows the folder given.
    registerBrowser();
    QProcessEnvironment env = session(usr / "share");
    env.insert(QStringLiteral("PATH"), q(usr / "bin") + QStringLiteral(":") + env.value(QStringLiteral("PATH")));
    for (const char* type : {"text/plain", "application/pdf", "image/png", "application/octet-stream"}) {
        const Ran d = runIn(env, QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                              QString::fromLatin1(type)});
        EXPECT_EQ(d.out.find("mabrel9-iv"), std::string::npos) << type << ": " << d.out;
    }
    const stdfs::path folder = work.mkdir("作業 フォルダ");
    std::ofstream(folder / "notes.txt") << "x";
    const Ran launch = runIn(env, QStringLiteral("gio"),
                             {QStringLiteral("launch"), q(usr / "share/applications/mabrel9-iv.desktop"), q(folder)});
    ASSERT_EQ(launch.code, 0) << launch.out;
    const stdfs::path exe = usr / "bin/mabrel9-iv";
    EXPECT_EQ(waitForWindow(exe), titleFor(work.drivePath() + "作業 フォルダ\\"));
    if (window != 0) {
        // Its own picture, as a pixmap holds it (premultiplied).
        QImage picture(q(kSharedDir / "icons/mabrel9-iv-48.png"));
        picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_ARGB32);
        std::vector<std::uint32_t> expected;
        for (int y = 0; y < picture.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            expected.insert(expected.end(), line, line + picture.width());
        }
        EXPECT_TRUE(x::icon(window, 48) == expected) << "the window's icon is not the application's";
        // 操作説明 (right edge 80 twips, top 90, 1070 x 375 at 96 dpi) opens
        // the installed help page, the Linux one.
        x::click(window, x::width(window) - 5 - 36, 6 + 12);
        EXPECT_TRUE(x::waitUntil([&] { return !browserLog().empty(); }, 20000)) << "no help page opened";
        const stdfs::path page = usr / "share/mabrel9-iv/mabrel9-iv.html";
        EXPECT_NE(browserLog().find(page.string()), std::string::npos) << browserLog();
        EXPECT_NE(readBytes(page).find("Linux では"), std::string::npos);
    }
    endProgram(exe);
    const stdfs::path settings = home.path() / "config/mabrel9-iv/mabrel9-iv.ini";
    EXPECT_NE(readBytes(settings).find("lastPath," + work.drivePath()), std::string::npos) << readBytes(settings);

    // Removed and purged: nothing of it is left in the root, the person's
    // files stay.
    for (const char* how : {"--remove", "--purge"}) {
        const Ran r = run(QStringLiteral("dpkg"), {QStringLiteral("--root"), q(root.path()), QString::fromLatin1(how),
                                                   QStringLiteral("mabrel9-iv")});
        EXPECT_EQ(r.code, 0) << how << ": " << r.out;
    }
    EXPECT_EQ(filesBelow(usr), std::set<std::string>{});
    EXPECT_TRUE(stdfs::exists(settings));
    EXPECT_EQ(readBytes(folder / "notes.txt"), "x");
    EXPECT_EQ(run(QStringLiteral("dpkg"), {QStringLiteral("--root"), q(root.path()), QStringLiteral("-s"),
                                           QStringLiteral("mabrel9-iv")}).out.find("Status: install"),
              std::string::npos);

    // cmake --install into a place whose name needs quoting on the Exec line:
    // the entry is valid, gio launches it as a file manager's "Open with"
    // does, and the uninstall target takes it all away.
    const stdfs::path prefix = root.path() / "My Apps $HOME 'x' ＆";
    const Ran cmakeInstall = run(QStringLiteral(MABREL_CMAKE_COMMAND),
                            {QStringLiteral("--install"), q(kBuildDir), QStringLiteral("--prefix"), q(prefix)}, 300000);
    ASSERT_EQ(cmakeInstall.code, 0) << cmakeInstall.out;
    const stdfs::path entry = prefix / "share/applications/mabrel9-iv.desktop";
    const Ran valid = run(QStringLiteral("desktop-file-validate"), {q(entry)});
    EXPECT_EQ(valid.code, 0) << valid.out;
    EXPECT_EQ(valid.out, "");
    const Ran quotedLaunch = runIn(session(prefix / "share"), QStringLiteral("gio"), {QStringLiteral("launch"), q(entry), q(work.path())});
    ASSERT_EQ(quotedLaunch.code, 0) << quotedLaunch.out;
    EXPECT_EQ(waitForWindow(prefix / "bin/mabrel9-iv"), titleFor(work.drivePath()));
    endProgram(prefix / "bin/mabrel9-iv");

    const Ran uninstall = run(QStringLiteral(MABREL_CMAKE_COMMAND),
                              {QStringLiteral("--build"), q(kBuildDir), QStringLiteral("--target"), QStringLiteral("uninstall")});
    ASSERT_EQ(uninstall.code, 0) << uninstall.out;
    EXPECT_EQ(filesBelow(prefix), std::set<std::string>{});
}

}  // namespace
}  // namespace mabrel::gui::test
