// The weekly update check of the real Veltrix.exe against the real update server: a resident 1.10 finds
// a release published, asks, replaces its own file and comes back as the new version, resident as
// before; a build with the publisher's key installs only what the publisher signed.
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
#include <map>
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

std::wstring Release(const char* version, const wchar_t* file) {
    return VeltrixProcess::ProgramFolder() + L"releases\\" + std::wstring(version, version + strlen(version)) + L"\\" +
           file;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// Every file below a folder with its bytes, by relative path.
void Snapshot(const std::wstring& folder, const std::wstring& prefix, std::map<std::wstring, std::string>& files) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Snapshot(folder + L"\\" + name, prefix + name + L"\\", files);
        else
            files[prefix + name] = TempFolder::Read(folder + L"\\" + name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    Snapshot(folder, L"", files);
    return files;
}

int Requests(const char* path) {
    std::string log = TempFolder::Read(HttpTestServer::UpdateLog());
    int count = 0;
    for (size_t at = log.find(path); at != std::string::npos; at = log.find(path, at + 1))
        count++;
    return count;
}

} // namespace

// A program folder of its own holding a Veltrix.exe, and the user's settings for a weekly check that is
// due against the tests' update server.
class UpdateE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, HttpTestServer::UpdatePort());
        ASSERT_TRUE(updateUrl.Set(HttpTestServer::UpdateUrl(L"/data/update.php?p=veltrix").c_str()));
        ASSERT_TRUE(declined.Remove());
        ASSERT_TRUE(autoUpdate.Set(1));
        // The menu is built from a folder whose name needs quoting on the command line.
        menuRoot = program.Folder(L"Start Menu");
        program.Write(L"Start Menu\\Entry.lnk", "");
    }
    // Other tests of this program run their checks against the same server.
    void TearDown() override { HttpTestServer::Unpublish(); }

    void Install(const std::wstring& source) {
        ASSERT_TRUE(CopyFileW(source.c_str(), installed.c_str(), FALSE));
        ASSERT_EQ(L"1.10", FileVersion(installed));
    }

    // Publishes Veltrix.exe with these bytes as `version`, with a signature unless it is empty.
    static void Publish(const char* version, const std::string& bytes, const std::string& signature) {
        std::string file = "{\"name\": \"Veltrix.exe\"";
        if (!signature.empty())
            file += ", \"signature\": \"" + signature + "\"";
        std::string v(version);
        HttpTestServer::Publish(version,
                                "{\"application\": \"Veltrix\", \"info\": {\"en\": \"Veltrix " + v +
                                    " is available. Install it?\"}, \"restart\": {\"en\": \"Veltrix has been "
                                    "updated. Restart it now?\"}, \"files\": [" +
                                    file + "}]}",
                                {{L"Veltrix.exe", bytes}});
    }

    // Starts the installed program resident, its weekly check due.
    void StartResident(VeltrixProcess& veltrix) {
        ASSERT_TRUE(lastCheck.Set((DWORD)(time(nullptr) - 30 * 86400)));
        ASSERT_TRUE(veltrix.Start(L"-s -r \"" + menuRoot + L"\"", installed));
    }

    // The instance a finished update started: the new file, resident as the old one was (a click on its
    // notification icon opens the menu of the same folder, with the resident instance's "Exit").
    void ExpectResidentSuccessor(StartedProcesses& started, const wchar_t* version) {
        EXPECT_EQ(version, FileVersion(installed));
        EXPECT_EQ(L"1.10", FileVersion(program.Path() + L"\\Veltrix_old.exe"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((program.Path() + L"\\Veltrix_new.exe").c_str()));
        DWORD successor = started.WaitFor(L"Veltrix.exe", 30000);
        ASSERT_NE(0u, successor) << "the new version was not started";
        EXPECT_EQ(0, _wcsicmp(installed.c_str(), StartedProcesses::ImagePath(successor).c_str()))
            << testing::PrintToString(StartedProcesses::ImagePath(successor));
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
        // The menu goes first: Escape, or, should the key go elsewhere, the main window cancels it.
        VeltrixProcess::PressKey(VK_ESCAPE);
        for (int i = 0; i < 50 && IsWindowVisible(popup); i++)
            Sleep(50);
        if (IsWindowVisible(popup))
            PostMessageW(main, WM_CANCELMODE, 0, 0);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(veltrix.WaitForExit(15000)) << "the new instance did not close";
    }

    TempFolder program{L"VeltrixUpdateE2E"};
    std::wstring installed = program.Path() + L"\\Veltrix.exe";
    std::wstring menuRoot;
    PlantedValue updateUrl{SettingsKey, L"UpdateUrl", 0, HKEY_CURRENT_USER};
    PlantedValue lastCheck{SettingsKey, L"LastCheck", 0, HKEY_CURRENT_USER};
    PlantedValue declined{SettingsKey, L"LastCheckVersion", 0, HKEY_CURRENT_USER};
    PlantedValue autoUpdate{SettingsKey, L"AutoUpdate", 0, HKEY_CURRENT_USER};
};

