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
#include "update/FileSwap.h"
#include "update/HttpTestServer.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

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

// Replaces a published file after the release was signed, as a server in the publisher's place could.
void Replace(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int Requests(const char* path) {
    std::string log = TempFolder::Read(HttpTestServer::UpdateLog());
    int count = 0;
    for (size_t at = log.find(path); at != std::string::npos; at = log.find(path, at + 1))
        count++;
    return count;
}

// Counts the steps of a swap down and stops it when none is left.
int StopAtStep(void* remaining) {
    return --*static_cast<int*>(remaining) > 0;
}

// The resident instance running the program at `path`: the one started, or, once that one has handed the
// swap over, the one the copy of the previous version started (whose parent may be gone already).
DWORD ResidentAt(const std::wstring& path) {
    for (int i = 0; i < 300; i++) {
        std::vector<DWORD> running;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            running.push_back(entry.th32ProcessID);
        CloseHandle(snapshot);
        for (DWORD id : running) {
            VeltrixProcess candidate;
            // By its folder: Wine may name a program by the file it was mapped from, renamed since.
            std::wstring image = StartedProcesses::ImagePath(id);
            bool resident = !_wcsnicmp(image.c_str(), path.c_str(), path.rfind(L'\\') + 1) && candidate.Attach(id) &&
                            candidate.WaitForMainWindow(200);
            candidate.Detach();
            if (resident)
                return id;
        }
        Sleep(50);
    }
    return 0;
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
        // A copy that has taken no answer yet.
        ASSERT_TRUE(answerIssued.Remove() && answerVersion.Remove());
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

    // Publishes these bytes as `version` under `name` (from `url` when one is given), unsigned.
    static void Publish(const char* version, const std::string& bytes, const char* name = "Veltrix.exe",
                        const std::string& url = "") {
        std::string file = "{\"name\": \"" + std::string(name) + "\"";
        if (!url.empty())
            file += ", \"url\": \"" + url + "\"";
        std::string v(version);
        std::wstring served(name, name + strlen(name));
        HttpTestServer::Publish(version,
                                "{\"application\": \"Veltrix\", \"info\": {\"en\": \"Veltrix " + v +
                                    " is available. Install it?\"}, \"restart\": {\"en\": \"Veltrix has been "
                                    "updated. Restart it now?\"}, \"files\": [" +
                                    file + "}]}",
                                {{served, bytes}});
    }

    // Starts the installed program resident, its weekly check due.
    void StartResident(VeltrixProcess& veltrix) {
        // A week since the last valid answer, and no failed attempt to wait after.
        ASSERT_TRUE(lastCheck.Set((DWORD)(time(nullptr) - 30 * 86400)) && failures.Remove());
        ASSERT_TRUE(veltrix.Start(L"-s -r \"" + menuRoot + L"\"", installed));
    }

    // The instance a finished update started: the new file, resident as the old one was (a click on its
    // notification icon opens the menu of the same folder, with the resident instance's "Exit").
    // Once it is up, the update is kept: the copy of the old version and the record of the swap go.
    void ExpectResidentSuccessor(StartedProcesses& started, const wchar_t* version) {
        DWORD successor = started.WaitFor(L"Veltrix.exe", 30000);
        ASSERT_NE(0u, successor) << "the new version was not started";
        EXPECT_EQ(0, _wcsicmp(installed.c_str(), StartedProcesses::ImagePath(successor).c_str()))
            << testing::PrintToString(StartedProcesses::ImagePath(successor));
        ExpectResidentMenu(successor, program.Path());
        EXPECT_EQ(version, FileVersion(installed));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((program.Path() + L"\\Veltrix_new.exe").c_str()));
    }

    // The resident instance shows the menu of the tests' folder, keeps or undoes the update, and closes.
    void ExpectResidentMenu(DWORD id, const std::wstring& folder) {
        VeltrixProcess veltrix;
        ASSERT_TRUE(veltrix.Attach(id));
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
        for (int i = 0; i < 300 && (Exists(folder + L"\\Update.journal") || Exists(folder + L"\\Veltrix_old.exe")); i++)
            Sleep(50);
        EXPECT_FALSE(Exists(folder + L"\\Update.journal"));
        EXPECT_FALSE(Exists(folder + L"\\Veltrix_old.exe"));
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
    PlantedValue failures{SettingsKey, L"LastCheckFailures", 0, HKEY_CURRENT_USER};
    PlantedValue answerIssued{SettingsKey, L"AnswerIssued", 0, HKEY_CURRENT_USER};
    PlantedValue answerVersion{SettingsKey, L"AnswerVersion", 0, HKEY_CURRENT_USER};
};

TEST_F(UpdateE2E, AResidentProgramReplacesItselfWithThePublishedReleaseAndComesBackResident) {
    // A developer's build (no publisher key) takes the unsigned release.
    Install(VeltrixProcess::ProgramFolder() + L"Veltrix.exe");
    Publish("1.11", TempFolder::Read(Release("1.11", L"Veltrix.exe")));
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
    // The 1.10 built with the tests' publisher key; the releases are signed with it as the publisher does.
    Install(Release("1.10", L"Veltrix.exe"));
    const std::string release = TempFolder::Read(Release("1.11", L"Veltrix.exe"));
    std::string flipped = release;
    flipped[flipped.size() / 2] ^= 0x01;
    struct Case {
        const char* what;
        const char* version;
        std::string signedBytes; // what the answer was signed over
        std::string servedBytes;
        const char* key; // null: not signed
        const char* name;
        bool asked; // the signature held: the user is asked and the download refused only then
    } cases[] = {
        {"not signed", "1.11", release, release, nullptr, "Veltrix.exe", false},
        {"another key's signature", "1.11", release, release, "TEST-ONLY-other.pem", "Veltrix.exe", false},
        {"a library of the program, signed", "1.11", release, release, "TEST-ONLY-publisher.pem", "version.dll", false},
        {"one byte changed after signing", "1.11", release, flipped, "TEST-ONLY-publisher.pem", "Veltrix.exe", true},
        {"1.12 announced, the signed 1.09 served", "1.12", TempFolder::Read(Release("1.09", L"Veltrix.exe")),
         TempFolder::Read(Release("1.09", L"Veltrix.exe")), "TEST-ONLY-publisher.pem", "Veltrix.exe", true},
    };
    const std::map<std::wstring, std::string> before = TempFolder::Snapshot(program.Path());
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.what);
        Publish(refused.version, refused.signedBytes, refused.name);
        if (refused.key) {
            ASSERT_TRUE(HttpTestServer::Sign(refused.version, refused.key));
        }
        std::wstring name(refused.name, refused.name + strlen(refused.name));
        Replace(HttpTestServer::PartFolder(refused.version) + L"\\" + name, refused.servedBytes);
        int downloads = Requests("/files/"), checks = Requests("/data/update.php");
        BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
        VeltrixProcess old;
        StartResident(old);
        for (int i = 0; i < 600 && Requests("/data/update.php") == checks; i++)
            Sleep(50);
        if (refused.asked) {
            // Asked, agreed, downloaded; then the download is refused and removed, without a word.
            for (int i = 0; i < 600 && Requests("/files/") == downloads; i++)
                Sleep(50);
            ASSERT_EQ(downloads + 1, Requests("/files/")) << "the file was not downloaded";
        }
        for (int i = 0;
             i < 200 && GetFileAttributesW((program.Path() + L"\\Veltrix_new.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
             i++)
            Sleep(50);
        Sleep(2000);
        EXPECT_EQ(downloads + (refused.asked ? 1 : 0), Requests("/files/"));
        EXPECT_TRUE(before == TempFolder::Snapshot(program.Path())) << "the program folder changed";
        EXPECT_EQ(refused.asked ? 1u : 0u, user.Answered());
        EXPECT_TRUE(old.IsRunning());
        HWND main = old.WaitForMainWindow(5000);
        ASSERT_NE(nullptr, main);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(old.WaitForExit(15000));
    }

    // A copy that has not seen the 1.12 answer above (having seen it, it takes no 1.11 again).
    ASSERT_TRUE(answerIssued.Remove() && answerVersion.Remove());
    Publish("1.11", release);
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    BoxAnswerer user(L"Veltrix", {IDYES, IDYES});
    VeltrixProcess old;
    StartResident(old);
    StartedProcesses started(old.Id());
    ASSERT_TRUE(old.WaitForExit(60000)) << "the signed release was not installed";
    EXPECT_EQ(2u, user.Finish().size());
    ExpectResidentSuccessor(started, L"1.11");
}

TEST_F(UpdateE2E, ExitEndsTheProgramWithinTenSecondsWhileTheUpdateDrips) {
    // The signed answer sends the download to a server that drips it, a byte every three seconds.
    Install(Release("1.10", L"Veltrix.exe"));
    const std::string release = TempFolder::Read(Release("1.11", L"Veltrix.exe"));
    std::wstring drip = HttpTestServer::Url(L"/drip?size=") + std::to_wstring(release.size());
    Publish("1.11", release, "Veltrix.exe", std::string(drip.begin(), drip.end()));
    ASSERT_TRUE(HttpTestServer::Sign("1.11"));
    const std::map<std::wstring, std::string> before = TempFolder::Snapshot(program.Path());
    BoxAnswerer user(L"Veltrix", {IDYES});
    VeltrixProcess veltrix;
    StartResident(veltrix);
    for (int i = 0; i < 600 && user.Answered() == 0; i++)
        Sleep(50);
    ASSERT_EQ(1u, user.Answered());
    Sleep(3000);
    ASSERT_TRUE(veltrix.IsRunning()) << "the download ended by itself";
    HWND main = veltrix.WaitForMainWindow(5000);
    ASSERT_NE(nullptr, main);
    DWORD start = GetTickCount();
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(10000)) << "Exit did not end the program within 10 s";
    printf("Exit during a dripping download ended the program after %lu ms\n", (unsigned long)(GetTickCount() - start));
    EXPECT_TRUE(before == TempFolder::Snapshot(program.Path())) << "the program folder changed";
}

