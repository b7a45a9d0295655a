#include "sysinfo/OsVersion.h"

#include "base/Library.h"
#include "base/WString.h"
#include "base/RegistryRead.h"

#include <stdio.h>
#include <wchar.h>

namespace {

struct NtVersion {
    unsigned key; // (major << 16) | minor
    unsigned firstBuild;
    unsigned kind;
};

// Newest first; 6.4 (a Windows 10 preview) shares the bit of 8.1. Windows 11 is NT 10.0 too, told from
// 10 by its build.
const NtVersion ntVersions[] = {
    {0xA0000, 22000, OS_11}, {0xA0000, 0, OS_10},   {0x60004, 0, OS_81},    {0x60003, 0, OS_81},
    {0x60002, 0, OS_8},      {0x60001, 0, OS_7},    {0x60000, 0, OS_VISTA}, {0x50002, 0, OS_2003},
    {0x50001, 0, OS_XP},     {0x50000, 0, OS_2000}, {0x40000, 0, OS_NT4},   {0x30033, 0, OS_NT351},
};

// A version and build as one number that orders them.
unsigned long long Rank(unsigned key, unsigned build) {
    return ((unsigned long long)key << 32) | build;
}

unsigned long long RankOf(const OSVERSIONINFOW& version) {
    return Rank((version.dwMajorVersion << 16) | version.dwMinorVersion, version.dwBuildNumber);
}

// The newest entry of the table that the version is, or is newer than; null below NT 3.51.
const NtVersion* NewestNotAfter(unsigned long long rank) {
    for (const NtVersion& nt : ntVersions) {
        if (Rank(nt.key, nt.firstBuild) <= rank)
            return &nt;
    }
    return nullptr;
}

unsigned ServicePackBits(const wchar_t* servicePack) {
    unsigned bits = 0;
    if (wcsstr(servicePack, L"Service Pack 1"))
        bits |= EDITION_SP1;
    if (wcsstr(servicePack, L"Service Pack 2"))
        bits |= EDITION_SP2;
    if (wcsstr(servicePack, L"Service Pack 3"))
        bits |= EDITION_SP3;
    return bits;
}

int KeyExists(const wchar_t* path) {
    return RegistryKeyExists(HKEY_LOCAL_MACHINE, path);
}

// The running version itself must carry the service pack the caller asks for.
int ServicePackPasses(const wchar_t* servicePack, unsigned requirement) {
    if (!(requirement & (EDITION_SP1 | EDITION_SP2 | EDITION_SP3)))
        return 1;
    if ((requirement & EDITION_SP1) && wcsstr(servicePack, L"Service Pack 1"))
        return 1;
    if ((requirement & (EDITION_SP1 | EDITION_SP2)) && wcsstr(servicePack, L"Service Pack 2"))
        return 1;
    return wcsstr(servicePack, L"Service Pack 3") != nullptr;
}

} // namespace

int ReadTrueVersion(OSVERSIONINFOEXW& version) {
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    // ntdll's RtlGetVersion reports the real version to every caller; the manifest only steers
    // GetVersionExW. It is there on every NT system Veltrix runs on, never on Windows 9x.
    typedef LONG(WINAPI * RtlGetVersionFn)(OSVERSIONINFOEXW*);
    Library ntdll(L"ntdll.dll");
    RtlGetVersionFn rtlGetVersion = ntdll.Get<RtlGetVersionFn>("RtlGetVersion");
    if (rtlGetVersion && rtlGetVersion(&version) == 0)
        return 1;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExW((OSVERSIONINFOW*)&version))
        return 1;
    // Before NT 4 SP6 the extended form is refused.
    ZeroMemory(&version, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW((OSVERSIONINFOW*)&version) ? 1 : 0;
#pragma GCC diagnostic pop
}

