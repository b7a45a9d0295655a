// The release artefacts as a user gets them on 64-bit Windows (the build's prefix, where this 32-bit test
// runs under WOW64): the installer run silently for all users over a 32-bit installation and for the
// current user over a running older version, and out again; and both portable zips unpacked and run.
#include "TempFolder.h"
#include "base/WString.h"
#include "e2e/StartedProcesses.h"
#include "e2e/VeltrixProcess.h"
#include "framework/VersionInfo.h"
#include "sysinfo/PlantedValue.h"
#include "update/ExtractArchive.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

const wchar_t SettingsKey[] = L"Software\\Koravent\\Veltrix";
const wchar_t UninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrix";
const wchar_t RunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t ClosedPort[] = L"http://127.0.0.1:9/data/update.php?p=veltrix";

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), towlower);
    return text;
}

std::wstring FileVersion(const std::wstring& path) {
    unsigned major = 0, minor = 0;
    WString text;
    if (!VersionInfo::FileVersionText(path.c_str(), &major, &minor, &text))
        return L"<none>";
    return text.Buffer();
}

std::wstring ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
    return path;
}

// Values read from the registry's native view, where Programs and Features reads the entries of 64-bit
// programs, unless the view of 32-bit ones is asked for (KEY_WOW64_32KEY).
bool ReadValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, void* data, DWORD size, REGSAM view) {
    HKEY opened = nullptr;
    bool read = RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) == ERROR_SUCCESS &&
                RegGetValueW(opened, nullptr, name, type, nullptr, data, &size) == ERROR_SUCCESS;
    if (opened)
        RegCloseKey(opened);
    return read;
}

std::wstring ReadString(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = KEY_WOW64_64KEY) {
    wchar_t data[1024] = L"";
    return ReadValue(root, key, name, RRF_RT_REG_SZ, data, sizeof(data) - sizeof(wchar_t), view) ? data : L"<none>";
}

const DWORD NoValue = 0xFFFFFFFF;

DWORD ReadDword(HKEY root, const wchar_t* key, const wchar_t* name) {
    DWORD data = 0;
    return ReadValue(root, key, name, RRF_RT_REG_DWORD, &data, sizeof(data), KEY_WOW64_64KEY) ? data : NoValue;
}

// The native Program Files, which a 32-bit program's own folder functions never name on 64-bit Windows.
std::wstring NativeProgramFiles() {
    wchar_t path[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"ProgramW6432", path, MAX_PATH);
    return path;
}

// An artefact of the build, named after the version of the program beside the tests.
std::wstring Artefact(const std::wstring& name) {
    return VeltrixProcess::ProgramFolder() + L"..\\dist\\" + name;
}

// The program as the artefacts ship it, without its debug information: the 64-bit one, which the installer
// installs on 64-bit Windows.
std::wstring ShippedProgram() {
    return Artefact(L"x64\\Veltrix.exe");
}

// Runs a command line and waits for it and for whatever it started: the uninstaller hands its work to a
// copy of itself in the temporary folder and ends at once. Its exit code; 9999 when it never ended.
// Runs the command and waits for it and for what it started, except processes of the file spare (which
// are left running).
DWORD RunAndWait(std::wstring commandLine, const wchar_t* spare = nullptr) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &process))
        return 9999;
    DWORD exitCode = 9999;
    DWORD start = GetTickCount();
    StartedProcesses started(process.dwProcessId);
    started.Spare(spare);
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    while (!started.Current().empty() && GetTickCount() - start < 120000)
        Sleep(100);
    std::string shown = Narrow(commandLine.substr(commandLine.rfind(L'\\') + 1));
    shown.erase(std::remove(shown.begin(), shown.end(), '"'), shown.end());
    printf("%s: %lu ms\n", shown.c_str(), GetTickCount() - start);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// The process of a copy of that program running in the notification area (its window carries the mark a
