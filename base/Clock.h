#pragma once
// Clocks and date/time formatting.

#include <windows.h>

class WString;

// Milliseconds since system start without the 49.7-day wrap where the system can tell.
unsigned long long TickCount64();
// GetDateFormatW/GetTimeFormatW for the user's locale into the target; without a time, now (UTC when
// utc is 1, else local).
int FormatDate(WString& target, DWORD flags, const SYSTEMTIME* time, int utc);
int FormatTime(WString& target, DWORD flags, const SYSTEMTIME* time, int utc);
// Seconds since 1970-01-01 UTC to a SYSTEMTIME, in local time when local is 1.
int UnixTimeToSystemTime(SYSTEMTIME* target, unsigned long long seconds, int local);
