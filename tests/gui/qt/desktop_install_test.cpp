// cmake --install into a temporary home, as a person's desktop then sees it:
// which program the desktop picks for each file type, the program started
// from the desktop (xdg-open, gio launch) on an X server, the shared icon,
// and the uninstall target.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
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

// Installs into prefixes of its own. The build's install manifest (what the
// uninstall target reads) is the developer's: it is put back afterwards. One
// test only, as two would race for that manifest.
class DesktopInstallWithoutAWindowManager : public ::testing::Test {
protected:
    DesktopInstallWithoutAWindowManager() {
        if (stdfs::exists(manifest())) stdfs::copy_file(manifest(), saved.path() / "manifest");
    }
    ~DesktopInstallWithoutAWindowManager() override {
        std::error_code ec;
        if (stdfs::exists(saved.path() / "manifest")) {
            stdfs::copy_file(saved.path() / "manifest", manifest(), stdfs::copy_options::overwrite_existing, ec);
        } else {
            stdfs::remove(manifest(), ec);
        }
    }
    static stdfs::path manifest() { return kBuildDir / "install_manifest.txt"; }

    // The person's session: this home and nothing of the machine's own
    // desktop (no desktop name, so xdg-open goes by the associations).
    QProcessEnvironment session(const stdfs::path& prefix) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
                                "BROWSER", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
            env.remove(QString::fromLatin1(var));
        }
        env.insert(QStringLiteral("HOME"), q(home.path()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), q(prefix / "share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), q(home.path() / "config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), q(runtime.path()));
        return env;
    }
    static QString q(const stdfs::path& p) { return QString::fromStdString(p.string()); }

    Ran cmake(const QStringList& args) const {
        return runIn(QProcessEnvironment::systemEnvironment(), QStringLiteral(MABREL_CMAKE_COMMAND), args, 300000);
    }
    void install(const stdfs::path& prefix) const {
        const Ran r = cmake({QStringLiteral("--install"), q(kBuildDir), QStringLiteral("--prefix"), q(prefix)});
        ASSERT_EQ(r.code, 0) << r.out;
    }
    void uninstall() const {
        const Ran r = cmake({QStringLiteral("--build"), q(kBuildDir), QStringLiteral("--target"), QStringLiteral("uninstall")});
        ASSERT_EQ(r.code, 0) << r.out;
    }
    std::string defaultFor(const QProcessEnvironment& env, const char* type) const {
        const Ran xdg = runIn(env, QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                                QString::fromLatin1(type)});
        const Ran gio = runIn(env, QStringLiteral("gio"), {QStringLiteral("mime"), QString::fromLatin1(type)});
        return "xdg-mime: " + xdg.out + " gio: " + gio.out;
    }

    // Waits for the installed program to show its window; returns the
    // window's title, after which the program is ended as by a log-out.
    std::string titleOfStartedProgram(const stdfs::path& prefix) const {
        const stdfs::path exe = prefix / "lib/mabrel9-iv/mabrel9-iv";
        qint64 pid = 0;
        unsigned long window = 0;
        const bool shown = x::waitUntil([&] { return (pid = processOf(exe)) != 0 && (window = x::visibleWindowOf(pid)) != 0; },
                                        20000);
        std::string title = shown ? x::title(window) : std::string("(no window)");
        if (shown) {
            // The window shows the application's own picture, as a pixmap
            // holds it (premultiplied) and hands it to the window system.
            QImage picture(q(kSharedDir / "icons/mabrel9-iv-48.png"));
            picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_ARGB32);
            std::vector<std::uint32_t> expected;
            for (int y = 0; y < picture.height(); ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
                expected.insert(expected.end(), line, line + picture.width());
            }
            EXPECT_TRUE(x::icon(window, 48) == expected) << "the window's icon is not the application's";
        }
        if (pid != 0) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            x::waitUntil([&] { return processOf(exe) == 0; }, 20000);
        }
        return title;
    }

    TempDir root;
    TempDir home;
    RuntimeDir runtime;
    TempDir saved;
};