// resident instance sets), or 0 after the time.
DWORD ResidentOf(const std::wstring& program, DWORD milliseconds) {
    struct Search {
        std::wstring program;
        DWORD found;
        static BOOL CALLBACK Each(HWND window, LPARAM parameter) {
            Search* search = reinterpret_cast<Search*>(parameter);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (GetPropW(window, L"Koravent.Veltrix.Tray") &&
                _wcsicmp(StartedProcesses::ImagePath(process).c_str(), search->program.c_str()) == 0)
                search->found = process;
            return search->found == 0;
        }
    } search = {program, 0};
    for (DWORD start = GetTickCount(); !search.found && GetTickCount() - start < milliseconds; Sleep(100))
        EnumWindows(Search::Each, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What one installation put in place, read from where Windows and the user find it.
struct Installed {
    std::wstring folder, program, link;
    HKEY root;
};

} // namespace

class DistE2E : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        BOOL wow64 = FALSE;
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64) && wow64) << "the prefix is not 64-bit Windows";
        version = FileVersion(VeltrixProcess::ProgramFolder() + L"Veltrix.exe");
        ASSERT_EQ(version, FileVersion(Artefact(L"Veltrix.exe")));
        ASSERT_EQ(version, FileVersion(Artefact(L"x64\\Veltrix.exe")));
        setup = Artefact(L"Veltrix-" + version + L"-setup.exe");
        ASSERT_TRUE(Exists(setup)) << Narrow(setup);
        // A setting of the user's, which the uninstaller keeps unless asked to remove it.
        autoUpdate.Set((DWORD)0);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        cache = std::wstring(temp) + L"Veltrix.sql";
    }
    void TearDown() override {
        // Whatever a failed test left installed goes, so that the next test starts from nothing.
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
                std::wstring quiet = ReadString(root, UninstallKey, L"QuietUninstallString", view);
                if (quiet != L"<none>")
                    RunAndWait(quiet);
            }
        CoUninitialize();
    }

    // Checks what an installation in that mode put in place: the program (the shipped bytes) and its
    // texts, the Start Menu shortcut, and the entry in Programs and Features.
    Installed ExpectInstalled(bool allUsers, const std::wstring& expectedVersion, const std::string& programBytes) {
        Installed installed;
        installed.root = allUsers ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        installed.folder = ReadString(installed.root, UninstallKey, L"InstallLocation");
        installed.program = installed.folder + L"\\Veltrix.exe";
        std::wstring expectedFolder =
            allUsers ? NativeProgramFiles() + L"\\Veltrix" : ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Veltrix";
        EXPECT_EQ(Lower(expectedFolder), Lower(installed.folder));
        EXPECT_EQ(L"<none>",
                  ReadString(allUsers ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, UninstallKey, L"DisplayName"))
            << "one entry, in the mode's own registry";
        EXPECT_TRUE(TempFolder::Read(installed.program, "<missing>") == programBytes) << "not the built program";
        EXPECT_EQ(L"<none>", ReadString(HKEY_LOCAL_MACHINE, UninstallKey, L"DisplayName", KEY_WOW64_32KEY))
            << "an entry in the view of 32-bit programs";
        EXPECT_EQ(expectedVersion, FileVersion(installed.program));
        for (const wchar_t* text : {L"README.txt", L"LICENSE.txt", L"THIRD-PARTY-NOTICES.txt", L"Uninstall.exe"})
            EXPECT_TRUE(Exists(installed.folder + L"\\" + text)) << Narrow(text);

        // Where the mode's Start Menu has it; its target is the program, which the all-users case starts.
        installed.link = ShellFolder(allUsers ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS) + L"\\Veltrix.lnk";
        EXPECT_TRUE(Exists(installed.link));
        EXPECT_FALSE(Exists(ShellFolder(allUsers ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS) + L"\\Veltrix.lnk"));

        EXPECT_EQ(L"Veltrix", ReadString(installed.root, UninstallKey, L"DisplayName"));
        EXPECT_EQ(expectedVersion, ReadString(installed.root, UninstallKey, L"DisplayVersion"));
        EXPECT_EQ(L"Koravent", ReadString(installed.root, UninstallKey, L"Publisher"));
        EXPECT_EQ(Lower(installed.program + L",0"), Lower(ReadString(installed.root, UninstallKey, L"DisplayIcon")));
        DWORD size = ReadDword(installed.root, UninstallKey, L"EstimatedSize");
        EXPECT_NE(NoValue, size);
        EXPECT_GE(size, programBytes.size() / 1024) << "the size in KB";
        std::wstring uninstaller = L"\"" + installed.folder + L"\\Uninstall.exe\" ";
        EXPECT_EQ(Lower(uninstaller + (allUsers ? L"/AllUsers /S" : L"/CurrentUser /S") + L" _?=" + installed.folder),
                  Lower(ReadString(installed.root, UninstallKey, L"QuietUninstallString")));
        return installed;
    }

    // Unpacks the zip, runs its program to a menu and checks that it kept everything beside itself.
    void ExpectPortableRuns(const std::wstring& zip, const std::wstring& program);

    void ExpectRemoved(const Installed& installed) {
        EXPECT_FALSE(Exists(installed.program));
        EXPECT_FALSE(Exists(installed.folder)) << "the folder goes with its files";
        EXPECT_FALSE(Exists(installed.link));
        EXPECT_EQ(L"<none>", ReadString(installed.root, UninstallKey, L"DisplayName"));
        EXPECT_EQ(L"<none>", ReadString(HKEY_CURRENT_USER, RunKey, L"Veltrix"));
        EXPECT_FALSE(Exists(cache)) << "the icon cache goes too";
    }

    std::wstring version, setup, cache;
    PlantedValue updateUrl{SettingsKey, L"UpdateUrl", 0, HKEY_CURRENT_USER};
    PlantedValue reportHost{SettingsKey, L"ReportHost", 0, HKEY_CURRENT_USER};
    PlantedValue autoUpdate{SettingsKey, L"AutoUpdate", 0, HKEY_CURRENT_USER};
    PlantedValue lastCheck{SettingsKey, L"LastCheck", 0, HKEY_CURRENT_USER};
    PlantedValue runValue{RunKey, L"Veltrix", 0, HKEY_CURRENT_USER};
};

