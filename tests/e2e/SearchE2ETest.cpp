// Searching the whole tree from the open menu of the real Veltrix.exe: letters typed from outside as a
// user types them, the popups shown read back, and the program Enter starts judged by the file it leaves.
#include "VeltrixProcess.h"

#include "Shortcut.h"
#include "StartedProcesses.h"
#include "TempFolder.h"
#include "app/program/ProgramEnvironment.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UINT TrayMessage = WM_APP + 1;

// Nothing at the root starts with z, "cod", "cr" or "del": those letters search. Each entry launches the
// marker program, which leaves a file named after the entry.
const wchar_t* const Entries[] = {L"Development\\Editors\\Zephyr Code Studio", L"Kitchen\\Cr\u00E8me Br\u00FBl\u00E9e",
                                  L"Mail\\Delta Mail", L"Notes\\Delta Notes", L"Notepad"};

} // namespace

class SearchE2E : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        for (const wchar_t* folder : {L"Development", L"Development\\Editors", L"Kitchen", L"Mail", L"Notes"}) {
            root.Folder(folder);
            marks.Folder(folder);
        }
        for (const wchar_t* entry : Entries)
            ASSERT_TRUE(MakeShortcut(root.Path() + L"\\" + entry + L".lnk",
                                     VeltrixProcess::ProgramFolder() + L"marker.exe", L"\"" + Mark(entry) + L"\""));
        // A memory of use left by another test would order the matches.
        WString usage;
        ASSERT_TRUE(UsageFilePath(0, usage));
        DeleteFileW(usage);
        StartResident();
    }
    void TearDown() override { CoUninitialize(); }
    void StartResident() {
        ASSERT_TRUE(veltrix.Start(L"-s -r \"" + root.Path() + L"\""));
        main = veltrix.WaitForMainWindow(15000);
        ASSERT_NE(nullptr, main);
    }
    std::wstring Mark(const wchar_t* entry) const { return marks.Path() + L"\\" + entry; }

    void OpenAndType(const std::wstring& keys) {
        PostMessageW(main, TrayMessage, 1, WM_LBUTTONDOWN);
        ASSERT_NE(nullptr, veltrix.WaitForMenu(10000));
        Type(keys);
    }
    // Letters, "\b" Backspace, "\x1B" Escape, "\r" Enter, at a quick typist's pace.
    static void Type(const std::wstring& keys) {
        for (wchar_t key : keys) {
            WORD code = key == L'\b' ? VK_BACK : key == L'\r' ? VK_RETURN : key == L'\x1B' ? VK_ESCAPE : 0;
            if (key >= L'a' && key <= L'z')
                code = (WORD)(key - L'a' + 'A');
            code ? VeltrixProcess::PressKey(code) : VeltrixProcess::TypeCharacter(key);
            Sleep(150);
        }
    }
    // The entry whose program ran, or "" when none did within the time; its file is removed.
    std::wstring Started(DWORD milliseconds) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(50)) {
            for (const wchar_t* entry : Entries) {
                if (VeltrixProcess::WaitForFile(Mark(entry), 0) && DeleteFileW(Mark(entry).c_str()))
                    return entry;
            }
        }
        return L"";
    }
    // The items of the one popup open once its first item starts with that text; empty after the time.
    std::vector<std::wstring> Shown(const std::wstring& first, DWORD milliseconds = 10000) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < milliseconds; Sleep(50)) {
            std::vector<HWND> menus;
            for (HWND window : StartedProcesses::Windows(veltrix.Id())) {
                if (VeltrixProcess::ClassName(window) == L"#32768" && IsWindowVisible(window))
                    menus.push_back(window);
            }
            if (menus.size() != 1)
                continue;
            std::vector<std::wstring> items = VeltrixProcess::MenuItems(menus[0]);
            if (!items.empty() && items[0].compare(0, first.size(), first) == 0)
                return items;
        }
        return {};
    }
    static std::wstring Heading(const std::wstring& text) { return StringTable().Load(IDS_SEARCH) + text; }

    TempFolder root{L"e2e-search"};
    TempFolder marks{L"e2e-search-marks"};
    VeltrixProcess veltrix;
    HWND main = nullptr;
};