TEST_F(UpdateE2E, AnInstallerNamedLikeTheUsersFileLeavesThatFileAlone) {
    // A developer's build takes the unsigned answer; its installer is named after a file on the desktop.
    Install(VeltrixProcess::ProgramFolder() + L"Veltrix.exe");
    wchar_t desktop[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOP, TRUE));
    const std::wstring thesis = std::wstring(desktop) + L"\\Thesis.docx",
                       second = std::wstring(desktop) + L"\\Thesis (2).docx";
    DeleteFileW(second.c_str());
    Replace(thesis, "my thesis");
    HttpTestServer::Publish("1.11",
                            "{\"application\": \"Veltrix\", \"info\": {\"en\": \"Install it?\"}, \"files\": "
                            "[{\"installer\": \"Thesis.docx\"}]}",
                            {{L"Thesis.docx", "the server's bytes"}});
    int downloads = Requests("/files/");
    BoxAnswerer user(L"Veltrix", {IDYES});
    VeltrixProcess veltrix;
    StartResident(veltrix);
    for (int i = 0; i < 600 && GetFileAttributesW(second.c_str()) == INVALID_FILE_ATTRIBUTES; i++)
        Sleep(50);
    EXPECT_EQ(downloads + 1, Requests("/files/"));
    EXPECT_EQ("my thesis", TempFolder::Read(thesis));
    EXPECT_EQ("the server's bytes", TempFolder::Read(second));
    EXPECT_TRUE(veltrix.IsRunning());
    HWND main = veltrix.WaitForMainWindow(5000);
    ASSERT_NE(nullptr, main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(veltrix.WaitForExit(15000));
    DeleteFileW(second.c_str());
    DeleteFileW(thesis.c_str());
}

