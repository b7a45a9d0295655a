// The time of the last check as the About box shows it.
#include "update/AutoUpdater.h"

#include <gtest/gtest.h>

#include <string>

TEST(CheckTime, NoCheckAndTheSkipMarkShowNothingAndATimeShowsLocalDateAndTime) {
    WString text;
    EXPECT_EQ(1, AutoUpdater::FormatCheckTime(0, text));
    EXPECT_TRUE(text.IsEmpty());
    // The mark that skips the next check is no time a check ran.
    EXPECT_EQ(1, AutoUpdater::FormatCheckTime(0xFFFFFFFF, text));
    EXPECT_TRUE(text.IsEmpty());

    // 2023-11-14 22:13:20 UTC in the user's time zone and short formats.
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (1700000000ULL + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart}, local;
    SYSTEMTIME when;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
    wchar_t date[80], clock[80];
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date, 80);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &when, nullptr, clock, 80);
    ASSERT_EQ(1, AutoUpdater::FormatCheckTime(1700000000, text));
    EXPECT_EQ(std::wstring(date) + L" " + clock, std::wstring(text));
}
