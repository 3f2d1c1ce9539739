#include "support/x_desktop.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdlib>
#include <sstream>

namespace mabrel::gui::test::x {

namespace {

QString id(unsigned long window) { return QString::number(window); }
std::string xprop(unsigned long window, const char* name) { return run({"xprop", "-id", id(window), name}); }
std::string xwininfo(unsigned long window) { return run({"xwininfo", "-id", id(window)}); }
void xdotool(const QStringList& args) { run(QStringList{"xdotool"} + args); }

}  // namespace

std::string windowManager() {
    const QByteArray wm = qgetenv("MABREL_TEST_WM");
    return wm.isEmpty() ? std::string("none") : wm.toStdString();
}

Ran exec(const QStringList& command, const QProcessEnvironment& env, int ms, bool merged) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(merged ? QProcess::MergedChannels : QProcess::SeparateChannels);
    p.start(command.front(), command.mid(1));
    if (!p.waitForFinished(ms) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished(1000);
        return {-1, p.readAllStandardOutput().toStdString()};
    }
    return {p.exitCode(), p.readAllStandardOutput().toStdString()};
}

std::string run(const QStringList& command) {
    const Ran r = exec(command, QProcessEnvironment::systemEnvironment(), 10000, false);
    return r.code == 0 ? r.out : std::string();
}

std::string wmState(unsigned long window) {
    // "WM_STATE(WM_STATE):\n\t\twindow state: Iconic\n..."
    const std::string out = xprop(window, "WM_STATE"), key = "window state: ";
    const auto at = out.find(key);
    return at == std::string::npos ? std::string() : out.substr(at + key.size(), out.find('\n', at) - at - key.size());
}

bool isMaximised(unsigned long window) {
    const std::string out = xprop(window, "_NET_WM_STATE");
    return out.find("MAXIMIZED_HORZ") != std::string::npos && out.find("MAXIMIZED_VERT") != std::string::npos;
}

bool isViewable(unsigned long window) { return xwininfo(window).find("Map State: IsViewable") != std::string::npos; }

int width(unsigned long window) {
    const std::string out = xwininfo(window);
    const auto at = out.find("Width: ");
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + 7);
}

std::string title(unsigned long window) {
    // _NET_WM_NAME(UTF8_STRING) = " C:\\TMP\\"   (quotes and backslashes escaped)
    const std::string out = xprop(window, "_NET_WM_NAME");
    const auto first = out.find('"'), last = out.rfind('"');
    std::string text;
    for (auto i = first + 1; first != std::string::npos && i < last; ++i) text += out[i += out[i] == '\\'];
    return text;
}

std::vector<std::uint32_t> icon(unsigned long window, int size) {
    // _NET_WM_ICON = width, height, pixels..., width, height, pixels...
    std::string out = run({"xprop", "-id", id(window), "-notype", "-f", "_NET_WM_ICON", "32c", "_NET_WM_ICON"});
    const auto equals = out.find('=');
    if (equals == std::string::npos) return {};
    for (char& c : out) c = c == ',' ? ' ' : c;
    std::istringstream numbers(out.substr(equals + 1));
    for (unsigned long long w = 0, h = 0; numbers >> w >> h;) {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w * h));
        for (auto& p : pixels) {
            unsigned long long v = 0;
            numbers >> v;
            p = static_cast<std::uint32_t>(v);
        }
        if (w == static_cast<unsigned long long>(size) && h == w) return pixels;
    }
    return {};
}

std::vector<unsigned long> visibleWindowsOf(qint64 pid) {
    std::istringstream ids(run({"xdotool", "search", "--onlyvisible", "--pid", QString::number(pid)}));
    std::vector<unsigned long> windows;
    for (unsigned long window = 0; ids >> window;) windows.push_back(window);
    return windows;
}

unsigned long visibleWindowOf(qint64 pid) {
    const auto windows = visibleWindowsOf(pid);
    return windows.empty() ? 0 : windows.front();
}

void minimise(unsigned long window) { xdotool({"windowminimize", id(window)}); }
void activate(unsigned long window) { xdotool({"windowactivate", id(window)}); }
void map(unsigned long window) { xdotool({"windowmap", id(window)}); }
void click(unsigned long window, int x, int y, int count, int button) {
    xdotool({"mousemove", "--window", id(window), QString::number(x), QString::number(y), "click", "--repeat",
             QString::number(count), "--delay", "80", QString::number(button)});
}
void type(const std::string& text) { xdotool({"type", "--delay", "30", QString::fromStdString(text)}); }
void key(const std::string& keys) { xdotool({"key", QString::fromStdString(keys)}); }

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        settle(20);
    }
    return true;
}

}  // namespace mabrel::gui::test::x
