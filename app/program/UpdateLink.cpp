#include "app/program/UpdateLink.h"

#include "crash/CrashReporter.h"
#include "framework/WininetSession.h"
#include "resources/resource.h"
#include "update/CheckSchedule.h"
#include "update/SwapRecovery.h"

#include <time.h>

namespace {

const wchar_t* const SettingsKey = L"Software\\Koravent\\Veltrix";

} // namespace

void UpdateLink::ConfigureCrashReports() {
    CrashReporter* reporter = CrashReporter::Current();
    if (!reporter || !settings)
        return;
    WString host;
    settings->ReadString(L"ReportHost", host, VELTRIX_REPORT_HOST);
    reporter->ConfigureReport(IDI_VELTRIX, host, L"/talvor/report.php", nullptr, nullptr);
    // The report names the last network error; the HTTP layer cannot reach the reporter itself.
    WininetSession::SetErrorText(&reporter->NetworkError());
}

void UpdateLink::ConfirmUpdate() {
    // A few tries over half a minute; a copy still held then is deleted at a later start.
    if (SwapRecovery::Confirm() || ++confirmTries >= 15)
        KillTimer(window, ConfirmTimer);
    else
        SetTimer(window, ConfirmTimer, 2000, nullptr);
}

void UpdateLink::StartWeeklyCheck() {
    if (!settings || settings->ReadInt(L"AutoUpdate", 1) != 1)
        return;
    WString url;
    UpdateUrl(url);
    updater.Start(url, window, HKEY_CURRENT_USER, SettingsKey, L"LastCheck", portable ? AutoUpdater::START_INI : 0);
}

void UpdateLink::UpdateUrl(WString& url) {
    settings->ReadString(L"UpdateUrl", url, VELTRIX_UPDATE_HOST L"/data/update.php?p=veltrix");
}

int UpdateLink::FormatLastCheck(WString& text) {
    // Read from the program's own store: the checker opens its store only when a weekly check is due.
    return AutoUpdater::FormatCheckTime(settings ? settings->ReadInt(L"LastCheck", 0) : 0, text);
}

int UpdateLink::ChecksFailing() {
    CheckSchedule schedule;
    schedule.Attach(settings, L"LastCheck");
    return schedule.Failing((DWORD)time(nullptr));
}

int UpdateLink::CheckNow() {
    // The weekly rule neither holds a manual check back nor records it.
    if (!settings)
        return 0;
    WString url;
    UpdateUrl(url);
    return updater.Start(url, window, nullptr, nullptr, AutoUpdater::MANUAL_CHECK, 0);
}
