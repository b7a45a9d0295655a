#include "app/popup/MenuRightClick.h"

#include "app/popup/MenuItemData.h"
#include "app/popup/MenuLoopFilter.h"

int MenuRightClick::Start(HWND ownerWindow) {
    Stop();
    owner = ownerWindow;
    return MenuLoopFilter::Subscribe(this);
}

void MenuRightClick::Stop() {
    MenuLoopFilter::Unsubscribe(this);
}

int MenuRightClick::OnMenuLoopMessage(const MSG& message) {
    return message.message == WM_RBUTTONUP && OnRightButtonUp(message.pt);
}

int MenuRightClick::OnRightButtonUp(POINT point) {
    HWND popup = WindowFromPoint(point);
    wchar_t className[16] = L"";
    if (!popup || !GetClassNameW(popup, className, 16) || lstrcmpW(className, L"#32768") != 0)
        return 0;
    HMENU menu = (HMENU)SendMessageW(popup, MN_GETHMENU, 0, 0);
    int position = menu ? MenuItemFromPoint(popup, menu, point) : -1;
    if (position < 0)
        return 0;
    // Only our own items: the shell's context menu, open over ours, takes its right clicks itself.
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &info) || !MenuItemData::FromItemData(info.dwItemData))
        return 0;
    // Posted: the menu loop dispatches it to the owner once this filter has returned.
    PostMessageW(owner, WM_MENURBUTTONUP, (WPARAM)position, (LPARAM)menu);
    return 1;
}
