#include "sysinfo/OsVersion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

OSVERSIONINFOW Nt(DWORD major, DWORD minor, const wchar_t* servicePack) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    lstrcpyW(version.szCSDVersion, servicePack);
    return version;
}

std::wstring Name(unsigned kind, unsigned edition) {
    wchar_t buffer[MAX_PATH];
    return FormatOsName(buffer, kind, edition);
}

// Runs the probe program with Wine pretending to be the given Windows version (Wine reads the
// per-program setting HKCU\Software\Wine\AppDefaults\<program>\Version) and returns what it printed.
std::string RunProbeAs(const wchar_t* program, const wchar_t* wineVersion) {
    HKEY key;
    std::wstring settings = std::wstring(L"Software\\Wine\\AppDefaults\\") + program;
    if (RegCreateKeyW(HKEY_CURRENT_USER, settings.c_str(), &key) != ERROR_SUCCESS)
        return "no key";
    RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE*)wineVersion, (DWORD)(wcslen(wineVersion) + 1) * 2);
    RegCloseKey(key);

    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring probe = path;
    probe = probe.substr(0, probe.rfind(L'\\') + 1) + program;

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + probe + L"\"";
    if (!CreateProcessW(probe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return "not started";
    }
    CloseHandle(writeEnd);
    std::string output;
    char chunk[512];
    DWORD read = 0;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        output.append(chunk, read);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    RegDeleteKeyW(HKEY_CURRENT_USER, settings.c_str());
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

} // namespace

TEST(OsVersion, ClassifiesNtVersions) {
    EXPECT_EQ(0x2000u | 0x1u | (0x4ull << 32), ClassifyVersion(Nt(6, 0, L"Service Pack 2")));
    EXPECT_EQ(0x4001u, ClassifyVersion(Nt(6, 1, L"")));
    EXPECT_EQ(0x80001u, ClassifyVersion(Nt(6, 4, L"")));
    EXPECT_EQ(0x1u, ClassifyVersion(Nt(10, 0, L"")));
    EXPECT_EQ(0x100001u, ClassifyVersion(Nt(3, 51, L"")));
    EXPECT_EQ(0x201u | (0x8ull << 32), ClassifyVersion(Nt(5, 1, L"Service Pack 3")));

    OSVERSIONINFOW dos = {};
    dos.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    dos.dwMajorVersion = 4;
    dos.dwMinorVersion = 10;
    lstrcpyW(dos.szCSDVersion, L" A ");
    EXPECT_EQ(0x802u, ClassifyVersion(dos));
    dos.dwMinorVersion = 0;
    lstrcpyW(dos.szCSDVersion, L" C");
    EXPECT_EQ(0x402u, ClassifyVersion(dos));
    dos.dwMinorVersion = 3;
    EXPECT_EQ(0x2u, ClassifyVersion(dos));
}

TEST(OsVersion, AtLeastHonoursServicePacks) {
    EXPECT_EQ(1, IsVersionAtLeast(Nt(6, 0, L"Service Pack 2"), OS_VISTA, EDITION_SP1));
    EXPECT_EQ(0, IsVersionAtLeast(Nt(6, 0, L""), OS_VISTA, EDITION_SP1));
    EXPECT_EQ(1, IsVersionAtLeast(Nt(6, 0, L""), OS_VISTA, 0));
    EXPECT_EQ(0, IsVersionAtLeast(Nt(5, 1, L"Service Pack 3"), OS_VISTA, 0));
    EXPECT_EQ(1, IsVersionAtLeast(Nt(5, 1, L"Service Pack 3"), OS_XP, EDITION_SP2));
    // An older requested version passes whatever its service pack.
    EXPECT_EQ(1, IsVersionAtLeast(Nt(6, 1, L""), OS_VISTA, EDITION_SP2));
    EXPECT_EQ(1, IsVersionAtLeast(Nt(10, 0, L""), OS_81, 0));
    EXPECT_EQ(1, IsVersionAtLeast(Nt(10, 0, L""), OS_VISTA | OS_XP, 0));
    EXPECT_EQ(0, IsVersionAtLeast(Nt(6, 1, L""), OS_8, 0));
}

TEST(OsVersion, NamesCarryTheirTagsInOrder) {
    EXPECT_EQ(L"Windows 7 [MediaCenter Vista]", Name(0x4001, EDITION_MEDIA_CENTER | EDITION_MEDIA_CENTER_VISTA));
    EXPECT_EQ(L"unknown nt kernel 0x1", Name(0x1, 0));
    EXPECT_EQ(L"Windows 8.1", Name(0x80001, 0));
    EXPECT_EQ(L"Windows Server 2003 [Server] [Enterprise]", Name(0x1001, EDITION_SERVER | EDITION_ENTERPRISE));
    EXPECT_EQ(
        L"Windows XP [PE Builder] [TabletPC] [Home Edition] [TerminalSession]",
        Name(0x201, EDITION_MININT | EDITION_PE_BUILDER | EDITION_TABLET | EDITION_HOME | EDITION_TERMINAL_SESSION));
    EXPECT_EQ(L"Windows 98 SE", Name(0x802, 0));
    EXPECT_EQ(L"Windows 3.1", Name(0x4, 0));
    EXPECT_EQ(L"unknown 0x0", Name(0, 0));
    EXPECT_EQ(L"unknown dos kernel 0x2", Name(0x2, 0));
    EXPECT_EQ(L"Windows CE 5.2", Name(0x8, 0x10000));
}

TEST(OsVersion, WineIsRecognised) {
    EXPECT_EQ(1, IsWine());
    EXPECT_EQ(0, IsReactOs());
    // A 64-bit program never runs under WOW64; a 32-bit one does in a 64-bit prefix.
    if (sizeof(void*) == 8) {
        EXPECT_EQ(0, IsWow64());
    }
    EXPECT_EQ(IsWow64(), IsWow64(GetCurrentProcess()));
    EXPECT_GE(CommonControlsVersion() >> 16, 5u);
}

TEST(OsVersion, EveryWindowsVersionWineCanPretendToBe) {
    // Without a compatibility manifest, Windows 8.1 and 10 report themselves as 8 (6.2), as Windows does.
    struct Case {
        const wchar_t* wine;
        const char* plain;
        const char* declared;
    } cases[] = {
        {L"winxp", "kind=0x201 edition=0x8 xp=1 vista=0 seven=0 eight1=0 wine=1 name=Windows XP", nullptr},
        {L"vista", "kind=0x2001 edition=0x4 xp=1 vista=1 seven=0 eight1=0 wine=1 name=Windows Vista", nullptr},
        {L"win7", "kind=0x4001 edition=0x2 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 7", nullptr},
        {L"win8", "kind=0x40001 edition=0 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 8", nullptr},
        {L"win81", "kind=0x40001 edition=0 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 8",
         "kind=0x80001 edition=0 xp=1 vista=1 seven=1 eight1=1 wine=1 name=Windows 8.1"},
        {L"win10", "kind=0x40001 edition=0 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 8",
         "kind=0x1 edition=0 xp=1 vista=1 seven=1 eight1=1 wine=1 name=unknown nt kernel 0x1"},
    };
    for (const Case& c : cases) {
        std::string version(c.wine, c.wine + wcslen(c.wine));
        EXPECT_EQ(c.plain, RunProbeAs(L"os_probe.exe", c.wine)) << "as " << version;
        // A program that declares Windows 8.1 and 10 support is told the truth.
        EXPECT_EQ(c.declared ? c.declared : c.plain, RunProbeAs(L"os_probe_compat.exe", c.wine)) << "as " << version;
    }
}