TEST_F(DistE2E, AllUsersInstallReplacesThe32BitOnePutsEverythingInPlaceShowsTheMenuAndUninstallKeepsTheSettings) {
    // An installer of the 32-bit program only, as those before 1.10 were, installs into Program Files (x86),
    // its entry in the view of 32-bit programs. Over it, plainly, the 64-bit program goes to the native
    // Program Files (its entry checked to be the only one), the old folder goes, the logon start stays.
    ASSERT_EQ(0u, RunAndWait(L"\"" + Artefact(L"older\\Veltrix-1.09-setup.exe") + L"\" /S /AllUsers /Logon"));
    std::wstring olderFolder = ReadString(HKEY_LOCAL_MACHINE, UninstallKey, L"InstallLocation", KEY_WOW64_32KEY);
    ASSERT_EQ(Lower(ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Veltrix"), Lower(olderFolder));
    ASSERT_EQ(0u, RunAndWait(L"\"" + setup + L"\" /S"));
    Installed installed = ExpectInstalled(true, version, TempFolder::Read(ShippedProgram()));
    EXPECT_FALSE(Exists(olderFolder));
    EXPECT_EQ(L"\"" + installed.program + L"\" -s", ReadString(HKEY_CURRENT_USER, RunKey, L"Veltrix"))
        << "the logon start runs the program in the notification area";
    EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, SettingsKey, L"AutoUpdate"));

    // The shortcut, opened as the Start Menu opens it, shows the menu once; the menu lists the shortcut.
    DeleteFileW(cache.c_str());
    {
        StartedProcesses started(GetCurrentProcessId());
        SHELLEXECUTEINFOW open = {};
        open.cbSize = sizeof(open);
        open.lpFile = installed.link.c_str();
        open.nShow = SW_SHOWNORMAL;
        ASSERT_TRUE(ShellExecuteExW(&open));
        DWORD id = started.WaitFor(L"Veltrix.exe", 15000);
        ASSERT_NE(0u, id) << "the shortcut started no Veltrix.exe";
        EXPECT_EQ(Lower(installed.program), Lower(StartedProcesses::ImagePath(id)));
        VeltrixProcess veltrix;
        ASSERT_TRUE(veltrix.Attach(id));
        // (What the menu lists is read by a probe loaded into the program, which this 32-bit test cannot load
        // into the 64-bit one; the 64-bit build's own tests read it.)
        ASSERT_NE(nullptr, veltrix.WaitForMenu(20000)) << "no menu appeared";
        VeltrixProcess::PressKey(VK_ESCAPE);
        EXPECT_TRUE(veltrix.WaitForExit(10000)) << "once mode ends when the menu is dismissed";
    }
    EXPECT_TRUE(Exists(cache)) << "the run kept its icon cache in the temporary folder";

    // As an administrator's tool runs it, from the entry.
    EXPECT_EQ(0u, RunAndWait(ReadString(HKEY_LOCAL_MACHINE, UninstallKey, L"QuietUninstallString")));
    ExpectRemoved(installed);
    EXPECT_EQ(0u, ReadDword(HKEY_CURRENT_USER, SettingsKey, L"AutoUpdate"));
    EXPECT_EQ(ClosedPort, ReadString(HKEY_CURRENT_USER, SettingsKey, L"UpdateUrl")) << "the settings stay";
}

