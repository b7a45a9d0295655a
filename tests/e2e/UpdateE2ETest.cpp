// The weekly update check of the real Veltrix.exe against the real update server: a resident 1.10 finds
// 1.11 published, asks, replaces its own file and comes back as 1.11, resident as before.
#include "VeltrixProcess.h"

#include "BoxAnswerer.h"
#include "StartedProcesses.h"
#include "TempFolder.h"
#include "framework/StringTable.h"
#include "framework/VersionInfo.h"
#include "resources/resource.h"
#include "sysinfo/PlantedValue.h"
#include "update/HttpTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <time.h>

namespace {

const wchar_t SettingsKey[] = L"Software\\Koravent\\Veltrix";
const UINT TrayMessage = WM_APP + 1;

std::wstring FileVersion(const std::wstring& path) {
    unsigned major = 0, minor = 0;
    WString text;
    if (!VersionInfo::FileVersionText(path.c_str(), &major, &minor, &text))
        return L"<none>";
    return text.Buffer();
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

} // namespace

TEST(UpdateE2E, AResidentProgramReplacesItselfWithThePublishedReleaseAndComesBackResident) {
    ASSERT_NE(0, HttpTestServer::UpdatePort());
    // A program folder of its own, holding this build's Veltrix.exe (1.10).
    TempFolder program(L"VeltrixUpdateE2E");
    std::wstring installed = program.Path() + L"\\Veltrix.exe";
    ASSERT_TRUE(CopyFileW((VeltrixProcess::ProgramFolder() + L"Veltrix.exe").c_str(), installed.c_str(), FALSE));
    ASSERT_EQ(L"1.10", FileVersion(installed));
    std::wstring release = VeltrixProcess::ProgramFolder() + L"releases\\1.11\\Veltrix.exe";
    ASSERT_EQ(L"1.11", FileVersion(release));
    HttpTestServer::Publish(
        "1.11",
        "{\"application\": \"Veltrix\", \"info\": {\"en\": \"Veltrix 1.11 is available. Install it?\"},"
        " \"restart\": {\"en\": \"Veltrix has been updated. Restart it now?\"},"
        " \"files\": [{\"name\": \"Veltrix.exe\"}]}",
        {{L"Veltrix.exe", TempFolder::Read(release)}});

    // The user's settings: the check is on, the last one was long ago, the server is the test's.
    PlantedValue updateUrl(SettingsKey, L"UpdateUrl", 0, HKEY_CURRENT_USER);
    PlantedValue lastCheck(SettingsKey, L"LastCheck", 0, HKEY_CURRENT_USER);
    PlantedValue declined(SettingsKey, L"LastCheckVersion", 0, HKEY_CURRENT_USER);
    PlantedValue autoUpdate(SettingsKey, L"AutoUpdate", 0, HKEY_CURRENT_USER);
    ASSERT_TRUE(updateUrl.Set(HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix").c_str()));
    ASSERT_TRUE(lastCheck.Set((DWORD)(time(nullptr) - 30 * 86400)));
    ASSERT_TRUE(declined.Remove());
    ASSERT_TRUE(autoUpdate.Set(1));

    // Resident, with its menu built from a folder whose name needs quoting on the command line.
    std::wstring menuRoot = program.Folder(L"Start Menu");
    program.Write(L"Start Menu\\Entry.lnk", "");
    BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
    VeltrixProcess old;
    ASSERT_TRUE(old.Start(L"-s -r \"" + menuRoot + L"\"", installed));
    StartedProcesses started(old.Id());
    DWORD exitCode = 0;
    ASSERT_TRUE(old.WaitForExit(60000, &exitCode)) << "the old instance did not end after the update";
    EXPECT_EQ(0u, exitCode);
    std::vector<std::wstring> asked = user.Finish();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(L"Veltrix 1.11 is available. Install it?", asked[0]);
    EXPECT_EQ(L"Veltrix has been updated. Restart it now?", asked[1]);

    // The folder now holds 1.11 under the program's name and 1.10 beside it; nothing half-done is left.
    EXPECT_EQ(L"1.11", FileVersion(installed));
    EXPECT_EQ(L"1.10", FileVersion(program.Path() + L"\\Veltrix_old.exe"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((program.Path() + L"\\Veltrix_new.exe").c_str()));

    // The instance that runs now is the new file, resident as the old one was: a click on its
    // notification icon opens the menu of the same folder, with the resident instance's "Exit".
    DWORD successor = started.WaitFor(L"Veltrix.exe", 30000);
    ASSERT_NE(0u, successor) << "the new version was not started";
    EXPECT_TRUE(SameFile(installed, StartedProcesses::ImagePath(successor)))
        << "started: " << testing::PrintToString(StartedProcesses::ImagePath(successor));
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Attach(successor));
    HWND main = veltrix.WaitForMainWindow(15000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, TrayMessage, 0, WM_LBUTTONDOWN);
    HWND popup = veltrix.WaitForMenu(15000);
    ASSERT_NE(nullptr, popup) << "the new instance is not resident";
    std::vector<std::wstring> items = VeltrixProcess::MenuItems(popup);
    StringTable strings;
    EXPECT_EQ(L"Entry", items.front());
    EXPECT_NE(items.end(), std::find(items.begin(), items.end(), std::wstring(strings.Load(IDS_EXIT))));
    VeltrixProcess::PressKey(VK_ESCAPE);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(15000)) << "the new instance did not close";
}
