// menu_floor: the least a Win32 program does to show a menu, as the yardstick of make bench: a hidden
// owner window, a popup of one item tracked at the mouse, and the end once the popup closes.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    HWND owner = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    HMENU menu = CreatePopupMenu();
    if (!owner || !menu)
        return 1;
    AppendMenuW(menu, MF_STRING, 1, L"Item");
    POINT at = {0, 0};
    GetCursorPos(&at);
    // As every program that pops up a menu from a hidden window must: otherwise a click elsewhere
    // does not close it.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    DestroyMenu(menu);
    DestroyWindow(owner);
    return 0;
}
