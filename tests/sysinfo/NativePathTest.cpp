// How a 32-bit program on 64-bit Windows names the 64-bit system's files: the Sysnative alias for System32,
// the 64-bit program folders for %ProgramFiles% and %CommonProgramFiles%. Elsewhere nothing is mapped.
#include "sysinfo/NativePath.h"
#include "sysinfo/OsVersion.h"

#include <gtest/gtest.h>

#include <string>

static std::wstring Mapped(int (*map)(const wchar_t*, WString&), const std::wstring& in) {
    WString out;
    EXPECT_EQ(1, map(in.c_str(), out)) << in;
    return out.Buffer();
}

static std::wstring Plain(const wchar_t* text) {
    wchar_t plain[MAX_PATH] = L"";
    ExpandEnvironmentStringsW(text, plain, MAX_PATH);
    return plain;
}

TEST(NativePath, System32IsNamedThroughSysnativeOnlyUnderWow64) {
    EXPECT_EQ(IsWow64(), MapsNativePaths());
    // Whatever the case, and below folders the redirector leaves alone too.
    const std::wstring windows = Plain(L"%SystemRoot%");
    for (std::wstring below : {L"\\System32\\cmd.exe", L"\\System32", L"\\system32\\drivers\\etc"})
        EXPECT_EQ(windows + (IsWow64() ? L"\\Sysnative" + below.substr(9) : below),
                  Mapped(NativePath, windows + below));
    // Other folders, names that only begin like System32, other drives and relative paths stay as they are.
    for (std::wstring path :
         {windows + L"\\System32x\\a.exe", windows + L"\\SysWOW64\\cmd.exe", windows + L"\\explorer.exe",
          std::wstring(L"D:\\Windows\\System32\\cmd.exe"), std::wstring(L"cmd.exe")})
        EXPECT_EQ(path, Mapped(NativePath, path));
}

TEST(NativePath, TheMappedPathReachesThe64BitSystemFolder) {
    if (!IsWow64())
        GTEST_SKIP() << "only a 32-bit program on 64-bit Windows is redirected";
    // A file in the 64-bit System32 only, which this process sees as SysWOW64 by that folder's name.
    std::wstring name = L"veltrix-native-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    HANDLE file = CreateFileW(Plain((L"%SystemRoot%\\Sysnative\\" + name).c_str()).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    WString program;
    EXPECT_TRUE(NativeSystemProgram(name.c_str(), program) && GetFileAttributesW(program) != INVALID_FILE_ATTRIBUTES);
    CloseHandle(file);
}

TEST(NativePath, ProgramFoldersExpandToThe64BitOnes) {
    std::wstring programs = Plain(L"%ProgramW6432%"), common = Plain(L"%CommonProgramW6432%");
    // Folders unlike any this process has, so that a plain expansion cannot pass.
    SetEnvironmentVariableW(L"ProgramW6432", L"C:\\Veltrix Test\\Programs 64");
    SetEnvironmentVariableW(L"CommonProgramW6432", L"C:\\Veltrix Test\\Common 64");
    const wchar_t* both = L"%ProgramFiles%\\a;%commonprogramfiles%\\b";
    EXPECT_EQ(IsWow64() ? L"C:\\Veltrix Test\\Programs 64\\a;C:\\Veltrix Test\\Common 64\\b" : Plain(both),
              Mapped(ExpandNative, both));
    SetEnvironmentVariableW(L"ProgramW6432", nullptr); // as on Vista: the registry's 64-bit view names it
    EXPECT_EQ(IsWow64() ? programs + L"\\a" : Plain(L"%ProgramFiles%\\a"), Mapped(ExpandNative, L"%ProgramFiles%\\a"));
    SetEnvironmentVariableW(L"ProgramW6432", programs[0] == L'%' ? nullptr : programs.c_str());
    SetEnvironmentVariableW(L"CommonProgramW6432", common[0] == L'%' ? nullptr : common.c_str());
    // Every other name is the system's own to expand, undefined ones and lone signs included.
    for (const wchar_t* text : {L"%SystemRoot%\\system32\\cmd.exe", L"%ProgramFiles(x86)%\\a",
                                L"%VeltrixUndefined%SystemRoot%%", L"50% off", L"%%", L"%SystemRoot"})
        EXPECT_EQ(Plain(text), Mapped(ExpandNative, text)) << text;
}
