// The About box of the real Veltrix.exe, opened from its menu with the keyboard: its texts, and the
// switch for the automatic update check against the real update server.
#include "VeltrixProcess.h"

#include "TempFolder.h"
#include "framework/StringTable.h"
#include "resources/resource.h"
#include "update/HttpTestServer.h"

#include <gtest/gtest.h>

#include <string>
#include <time.h>

namespace {

const wchar_t* const SettingsKey = L"Software\\Koravent\\Veltrix";

std::wstring Text(UINT id) {
    StringTable strings;
    return strings.Load(id);
}

// A control's text as the program reports it (GetWindowTextW would read only the system's copy).
std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[256] = L"";
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_GETTEXT, 256, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

std::string ReadLog() {
    HANDLE file = CreateFileW(HttpTestServer::UpdateLog().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], (DWORD)text.size(), &read, nullptr);
    CloseHandle(file);
    return text;
}

int CheckRequests() {
    std::string log = ReadLog();
    int count = 0;
    for (size_t at = log.find("/data/update.php?p=veltrix&v=1.10&id="); at != std::string::npos;
         at = log.find("/data/update.php?p=veltrix&v=1.10&id=", at + 1))
        count++;
    return count;
}

} // namespace

class AboutE2E : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"AutoUpdate", L"LastCheck"})
            saved.push_back({name, ReadNumber(name)});
        DWORD size = sizeof(updateUrl);
        RegGetValueW(HKEY_CURRENT_USER, SettingsKey, L"UpdateUrl", RRF_RT_REG_SZ, nullptr, updateUrl, &size);
        root.Write(L"alpha.lnk", "");
        root.Write(L"Beta.lnk", "");
        root.Folder(L"Games");
        root.Write(L"Games\\Mines.lnk", "");
    }
    void TearDown() override {
        for (const auto& value : saved) {
            if (value.second == Missing)
                RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, value.first);
            else
                WriteNumber(value.first, value.second);
        }
        // Back to the closed port the prefix was made with: no other test reaches a live server.
        SetUpdateUrl(updateUrl);
    }
    static const DWORD Missing = 0x12345678;
    static DWORD ReadNumber(const wchar_t* name) {
        DWORD value = Missing, size = sizeof(value);
        RegGetValueW(HKEY_CURRENT_USER, SettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }
    static void WriteNumber(const wchar_t* name, DWORD value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey, name, REG_DWORD, &value, sizeof(value));
    }
    static void SetUpdateUrl(const std::wstring& url) {
        RegSetKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"UpdateUrl", REG_SZ, url.c_str(),
                        (DWORD)((url.size() + 1) * sizeof(wchar_t)));
    }
    // A once-mode run with the About box chosen from its menu by the keyboard; null when it did not open.
    HWND OpenAbout(VeltrixProcess& veltrix) {
        if (!veltrix.Start(L"-r \"" + root.Path() + L"\"") || !veltrix.WaitForMenu(15000))
            return nullptr;
        // alpha, Beta, Games, then Organize and About (the separator is skipped).
        for (int i = 0; i < 5; i++)
            VeltrixProcess::PressKey(VK_DOWN);
        VeltrixProcess::PressKey(VK_RETURN);
        HWND dialog = veltrix.WaitForWindow(L"#32770", 10000);
        Sleep(300);
        return dialog;
    }
    static bool IsChecked(HWND dialog) {
        return SendMessageW(GetDlgItem(dialog, IDC_ABOUT_AUTO_UPDATE), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    TempFolder root{L"e2e-about"};
    std::vector<std::pair<const wchar_t*, DWORD>> saved;
    wchar_t updateUrl[512] = L"";
};

TEST_F(AboutE2E, ShowsTitleVersionLinkAndTheLastCheckInTheBox) {
    // Checks off and none recorded: the box reads the plain text.
    WriteNumber(L"AutoUpdate", 0);
    WriteNumber(L"LastCheck", 0);
    {
        VeltrixProcess veltrix;
        HWND dialog = OpenAbout(veltrix);
        ASSERT_NE(nullptr, dialog) << "no About box";
        wchar_t title[64] = L"";
        GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(L"Veltrix [1.10]", title);
        EXPECT_EQ(L"Veltrix", ItemText(dialog, IDC_ABOUT_PRODUCT));
        EXPECT_EQ(Text(IDS_VERSION) + L" 1.10", ItemText(dialog, IDC_ABOUT_VERSION));
        EXPECT_EQ(L"www.koravent.com", ItemText(dialog, IDC_ABOUT_LINK));
        EXPECT_EQ(Text(IDS_AUTO_UPDATE), ItemText(dialog, IDC_ABOUT_AUTO_UPDATE));
        EXPECT_EQ(Text(IDS_OK), ItemText(dialog, IDC_ABOUT_OK));
        EXPECT_FALSE(IsChecked(dialog));
        Sleep(1000);
        EXPECT_TRUE(veltrix.IsRunning()) << "the program waits for the dialog";
        // Enter ends the box as OK does, and the once-mode run with it.
        VeltrixProcess::PressKey(VK_RETURN);
        EXPECT_TRUE(veltrix.WaitForExit(10000)) << "closing the About box ends a once-mode run";
    }

    // A check an hour ago, and checks switched off since: its local time in the user's short formats.
    DWORD hourAgo = (DWORD)time(nullptr) - 3600;
    WriteNumber(L"AutoUpdate", 0);
    WriteNumber(L"LastCheck", hourAgo);
    ULARGE_INTEGER ticks;
    ticks.QuadPart = ((unsigned long long)hourAgo + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart}, local;
    SYSTEMTIME when;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
    wchar_t date[80], clock[80];
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &when, nullptr, clock, 80);
    VeltrixProcess veltrix;
    HWND dialog = OpenAbout(veltrix);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(Text(IDS_AUTO_UPDATE) + L" [" + Text(IDS_LAST_CHECK) + L": " + date + L" " + clock + L"]",
              ItemText(dialog, IDC_ABOUT_AUTO_UPDATE));
    EXPECT_FALSE(IsChecked(dialog));
    VeltrixProcess::PressKey(VK_SPACE);
    Sleep(300);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(10000));
    EXPECT_EQ(1u, ReadNumber(L"AutoUpdate")) << "the close box saves the setting too";
}