TEST_F(DistE2E, CurrentUserInstallReplacesARunningOlderVersionAndUninstallRemovesTheSettingsOnRequest) {
    ASSERT_EQ(0u, RunAndWait(L"\"" + Artefact(L"older\\Veltrix-1.09-setup.exe") + L"\" /S /CurrentUser /Logon"));
    Installed older = ExpectInstalled(false, L"1.09", TempFolder::Read(Artefact(L"older\\Veltrix.exe")));
    VeltrixProcess resident;
    ASSERT_TRUE(resident.Start(L"-s", older.program));
    ASSERT_NE(nullptr, resident.WaitForMainWindow(15000));

    // Over it, without naming the logon start: the installer closes the running program as its "Exit"
    // would, replaces it, keeps the logon start the user chose before, and starts the new one in the
    // notification area in its place.
    ASSERT_EQ(0u, RunAndWait(L"\"" + setup + L"\" /S", L"Veltrix.exe"));
    DWORD exitCode = 99;
    EXPECT_TRUE(resident.WaitForExit(1000, &exitCode)) << "the old version still runs";
    EXPECT_EQ(0u, exitCode) << "asked to close, not ended by force";
    Installed installed = ExpectInstalled(false, version, TempFolder::Read(ShippedProgram()));
    EXPECT_EQ(Lower(older.folder), Lower(installed.folder));
    EXPECT_EQ(L"\"" + installed.program + L"\" -s", ReadString(HKEY_CURRENT_USER, RunKey, L"Veltrix"));

    // The uninstaller, too, closes the program that runs from the installation before it removes it.
    VeltrixProcess current;
    DWORD restarted = ResidentOf(installed.program, 15000);
    ASSERT_NE(0u, restarted) << "the installer did not start the new version again";
    ASSERT_TRUE(current.Attach(restarted));
    // The memory of what the user starts counts among the settings.
    wchar_t local[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, TRUE));
    std::wstring usage = std::wstring(local) + L"\\Koravent\\Veltrix\\Veltrix-usage.sql";
    SHCreateDirectoryExW(nullptr, (std::wstring(local) + L"\\Koravent\\Veltrix").c_str(), nullptr);
    FILE* counts = _wfopen(usage.c_str(), L"wb");
    ASSERT_NE(nullptr, counts);
    fclose(counts);
    // As a script runs it, with the entry's own command: it returns once the files are gone.
    std::wstring quiet = ReadString(HKEY_CURRENT_USER, UninstallKey, L"QuietUninstallString");
    std::wstring inPlace = quiet.substr(quiet.find(L" _?="));
    EXPECT_EQ(0u, RunAndWait(quiet.substr(0, quiet.size() - inPlace.size()) + L" /RemoveSettings" + inPlace));
    exitCode = 99;
    EXPECT_TRUE(current.WaitForExit(1000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    ExpectRemoved(installed);
    EXPECT_EQ(L"<none>", ReadString(HKEY_CURRENT_USER, SettingsKey, L"UpdateUrl"));
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &key)) << "the key is gone";
    for (int wait = 0; wait < 100 && GetFileAttributesW(usage.c_str()) != INVALID_FILE_ATTRIBUTES; wait++)
        Sleep(100);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(usage.c_str())) << "the counts of starts stay";
}

