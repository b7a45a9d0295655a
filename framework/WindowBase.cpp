#include "framework/WindowBase.h"

#include "base/ScopedDc.h"

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

int WindowBase::SetIcons(UINT iconId, int dpi) {
    // The icon metrics are the system DPI's; a window on a screen of another DPI scales them.
    int systemDpi = USER_DEFAULT_SCREEN_DPI;
    if (dpi) {
        ScopedDc screen(nullptr);
        systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
    } else {
        dpi = systemDpi;
    }
    if (smallIcon)
        DestroyIcon(smallIcon);
    smallIcon = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                  MulDiv(GetSystemMetrics(SM_CXSMICON), dpi, systemDpi),
                                  MulDiv(GetSystemMetrics(SM_CYSMICON), dpi, systemDpi), LR_DEFAULTCOLOR);
    if (window)
        SendMessageW(window, WM_SETICON, ICON_SMALL, (LPARAM)smallIcon);
    if (largeIcon)
        DestroyIcon(largeIcon);
    largeIcon =
        (HICON)LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                          StandardIconSize(MulDiv(GetSystemMetrics(SM_CXICON), dpi, systemDpi)),
                          StandardIconSize(MulDiv(GetSystemMetrics(SM_CYICON), dpi, systemDpi)), LR_DEFAULTCOLOR);
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
