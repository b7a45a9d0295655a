// What the real Veltrix.exe starts when the user chooses an entry: the environment a launched program
// gets, and where each fixed command leads. Started processes are observed through Toolhelp snapshots
// and their image paths, windows through EnumWindows; everything started is ended again.
#include "StartedProcesses.h"
#include "VeltrixProcess.h"

#include "Shortcut.h"
#include "TempFolder.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

std::wstring Text(UINT id) {
    StringTable strings;
    return strings.Load(id);
}

std::wstring Lower(std::wstring text) {
    if (!text.empty())
        CharLowerBuffW(&text[0], (DWORD)text.size());
    return text;
}

std::wstring LeafName(const std::wstring& path) {
    return path.substr(path.rfind(L'\\') + 1);
}

// The system folder as a 64-bit program names it (where a 32-bit one would be redirected to SysWOW64),
// with a trailing backslash.
std::wstring NativeSystemFolder() {
    wchar_t folder[MAX_PATH] = L"";
    ExpandEnvironmentStringsW(L"%windir%\\system32\\", folder, MAX_PATH);
    return folder;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

// The "NAME=value" lines of a file, such as the environment a command prompt lists.
std::map<std::wstring, std::wstring> ReadMarker(const std::wstring& path) {
    std::map<std::wstring, std::wstring> values;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return values;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], (DWORD)bytes.size(), &read, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size()));
    size_t start = 0, end;
    while ((end = text.find(L'\n', start)) != std::wstring::npos) {
        std::wstring line = text.substr(start, end - start);
        size_t equals = line.find(L'=');
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (equals != std::wstring::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return values;
}

// A variable of this process's environment, which the programs it starts inherit, set for one test.
struct EnvironmentOverride {
    std::wstring name, saved;
    bool existed;
    EnvironmentOverride(const wchar_t* variable, const wchar_t* value) : name(variable) {
        wchar_t old[MAX_PATH] = L"";
        DWORD length = GetEnvironmentVariableW(variable, old, MAX_PATH);
        existed = length > 0 && length < MAX_PATH;
        saved = old;
        SetEnvironmentVariableW(variable, value);
    }
    ~EnvironmentOverride() { SetEnvironmentVariableW(name.c_str(), existed ? saved.c_str() : nullptr); }
};

// A string value of the test prefix's registry, set for one test and put back as it was afterwards.
struct RegistryOverride {
    HKEY key = nullptr;
    std::wstring name;
    DWORD savedType = 0;
    std::vector<BYTE> saved;
    bool existed = false;
    RegistryOverride(HKEY root, const wchar_t* path, const wchar_t* value, DWORD type, const std::wstring& data)
        : name(value ? value : L"") {
        if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr))
            return;
        DWORD size = 0;
        existed = RegQueryValueExW(key, value, nullptr, &savedType, nullptr, &size) == ERROR_SUCCESS;
        saved.resize(size + 2);
        if (existed)
            RegQueryValueExW(key, value, nullptr, &savedType, saved.data(), &size);
        RegSetValueExW(key, value, 0, type, (const BYTE*)data.c_str(), (DWORD)((data.size() + 1) * sizeof(wchar_t)));
    }
    ~RegistryOverride() {
        if (!key)
            return;
        if (existed)
            RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, savedType, saved.data(),
                           (DWORD)saved.size() - 2);
        else
            RegDeleteValueW(key, name.empty() ? nullptr : name.c_str());
        RegCloseKey(key);
    }
};

const wchar_t* const ShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

} // namespace

