#include "update/CheckSchedule.h"

#include <stdio.h>

namespace {

// The newest answer taken, for every kind of check.
const wchar_t* const IssuedValue = L"AnswerIssued";
const wchar_t* const VersionValue = L"AnswerVersion";

} // namespace

void CheckSchedule::Attach(SettingsStore* store, const wchar_t* checkValueName) {
    settings = store;
    valueName.Assign(checkValueName ? checkValueName : L"");
}

const wchar_t* CheckSchedule::Name(const wchar_t* suffix) {
    name.Format(L"%s%s", (const wchar_t*)valueName, suffix);
    return name;
}

DWORD CheckSchedule::RetryPause(DWORD failures) {
    DWORD pause = Day;
    for (DWORD i = 1; i < failures && pause < SevenDays; i++)
        pause *= 2;
    return pause < SevenDays ? pause : SevenDays;
}

int CheckSchedule::Due(DWORD now) {
    if (valueName.IsEmpty() || !settings)
        return 1;
    DWORD last = settings->ReadInt(valueName, 0);
    // The installer's request to skip the next check, once.
    if (last == 0xFFFFFFFF) {
        settings->WriteInt(valueName, 0);
        return 0;
    }
    // A time ahead of the clock (the clock was set back) would hold the checks off for as long: only a
    // time within the last week counts. The sums are widened so that they cannot wrap.
    if (last <= now && (unsigned long long)last + SevenDays >= now)
        return 0;
    DWORD failures = settings->ReadInt(Name(L"Failures"), 0);
    DWORD attempt = settings->ReadInt(Name(L"Attempt"), 0);
    if (failures && attempt <= now && (unsigned long long)attempt + RetryPause(failures) > now)
        return 0;
    settings->WriteInt(Name(L"Attempt"), now);
    settings->WriteInt(Name(L"Failures"), failures + 1);
    if (!failures)
        settings->WriteInt(Name(L"FailingSince"), now);
    return 1;
}

unsigned long long CheckSchedule::Now(unsigned long long clock) {
    unsigned long long newest = settings ? settings->ReadInt(IssuedValue, 0) : 0;
    return clock > newest ? clock : newest;
}

int CheckSchedule::Accepts(unsigned long long issued, unsigned major, unsigned minor) {
    if (!settings)
        return 1;
    WString highest;
    settings->ReadString(VersionValue, highest, L"");
    unsigned highMajor = 0, highMinor = 0;
    if (swscanf(highest, L"%u.%u", &highMajor, &highMinor) != 2)
        highMajor = highMinor = 0;
    if (major < highMajor || (major == highMajor && minor < highMinor))
        return 0;
    return issued >= settings->ReadInt(IssuedValue, 0);
}

void CheckSchedule::Accepted(unsigned long long issued, unsigned major, unsigned minor, DWORD now) {
    if (!settings)
        return;
    // Seconds since 1970 fit a DWORD until 2106; an issue time beyond is none a publisher can have made.
    if (issued > settings->ReadInt(IssuedValue, 0) && issued < 0xFFFFFFFFull)
        settings->WriteInt(IssuedValue, (DWORD)issued);
    if (Accepts(issued, major, minor)) {
        WString version;
        version.Format(L"%u.%u", major, minor);
        settings->WriteString(VersionValue, version);
    }
    if (valueName.IsEmpty())
        return;
    settings->WriteInt(valueName, now);
    settings->WriteInt(Name(L"Failures"), 0);
}

int CheckSchedule::Failing(DWORD now) {
    if (!settings || valueName.IsEmpty() || !settings->ReadInt(Name(L"Failures"), 0))
        return 0;
    DWORD last = settings->ReadInt(valueName, 0);
    DWORD since = last && last != 0xFFFFFFFF ? last : settings->ReadInt(Name(L"FailingSince"), now);
    return since <= now && now - since >= FailureNoticeDays * Day;
}
