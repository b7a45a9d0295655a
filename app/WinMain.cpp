// The program's entry point: everything happens in the application object.
#include "app/StartMenuApp.h"

#include <windows.h>

namespace {

StartMenuApp application;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // The main window only owns the menus, the tray icon and the timer: it is never shown.
    return application.Run(instance, SW_HIDE, nullptr);
}