class LaunchE2E : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    bool Start(VeltrixProcess& veltrix) { return veltrix.Start(L"-r \"" + root.Path() + L"\""); }

    // Chooses the item with that text in the menu of a started once-mode Veltrix, by keyboard as a user
    // would; the program must then end by itself.
    bool Choose(VeltrixProcess& veltrix, const std::wstring& text) {
        HWND popup = veltrix.WaitForMenu(15000);
        if (!popup)
            return false;
        std::vector<std::wstring> items = VeltrixProcess::MenuItems(popup);
        auto found = std::find(items.begin(), items.end(), text);
        if (found == items.end())
            return false;
        // The arrow keys skip separators.
        auto downs = 1 + std::count_if(items.begin(), found, [](const std::wstring& item) { return item != L"-"; });
        for (long i = 0; i < (long)downs; i++)
            VeltrixProcess::PressKey(VK_DOWN);
        VeltrixProcess::PressKey(VK_RETURN);
        DWORD exitCode = 1;
        EXPECT_TRUE(veltrix.WaitForExit(15000, &exitCode)) << "a choice ends a once-mode run";
        EXPECT_EQ(0u, exitCode);
        return true;
    }

    TempFolder root{L"e2e-launch"};
};

TEST_F(LaunchE2E, ALaunchedProgramSeesThe64BitProgramFolders) {
    // Values that differ from every program folder this process has, inherited by Veltrix.
    const wchar_t* programs = L"C:\\Veltrix Test\\Programs 64";
    const wchar_t* common = L"C:\\Veltrix Test\\Common Files 64";
    EnvironmentOverride programW6432(L"ProgramW6432", programs), commonW6432(L"CommonProgramW6432", common);
    // The native command prompt writes down the environment it got: the shortcut leads into the 64-bit
    // system folder, which a 32-bit Veltrix reaches only through Sysnative. A 32-bit program would not do:
    // the system gives every 32-bit process the 32-bit program folders, and every 64-bit one the 64-bit
    // folders (from ProgramW6432), whatever its parent has; Veltrix itself keeps the 32-bit ones.
    std::wstring marker = root.Path() + L"\\environment.txt";
    ASSERT_TRUE(MakeShortcut(root.Path() + L"\\Marker.lnk", NativeSystemFolder() + L"cmd.exe",
                             L"/c set > \"" + marker + L"\""));

    VeltrixProcess veltrix;
    ASSERT_TRUE(Start(veltrix));
    ASSERT_TRUE(Choose(veltrix, L"Marker"));
    ASSERT_TRUE(VeltrixProcess::WaitForFile(marker, 10000)) << "the entry's program did not run";
    // The prompt may still be writing the list.
    std::map<std::wstring, std::wstring> seen = ReadMarker(marker);
    for (DWORD start = GetTickCount(); !seen.count(L"windir") && GetTickCount() - start < 10000; Sleep(100))
        seen = ReadMarker(marker);
    EXPECT_EQ(programs, seen[L"ProgramFiles"]);
    EXPECT_EQ(common, seen[L"CommonProgramFiles"]);
}

TEST_F(LaunchE2E, OrganizeOpensBothProgramsFoldersAllUsersFirst) {
    // Both Programs folders are named "Programs", and so are the windows that show them. Through the test
    // prefix's registry they are moved, for this test, to folders whose names tell them apart.
    TempFolder common{L"e2e-common-programs"}, user{L"e2e-user-programs"};
    RegistryOverride commonSetting(HKEY_LOCAL_MACHINE, ShellFolders, L"Common Programs", REG_EXPAND_SZ, common.Path());
    RegistryOverride userSetting(HKEY_CURRENT_USER, ShellFolders, L"Programs", REG_EXPAND_SZ, user.Path());

    VeltrixProcess veltrix;
    ASSERT_TRUE(Start(veltrix));
    StartedProcesses started(veltrix.Id());
    ASSERT_TRUE(Choose(veltrix, Text(IDS_ORGANIZE)));
    // Wine opens each folder in an explorer.exe of its own, started by Veltrix. Each folder window, by its
    // title, with the start time of its process.
    std::map<std::wstring, ULONGLONG> windows;
    DWORD start = GetTickCount();
    while (windows.size() < 2 && GetTickCount() - start < 20000) {
        Sleep(200);
        for (DWORD id : started.Current()) {
            for (HWND window : StartedProcesses::Windows(id)) {
                FILETIME created, exited, kernel, user;
                HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
                if (process && GetProcessTimes(process, &created, &exited, &kernel, &user))
                    windows[WindowText(window)] = ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
                if (process)
                    CloseHandle(process);
            }
        }
    }
    ASSERT_EQ(1u, windows.count(LeafName(common.Path()))) << "no window of the all-users Programs folder";
    ASSERT_EQ(1u, windows.count(LeafName(user.Path()))) << "no window of the user's Programs folder";
    EXPECT_EQ(2u, windows.size()) << "nothing else opens";
    EXPECT_LT(windows[LeafName(common.Path())], windows[LeafName(user.Path())]) << "all-users first";
}

