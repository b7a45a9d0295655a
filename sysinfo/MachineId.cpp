#include "sysinfo/MachineId.h"

#include "base/ComError.h"
#include "base/KernelHandle.h"
#include "base/RegistryRead.h"
#include "base/WString.h"
#include "base/WmiClient.h"
#include "base/WmiResult.h"
#include "sysinfo/OsVersion.h"

#include <limits.h>
#include <new>
#include <stdio.h>
#include <wchar.h>

namespace {

const wchar_t ntCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t dosCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
// Disk and device identifiers count with at most this many characters.
const int identifierLimit = MAX_PATH;

unsigned char SumOfLowBytes(const wchar_t* text, int limit = INT_MAX) {
    unsigned char sum = 0;
    for (int i = 0; text && text[i] && i < limit; i++)
        sum = (unsigned char)(sum + (unsigned char)text[i]);
    return sum;
}

unsigned char XorOfLowBytes(const wchar_t* text) {
    unsigned char digest = 0;
    for (; text && *text; text++)
        digest ^= (unsigned char)*text;
    return digest;
}

unsigned char VersionByte(unsigned major, unsigned minor) {
    return (unsigned char)((major << 4) | (minor & 0xF));
}

unsigned char OsVersionByte() {
    // Emulators report some Windows version of their choosing; they get fixed bytes of their own.
    if (IsWine())
        return 1;
    if (IsReactOs())
        return 2;
    WString text;
    unsigned major = 0, minor = 0;
    // The registry is asked first: from Windows 8.1 on, GetVersionExW reports 6.2 to programs that do
    // not declare support for the newer versions.
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, ntCurrentVersion, L"CurrentVersion", text) &&
        swscanf(text, L"%u.%u", &major, &minor) == 2)
        return VersionByte(major, minor);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version))
        return 0;
#pragma GCC diagnostic pop
    // The byte of a machine stays what it was before the program declared Windows 8.1 and 10 in its
    // manifest, when GetVersionExW reported 6.2 on them.
    if (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion > 2))
        return VersionByte(6, 2);
    return VersionByte(version.dwMajorVersion, version.dwMinorVersion);
}

