// The program's entry point: everything happens in the application object.
#include "app/program/StartMenuApp.h"
#include "crash/CrashReporter.h"
#include "update/SwapRecovery.h"

#include <windows.h>

// The publisher's public key for updates, a build setting of each executable; empty in a developer's
// build, which then accepts unsigned updates.
#ifndef VELTRIX_UPDATE_PUBLIC_KEY
#define VELTRIX_UPDATE_PUBLIC_KEY L""
#endif

namespace {

// Before the application in this file, so constructed before it: every later crash is reported.
CrashReporter crashReporter;
StartMenuApp application;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // Before anything else: an update stopped part way is finished or undone, so that what runs next is
    // one whole version. The copy of the previous version that does it does nothing else.
    const wchar_t* arguments = SwapRecovery::OwnArguments();
    if (SwapRecovery::IsFinisher(arguments))
        return SwapRecovery::Finish(arguments);
    if (SwapRecovery::AtStart())
        return 0;
    application.SetUpdateKey(VELTRIX_UPDATE_PUBLIC_KEY);
    // The main window only owns the menus, the tray icon and the timer: it is never shown.
    return application.Run(instance, SW_HIDE, nullptr);
}
