#include "framework/ResourceLang.h"
#include "framework/StringTable.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>

TEST(StringTable, LanguagesAndFallbacks) {
    StringTable strings(nullptr, 1033);
    EXPECT_STREQ(L"About...", strings.Load(IDS_ABOUT));
    EXPECT_STREQ(L"Exit", strings.Load(IDS_EXIT));
    strings.SetLanguage(1031);
    EXPECT_STREQ(L"\u00dcber...", strings.Load(IDS_ABOUT));
    EXPECT_STREQ(L"Letzte \u00dcberpr\u00fcfung", strings.Load(IDS_LAST_CHECK));
    // Austrian German finds German through the primary language with the default sublanguage.
    strings.SetLanguage(3079);
    EXPECT_STREQ(L"Beenden", strings.Load(IDS_EXIT));
    // French has no table: English.
    strings.SetLanguage(1036);
    EXPECT_STREQ(L"Empty", strings.Load(IDS_EMPTY));
    strings.SetLanguage(1032);
    EXPECT_STREQ(L"\u0388\u03be\u03bf\u03b4\u03bf\u03c2", strings.Load(IDS_EXIT));
    strings.SetLanguage(1046);
    EXPECT_STREQ(L"Painel de Controle", strings.Load(IDS_CONTROL_PANEL));
    strings.SetLanguage(1053);
    EXPECT_STREQ(L"Empty", strings.Load(IDS_EMPTY));
    EXPECT_STREQ(L"Avsluta", strings.Load(IDS_EXIT));
    // European Portuguese finds the primary language's default sublanguage, which is Brazilian.
    strings.SetLanguage(2070);
    EXPECT_STREQ(L"Sair", strings.Load(IDS_EXIT));
}

TEST(StringTable, EveryLanguageHasAllTexts) {
    for (WORD language : {1031, 1032, 1033, 1046, 1053}) {
        for (UINT id = 1; id <= IDS_NO_MATCH; id++) {
            // Looked up without fallback: each table must carry the text itself.
            const void* block = FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
            ASSERT_NE(nullptr, block) << language;
            StringTable strings(nullptr, language);
            EXPECT_STRNE(L"?", strings.Load(id)) << language << " " << id;
        }
    }
}

TEST(StringTable, MissingIdsAndLongTexts) {
    StringTable strings(nullptr, 1033);
    EXPECT_STREQ(L"?", strings.Load(IDS_NO_MATCH + 1));
    EXPECT_STREQ(L"?", strings.Load(4000));
    wchar_t buffer[StringTable::BufferChars];
    const wchar_t* text = strings.Load(200, buffer);
    EXPECT_EQ(buffer, text);
    EXPECT_EQ(599u, wcslen(text)) << "texts are cut to 599 characters";
}

TEST(ResourceLang, FallsBackToEnglish) {
    DWORD size = 0;
    EXPECT_NE(nullptr, LoadResourceLang(nullptr, RT_STRING, MAKEINTRESOURCEW(1), 1036, &size));
    EXPECT_GT(size, 0u);
    EXPECT_EQ(nullptr, LoadResourceLang(nullptr, RT_STRING, MAKEINTRESOURCEW(77), 1033, nullptr));
}

namespace {

std::wstring BesideTests(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1) + name;
}

} // namespace

TEST(VersionInfo, TitlesFromTheVersionResource) {
    VersionInfo info;
    // This test program carries the program's own version block (FileVersion "1.10").
    EXPECT_STREQ(L"Veltrix [1.10]", info.VersionTitle(L"Veltrix", nullptr, nullptr));
    WString text;
    EXPECT_EQ(0x10A, VersionInfo::VersionNumber(nullptr, &text));
    EXPECT_STREQ(L"1.10", text.Buffer());
    ASSERT_EQ(1, VersionInfo::VersionString(text, L"ProductName", nullptr));
    EXPECT_STREQ(L"Koravent Veltrix", text.Buffer());
    EXPECT_EQ(0, VersionInfo::VersionString(text, L"NoSuchValue", nullptr));

    HMODULE version25 = LoadLibraryW(BesideTests(L"version25.dll").c_str());
    ASSERT_NE(nullptr, version25);
    wchar_t buffer[MAX_PATH];
    EXPECT_STREQ(L"Fixture [2.05]", info.VersionTitle(L"Fixture", version25, buffer));
    FreeLibrary(version25);

    HMODULE bare = LoadLibraryW(BesideTests(L"noversion.dll").c_str());
    ASSERT_NE(nullptr, bare);
    EXPECT_STREQ(L"Bare [1.01]", info.VersionTitle(L"Bare", bare, nullptr));
    EXPECT_EQ(0x101, VersionInfo::VersionNumber(bare, nullptr));
    FreeLibrary(bare);
}

TEST(VersionInfo, ModulePathAndDirectory) {
    WString path, folder;
    ASSERT_EQ(1, VersionInfo::ModulePath(nullptr, path));
    ASSERT_EQ(1, VersionInfo::ModuleDirectory(nullptr, folder));
    EXPECT_EQ(L'\\', folder.GetAt(folder.Length() - 1));
    EXPECT_EQ(0, path.CompareNoCase(folder, folder.Length()));
    EXPECT_EQ(0, _wcsicmp(path.Buffer() + folder.Length(), L"framework_tests.exe"));
    unsigned major = 7, minor = 8;
    EXPECT_EQ(0, VersionInfo::FileVersionText(L"C:\\no\\such.dll", &major, &minor, nullptr));
    EXPECT_EQ(7u, major);
}
