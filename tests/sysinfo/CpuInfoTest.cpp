#include "sysinfo/CpuInfo.h"

#include "PlantedValue.h"
#include "base/QuerySystemInformation.h"
#include "base/WString.h"
#include "sysinfo/RegisterReportFile.h"

#include <gtest/gtest.h>

TEST(CpuInfo, NameAndRateOfTheFirstProcessor) {
    WString name, vendor, identifier;
    unsigned mhz = 0;
    ASSERT_EQ(1, GetCpuInfo(name, &vendor, &identifier, &mhz, 0));
    EXPECT_FALSE(name.IsEmpty());
    EXPECT_NE(L' ', name.GetAt(name.Length() - 1));
    EXPECT_FALSE(vendor.IsEmpty());
    EXPECT_FALSE(identifier.IsEmpty());
    EXPECT_GT(mhz, 0u);
    EXPECT_EQ(0, GetCpuInfo(name, nullptr, nullptr, &mhz, 999));

    // Wine answers the processor-speed class with STATUS_INVALID_INFO_CLASS, so the registry's rate
    // stands, and without one the measured rate.
    unsigned char speed[15] = {};
    EXPECT_EQ((LONG)0xC0000003, QuerySystemInformation(43, speed, sizeof(speed), nullptr));
    PlantedValue registryRate(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"~MHz");
    ASSERT_TRUE(registryRate.Set((DWORD)1234));
    ASSERT_EQ(1, GetCpuInfo(name, nullptr, nullptr, &mhz, 0));
    EXPECT_EQ(1234u, mhz);
    ASSERT_TRUE(registryRate.Set((DWORD)0));
    ASSERT_EQ(1, GetCpuInfo(name, nullptr, nullptr, &mhz, 0));
    unsigned measured = 0;
    ASSERT_EQ(1, MeasureCpuMhz(&measured));
    printf("processor: %ls, %u MHz from the registry's fallback, %u MHz measured\n", name.Buffer(), mhz, measured);
    EXPECT_GT(mhz, 0u);
    EXPECT_GT(measured, 0u);
    EXPECT_EQ(0u, CpuMhzFromCounts(5000, 0));
}

TEST(CpuInfo, SystemEntryPointsReachedAtRunTime) {
    unsigned char buffer[64] = {};
    EXPECT_EQ(STATUS_PROCEDURE_NOT_FOUND, SystemInformationEntry(L"kernel32.dll").Query(0, buffer, 64, nullptr));
    // Wine's kernel32 has WerRegisterFile, but only as a stub that refuses every file.
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    EXPECT_EQ(0, RegisterReportFile(path));
    EXPECT_EQ(0, RegisterReportFile(nullptr));
}
