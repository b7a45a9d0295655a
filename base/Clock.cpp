#include "base/Clock.h"

#include "base/Library.h"
#include "base/WString.h"

unsigned long long TickCount64() {
    typedef ULONGLONG(WINAPI * GetTickCount64Fn)();
    // Looked up at each call: the function is missing before Vista.
    Library kernel(L"kernel32.dll");
    GetTickCount64Fn tick64 = kernel.Get<GetTickCount64Fn>("GetTickCount64");
    return tick64 ? tick64() : (unsigned long long)GetTickCount();
}

namespace {

int FormatWith(bool date, WString& target, DWORD flags, const SYSTEMTIME* time, int utc) {
    SYSTEMTIME now;
    if (!time) {
        if (utc)
            GetSystemTime(&now);
        else
            GetLocalTime(&now);
        time = &now;
    }
    if (!target.Buffer() && !target.Reset(WString::DefaultCapacity))
        return 0;
    int n = date ? GetDateFormatW(LOCALE_USER_DEFAULT, flags, time, nullptr, target.Buffer(), target.MaxLength())
                 : GetTimeFormatW(LOCALE_USER_DEFAULT, flags, time, nullptr, target.Buffer(), target.MaxLength());
    if (n == 0)
        target.Buffer()[0] = 0;
    target.Recount();
    return n != 0;
}

} // namespace

int FormatDate(WString& target, DWORD flags, const SYSTEMTIME* time, int utc) {
    return FormatWith(true, target, flags, time, utc);
}

int FormatTime(WString& target, DWORD flags, const SYSTEMTIME* time, int utc) {
    return FormatWith(false, target, flags, time, utc);
}

int UnixTimeToSystemTime(SYSTEMTIME* target, unsigned long long seconds, int local) {
    if (!target)
        return 0;
    // FILETIME counts 100-ns intervals since 1601-01-01; 11,644,473,600 seconds lie between the epochs.
    unsigned long long ticks = (seconds + 11644473600ull) * 10000000ull;
    FILETIME utcTime = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    FILETIME time = utcTime;
    if (local == 1 && !FileTimeToLocalFileTime(&utcTime, &time))
        return 0;
    return FileTimeToSystemTime(&time, target) ? 1 : 0;
}
