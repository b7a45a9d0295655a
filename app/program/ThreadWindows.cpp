#include "app/program/ThreadWindows.h"

#include <windows.h>

namespace {

struct Visit {
    const wchar_t* className;
    void (*act)(HWND window);
};

BOOL CALLBACK VisitWindow(HWND candidate, LPARAM parameter) {
    const Visit* visit = reinterpret_cast<const Visit*>(parameter);
    wchar_t name[16] = L"";
    GetClassNameW(candidate, name, 16);
    if (lstrcmpW(name, visit->className) == 0)
        visit->act(candidate);
    return TRUE;
}

void ForEachOfClass(const wchar_t* className, void (*act)(HWND window)) {
    Visit visit = {className, act};
    EnumThreadWindows(GetCurrentThreadId(), VisitWindow, reinterpret_cast<LPARAM>(&visit));
}

} // namespace

void ThreadWindows::HideMenus() {
    ForEachOfClass(L"#32768", [](HWND menu) {
        if (IsWindowVisible(menu))
            ShowWindow(menu, SW_HIDE);
    });
}

void ThreadWindows::CloseDialogs() {
    ForEachOfClass(L"#32770", [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); });
}
