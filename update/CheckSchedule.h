#pragma once
// When the automatic update check runs, and what the checks remember. "LastCheck" is the time of the last
// valid answer, not of the last attempt: a check that fails (network, status, signature, expiry) counts
// as no check, is tried again at a later start after a pause that grows with each failure, and after
// FailureNoticeDays without a valid answer the About box says so. Every answer taken is remembered (its
// issue time and version), and none older or for a lower version is taken again, so that an old signed
// answer replayed cannot hold a copy back on a version it has already seen superseded.

#include "base/WString.h"
#include "framework/SettingsStore.h"

#include <windows.h>

class CheckSchedule {
public:
    static const DWORD Day = 86400;
    static const DWORD SevenDays = 7 * Day;
    static const DWORD FailureNoticeDays = 30;

    // valueName: "LastCheck" for the weekly check (its other values are named after it); null or empty for
    // a check the user asked for, which is always due and leaves the weekly bookkeeping alone.
    void Attach(SettingsStore* store, const wchar_t* valueName);
    // Whether the check is due at `now` (seconds since 1970); a due automatic check is recorded as an
    // attempt that failed until Accepted says otherwise, so that a check the process did not survive
    // counts as a failure too.
    int Due(DWORD now);
    // The clock an answer's expiry is judged by: never earlier than the newest answer taken, so that a
    // clock set back does not bring expired answers back to life.
    unsigned long long Now(unsigned long long clock);
    // 1 when an answer issued then, for that version, may be taken: neither older than the newest answer
    // taken nor for a lower version than the highest one.
    int Accepts(unsigned long long issued, unsigned major, unsigned minor);
    // A valid answer was taken at `now`: remembered; an automatic check's LastCheck moves and its failures
    // are forgotten.
    void Accepted(unsigned long long issued, unsigned major, unsigned minor, DWORD now);
    // Whether the automatic checks have found no valid answer for FailureNoticeDays, while trying.
    int Failing(DWORD now);
    // The pause before the next attempt after that many failed ones in a row: a day, doubled with each
    // further failure, a week at most.
    static DWORD RetryPause(DWORD failures);

private:
    // The weekly check's values: LastCheck, and LastCheckAttempt, LastCheckFailures, LastCheckFailingSince.
    const wchar_t* Name(const wchar_t* suffix);

    SettingsStore* settings = nullptr;
    WString valueName;
    WString name;
};
