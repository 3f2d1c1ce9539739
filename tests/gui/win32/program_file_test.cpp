// What Windows shows of the program file (its properties: the resources and
// the version information) and the help page the zip carries beside it.
#include "support/fixture.h"

namespace mabrel::win32gui::test {
namespace {

TEST(ProgramFile, ItsResourcesAndVersionStringsAreJapaneseAndItsHelpPageTheWindowsOne) {
    const std::wstring exe = builtProgram().wstring();
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module) << "cannot read " << builtProgram();
    // The language of every resource: icon, manifest, version, refresh picture.
    std::vector<WORD> languages;
    EnumResourceTypesW(module, [](HMODULE m, LPWSTR type, LONG_PTR out) -> BOOL {
        EnumResourceNamesW(m, type, [](HMODULE mm, LPCWSTR t, LPWSTR n, LONG_PTR o) -> BOOL {
            EnumResourceLanguagesW(mm, t, n, [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
                return TRUE;
            }, o);
            return TRUE;
        }, out);
        return TRUE;
    }, reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
    ASSERT_GE(languages.size(), 4u);
    for (const WORD language : languages) EXPECT_EQ(language, 0x0411);

    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    ASSERT_TRUE(!info.empty() && GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    const auto value = [&](const std::wstring& path) {
        void* v = nullptr;
        UINT n = 0;
        return VerQueryValueW(info.data(), path.c_str(), &v, &n) && n > 0 ? static_cast<const wchar_t*>(v) : nullptr;
    };
    ASSERT_TRUE(value(L"\\VarFileInfo\\Translation"));
    EXPECT_EQ(reinterpret_cast<const WORD*>(value(L"\\VarFileInfo\\Translation"))[0], 0x0411);
    EXPECT_TRUE(value(L"\\StringFileInfo\\041104B0\\FileDescription"));  // the strings under that language

    // The page says where Windows keeps the settings, and nothing of Linux.
    const std::string page = mabrel::test::readBytes(builtProgram().parent_path() / L"mabrel9-iv.html");
    EXPECT_EQ(page.find("Linux"), std::string::npos);
    EXPECT_NE(page.find("プログラム本体と同じフォルダーの <code>mabrel9-iv.ini</code>"), std::string::npos);
}

}  // namespace
}  // namespace mabrel::win32gui::test