TEST_F(LaunchE2E, ControlPanelAndAdminCommandLineStartTheNativeSystemPrograms) {
    // On 64-bit Windows a 32-bit program asking for "control" or "cmd" gets SysWOW64's copies unless it
    // names them through Sysnative; the user wants the system's own.
    struct Case {
        UINT text;
        const wchar_t* program;
    } cases[] = {{IDS_CONTROL_PANEL, L"control.exe"}, {IDS_ADMIN_CONSOLE, L"cmd.exe"}};
    for (const Case& command : cases) {
        SCOPED_TRACE(Text(command.text));
        VeltrixProcess veltrix;
        ASSERT_TRUE(Start(veltrix));
        StartedProcesses started(veltrix.Id());
        ASSERT_TRUE(Choose(veltrix, Text(command.text)));
        DWORD id = started.WaitFor(command.program, 15000);
        ASSERT_NE(0u, id) << "not started";
        EXPECT_EQ(Lower(NativeSystemFolder() + command.program), Lower(StartedProcesses::ImagePath(id)));
        if (command.text == IDS_CONTROL_PANEL) {
            // Wine's control.exe shows the panel itself.
            DWORD start = GetTickCount();
            while (StartedProcesses::Windows(id).empty() && GetTickCount() - start < 10000)
                Sleep(100);
            EXPECT_FALSE(StartedProcesses::Windows(id).empty()) << "no Control Panel window";
        } else {
            // Asked for with the verb "runas", the prompt runs elevated. (Wine asks nothing, and gives every
            // process of the prefix the full administrator token, so under Wine this holds for any verb; on
            // Windows a prompt opened with "open" by an administrator runs with the limited one.)
            HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
            HANDLE token = nullptr;
            ASSERT_TRUE(process && OpenProcessToken(process, TOKEN_QUERY, &token));
            TOKEN_ELEVATION elevation = {};
            TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
            DWORD size = 0;
            EXPECT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size));
            EXPECT_TRUE(GetTokenInformation(token, TokenElevationType, &type, sizeof(type), &size));
            EXPECT_NE(0u, elevation.TokenIsElevated);
            EXPECT_NE(TokenElevationTypeLimited, type);
            CloseHandle(token);
            CloseHandle(process);
            // And the prompt's console window opens (Wine's conhost.exe, started for it).
            bool console = false;
            DWORD start = GetTickCount();
            while (!console && GetTickCount() - start < 10000) {
                for (DWORD other : started.Current())
                    console = console || !StartedProcesses::Windows(other).empty();
                Sleep(100);
            }
            EXPECT_TRUE(console) << "no console window";
        }
    }
}

TEST_F(LaunchE2E, RunAndShutDownEndTheRunNormally) {
    // Both go to the shell's automation object on the user-interface thread. Wine's FileRun and
    // ShutdownWindows are stubs that show nothing, so all that can be seen here is that the object is
    // asked without harm and the once-mode run ends normally.
    for (UINT text : {IDS_RUN, IDS_SHUTDOWN}) {
        SCOPED_TRACE(Text(text));
        VeltrixProcess veltrix;
        ASSERT_TRUE(Start(veltrix));
        ASSERT_TRUE(Choose(veltrix, Text(text)));
    }
}
