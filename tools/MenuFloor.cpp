// menu_floor: the least a Win32 program does to show a menu, as the yardstick of make bench: a hidden
// owner window, a popup of one item tracked at the mouse, and the end once the popup closes.
// With "-s" it stays resident as a notification-area program would: its window (class MenuFloorTray)
// shows the popup each time it receives the notification message WM_APP + 1 with WM_LBUTTONDOWN, and it
// ends on WM_CLOSE.
#include <windows.h>

#include <wchar.h>

namespace {

void ShowMenu(HWND owner) {
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuW(menu, MF_STRING, 1, L"Item");
    POINT at = {0, 0};
    GetCursorPos(&at);
    // As every program that pops up a menu from a hidden window must: otherwise a click elsewhere
    // does not close it.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT CALLBACK TrayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 1 && lParam == WM_LBUTTONDOWN) {
        ShowMenu(window);
        return 1;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    if (commandLine && wcsstr(commandLine, L"-s")) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = TrayProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"MenuFloorTray";
        if (!RegisterClassW(&windowClass))
            return 1;
        HWND window = CreateWindowW(L"MenuFloorTray", L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
        if (!window)
            return 1;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return 0;
    }
    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!owner)
        return 1;
    ShowMenu(owner);
    DestroyWindow(owner);
    return 0;
}
