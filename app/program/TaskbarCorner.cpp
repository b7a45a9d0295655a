#include "app/program/TaskbarCorner.h"

#include "base/RegistryRead.h"
#include "sysinfo/OsVersion.h"

#include <shellapi.h>

#include <algorithm>

int TaskbarCorner::Find(Place* place) {
    APPBARDATA bar = {};
    bar.cbSize = sizeof(bar);
    if (!SHAppBarMessage(ABM_GETTASKBARPOS, &bar) || IsRectEmpty(&bar.rc))
        return 0;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(&bar.rc, MONITOR_DEFAULTTONEAREST), &monitor))
        return 0;
    // Windows 10's Start button is a window of its own on the taskbar; Windows 11 draws it inside.
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    HWND start = taskbar ? FindWindowExW(taskbar, nullptr, L"Start", nullptr) : nullptr;
    RECT button = {};
    int hasButton = start && IsWindowVisible(start) && GetWindowRect(start, &button) && !IsRectEmpty(&button);
    *place = FromRects(bar.rc, monitor.rcMonitor, hasButton ? &button : nullptr, hasButton ? AT_START : SpotOfButton());
    return 1;
}

TaskbarCorner::Place TaskbarCorner::FromRects(const RECT& taskbar, const RECT& monitor, const RECT* button,
                                              ButtonSpot spot) {
    // The edge is told from the rectangles: the message that gives them does not promise to name it. An
    // auto-hidden taskbar lies mostly off its monitor, so every point is kept on the monitor.
    int horizontal = taskbar.right - taskbar.left >= taskbar.bottom - taskbar.top;
    RECT anchor = button ? *button : taskbar;
    Place place = {};
    if (horizontal) {
        int bottom = taskbar.top + taskbar.bottom > monitor.top + monitor.bottom;
        place.point.y = bottom ? std::max(taskbar.top, monitor.top) : std::min(taskbar.bottom, monitor.bottom);
        place.alignment = bottom ? TPM_BOTTOMALIGN : TPM_TOPALIGN;
        if (!button && spot == CENTRED) {
            place.point.x = (taskbar.left + taskbar.right) / 2;
            place.alignment |= TPM_CENTERALIGN;
        } else {
            place.point.x = std::max(anchor.left, monitor.left);
            place.alignment |= TPM_LEFTALIGN;
        }
    } else {
        int right = taskbar.left + taskbar.right > monitor.left + monitor.right;
        place.point.x = right ? std::max(taskbar.left, monitor.left) : std::min(taskbar.right, monitor.right);
        place.point.y = std::max(anchor.top, monitor.top);
        place.alignment = (right ? TPM_RIGHTALIGN : TPM_LEFTALIGN) | TPM_TOPALIGN;
    }
    return place;
}

TaskbarCorner::ButtonSpot TaskbarCorner::SpotOfButton() {
    if (!(OsKindOf(ClassifyOs()) & OS_11))
        return AT_START;
    DWORD alignment = ReadRegistryDword(
        HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", L"TaskbarAl", 1);
    return alignment == 0 ? AT_START : CENTRED;
}