unsigned long long ClassifyVersion(const OSVERSIONINFOW& version, BYTE productType) {
    switch (version.dwPlatformId) {
        case VER_PLATFORM_WIN32s:
            return OS_WIN32S;
        case VER_PLATFORM_WIN32_WINDOWS: {
            wchar_t letter = version.szCSDVersion[0] ? version.szCSDVersion[1] : 0;
            if (version.dwMajorVersion != 4)
                return OS_DOS;
            switch (version.dwMinorVersion) {
                case 0:
                    return OS_DOS | ((letter == L'C' || letter == L'B') ? OS_95_OSR2 : OS_95);
                case 10:
                    return OS_DOS | (letter == L'A' ? OS_98_SE : OS_98);
                case 90:
                    return OS_DOS | OS_ME;
                default:
                    return OS_DOS;
            }
        }
        case VER_PLATFORM_WIN32_NT: {
            unsigned key = (version.dwMajorVersion << 16) | version.dwMinorVersion;
            unsigned kind = OS_NT;
            const NtVersion* nt = NewestNotAfter(RankOf(version));
            // A version between two of the table (NT 10.1, 7.0) is named by none of them.
            if (nt && nt->key == key)
                kind |= nt->kind;
            if (productType == VER_NT_SERVER || productType == VER_NT_DOMAIN_CONTROLLER) {
                kind |= OS_SERVER;
                if (key == 0xA0000) {
                    DWORD build = version.dwBuildNumber;
                    kind |= build >= 26100   ? (unsigned)OS_SERVER_2025
                            : build >= 20348 ? (unsigned)OS_SERVER_2022
                            : build >= 17763 ? (unsigned)OS_SERVER_2019
                                             : 0u;
                }
            }
            return ((unsigned long long)ServicePackBits(version.szCSDVersion) << 32) | kind;
        }
        default:
            return 0;
    }
}

unsigned long long ClassifyOs() {
    OSVERSIONINFOEXW version;
    if (!ReadTrueVersion(version))
        return 0;
    BYTE productType = version.dwOSVersionInfoSize == sizeof(version) ? version.wProductType : VER_NT_WORKSTATION;
    return ClassifyVersion(*(OSVERSIONINFOW*)&version, productType);
}

unsigned long long ClassifyOsExtended() {
    unsigned long long classification = ClassifyOs();
    unsigned kind = OsKindOf(classification);
    unsigned edition = OsEditionOf(classification);
    if (!(kind & OS_NT))
        return classification;

    OSVERSIONINFOEXW extended;
    if (ReadTrueVersion(extended) && extended.dwOSVersionInfoSize == sizeof(extended)) {
        WORD suite = extended.wSuiteMask;
        if (suite & VER_SUITE_DATACENTER)
            edition |= EDITION_DATACENTER;
        if (suite & VER_SUITE_ENTERPRISE)
            edition |= EDITION_ENTERPRISE | EDITION_SERVER;
        if (suite & VER_SUITE_SMALLBUSINESS)
            edition |= EDITION_SERVER;
        if (suite & VER_SUITE_EMBEDDEDNT)
            edition |= EDITION_EMBEDDED;
        if (suite & VER_SUITE_PERSONAL)
            edition |= EDITION_HOME;
        if (suite & VER_SUITE_STORAGE_SERVER)
            edition |= EDITION_STORAGE_SERVER;
        if ((suite & VER_SUITE_TERMINAL) && !(suite & VER_SUITE_SINGLEUSERTS))
            edition |= EDITION_TERMINAL_SERVICES;
        if (suite & VER_SUITE_WH_SERVER)
            edition |= EDITION_HOME_SERVER;
        if (extended.wProductType == VER_NT_DOMAIN_CONTROLLER)
            edition |= EDITION_DOMAIN_CONTROLLER;
    }

    WString productType;
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions", L"ProductType",
                          productType))
        productType.Assign(L"");
    if (productType.CompareNoCase(L"ServerNT") == 0)
        edition |= EDITION_SERVER;
    else if (productType.CompareNoCase(L"LanmanNT") == 0)
        edition |= EDITION_ADVANCED_SERVER;

    if (KeyExists(L"SYSTEM\\CurrentControlSet\\Control\\MiniNT"))
        edition |= EDITION_MININT;
    if (KeyExists(L"SYSTEM\\CurrentControlSet\\Control\\PE Builder"))
        edition |= EDITION_PE_BUILDER;
    if (ReadRegistryDword(HKEY_LOCAL_MACHINE, L"SYSTEM\\WPA\\Fundamentals", L"Installed", 0) == 1)
        edition |= EDITION_FLP;

    if (GetSystemMetrics(86)) // SM_TABLETPC
        edition |= EDITION_TABLET;
    if (GetSystemMetrics(87)) // SM_MEDIACENTER
        edition |= EDITION_MEDIA_CENTER;
    if (GetSystemMetrics(88)) // SM_STARTER
        edition |= EDITION_STARTER;
    if (GetSystemMetrics(89)) // SM_SERVERR2
        edition |= EDITION_SERVER_R2;
    if (GetSystemMetrics(SM_REMOTESESSION))
        edition |= EDITION_TERMINAL_SESSION;

    WString ident;
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Media Center", L"Ident",
                         ident)) {
        unsigned major = 0, minor = 0;
        if (swscanf(ident, L"%u.%u", &major, &minor) >= 1) {
            static const unsigned mediaCenter[] = {EDITION_MEDIA_CENTER_2004, EDITION_MEDIA_CENTER_2005,
                                                   EDITION_MEDIA_CENTER_2005_EX, EDITION_MEDIA_CENTER_VISTA};
            if (major >= 2 && major <= 5)
                edition |= mediaCenter[major - 2];
        }
    }
    return ((unsigned long long)edition << 32) | kind;
}

