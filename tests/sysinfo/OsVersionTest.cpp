#include "sysinfo/OsVersion.h"

#include <gtest/gtest.h>

#include <string>

namespace {

OSVERSIONINFOW Nt(DWORD major, DWORD minor, const wchar_t* servicePack, DWORD build = 0) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwPlatformId = VER_PLATFORM_WIN32_NT;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = build;
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
    EXPECT_EQ(0x200001u, ClassifyVersion(Nt(10, 0, L"", 19045)));
    EXPECT_EQ(0x400001u, ClassifyVersion(Nt(10, 0, L"", 22000)));
    EXPECT_EQ(0x1u, ClassifyVersion(Nt(10, 1, L""))) << "a version the table does not know";
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
    EXPECT_EQ(1, IsVersionAtLeast(Nt(10, 0, L"", 22621), OS_10, 0));
    EXPECT_EQ(0, IsVersionAtLeast(Nt(10, 0, L"", 19045), OS_11, 0));
    EXPECT_EQ(1, IsVersionAtLeast(Nt(11, 0, L"", 0), OS_11 | OS_VISTA, 0)) << "newer than the table";
    EXPECT_EQ(1, IsVersionAtLeast(Nt(10, 0, L""), OS_VISTA | OS_XP, 0));
    EXPECT_EQ(0, IsVersionAtLeast(Nt(6, 1, L""), OS_8, 0));
}

TEST(OsVersion, NamesCarryTheirTagsInOrder) {
    EXPECT_EQ(L"Windows 7 [MediaCenter Vista]", Name(0x4001, EDITION_MEDIA_CENTER | EDITION_MEDIA_CENTER_VISTA));
    EXPECT_EQ(L"unknown nt kernel 0x1", Name(0x1, 0));
    EXPECT_EQ(L"Windows 10 [TabletPC]", Name(OsKindOf(ClassifyVersion(Nt(10, 0, L"", 19045))), EDITION_TABLET));
    EXPECT_EQ(L"Windows 11", Name(OsKindOf(ClassifyVersion(Nt(10, 0, L"", 22631))), 0));
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

TEST(OsVersion, ServerReleasesAreNamedByProductTypeAndBuild) {
    struct Case {
        DWORD major, minor, build;
        BYTE productType;
        const wchar_t* name;
    } cases[] = {
        {6, 0, 6002, VER_NT_SERVER, L"Windows Server 2008"},
        {6, 1, 7601, VER_NT_SERVER, L"Windows Server 2008 R2"},
        {6, 2, 9200, VER_NT_SERVER, L"Windows Server 2012"},
        {6, 3, 9600, VER_NT_SERVER, L"Windows Server 2012 R2"},
        {10, 0, 14393, VER_NT_SERVER, L"Windows Server 2016"},
        {10, 0, 17763, VER_NT_DOMAIN_CONTROLLER, L"Windows Server 2019 [Domain Controller]"},
        {10, 0, 20348, VER_NT_SERVER, L"Windows Server 2022 [Datacenter]"},
        {10, 0, 26100, VER_NT_SERVER, L"Windows Server 2025"},
        {10, 0, 20348, VER_NT_WORKSTATION, L"Windows 10"},
    };
    for (const Case& c : cases) {
        unsigned kind = OsKindOf(ClassifyVersion(Nt(c.major, c.minor, L"", c.build), c.productType));
        unsigned edition = EDITION_SERVER; // the registry's "ServerNT", which the name already says
        if (c.productType == VER_NT_DOMAIN_CONTROLLER)
            edition = EDITION_DOMAIN_CONTROLLER;
        if (c.build == 20348 && c.productType == VER_NT_SERVER)
            edition |= EDITION_DATACENTER;
        if (c.productType == VER_NT_WORKSTATION)
            edition = 0;
        EXPECT_EQ(std::wstring(c.name), Name(kind, edition)) << c.build;
        EXPECT_EQ(1, IsVersionAtLeast(Nt(c.major, c.minor, L"", c.build), OS_VISTA, 0));
    }
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
    // The classification reads the true version, so both probes name each system alike; GetVersionExW
    // (the "reported" version) tells Windows 8.1 and 10 the truth only with the program's manifest. Wine
    // 8.0's own table swaps the product types of "win7" (a server there) and "win2008r2" (a workstation):
    // the names follow the product type, as they do on Windows.
    struct Case {
        const wchar_t* wine;
        const char* plain;
        const char* reported;
        const char* classified;
    } cases[] = {
        {L"winxp", "5.1", "5.1", "kind=0x201 edition=0x8 xp=1 vista=0 seven=0 eight1=0 wine=1 name=Windows XP"},
        {L"vista", "6.0", "6.0", "kind=0x2001 edition=0x4 xp=1 vista=1 seven=0 eight1=0 wine=1 name=Windows Vista"},
        {L"win2008r2", "6.1", "6.1", "kind=0x4001 edition=0x2 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 7"},
        {L"win7", "6.1", "6.1",
         "kind=0x804001 edition=0x2 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows Server 2008 R2"},
        {L"win2008", "6.0", "6.0",
         "kind=0x802001 edition=0x4 xp=1 vista=1 seven=0 eight1=0 wine=1 name=Windows Server 2008"},
        {L"win8", "6.2", "6.2", "kind=0x40001 edition=0 xp=1 vista=1 seven=1 eight1=0 wine=1 name=Windows 8"},
        {L"win81", "6.2", "6.3", "kind=0x80001 edition=0 xp=1 vista=1 seven=1 eight1=1 wine=1 name=Windows 8.1"},
        {L"win10", "6.2", "10.0", "kind=0x200001 edition=0 xp=1 vista=1 seven=1 eight1=1 wine=1 name=Windows 10"},
    };
    for (const Case& c : cases) {
        std::string version(c.wine, c.wine + wcslen(c.wine));
        EXPECT_EQ(std::string("reported=") + c.plain + " " + c.classified, RunProbeAs(L"os_probe.exe", c.wine))
            << "as " << version;
        EXPECT_EQ(std::string("reported=") + c.reported + " " + c.classified,
                  RunProbeAs(L"os_probe_compat.exe", c.wine))
            << "as " << version << ", with Veltrix's manifest";
    }
}
