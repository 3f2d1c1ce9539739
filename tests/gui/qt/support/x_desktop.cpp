#include "support/x_desktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cstdlib>
#include <sstream>

namespace mabrel::gui::test::x {

namespace {

QString id(unsigned long window) { return QString::number(window); }

std::string property(unsigned long window, const char* name) {
    return run(QStringLiteral("xprop"), {QStringLiteral("-id"), id(window), QString::fromLatin1(name)});
}

}  // namespace

std::string windowManager() {
    const QByteArray wm = qgetenv("MABREL_TEST_WM");
    return wm.isEmpty() ? std::string("none") : wm.toStdString();
}

std::string run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return p.readAllStandardOutput().toStdString();
}

std::string wmState(unsigned long window) {
    // "WM_STATE(WM_STATE):\n\t\twindow state: Iconic\n..."
    const std::string out = property(window, "WM_STATE");
    const std::string key = "window state: ";
    const auto at = out.find(key);
    if (at == std::string::npos) return {};
    const auto begin = at + key.size();
    return out.substr(begin, out.find_first_of("\r\n", begin) - begin);
}

bool isMaximised(unsigned long window) {
    const std::string out = property(window, "_NET_WM_STATE");
    return out.find("_NET_WM_STATE_MAXIMIZED_HORZ") != std::string::npos &&
           out.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos;
}

bool isViewable(unsigned long window) {
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id(window)}).find("Map State: IsViewable") !=
           std::string::npos;
}

int width(unsigned long window) {
    const std::string out = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id(window)});
    const std::string key = "Width: ";
    const auto at = out.find(key);
    return at == std::string::npos ? 0 : std::atoi(out.c_str() + at + key.size());
}

std::string title(unsigned long window) {
    // _NET_WM_NAME(UTF8_STRING) = " C:\\TMP\\"   (quotes and backslashes escaped)
    const std::string out = property(window, "_NET_WM_NAME");
    const auto first = out.find('"');
    const auto last = out.rfind('"');
    if (first == std::string::npos || last <= first) return {};
    std::string text;
    for (auto i = first + 1; i < last; ++i) {
        if (out[i] == '\\' && i + 1 < last) ++i;
        text += out[i];
    }
    return text;
}

std::vector<std::uint32_t> icon(unsigned long window, int size) {
    // _NET_WM_ICON = width, height, pixels..., width, height, pixels...
    std::string out = run(QStringLiteral("xprop"), {QStringLiteral("-id"), id(window), QStringLiteral("-notype"),
                                                    QStringLiteral("-f"), QStringLiteral("_NET_WM_ICON"),
                                                    QStringLiteral("32c"), QStringLiteral("_NET_WM_ICON")});
    const auto equals = out.find('=');
    if (equals == std::string::npos) return {};
    for (char& c : out) {
        if (c == ',') c = ' ';
    }
    std::istringstream numbers(out.substr(equals + 1));
    unsigned long long w = 0, h = 0;
    while (numbers >> w >> h) {
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

unsigned long visibleWindowOf(qint64 pid) {
    std::istringstream ids(run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                           QStringLiteral("--pid"), QString::number(pid)}));
    unsigned long window = 0;
    ids >> window;
    return window;
}

std::vector<unsigned long> visibleWindowsOf(qint64 pid) {
    std::istringstream ids(run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                           QStringLiteral("--pid"), QString::number(pid)}));
    std::vector<unsigned long> windows;
    for (unsigned long window = 0; ids >> window;) windows.push_back(window);
    return windows;
}

void minimise(unsigned long window) { run(QStringLiteral("xdotool"), {QStringLiteral("windowminimize"), id(window)}); }
void activate(unsigned long window) { run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), id(window)}); }
void map(unsigned long window) { run(QStringLiteral("xdotool"), {QStringLiteral("windowmap"), id(window)}); }

void click(unsigned long window, int x, int y, int count, int button) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("--window"), id(window), QString::number(x), QString::number(y),
         QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
         QStringLiteral("80"), QString::number(button)});
}

void type(const std::string& text) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QString::fromStdString(text)});
}

void key(const std::string& keys) {
    run(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromStdString(keys)});
}

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
