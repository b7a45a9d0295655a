#include "framework/WindowBase.h"

WindowBase::~WindowBase() {
    if (smallIcon)
        DestroyIcon(smallIcon);
    if (largeIcon)
        DestroyIcon(largeIcon);
}

int WindowBase::StandardIconSize(int metric) {
    if (metric <= 16)
        return metric;
    if (metric <= 32)
        return 32;
    if (metric <= 48)
        return 48;
    return 256;
}

int WindowBase::SetIcons(UINT iconId) {
    if (smallIcon)
        DestroyIcon(smallIcon);
    smallIcon = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                  GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    if (window)
        SendMessageW(window, WM_SETICON, ICON_SMALL, (LPARAM)smallIcon);
    if (largeIcon)
        DestroyIcon(largeIcon);
    largeIcon =
        (HICON)LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, StandardIconSize(GetSystemMetrics(SM_CXICON)),
                          StandardIconSize(GetSystemMetrics(SM_CYICON)), LR_DEFAULTCOLOR);
    if (window)
        SendMessageW(window, WM_SETICON, ICON_BIG, (LPARAM)largeIcon);
    return smallIcon && largeIcon;
}

int WindowBase::SetText(const wchar_t* text) {
    return window && SetWindowTextW(window, text);
}

int WindowBase::SetItemText(int itemId, const wchar_t* text) {
    return window && SetDlgItemTextW(window, itemId, text);
}

HWND WindowBase::Item(int itemId) const {
    return window ? GetDlgItem(window, itemId) : nullptr;
}

void WindowBase::CheckButton(int itemId, int state) {
    if (window)
        CheckDlgButton(window, itemId, state == 1 ? BST_CHECKED : BST_UNCHECKED);
}

int WindowBase::IsButtonChecked(int itemId) const {
    return window && IsDlgButtonChecked(window, itemId) == BST_CHECKED;
}
