// The program's entry point: everything happens in the application object.
#include "app/StartMenuApp.h"
#include "crash/CrashReporter.h"

#include <windows.h>

namespace {

// Before the application in this file, so constructed before it: every later crash is reported.
CrashReporter crashReporter;
StartMenuApp application;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // The main window only owns the menus, the tray icon and the timer: it is never shown.
    return application.Run(instance, SW_HIDE, nullptr);
}