TEST_F(SearchE2E, FindsAnEntryAnywhereByItsStartAWordItsInitialsOrWithoutAccentsAndEnterStartsIt) {
    struct Case {
        const wchar_t* typed;
        const wchar_t* started;
    } cases[] = {
        {L"zeph", L"Development\\Editors\\Zephyr Code Studio"},
        {L"code", L"Development\\Editors\\Zephyr Code Studio"},
        {L"zcs", L"Development\\Editors\\Zephyr Code Studio"},
        {L"creme brulee", L"Kitchen\\Cr\u00E8me Br\u00FBl\u00E9e"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        OpenAndType(c.typed);
        std::vector<std::wstring> items = Shown(Heading(c.typed));
        ASSERT_GE(items.size(), 2u) << "no results headed by the text";
        EXPECT_EQ(std::wstring(c.started).substr(std::wstring(c.started).rfind(L'\\') + 1), items[1]);
        EXPECT_EQ(L"", Started(700)) << "typing alone started a program";
        Type(L"\r");
        EXPECT_EQ(c.started, Started(10000));
    }
}

TEST_F(SearchE2E, BackspaceWidensEscapeGoesBackToTheRootAndASecondEscapeCloses) {
    OpenAndType(L"zephx");
    std::vector<std::wstring> items = Shown(Heading(L"zephx"));
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(std::wstring(StringTable().Load(IDS_NO_MATCH)) + L"\t(disabled)", items[1]);
    Type(L"\b");
    items = Shown(Heading(L"zeph"));
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(L"Zephyr Code Studio", items[1]);

    Type(L"\x1B");
    items = Shown(L"Development");
    EXPECT_NE(items.end(), std::find(items.begin(), items.end(), L"Notepad")) << "not the whole root again";
    Type(L"\x1B");
    EXPECT_TRUE(Shown(L"", 1500).empty()) << "the second Escape left a menu open";

    // Backspace over the whole text brings the root back too.
    OpenAndType(L"zz\b\b");
    EXPECT_FALSE(Shown(L"Development").empty());
    Type(L"\x1B");
}

TEST_F(SearchE2E, WhatIsStartedMoreComesFirstAndIsRememberedAcrossARestartWithoutTheIconCache) {
    OpenAndType(L"delta");
    std::vector<std::wstring> items = Shown(Heading(L"delta"));
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(L"Delta Mail", items[1]) << "equal matches in the tree's order";
    Type(L"\x1B\x1B");
    for (int i = 0; i < 2; i++) {
        OpenAndType(L"delta n\r");
        EXPECT_EQ(L"Notes\\Delta Notes", Started(10000));
    }
    OpenAndType(L"delta");
    items = Shown(Heading(L"delta"));
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(L"Delta Notes", items[1]);
    Type(L"\x1B\x1B");

    // Ended, its icon cache deleted, and started again: the starts were kept where the user's data lives.
    EXPECT_EQ(0u, veltrix.CloseAndWait(main, 10000));
    WString cache;
    ASSERT_TRUE(CacheFilePath(0, cache));
    DeleteFileW(cache);
    StartResident();
    OpenAndType(L"delta\r");
    EXPECT_EQ(L"Notes\\Delta Notes", Started(10000));

    // "Frequent": the entries started most head the root, above a line; only those started at all.
    DWORD frequent = 3;
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Frequent", REG_DWORD,
                                             &frequent, sizeof(frequent)));
    OpenAndType(L"");
    items = Shown(L"Delta Notes");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Koravent\\Veltrix", L"Frequent");
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(L"-", items[1]);
    EXPECT_EQ(L"Development", items[2]);
    Type(L"\x1B");
}
