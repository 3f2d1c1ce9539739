// What Windows shows of the program file (its properties: the resources and
// the version information) and the help page the zip carries beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/app.h"
#include "support/temp_dir.h"

namespace mabrel::win32gui::test {
namespace {

// The language of every resource in the file.
std::vector<WORD> resourceLanguages(HMODULE module) {
    std::vector<WORD> languages;
    EnumResourceTypesW(
        module,
        +[](HMODULE m, LPWSTR type, LONG_PTR out) -> BOOL {
            EnumResourceNamesW(
                m, type,
                +[](HMODULE mm, LPCWSTR t, LPWSTR n, LONG_PTR o) -> BOOL {
                    EnumResourceLanguagesW(
                        mm, t, n,
                        +[](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
                            reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
                            return TRUE;
                        },
                        o);
                    return TRUE;
                },
                out);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

TEST(ProgramFile, ItsResourcesAreJapaneseItsMakerTheProjectAndItsHelpPageTheWindowsOne) {
    const std::wstring exe = App::built().wstring();
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module) << "cannot read " << App::built();
    const std::vector<WORD> languages = resourceLanguages(module);
    FreeLibrary(module);
    ASSERT_GE(languages.size(), 4u);  // icon, manifest, version, refresh picture
    for (const WORD language : languages) EXPECT_EQ(language, 0x0411);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0411);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);
    const auto text = [&](const wchar_t* name) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
        void* v = nullptr;
        UINT n = 0;
        if (!VerQueryValueW(info.data(), path.c_str(), &v, &n) || n == 0) return std::wstring(L"(none)");
        return std::wstring(static_cast<const wchar_t*>(v));
    };
    EXPECT_EQ(text(L"FileDescription"), L"mabrel9-iv：ファイルの以前の版を隣に残すツール");
    EXPECT_EQ(text(L"CompanyName"), L"mabrel9-iv");
    EXPECT_EQ(text(L"ProductName"), L"mabrel9-iv");

    // The page says where Windows keeps the settings, and nothing of Linux.
    const std::string page = mabrel::test::readBytes(App::built().parent_path() / L"mabrel9-iv.html");
    EXPECT_EQ(page.find("Linux"), std::string::npos);
    EXPECT_NE(page.find("プログラム本体と同じフォルダーの <code>mabrel9-iv.ini</code>"), std::string::npos);
}

}  // namespace
}  // namespace mabrel::win32gui::test
