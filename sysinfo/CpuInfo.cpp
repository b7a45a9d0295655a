#include "sysinfo/CpuInfo.h"

#include "base/QuerySystemInformation.h"
#include "base/RegistryRead.h"
#include "base/Stopwatch.h"
#include "base/WString.h"
#include "sysinfo/OsVersion.h"

#include <cpuid.h>
#include <string.h>
#include <x86intrin.h>

namespace {

// The class of NtQuerySystemInformation whose buffer carries the processor's rate in Hz at offset 4.
const ULONG processorSpeedClass = 43;
const ULONG processorSpeedSize = 15;

void ReadTrimmed(const WString& path, const wchar_t* value, WString& target) {
    if (!ReadRegistryText(HKEY_LOCAL_MACHINE, path, value, target))
        target.Assign(L"");
    // Processor names are padded with blanks to a fixed length on many machines.
    target.TrimRight();
}

int HasTimeStampCounter() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid also checks that the CPUID instruction and function 1 exist (early 486s lack them).
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return 0;
    return (edx & (1u << 4)) != 0;
}

} // namespace

int GetCpuInfo(WString& name, WString* vendor, WString* identifier, unsigned* mhz, unsigned index) {
    WString path;
    path.Format(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\%u", index);
    if (!RegistryKeyExists(HKEY_LOCAL_MACHINE, path))
        return 0;
    int nt = (OsKindOf(ClassifyOs()) & OS_NT) != 0;
    ReadTrimmed(path, nt ? L"ProcessorNameString" : L"Identifier", name);
    if (vendor)
        ReadTrimmed(path, L"VendorIdentifier", *vendor);
    if (identifier && nt && !ReadRegistryText(HKEY_LOCAL_MACHINE, path, L"Identifier", *identifier))
        identifier->Assign(L"");
    if (!mhz)
        return 1;

    *mhz = ReadRegistryDword(HKEY_LOCAL_MACHINE, path, L"~MHz", 0);
    unsigned char speed[processorSpeedSize] = {};
    if (QuerySystemInformation(processorSpeedClass, speed, sizeof(speed), nullptr) >= 0) {
        // Copied out: the value sits at an offset the compiler cannot assume to be aligned.
        DWORD hertz = 0;
        memcpy(&hertz, speed + 4, sizeof(hertz));
        if (hertz)
            *mhz = hertz / 1000000;
    }
    if (*mhz == 0)
        MeasureCpuMhz(mhz);
    return 1;
}

unsigned CpuMhzFromCounts(unsigned long long ticks, unsigned long long microseconds) {
    return microseconds ? (unsigned)(ticks / microseconds) : 0;
}

int MeasureCpuMhz(unsigned* mhz) {
    if (!mhz)
        return 0;
    *mhz = 0;
    if (!HasTimeStampCounter())
        return 0;
    Stopwatch stopwatch;
    stopwatch.UseHighResolution(1);
    unsigned long long before = __rdtsc();
    stopwatch.Start();
    Sleep(1);
    unsigned long long after = __rdtsc();
    stopwatch.Stop();
    // Without the performance counter the stopwatch counts whole milliseconds, and a sleep that ends
    // within the same millisecond measures nothing; that is no rate rather than a division by zero.
    *mhz = CpuMhzFromCounts(after - before, stopwatch.Microseconds());
    return *mhz != 0;
}