unsigned char SystemVolumeByte() {
    // A removable or unready drive must not bring up a system dialog.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    unsigned char digest = 0;
    wchar_t root[MAX_PATH];
    UINT length = GetWindowsDirectoryW(root, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        if (length > 3)
            root[3] = 0; // "C:\Windows" becomes the volume root "C:\"
        DWORD serial = 0;
        if (GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
            digest = (unsigned char)(serial ^ (serial >> 8) ^ (serial >> 16) ^ (serial >> 24));
    }
    SetErrorMode(oldMode);
    return digest;
}

// The product id is read in the 64-bit view: a 32-bit program on 64-bit Windows would otherwise read the
// WOW64 copy, which can differ from the system's own.
int ReadProductId(unsigned kind, WString& text) {
    if (kind & OS_NT)
        return ReadRegistryText(HKEY_LOCAL_MACHINE, ntCurrentVersion, L"ProductId", text, KEY_WOW64_64KEY);
    return ReadRegistryText(HKEY_LOCAL_MACHINE, dosCurrentVersion, L"ProductId", text);
}

unsigned char ProductIdByte(unsigned kind) {
    WString text;
    return ReadProductId(kind, text) ? SumOfLowBytes(text) : 0;
}

unsigned char AddressDigest(const unsigned char* address) {
    return (unsigned char)(address[0] ^ address[1] ^ address[2] ^ address[3] ^ address[4] ^ address[5]);
}

// How long the adapter's address may take to come from WMI. A WMI service that hangs (it does, on a
// damaged repository or while it starts) would otherwise hold up the update check and, after a crash,
// the problem report; without the address the identifier takes the product id's digest instead.
const DWORD AdapterQueryBound = 10000;

// Shared by the asking thread and the query's thread, each holding one reference: whichever is done last
// frees it, so a query given up on may still finish (or never) without touching freed memory.
struct AdapterQuery {
    WString address;
    int found = 0;
    volatile LONG references = 2;

    void Drop() {
        if (InterlockedDecrement(&references) == 0)
            delete this;
    }

    static DWORD WINAPI Run(void* argument) {
        AdapterQuery* query = static_cast<AdapterQuery*>(argument);
        // A failing VARIANT release raises ComError; it must not leave the thread's entry point.
        try {
            query->Ask();
        } catch (const ComError&) {
        }
        query->Drop();
        return 0;
    }

    void Ask() {
        WmiClient wmi;
        if (!wmi.Connect(L"ROOT\\CIMV2") ||
            !wmi.Query(L"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled=true"))
            return;
        WmiResult* adapter = wmi.FirstResult();
        found = adapter && adapter->GetProperty(L"MACAddress", &address, nullptr, 0);
    }
};

// The MAC address text of the first IP-enabled adapter, as WMI reports it. WMI wants a multithreaded
// apartment, and the user-interface thread (where a problem report starts) keeps a single-threaded one:
// asked from there, the address would be missing and the identifier would differ from the one the update
// check sends. The query therefore runs on a thread of its own, whatever the caller's apartment.
int ReadAdapterAddress(WString& text) {
    AdapterQuery* query = new (std::nothrow) AdapterQuery;
    if (!query)
        return 0;
    KernelHandle thread(CreateThread(nullptr, 0, AdapterQuery::Run, query, 0, nullptr));
    if (!thread.Valid()) {
        delete query;
        return 0;
    }
    int answered = WaitForSingleObject(thread.Get(), AdapterQueryBound) == WAIT_OBJECT_0;
    int result = answered && query->found && text.Assign(query->address);
    query->Drop();
    return result;
}

// The first source that delivers a text or a six-byte address decides.
unsigned char NetworkAddressByte(unsigned kind) {
    WString text;
    unsigned char address[6] = {};
    if (kind & OS_NT) {
        if (ReadRegistryText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows Genuine Advantage", L"MAC", text))
            return XorOfLowBytes(text);
        if (ReadRegistryBinary(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Description\\Microsoft\\Rpc\\UuidTemporaryData",
                               L"NetworkAddress", address, sizeof(address)))
            return AddressDigest(address);
        if (ReadAdapterAddress(text))
            return XorOfLowBytes(text);
        return ReadProductId(kind, text) ? XorOfLowBytes(text) : 0;
    }
    if (ReadRegistryBinary(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\VxD\\DHCP\\DhcpInfo00",
                           L"HardwareAddress", address, sizeof(address)))
        return AddressDigest(address);
    return ReadProductId(kind, text) ? XorOfLowBytes(text) : 0;
}

unsigned char DiskByte(unsigned kind) {
    if (!(kind & OS_NT))
        return 0;
    const wchar_t enumPath[] = L"SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum";
    DWORD count = ReadRegistryDword(HKEY_LOCAL_MACHINE, enumPath, L"Count", 0);
    // The key cannot hold more numbered values than values: a damaged Count (such as 0xFFFFFFFF) would
    // otherwise mean billions of lookups.
    DWORD values = RegistryValueCount(HKEY_LOCAL_MACHINE, enumPath);
    if (count > values)
        count = values;
    unsigned char sum = 0;
    int read = 0;
    WString name, value;
    for (DWORD index = 0; index < count; index++) {
        name.Format(L"%u", (unsigned)index);
        if (ReadRegistryText(HKEY_LOCAL_MACHINE, enumPath, name, value)) {
            sum = (unsigned char)(sum + SumOfLowBytes(value, identifierLimit));
            read = 1;
        }
    }
    if (read)
        return sum;

    // Without the disk enumeration, the identifiers of the devices on the SCSI ports stand for the disks.
    WString path;
    for (unsigned port = 0; port < 10; port++) {
        path.Format(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %u", port);
        if (!RegistryKeyExists(HKEY_LOCAL_MACHINE, path))
            continue; // no bus or target below it either
        for (unsigned bus = 0; bus < 10; bus++) {
            for (unsigned target = 0; target < 10; target++) {
                path.Format(L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port %u\\Scsi Bus %u\\Target Id %u\\Logical Unit Id 0",
                            port, bus, target);
                if (!RegistryKeyExists(HKEY_LOCAL_MACHINE, path))
                    break;
                if (ReadRegistryText(HKEY_LOCAL_MACHINE, path, L"Identifier", value))
                    sum = (unsigned char)(sum + SumOfLowBytes(value, identifierLimit));
            }
        }
    }
    return sum;
}

} // namespace

void MachineId::Compute(unsigned char purpose) {
    unsigned kind = OsKindOf(ClassifyOs());
    bytes[VERSION] = FormatVersion;
    bytes[OS_VERSION] = OsVersionByte();
    bytes[SYSTEM_VOLUME] = SystemVolumeByte();
    bytes[PRODUCT_ID] = ProductIdByte(kind);
    bytes[NETWORK_ADDRESS] = NetworkAddressByte(kind);
    bytes[DISKS] = DiskByte(kind);
    bytes[PURPOSE] = purpose;
    Seal();
}

unsigned char MachineId::CheckByte() const {
    unsigned char check = 0;
    for (int i = 0; i < CHECK; i++)
        check ^= (unsigned char)~bytes[i];
    return check;
}

void MachineId::Seal() {
    bytes[CHECK] = CheckByte();
}

int MachineId::Format(WString& target) const {
    // Little-endian words: each group shows its odd byte first.
    return target.Format(L"%04X-%04X-%04X-%04X", bytes[0] | (bytes[1] << 8), bytes[2] | (bytes[3] << 8),
                         bytes[4] | (bytes[5] << 8), bytes[6] | (bytes[7] << 8));
}

MachineId ComputeMachineId(unsigned char purpose) {
    MachineId id;
    id.Compute(purpose);
    return id;
}

int FormatMachineId(WString& target, unsigned char purpose) {
    return ComputeMachineId(purpose).Format(target);
}
