// The time from starting the real program to its window painted on the
// screen (an X server: bench.sh runs this under Xvfb), on a folder of
// 100,000 files and 100,000 kept copies (200,000 files, 50,000 comments)
// against the same start on an empty folder, in turns. A window that waits
// for the folder to be read before it paints shows black for the whole read.
//
// Painted: the window is mapped and a row of pixels across its middle is
// mostly drawn (not black) and holds the several colours of its controls,
// read from the X server with GetImage every 2 ms.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <cstring>
#include <set>

#include "bench/bench_support.h"

extern char** environ;

namespace {

struct Connection {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ~Connection() { xcb_disconnect(c); }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    xcb_atom_t atom(const char* name) const {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return a;
    }
};

// The mapped top-level window of the process (by _NET_WM_PID), 0 while none.
xcb_window_t windowOf(const Connection& x, xcb_atom_t pidAtom, pid_t pid, int& width, int& height) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root()), nullptr);
    if (tree == nullptr) return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == 0; ++i) {
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            x.c, xcb_get_property(x.c, 0, children[i], pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool ours = p != nullptr && xcb_get_property_value_length(p) == 4 &&
                          *static_cast<const std::uint32_t*>(xcb_get_property_value(p)) == static_cast<std::uint32_t>(pid);
        std::free(p);
        if (!ours) continue;
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, children[i]), nullptr);
        xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, children[i]), nullptr);
        if (a != nullptr && g != nullptr && a->map_state == XCB_MAP_STATE_VIEWABLE && g->width > 100) {
            found = children[i];
            width = g->width;
            height = g->height;
        }
        std::free(a);
        std::free(g);
    }
    std::free(tree);
    return found;
}

bool painted(const Connection& x, xcb_window_t window, int width, int height) {
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        x.c,
        xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, static_cast<std::int16_t>(height / 2),
                      static_cast<std::uint16_t>(width), 1, ~0u),
        nullptr);
    if (image == nullptr) return false;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    const int count = xcb_get_image_data_length(image) / 4;
    int black = 0;
    std::set<std::uint32_t> colours;
    for (int i = 0; i < count; ++i) {
        black += (pixels[i] & 0xFFFFFF) == 0;
        colours.insert(pixels[i] & 0xFFFFFF);
    }
    std::free(image);
    return count > 0 && black * 2 < count && colours.size() >= 3;
}

// Starts the program on `folder`; the seconds until its window is painted.
// The program is then ended as at a log-out, untimed.
double startToPaint(const std::string& folder, const std::filesystem::path& home) {
    const std::string exe = MABREL_EXECUTABLE;
    std::vector<std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string v = *e;
        if (v.rfind("HOME=", 0) && v.rfind("XDG_", 0) && v.rfind("QT_QPA_PLATFORM=", 0)) vars.push_back(v);
    }
    vars.push_back("HOME=" + home.string());
    vars.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
    vars.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
    vars.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (auto& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string arg0 = exe, arg1 = folder;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};

    Connection x;
    const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
    const auto start = bench::Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        throw std::runtime_error("cannot start " + exe);
    }
    double seconds = -1;
    while (bench::Clock::now() - start < std::chrono::seconds(60)) {
        int width = 0, height = 0;
        const xcb_window_t window = windowOf(x, pidAtom, pid, width, height);
        if (window != 0 && painted(x, window, width, height)) {
            seconds = std::chrono::duration<double>(bench::Clock::now() - start).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (seconds < 0) throw std::runtime_error("the window was not painted within 60 s on " + folder);
    return seconds;
}

}  // namespace

int main() {
    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("# start_bench needs an X server (bench.sh runs it under Xvfb)\n");
        return 1;
    }
    bench::Goals goals;
    bench::LoadFolder folder(100000, "start200k");
    const auto empty = bench::uniqueFolder("start-empty");
    const auto home = bench::uniqueFolder("start-home");
    std::filesystem::create_directories(home / "runtime");
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    bench::letSettle();
    goals.ratio("first_paint_200k_vs_empty",
                bench::compare([&] { return startToPaint(folder.drive, home); },
                               [&] { return startToPaint(bench::driveForm(empty), home); }, 5, 15, 60),
                1.5, "200,000 files", "empty folder");
    bench::removeTree(empty);
    bench::removeTree(home);
    return goals.exitCode();
}
