#include "sysinfo/MachineId.h"

#include "PlantedValue.h"
#include "base/WString.h"
#include "base/WmiClient.h"
#include "base/WmiResult.h"

#include <gtest/gtest.h>

#include "OnThread.h"

#include <objbase.h>

#include <functional>
#include <string>

namespace {

const wchar_t currentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// The bytes behind a printed identifier: each group is a little-endian word.
bool Parse(const wchar_t* text, MachineId& id) {
    unsigned words[4];
    if (wcslen(text) != 19 || swscanf(text, L"%4X-%4X-%4X-%4X", &words[0], &words[1], &words[2], &words[3]) != 4)
        return false;
    for (int i = 0; i < 8; i++)
        id.bytes[i] = (unsigned char)(words[i / 2] >> (i % 2 * 8));
    return true;
}

std::wstring Text(unsigned char purpose) {
    WString text;
    EXPECT_EQ(1, FormatMachineId(text, purpose));
    return text.Buffer();
}

} // namespace

TEST(MachineId, TextCarriesTheBytesAndTheirCheckAndIsStableForEachPurposeOnAnyThread) {
    MachineId known;
    memcpy(known.bytes, "\x10\xAB\x61\x00\x5C\x3D\x04", 7);
    known.Seal();
    WString text;
    ASSERT_EQ(1, known.Format(text));
    EXPECT_STREQ(L"AB10-0061-3D5C-4004", text); // check byte 0x40

    std::wstring update = Text(MACHINE_ID_UPDATE_CHECK);
    MachineId id;
    ASSERT_TRUE(Parse(update.c_str(), id)) << update;
    EXPECT_EQ(0x10, id.bytes[MachineId::VERSION]);
    EXPECT_EQ(1, id.bytes[MachineId::OS_VERSION]); // the byte reserved for Wine
    EXPECT_EQ(MACHINE_ID_UPDATE_CHECK, id.bytes[MachineId::PURPOSE]);
    EXPECT_EQ(id.CheckByte(), id.bytes[MachineId::CHECK]);
    EXPECT_EQ(update, Text(MACHINE_ID_UPDATE_CHECK));
    std::wstring report = Text(MACHINE_ID_PROBLEM_REPORT);
    EXPECT_EQ(update.substr(0, 15), report.substr(0, 15));
    EXPECT_NE(update.substr(15), report.substr(15));
    // A problem report starts on the user-interface thread, whose COM is single-threaded; the
    // identifier is the one the update check sends all the same.
    ASSERT_TRUE(OnThread([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        EXPECT_EQ(report, Text(MACHINE_ID_PROBLEM_REPORT));
        CoUninitialize();
    }));
}

TEST(MachineId, NetworkAddressSourcesInTurn) {
    PlantedValue mac(L"SOFTWARE\\Microsoft\\Windows Genuine Advantage", L"MAC");
    PlantedValue address(L"SOFTWARE\\Description\\Microsoft\\Rpc\\UuidTemporaryData", L"NetworkAddress");
    const unsigned char bytes[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    ASSERT_TRUE(mac.Set(L"00-1A-2B-3C-4D-5E"));
    ASSERT_TRUE(address.Set(REG_BINARY, bytes, sizeof(bytes)));
    EXPECT_EQ(0x5D, ComputeMachineId(4).bytes[MachineId::NETWORK_ADDRESS]);
    ASSERT_TRUE(mac.Remove());
    EXPECT_EQ(0x1E, ComputeMachineId(4).bytes[MachineId::NETWORK_ADDRESS]);

    // Neither source, or an address of the wrong length: the first IP-enabled adapter's MAC text.
    WString wmiAddress;
    ASSERT_TRUE(OnThread([&] {
        WmiClient wmi;
        ASSERT_EQ(1, wmi.Connect(L"ROOT\\CIMV2"));
        ASSERT_EQ(1, wmi.Query(L"SELECT * FROM Win32_NetworkAdapterConfiguration WHERE IPEnabled=true"));
        ASSERT_NE(nullptr, wmi.FirstResult()) << "no IP-enabled adapter";
        ASSERT_EQ(1, wmi.FirstResult()->GetProperty(L"MACAddress", &wmiAddress, nullptr, 0));
    }));
    unsigned char expected = 0;
    for (const wchar_t* c = wmiAddress; *c; c++)
        expected ^= (unsigned char)*c;
    ASSERT_TRUE(address.Set(REG_BINARY, bytes, 4));
    EXPECT_EQ(expected, ComputeMachineId(4).bytes[MachineId::NETWORK_ADDRESS]) << wmiAddress.Buffer();
    ASSERT_TRUE(address.Remove());
    EXPECT_EQ(expected, ComputeMachineId(4).bytes[MachineId::NETWORK_ADDRESS]);
}

TEST(MachineId, ProductIdAndDisksFromTheRegistry) {
    PlantedValue productId(currentVersion, L"ProductId", KEY_WOW64_64KEY);
    ASSERT_TRUE(productId.Set(L"55274-OEM-2011863-00045"));
    const std::wstring disks = L"SYSTEM\\CurrentControlSet\\Services\\Disk\\Enum";
    PlantedValue count(disks, L"Count"), first(disks, L"0"), second(disks, L"1");
    const std::wstring scsi = L"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port ";
    const wchar_t* lun = L"\\Logical Unit Id 0";
    PlantedValue disk(scsi + L"0\\Scsi Bus 0\\Target Id 0" + lun, L"Identifier");
    PlantedValue cdrom(scsi + L"0\\Scsi Bus 0\\Target Id 1" + lun, L"Identifier");
    PlantedValue beyondGap(scsi + L"0\\Scsi Bus 0\\Target Id 3" + lun, L"Identifier");
    PlantedValue otherPort(scsi + L"1\\Scsi Bus 0\\Target Id 0" + lun, L"Identifier");
    ASSERT_TRUE(disk.Set(L"VBOX HARDDISK") && cdrom.Set(L"VBOX CD-ROM") && beyondGap.Set(L"NOT COUNTED") &&
                otherPort.Set(L"QEMU HARDDISK"));

    // Without a disk enumeration the SCSI identifiers count, up to the first missing target of a bus.
    MachineId id = ComputeMachineId(4);
    EXPECT_EQ(0xCD, id.bytes[MachineId::PRODUCT_ID]);
    EXPECT_EQ(0x4C, id.bytes[MachineId::DISKS]);

    ASSERT_TRUE(count.Set((DWORD)2));
    ASSERT_TRUE(first.Set(L"IDE\\DiskST500DM002-1BD142_______________________KC45____\\5&2c9b3d1&0&0.0.0"));
    ASSERT_TRUE(second.Set(L"SCSI\\Disk&Ven_VMware&Prod_Virtual_disk\\4&1f16fef7&0&000000"));
    EXPECT_EQ(0x82, ComputeMachineId(4).bytes[MachineId::DISKS]);
    // A damaged count is read as far as the key has values, not four billion times.
    ASSERT_TRUE(count.Set((DWORD)0xFFFFFFFF));
    EXPECT_EQ(0x82, ComputeMachineId(4).bytes[MachineId::DISKS]);
}