TEST_F(AboutE2E, SwitchingChecksOffSticksAndSwitchingThemOnChecksAtOnce) {
    ASSERT_NE(0, HttpTestServer::UpdatePort());
    // Nothing published: the check finds no update and asks nothing.
    HttpTestServer::Unpublish();
    SetUpdateUrl(HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix"));
    WriteNumber(L"AutoUpdate", 1);
    WriteNumber(L"LastCheck", (DWORD)time(nullptr) - 3600);
    int requests = CheckRequests();
    {
        VeltrixProcess veltrix;
        HWND dialog = OpenAbout(veltrix);
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(IsChecked(dialog));
        // The box has the focus: Space switches it off, Escape closes.
        VeltrixProcess::PressKey(VK_SPACE);
        Sleep(300);
        EXPECT_FALSE(IsChecked(dialog));
        VeltrixProcess::PressKey(VK_ESCAPE);
        EXPECT_TRUE(veltrix.WaitForExit(10000));
    }
    EXPECT_EQ(0u, ReadNumber(L"AutoUpdate"));
    EXPECT_EQ(requests, CheckRequests()) << "switching off asks nothing";

    // Due for a weekly check, but switched off: the next start asks nothing.
    WriteNumber(L"LastCheck", 0);
    {
        VeltrixProcess veltrix;
        ASSERT_TRUE(veltrix.Start(L"-r \"" + root.Path() + L"\""));
        ASSERT_NE(nullptr, veltrix.WaitForMenu(15000));
        Sleep(1500);
        VeltrixProcess::PressKey(VK_ESCAPE);
        EXPECT_TRUE(veltrix.WaitForExit(10000));
    }
    EXPECT_EQ(requests, CheckRequests());
    EXPECT_EQ(0u, ReadNumber(L"LastCheck"));

    // Switched on in the box: a check at once, without recording it as the weekly one.
    VeltrixProcess veltrix;
    HWND dialog = OpenAbout(veltrix);
    ASSERT_NE(nullptr, dialog);
    ASSERT_FALSE(IsChecked(dialog));
    VeltrixProcess::PressKey(VK_SPACE);
    DWORD start = GetTickCount();
    while (CheckRequests() == requests && GetTickCount() - start < 15000)
        Sleep(100);
    EXPECT_EQ(requests + 1, CheckRequests()) << "no check reached the update server";
    EXPECT_TRUE(IsChecked(dialog));
    EXPECT_TRUE(veltrix.IsRunning());
    VeltrixProcess::PressKey(VK_ESCAPE);
    EXPECT_TRUE(veltrix.WaitForExit(15000));
    EXPECT_EQ(1u, ReadNumber(L"AutoUpdate"));
    EXPECT_EQ(0u, ReadNumber(L"LastCheck"));
}
