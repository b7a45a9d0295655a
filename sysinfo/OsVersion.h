#pragma once
// Classification of the running Windows into two flag words (kind in the low half, edition in the
// high half), version tests, a readable name with edition tags, and the WOW64 and emulator probes.

#include "base/SystemVersion.h"

#include <windows.h>

// OsKind bits
enum : unsigned {
    OS_NT = 0x1,
    OS_DOS = 0x2,
    OS_WIN32S = 0x4,
    OS_CE = 0x8,
    OS_95 = 0x10,
    OS_98 = 0x20,
    OS_ME = 0x40,
    OS_NT4 = 0x80,
    OS_2000 = 0x100,
    OS_XP = 0x200,
    OS_95_OSR2 = 0x400,
    OS_98_SE = 0x800,
    OS_2003 = 0x1000,
    OS_VISTA = 0x2000,
    OS_7 = 0x4000,
    OS_8 = 0x40000,
    OS_81 = 0x80000,
    OS_NT351 = 0x100000,
    OS_10 = 0x200000, // NT 10.0 before build 22000
    OS_11 = 0x400000, // NT 10.0 from build 22000 on
    // A server release (product type server or domain controller) of the kernel the other bits name.
    OS_SERVER = 0x800000,
    // Server releases of NT 10.0, told apart by their build; without one of these it is Server 2016.
    OS_SERVER_2019 = 0x1000000,
    OS_SERVER_2022 = 0x2000000,
    OS_SERVER_2025 = 0x4000000,
};

// OsEdition bits
enum : unsigned {
    EDITION_FLP = 0x1,
    EDITION_SP1 = 0x2,
    EDITION_SP2 = 0x4,
    EDITION_SP3 = 0x8,
    EDITION_STARTER = 0x10,
    EDITION_SERVER_R2 = 0x20,
    EDITION_TABLET = 0x40,
    EDITION_MEDIA_CENTER = 0x80,
    EDITION_MEDIA_CENTER_2004 = 0x100,
    EDITION_MEDIA_CENTER_2005 = 0x200,
    EDITION_MEDIA_CENTER_2005_EX = 0x400,
    EDITION_MEDIA_CENTER_VISTA = 0x800,
    EDITION_TERMINAL_SESSION = 0x1000,
    EDITION_PE_BUILDER = 0x2000,
    EDITION_MININT = 0x4000,
    EDITION_SERVER = 0x8000,
    EDITION_ADVANCED_SERVER = 0x10000,
    EDITION_DATACENTER = 0x80000,
    EDITION_ENTERPRISE = 0x100000,
    EDITION_EMBEDDED = 0x200000,
    EDITION_HOME = 0x400000,
    EDITION_STORAGE_SERVER = 0x800000,
    EDITION_TERMINAL_SERVICES = 0x1000000,
    EDITION_HOME_SERVER = 0x2000000,
    EDITION_DOMAIN_CONTROLLER = 0x4000000,
};

inline unsigned OsKindOf(unsigned long long classification) {
    return (unsigned)(classification & 0xFFFFFFFFu);
}
inline unsigned OsEditionOf(unsigned long long classification) {
    return (unsigned)(classification >> 32);
}

unsigned long long ClassifyOs();
unsigned long long ClassifyOsExtended();
int IsOsAtLeast(unsigned versions, unsigned servicePack);
const wchar_t* FormatOsName(wchar_t* buffer, unsigned kind, unsigned edition);

// The version the running system really has, whatever the program's manifest declares (GetVersionExW
// reports 6.2 from Windows 8.1 on to programs that do not declare the newer versions): RtlGetVersion,
// else GetVersionExW. 1 on success.
int ReadTrueVersion(OSVERSIONINFOEXW& version);

// The same rules for a given version report, so that every Windows version can be checked; productType
// is the report's wProductType (VER_NT_WORKSTATION, VER_NT_SERVER, VER_NT_DOMAIN_CONTROLLER).
unsigned long long ClassifyVersion(const OSVERSIONINFOW& version, BYTE productType = VER_NT_WORKSTATION);
int IsVersionAtLeast(const OSVERSIONINFOW& version, unsigned versions, unsigned servicePack);

int IsWow64(HANDLE process = nullptr);
int IsReactOs();
int IsWine();
