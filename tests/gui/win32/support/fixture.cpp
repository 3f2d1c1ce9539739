#include "support/fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <fstream>

#include "support/input.h"

namespace mabrel::win32gui::test {

namespace fs = std::filesystem;

FrontEndTest::FrontEndTest() : folder(work.mkdir("資料 フォルダ")) {}

fs::path FrontEndTest::file(const std::wstring& name, const std::string& bytes, int year, int month, int day,
                            int hour, int minute, int second) const {
    const fs::path p = folder / name;
    std::ofstream(p, std::ios::binary) << bytes;
    mabrel::test::setModificationTime(p, year, month, day, hour, minute, second);
    return p;
}

fs::path FrontEndTest::backup(const std::wstring& name, const std::string& bytes) const {
    fs::create_directories(backupDir());
    const fs::path p = backupDir() / name;
    std::ofstream(p, std::ios::binary) << bytes;
    // A copy keeps the time of the version it holds, the one in its name.
    const std::wstring stem = p.stem().wstring();
    int t[6] = {};
    if (stem.size() >= 19 && std::swscanf(stem.c_str() + stem.size() - 19, L"%4d-%2d-%2d %2d-%2d-%2d", &t[0], &t[1],
                                          &t[2], &t[3], &t[4], &t[5]) == 6) {
        mabrel::test::setModificationTime(p, t[0], t[1], t[2], t[3], t[4], t[5]);
    }
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    return p;
}

void FrontEndTest::comments(const std::vector<std::wstring>& lines) const {
    std::ofstream out(commentFile(), std::ios::binary);
    for (const auto& line : lines) out << ansi(line) << "\r\n";
}

std::vector<std::wstring> FrontEndTest::backupNames() const {
    std::vector<std::wstring> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(backupDir(), ec)) out.push_back(entry.path().filename().wstring());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::wstring> FrontEndTest::names() const {
    std::vector<std::wstring> out;
    for (const auto& row : list().rows()) out.push_back(row.cells[0]);
    return out;
}

std::vector<std::array<std::wstring, 3>> FrontEndTest::shownRows() const {
    std::vector<std::array<std::wstring, 3>> out;
    for (const auto& row : list().rows()) out.push_back({row.cells[0], row.cells[1], row.cells[3]});
    return out;
}

bool FrontEndTest::waitRows(const std::vector<std::array<std::wstring, 3>>& rows, DWORD ms) const {
    const std::vector<std::array<std::wstring, 3>> reversed(rows.rbegin(), rows.rend());
    return waitUntil([&] {
        const auto shown = shownRows();
        return shown == rows || shown == reversed;
    }, ms);
}

void FrontEndTest::selectRows(const std::vector<int>& rows) const {
    const ListView l = list();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const POINT at = centre(l.itemRect(rows[i], LVIR_LABEL));
        if (i == 0) {
            click(at);
        } else {
            ctrlClick(at);
        }
    }
    waitUntil([&] {
        const auto shown = l.rows();
        std::size_t selected = 0;
        for (const auto& r : shown) selected += r.selected ? 1 : 0;
        return selected == rows.size();
    }, 3000);
}

HWND FrontEndTest::contextMenu(int row) const {
    click(centre(list().itemRect(row, LVIR_LABEL)), Button::Right);
    return app.waitWindow(ids::kModalWindowClass);
}

HWND FrontEndTest::messageBox(HWND previous) const {
    const HWND box = app.waitWindow(L"#32770", previous);
    EXPECT_TRUE(box) << "no message box appeared";
    return box;
}

int FrontEndTest::dpi() const {
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT d = get ? get(app.main()) : 0;
    return d ? static_cast<int>(d) : 96;
}

int FrontEndTest::px(int twips) const { return static_cast<int>(std::lround(twips * dpi() / 1440.0)); }

}  // namespace mabrel::win32gui::test
