// How a 32-bit program on 64-bit Windows names the 64-bit system's files: the Sysnative alias for System32,
// the 64-bit program folders for %ProgramFiles% and %CommonProgramFiles%. Elsewhere nothing is mapped.
#include "sysinfo/NativePath.h"
#include "sysinfo/OsVersion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring WindowsFolder() {
    wchar_t folder[MAX_PATH] = L"";
    GetSystemWindowsDirectoryW(folder, MAX_PATH);
    std::wstring path = folder;
    if (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring Native(const std::wstring& path) {
    WString out;
    EXPECT_EQ(1, NativePath(path.c_str(), out));
    return out.Buffer();
}

std::wstring Expanded(const wchar_t* text) {
    WString out;
    EXPECT_EQ(1, ExpandNative(text, out));
    return out.Buffer();
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH] = L"";
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? value : L"";
}

// An environment variable set for one test and put back afterwards.
struct VariableOverride {
    std::wstring name, saved;
    bool existed;
    VariableOverride(const wchar_t* variable, const wchar_t* value) : name(variable), saved(Variable(variable)) {
        existed = !saved.empty();
        SetEnvironmentVariableW(variable, value);
    }
    ~VariableOverride() { SetEnvironmentVariableW(name.c_str(), existed ? saved.c_str() : nullptr); }
};

bool Mapped() {
#ifdef _WIN64
    return false;
#else
    return IsWow64() == 1;
#endif
}

} // namespace

TEST(NativePath, OnlyA32BitProgramUnderWow64MapsPaths) {
    EXPECT_EQ(Mapped() ? 1 : 0, MapsNativePaths());
}

TEST(NativePath, System32IsNamedThroughSysnative) {
    std::wstring windows = WindowsFolder();
    std::wstring system = windows + (Mapped() ? L"\\Sysnative" : L"\\System32");
    EXPECT_EQ(system + L"\\cmd.exe", Native(windows + L"\\System32\\cmd.exe"));
    EXPECT_EQ(system, Native(windows + L"\\System32"));
    // Whatever the case, and the folders the redirector leaves alone too.
    std::wstring lower = windows + L"\\system32\\drivers\\etc";
    EXPECT_EQ(Mapped() ? windows + L"\\Sysnative\\drivers\\etc" : lower, Native(lower));
    // Other folders, and names that only begin like System32, stay as they are.
    for (const std::wstring& path :
         {windows + L"\\System32x\\a.exe", windows + L"\\SysWOW64\\cmd.exe", windows + L"\\explorer.exe",
          std::wstring(L"D:\\Windows\\System32\\cmd.exe"), std::wstring(L"cmd.exe")}) {
        EXPECT_EQ(path, Native(path));
    }
}

TEST(NativePath, TheMappedPathReachesThe64BitSystemFolder) {
    if (!Mapped())
        GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
    // A file in the 64-bit System32 only: this process sees SysWOW64 by that folder's name.
    std::wstring name = L"veltrix-native-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    std::wstring placed = WindowsFolder() + L"\\Sysnative\\" + name;
    HANDLE file = CreateFileW(placed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
    std::wstring system32 = WindowsFolder() + L"\\System32\\" + name;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(system32.c_str()));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Native(system32).c_str()));
    WString program;
    ASSERT_EQ(1, NativeSystemProgram(name.c_str(), program));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(program));
    DeleteFileW(placed.c_str());
}

TEST(NativePath, ProgramFoldersExpandToThe64BitOnes) {
    // Values unlike any folder this process has, so that a plain expansion cannot pass.
    VariableOverride programs(L"ProgramW6432", L"C:\\Veltrix Test\\Programs 64");
    VariableOverride common(L"CommonProgramW6432", L"C:\\Veltrix Test\\Common 64");
    std::wstring root = Variable(L"SystemRoot");
    if (Mapped()) {
        EXPECT_EQ(L"C:\\Veltrix Test\\Programs 64\\Tool\\tool.exe", Expanded(L"%ProgramFiles%\\Tool\\tool.exe"));
        EXPECT_EQ(L"C:\\Veltrix Test\\Common 64\\x.dll", Expanded(L"%commonprogramfiles%\\x.dll"));
    } else {
        EXPECT_EQ(Variable(L"ProgramFiles") + L"\\Tool\\tool.exe", Expanded(L"%ProgramFiles%\\Tool\\tool.exe"));
    }
    EXPECT_EQ(root + L"\\system32\\cmd.exe", Expanded(L"%SystemRoot%\\system32\\cmd.exe"));
    EXPECT_EQ(Variable(L"ProgramFiles(x86)") + L"\\a", Expanded(L"%ProgramFiles(x86)%\\a"));
    // Every other name is the system's own to expand, undefined ones and lone signs included.
    for (const wchar_t* text : {L"%VeltrixUndefined%SystemRoot%%", L"50% off", L"%%", L"%SystemRoot"}) {
        wchar_t plain[MAX_PATH] = L"";
        ExpandEnvironmentStringsW(text, plain, MAX_PATH);
        EXPECT_EQ(plain, Expanded(text)) << text;
    }
}

TEST(NativePath, Vista64BitProgramFoldersComeFromTheRegistry) {
    if (!Mapped())
        GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
    // Vista has no ProgramW6432; the registry's 64-bit view names the folder.
    VariableOverride programs(L"ProgramW6432", nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                                           KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key));
    wchar_t value[MAX_PATH] = L"";
    DWORD size = sizeof(value);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"ProgramFilesDir", nullptr, nullptr, (BYTE*)value, &size));
    RegCloseKey(key);
    WString folder;
    ASSERT_EQ(1, NativeProgramFolder(0, folder));
    EXPECT_STREQ(value, folder.Buffer());
    EXPECT_NE(Variable(L"ProgramFiles"), std::wstring(folder.Buffer())) << "the 32-bit folder";
}