TEST_F(DistE2E, PortableZipsUnpackToAFolderWhereVeltrixKeepsItsSettingsAndCacheBesideItself) {
    ExpectPortableRuns(L"Veltrix-" + version + L"-portable.zip", Artefact(L"Veltrix.exe"));
    ExpectPortableRuns(L"Veltrix-" + version + L"-portable-x64.zip", ShippedProgram());
}

void DistE2E::ExpectPortableRuns(const std::wstring& zip, const std::wstring& program) {
    SCOPED_TRACE(Narrow(zip));
    TempFolder stick{L"dist-stick"};
    ASSERT_EQ(1, ExtractArchive(Artefact(zip).c_str(), stick.Path().c_str()));
    std::wstring folder = stick.Path() + L"\\Veltrix\\";
    EXPECT_TRUE(TempFolder::Read(folder + L"Veltrix.exe") == TempFolder::Read(program));
    EXPECT_EQ("", TempFolder::Read(folder + L"portable.dat", "<missing>"));
    std::string notices = TempFolder::Read(folder + L"THIRD-PARTY-NOTICES.txt");
    for (const char* part : {"SQLite", "libzip", "zlib", "Tango", "Redistributions in binary form must reproduce"})
        EXPECT_NE(std::string::npos, notices.find(part)) << part;
    EXPECT_NE(std::string::npos, TempFolder::Read(folder + L"LICENSE.txt").find("MIT License"));
    std::string readme = TempFolder::Read(folder + L"README.txt");
    EXPECT_GT(readme.size(), 1000u);
    // The user guide alone, as plain text: no build step, no release signing, no picture or Markdown mark.
    EXPECT_NE(std::string::npos, readme.find("Finding a program by typing"));
    for (const char* developers :
         {"apt-get", "tools/", "cmake", "make test", "Developing Veltrix", "SHA256SUMS.sig", "](", "![", "`"})
        EXPECT_EQ(std::string::npos, readme.find(developers)) << developers;
    EXPECT_EQ(std::count(readme.begin(), readme.end(), '\n'), std::count(readme.begin(), readme.end(), '\r'))
        << "Windows line ends";

    // The stick's own INI points the update check at a closed port, as the test prefix's registry does.
    HANDLE ini = CreateFileW((folder + L"Veltrix.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, ini);
    std::string settings = "[Settings]\r\nUpdateUrl=" + Narrow(ClosedPort) + "\r\n";
    DWORD written = 0;
    WriteFile(ini, settings.data(), (DWORD)settings.size(), &written, nullptr);
    CloseHandle(ini);
    lastCheck.Set((DWORD)12345);
    DeleteFileW(cache.c_str());
    TempFolder menu{L"dist-menu"};
    menu.Write(L"Alpha.lnk", "");
    VeltrixProcess veltrix;
    ASSERT_TRUE(veltrix.Start(L"-r \"" + menu.Path() + L"\"", folder + L"Veltrix.exe"));
    ASSERT_NE(nullptr, veltrix.WaitForMenu(15000));
    VeltrixProcess::PressKey(VK_ESCAPE);
    ASSERT_TRUE(veltrix.WaitForExit(10000));

    EXPECT_GT(TempFolder::Read(folder + L"Veltrix.sql").size(), 0u) << "no cache beside the program";
    EXPECT_FALSE(Exists(cache)) << "a cache in the temporary folder";
    // The check (to a closed port) failed: its attempt is kept, beside the program.
    EXPECT_NE(0u, GetPrivateProfileIntW(L"Settings", L"LastCheckAttempt", 0, (folder + L"Veltrix.ini").c_str()))
        << "the update check's attempt is not in the INI beside the program";
    EXPECT_EQ(12345u, ReadDword(HKEY_CURRENT_USER, SettingsKey, L"LastCheck")) << "the registry was used";
}