int IsVersionAtLeast(const OSVERSIONINFOW& version, unsigned versions, unsigned servicePack) {
    if (version.dwPlatformId == VER_PLATFORM_WIN32s)
        return (versions & OS_WIN32S) ? 1 : 0;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return (versions & OS_DOS) ? 1 : 0;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;

    int result = (versions & OS_NT) ? 1 : 0;
    // Anything newer than the table is answered as its newest entry.
    unsigned long long running = RankOf(version);
    const NtVersion* newest = NewestNotAfter(running);
    unsigned runningKind = newest ? newest->kind : 0;
    unsigned lastTested = 0;
    for (const NtVersion& nt : ntVersions) {
        if (Rank(nt.key, nt.firstBuild) > running || !(versions & nt.kind) || nt.kind == lastTested)
            continue;
        lastTested = nt.kind;
        // Older versions pass outright; the running one must carry the requested service pack.
        result = nt.kind != runningKind ? 1 : ServicePackPasses(version.szCSDVersion, servicePack);
    }
    return result;
}

int IsOsAtLeast(unsigned versions, unsigned servicePack) {
    OSVERSIONINFOEXW version;
    if (!ReadTrueVersion(version))
        return 0;
    return IsVersionAtLeast(*(OSVERSIONINFOW*)&version, versions, servicePack);
}

