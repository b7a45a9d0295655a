#pragma once
// The processor's description and clock rate, for the debug report.

class WString;

// From the processor's registry key (index 0 for the first processor); vendor, identifier and mhz may
// be null. 1 when the key exists.
int GetCpuInfo(WString& name, WString* vendor, WString* identifier, unsigned* mhz, unsigned index);
// Times the time-stamp counter against the performance counter over a short sleep. 1 when the processor
// has a time-stamp counter and the measurement took a measurable time; *mhz is 0 otherwise.
int MeasureCpuMhz(unsigned* mhz);
// Counter ticks per microsecond; 0 when no time was measured.
unsigned CpuMhzFromCounts(unsigned long long ticks, unsigned long long microseconds);