// A swap stopped after any one of its steps, as by a crash, a power cut or a logoff, then the program
// started again: one whole version starts, the new one once every new file waited complete beside its
// target, else the old one, and the swap is finished or undone. The same for the undo of an update whose
// new version did not start twice (from the first step, which the start itself takes), and for a new
// version that cannot start at all.
TEST_F(UpdateE2E, AStopAfterAnyStepOfTheSwapLeavesOneWholeVersionThatStarts) {
    const std::string oldProgram = TempFolder::Read(VeltrixProcess::ProgramFolder() + L"Veltrix.exe");
    const struct Case {
        const char* what;
        std::string newProgram;
        bool undo;
        bool newStarts;
        int firstStop, lastStop; // 0: the start takes every step
    } cases[] = {
        {"swap", TempFolder::Read(Release("1.11", L"Veltrix.exe")), false, true, 1, 99},
        {"undo", TempFolder::Read(Release("1.11", L"Veltrix.exe")), true, true, 0, 99},
        // Stopped once the journal says MOVE: the old version hands the swap over as it starts.
        {"swap to a program that ends at once", TempFolder::Read(VeltrixProcess::ProgramFolder() + L"marker.exe"),
         false, false, 3, 3},
    };
    ASSERT_TRUE(lastCheck.Set((DWORD)time(nullptr)));
    for (const Case& test : cases) {
        for (int stop = test.firstStop, stopped = 1; stopped && stop <= test.lastStop; stop++) {
            SCOPED_TRACE(std::string(test.what) + " stopped after step " + std::to_string(stop));
            TempFolder folder{L"VeltrixSwap"};
            const std::wstring path = folder.Path() + L"\\", program = path + L"Veltrix.exe";
            folder.Write(L"Veltrix.exe", oldProgram);
            folder.Write(L"readme.txt", "1.10");
            folder.Write(L"Veltrix_new.exe", test.newProgram);
            folder.Write(L"readme_new.txt", "1.11");
            folder.Write(L"added_new.txt", "1.11");
            SwapJournal journal;
            journal.version = L"1.11";
            journal.targets = {{L"Veltrix.exe", 1}, {L"readme.txt", 1}, {L"added.txt", 0}};
            FileSwap swap(path.c_str(), journal);
            ASSERT_TRUE(swap.Save(SwapJournal::STAGE));
            if (test.undo) {
                ASSERT_TRUE(swap.Backup() && swap.MoveIn(nullptr) == FileSwap::COMPLETE);
                journal.starts = 2;
                ASSERT_TRUE(swap.Save(SwapJournal::DONE));
            }
            // The steps of the running program, then those of the copy that finishes once it has ended.
            int remaining = stop;
            FileSwap::SetStepHook(StopAtStep, &remaining);
            if (stop && test.undo && swap.Undo(program.c_str()) == FileSwap::LEFT_RUNNING)
                swap.Undo(nullptr);
            if (stop && !test.undo && swap.Backup() && swap.MoveIn(program.c_str()) == FileSwap::LEFT_RUNNING)
                swap.MoveIn(nullptr);
            FileSwap::SetStepHook(nullptr, nullptr);
            stopped = stop == 0 || swap.Stopped();
            SwapJournal left;
            bool toNew = !test.undo && test.newStarts && left.Load(path.c_str()) &&
                         (left.state == SwapJournal::MOVE || left.state == SwapJournal::DONE);

            VeltrixProcess first;
            ASSERT_TRUE(first.Start(L"-s -r \"" + menuRoot + L"\"", program));
            DWORD resident = ResidentAt(program);
            ASSERT_NE(0u, resident) << "no version started";
            ExpectResidentMenu(resident, folder.Path());
            EXPECT_TRUE(TempFolder::Read(program) == (toNew ? test.newProgram : oldProgram));
            EXPECT_EQ(toNew ? "1.11" : "1.10", TempFolder::Read(path + L"readme.txt"));
            EXPECT_EQ(toNew ? "1.11" : "<none>", TempFolder::Read(path + L"added.txt", "<none>"));
            for (const wchar_t* gone : {L"Veltrix_new.exe", L"readme_new.txt", L"added_new.txt", L"readme_old.txt"})
                EXPECT_FALSE(Exists(path + gone)) << testing::PrintToString(gone);
        }
    }
}