const wchar_t* FormatOsName(wchar_t* buffer, unsigned kind, unsigned edition) {
    const size_t size = MAX_PATH;
    if (!(kind & OS_NT)) {
        if (kind & OS_DOS) {
            if (kind & OS_95)
                return L"Windows 95";
            if (kind & OS_95_OSR2)
                return L"Windows 95 OSR2";
            if (kind & OS_98)
                return L"Windows 98";
            if (kind & OS_98_SE)
                return L"Windows 98 SE";
            if (kind & OS_ME)
                return L"Windows ME";
            _snwprintf(buffer, size, L"unknown dos kernel 0x%X", kind);
        } else if (kind & OS_WIN32S) {
            return L"Windows 3.1";
        } else if (kind & OS_CE) {
            if (edition & 0x8000)
                return L"Windows CE 5.0";
            if (edition & 0x10000)
                return L"Windows CE 5.2";
            _snwprintf(buffer, size, L"unknown ce kernel 0x%X", kind);
        } else {
            _snwprintf(buffer, size, L"unknown 0x%X", kind);
        }
        buffer[size - 1] = 0;
        return buffer;
    }

    // Server releases first: their kernels are those of the client versions below.
    static const struct {
        unsigned kind;
        const wchar_t* name;
    } servers[] = {
        {OS_SERVER_2025, L"Windows Server 2025"}, {OS_SERVER_2022, L"Windows Server 2022"},
        {OS_SERVER_2019, L"Windows Server 2019"}, {OS_10 | OS_11, L"Windows Server 2016"},
        {OS_81, L"Windows Server 2012 R2"},       {OS_8, L"Windows Server 2012"},
        {OS_7, L"Windows Server 2008 R2"},        {OS_VISTA, L"Windows Server 2008"},
    };
    static const struct {
        unsigned kind;
        const wchar_t* name;
    } names[] = {
        {OS_NT351, L"Windows NT3.51"},
        {OS_NT4, L"Windows NT4"},
        {OS_2000, L"Windows 2000"},
        {OS_XP, L"Windows XP"},
        {OS_2003, L"Windows Server 2003"},
        {OS_VISTA, L"Windows Vista"},
        {OS_7, L"Windows 7"},
        {OS_8, L"Windows 8"},
        {OS_81, L"Windows 8.1"},
        {OS_10, L"Windows 10"},
        {OS_11, L"Windows 11"},
    };
    const wchar_t* base = nullptr;
    if (kind & OS_SERVER) {
        for (const auto& entry : servers) {
            if (kind & entry.kind) {
                base = entry.name;
                break;
            }
        }
    }
    // The name says it is a server; the tag would only repeat it.
    if (base)
        edition &= ~EDITION_SERVER;
    for (const auto& entry : names) {
        if (base)
            break;
        if (kind & entry.kind)
            base = entry.name;
    }
    if (!base) {
        _snwprintf(buffer, size, L"unknown nt kernel 0x%X", kind);
        buffer[size - 1] = 0;
        return buffer;
    }

    WString name;
    name.Assign(base);
    if (edition & EDITION_SERVER)
        name.Append(L" [Server]");
    else if (edition & EDITION_ADVANCED_SERVER)
        name.Append(L" [Advanced Server]");
    if (edition & EDITION_PE_BUILDER)
        name.Append(L" [PE Builder]");
    else if (edition & EDITION_MININT)
        name.Append(L" [MiniNT]");
    if (edition & EDITION_TABLET)
        name.Append(L" [TabletPC]");
    // Only one Media Center tag: the most specific identity wins over the plain metric.
    if (edition & EDITION_MEDIA_CENTER_2004)
        name.Append(L" [MediaCenter 2004]");
    else if (edition & EDITION_MEDIA_CENTER_2005)
        name.Append(L" [MediaCenter 2005]");
    else if (edition & EDITION_MEDIA_CENTER_2005_EX)
        name.Append(L" [MediaCenter 2005 Ex]");
    else if (edition & EDITION_MEDIA_CENTER_VISTA)
        name.Append(L" [MediaCenter Vista]");
    else if (edition & EDITION_MEDIA_CENTER)
        name.Append(L" [MediaCenter]");
    static const struct {
        unsigned bit;
        const wchar_t* tag;
    } tags[] = {
        {EDITION_DATACENTER, L" [Datacenter]"},
        {EDITION_ENTERPRISE, L" [Enterprise]"},
        {EDITION_EMBEDDED, L" [Embedded]"},
        {EDITION_HOME, L" [Home Edition]"},
        {EDITION_STORAGE_SERVER, L" [Storage Server]"},
        {EDITION_TERMINAL_SERVICES, L" [Terminal Services]"},
        {EDITION_HOME_SERVER, L" [Home Server]"},
        {EDITION_DOMAIN_CONTROLLER, L" [Domain Controller]"},
        {EDITION_FLP, L" [Fundamentals for Legacy PCs]"},
        {EDITION_TERMINAL_SESSION, L" [TerminalSession]"},
    };
    for (const auto& tag : tags) {
        if (edition & tag.bit)
            name.Append(tag.tag);
    }
    lstrcpynW(buffer, name, (int)size);
    return buffer;
}

int IsWow64(HANDLE process) {
    // IsWow64Process is missing before XP SP2; without it the process cannot be under WOW64.
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    Library kernel(L"kernel32.dll");
    IsWow64ProcessFn isWow64Process = kernel.Get<IsWow64ProcessFn>("IsWow64Process");
    BOOL wow64 = FALSE;
    if (!isWow64Process || !isWow64Process(process ? process : GetCurrentProcess(), &wow64))
        return 0;
    return wow64 ? 1 : 0;
}

int IsReactOs() {
    WString product;
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"ProductName",
                          product))
        return 0;
    return product.CompareNoCase(L"ReactOS") == 0;
}

int IsWine() {
    Library ntdll(L"ntdll.dll");
    return ntdll.GetProc("wine_get_version") != nullptr;
}
