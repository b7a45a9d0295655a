#pragma once
// The program's link to its update checker and crash reporter: the weekly check at start-up, the check
// the About box asks for, and the report server, all as the settings name them.

#include "framework/SettingsStore.h"
#include "framework/UpdateSwitch.h"
#include "update/AutoUpdater.h"

class UpdateLink : public UpdateSwitch {
public:
    // The store the settings come from; window is the one the checker asks the user through.
    void Attach(SettingsStore* store, HWND ownerWindow, int portableMode) {
        settings = store;
        window = ownerWindow;
        portable = portableMode;
    }
    void SetPublicKey(const wchar_t* base64) { updater.SetPublicKey(base64); }
    // Asks the update server for a newer version, at most weekly, unless "AutoUpdate" is off.
    void StartWeeklyCheck();
    // The timer ConfirmUpdate asks again with, on the window given to Attach.
    static const UINT_PTR ConfirmTimer = 3;
    // The program is up: an update just installed stays, and its "_old" copies go. While the copy of the
    // previous version that started this one still ends, its file cannot go yet: asked again by the timer.
    void ConfirmUpdate();
    // Ends a check still running, within a bound, before the window goes.
    void Abort() { updater.Abort(); }
    // The crash reporter's report server, from the build or the setting "ReportHost".
    void ConfigureCrashReports();

    int FormatLastCheck(WString& text) override;
    int CheckNow() override;
    int ChecksFailing() override;

private:
    void UpdateUrl(WString& url);

    AutoUpdater updater;
    SettingsStore* settings = nullptr;
    HWND window = nullptr;
    int portable = 0;
    int confirmTries = 0;
};
