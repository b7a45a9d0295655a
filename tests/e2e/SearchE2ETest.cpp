// Searching the whole tree from the open menu of the real Veltrix.exe: letters typed from outside as a
// user types them, the popups shown read back, and the program Enter starts judged by the file it leaves.
#include "TypedMenuTest.h"
#include "VeltrixProcess.h"

#include "StartedProcesses.h"
#include "app/program/ProgramEnvironment.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Nothing at the root starts with z, "cod", "cr" or "del": those letters search.
class SearchE2E : public TypedMenuTest {
protected:
    SearchE2E()
        : TypedMenuTest(L"e2e-search",
                        {L"Development\\Editors\\Zephyr Code Studio", L"Kitchen\\Cr\u00E8me Br\u00FBl\u00E9e",
                         L"Mail\\Delta Mail", L"Notes\\Delta Notes", L"Notepad"}) {}
    void SetUp() override {
        // A memory of use left by another test would order the matches.
        WString usage;
        ASSERT_TRUE(UsageFilePath(0, usage));
        DeleteFileW(usage);
        TypedMenuTest::SetUp();
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