TEST_F(DesktopInstallWithoutAWindowManager, OfferedForFoldersOnlyStartedByTheDesktopFromAnyPlaceAndUninstalledWhole) {
    const stdfs::path prefix = root.path() / "prefix";
    ASSERT_NO_FATAL_FAILURE(install(prefix));
    const std::set<std::string> installed{"bin/mabrel9-iv",
                                          "lib/mabrel9-iv/mabrel9-iv",
                                          "lib/mabrel9-iv/mabrel9-iv.html",
                                          "share/applications/mabrel9-iv.desktop",
                                          "share/icons/hicolor/48x48/apps/mabrel9-iv.png",
                                          "share/icons/hicolor/256x256/apps/mabrel9-iv.png",
                                          "share/icons/hicolor/scalable/apps/mabrel9-iv.svg"};
    EXPECT_EQ(filesBelow(prefix), installed) << "and no defaults (mimeapps.list) nor caches";
    EXPECT_TRUE(filesBelow(home.path()).empty());

    // The desktop entry, the help page and the program share the picture.
    const std::string entry = readBytes(prefix / "share/applications/mabrel9-iv.desktop");
    EXPECT_NE(entry.find("\nIcon=mabrel9-iv\n"), std::string::npos) << entry;
    EXPECT_EQ(readBytes(prefix / "share/icons/hicolor/48x48/apps/mabrel9-iv.png"),
              readBytes(kSharedDir / "icons/mabrel9-iv-48.png"));
    EXPECT_EQ(readBytes(prefix / "share/icons/hicolor/256x256/apps/mabrel9-iv.png"),
              readBytes(kSharedDir / "icons/mabrel9-iv-256.png"));
    std::string svg = readBytes(kSharedDir / "icons/mabrel9-iv.svg");
    EXPECT_EQ(readBytes(prefix / "share/icons/hicolor/scalable/apps/mabrel9-iv.svg"), svg);
    svg.erase(svg.find_last_not_of('\n') + 1);
    EXPECT_NE(readBytes(prefix / "lib/mabrel9-iv/mabrel9-iv.html").find(svg), std::string::npos)
        << "the help page does not show the application's picture";

    // No file type ever gets the program as its default, before or after the
    // desktop's cache of the applications folder is made; the machine's own
    // programs stay where they are.
    const QProcessEnvironment env = session(prefix);
    const char* fileTypes[] = {"text/plain", "application/pdf", "application/zip", "image/png",
                               "application/octet-stream"};
    for (const char* type : fileTypes) {
        const std::string d = defaultFor(env, type);
        EXPECT_EQ(d.find("mabrel9-iv"), std::string::npos) << type << ": " << d;
    }
    // A file manager of the machine's stays the program for folders.
    TempDir machine;
    machine.write("applications/files.desktop",
                  "[Desktop Entry]\nType=Application\nName=Files\nExec=true %U\nMimeType=inode/directory;\n");
    ASSERT_EQ(runIn(env, QStringLiteral("update-desktop-database"), {q(machine.path() / "applications")}).code, 0);
    QProcessEnvironment withFileManager = env;
    withFileManager.insert(QStringLiteral("XDG_DATA_DIRS"), q(machine.path()));
    const std::string folders = defaultFor(withFileManager, "inode/directory");
    EXPECT_EQ(folders.find("mabrel9-iv"), std::string::npos) << folders;
    EXPECT_NE(folders.find("files.desktop"), std::string::npos) << folders;

    const Ran cache = runIn(env, QStringLiteral("update-desktop-database"), {q(prefix / "share/applications")});
    ASSERT_EQ(cache.code, 0) << cache.out;
    for (const char* type : fileTypes) {
        const std::string d = defaultFor(env, type);
        EXPECT_EQ(d.find("mabrel9-iv"), std::string::npos) << type << " after update-desktop-database: " << d;
    }

    // With no other program for folders (none of the machine's), plain
    // xdg-open starts it on the folder it is given.
    QProcessEnvironment bare = env;
    bare.insert(QStringLiteral("XDG_DATA_DIRS"), q(root.path() / "no-programs"));
    const stdfs::path folder = root.mkdir("作業 フォルダ");
    QProcess xdgOpen;
    xdgOpen.setProcessEnvironment(bare);
    xdgOpen.setProcessChannelMode(QProcess::ForwardedChannels);
    xdgOpen.start(QStringLiteral("xdg-open"), {q(folder)});
    ASSERT_TRUE(xdgOpen.waitForStarted(10000));
    EXPECT_EQ(titleOfStartedProgram(prefix), " " + QString::fromStdString(root.drivePath() + "作業 フォルダ\\").toUpper().toStdString());
    EXPECT_TRUE(xdgOpen.state() == QProcess::NotRunning || xdgOpen.waitForFinished(20000));
    EXPECT_EQ(xdgOpen.exitCode(), 0);

    // Uninstalled: nothing of the install is left, only the settings file the
    // program wrote beside itself; no cache still names it.
    ASSERT_NO_FATAL_FAILURE(uninstall());
    EXPECT_EQ(filesBelow(prefix), (std::set<std::string>{"lib/mabrel9-iv/mabrel9-iv.ini", "share/applications/mimeinfo.cache"}));
    EXPECT_EQ(readBytes(prefix / "share/applications/mimeinfo.cache").find("mabrel9-iv"), std::string::npos);
    EXPECT_EQ(defaultFor(bare, "inode/directory").find("mabrel9-iv"), std::string::npos);

    // Installed where the name needs quoting on the Exec line: the entry is
    // valid, and gio launches it as a file manager's "Open with" does.
    const stdfs::path quoted = root.path() / "My Apps $HOME 'x' ＆";
    ASSERT_NO_FATAL_FAILURE(install(quoted));
    const stdfs::path entryFile = quoted / "share/applications/mabrel9-iv.desktop";
    const Ran valid = runIn(env, QStringLiteral("desktop-file-validate"), {q(entryFile)});
    EXPECT_EQ(valid.code, 0) << valid.out;
    EXPECT_EQ(valid.out, "");
    const stdfs::path docs = root.mkdir("Docs");
    const Ran launch = runIn(session(quoted), QStringLiteral("gio"), {QStringLiteral("launch"), q(entryFile), q(docs)});
    ASSERT_EQ(launch.code, 0) << launch.out;
    EXPECT_EQ(titleOfStartedProgram(quoted), " " + QString::fromStdString(root.drivePath() + "Docs\\").toUpper().toStdString());
    ASSERT_NO_FATAL_FAILURE(uninstall());
    EXPECT_EQ(filesBelow(quoted), std::set<std::string>{"lib/mabrel9-iv/mabrel9-iv.ini"});
}

}  // namespace
}  // namespace mabrel::gui::test