TEST_F(UpdateE2E, AResidentProgramReplacesItselfWithThePublishedReleaseAndComesBackResident) {
    // A developer's build (no publisher key) takes the unsigned release.
    Install(VeltrixProcess::ProgramFolder() + L"Veltrix.exe");
    Publish("1.11", TempFolder::Read(Release("1.11", L"Veltrix.exe")), "");
    BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
    VeltrixProcess old;
    StartResident(old);
    StartedProcesses started(old.Id());
    DWORD exitCode = 0;
    ASSERT_TRUE(old.WaitForExit(60000, &exitCode)) << "the old instance did not end after the update";
    EXPECT_EQ(0u, exitCode);
    std::vector<std::wstring> asked = user.Finish();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(L"Veltrix 1.11 is available. Install it?", asked[0]);
    EXPECT_EQ(L"Veltrix has been updated. Restart it now?", asked[1]);
    ExpectResidentSuccessor(started, L"1.11");
}

TEST_F(UpdateE2E, ABuildWithThePublishersKeyInstallsOnlyWhatThePublisherSigned) {
    // The 1.10 built with the tests' publisher key; the releases were signed with it at build time.
    Install(Release("1.10", L"Veltrix.exe"));
    std::string release = TempFolder::Read(Release("1.11", L"Veltrix.exe"));
    std::string signature = Trimmed(TempFolder::Read(Release("1.11", L"Veltrix.exe.sig")));
    ASSERT_EQ(88u, signature.size());
    std::string flipped = release;
    flipped[flipped.size() / 2] ^= 0x01;
    struct Case {
        const char* what;
        const char* version;
        std::string bytes;
        std::string signature;
    } cases[] = {
        {"one flipped byte", "1.11", flipped, signature},
        {"another key's signature", "1.11", release,
         Trimmed(TempFolder::Read(Release("1.11", L"Veltrix.exe.other.sig")))},
        {"a truncated signature", "1.11", release, signature.substr(0, 84)},
        {"no signature", "1.11", release, ""},
        {"1.12 announced, the signed 1.09 served", "1.12", TempFolder::Read(Release("1.09", L"Veltrix.exe")),
         Trimmed(TempFolder::Read(Release("1.09", L"Veltrix.exe.sig")))},
    };
    const std::map<std::wstring, std::string> before = Snapshot(program.Path());
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        Publish(refused.version, refused.bytes, refused.signature);
        int downloads = Requests("/files/");
        BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
        VeltrixProcess old;
        StartResident(old);
        // Asked, agreed, downloaded; then the download is refused and removed, without a word.
        for (int i = 0; i < 600 && Requests("/files/") == downloads; i++)
            Sleep(50);
        ASSERT_EQ(downloads + 1, Requests("/files/")) << "the file was not downloaded";
        for (int i = 0;
             i < 200 && GetFileAttributesW((program.Path() + L"\\Veltrix_new.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
             i++)
            Sleep(50);
        Sleep(1000);
        std::map<std::wstring, std::string> after = Snapshot(program.Path());
        for (const auto& file : after)
            EXPECT_TRUE(before.count(file.first) && before.at(file.first) == file.second)
                << "changed or added: " << testing::PrintToString(file.first);
        EXPECT_EQ(before.size(), after.size()) << "a file went missing";
        EXPECT_EQ(1u, user.Answered()) << "only the update question may be asked";
        EXPECT_TRUE(old.IsRunning());
        HWND main = old.WaitForMainWindow(5000);
        ASSERT_NE(nullptr, main);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(old.WaitForExit(15000));
    }

    Publish("1.11", release, signature);
    BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
    VeltrixProcess old;
    StartResident(old);
    StartedProcesses started(old.Id());
    ASSERT_TRUE(old.WaitForExit(60000)) << "the signed release was not installed";
    EXPECT_EQ(2u, user.Finish().size());
    ExpectResidentSuccessor(started, L"1.11");
}
