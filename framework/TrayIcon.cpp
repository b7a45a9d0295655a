#include "framework/TrayIcon.h"

#include "framework/MonitorDpi.h"
#include "sysinfo/OsVersion.h"

#include <stddef.h>
#include <wchar.h>

namespace {

// The structure grew with each Windows version; older shells reject the newer sizes. The sizes are
// taken from the structure's layout because they differ between 32-bit and 64-bit programs (956, 952
// and 936 bytes in a 32-bit one).
static_assert(sizeof(void*) != 4 || (sizeof(NOTIFYICONDATAW) == 956 && offsetof(NOTIFYICONDATAW, hBalloonIcon) == 952 &&
                                     offsetof(NOTIFYICONDATAW, guidItem) == 936),
              "the sizes 32-bit shells know");
DWORD NotifyDataSize() {
    if (IsOsAtLeast(OS_VISTA, 0))
        return sizeof(NOTIFYICONDATAW);
    if (IsOsAtLeast(OS_XP, 0))
        return offsetof(NOTIFYICONDATAW, hBalloonIcon);
    return offsetof(NOTIFYICONDATAW, guidItem);
}

// The notification area lies on the primary monitor, whose top left corner is the screen's origin.
UINT TaskbarDpi() {
    POINT origin = {0, 0};
    return MonitorDpi::AtPoint(origin);
}

} // namespace

TrayIcon::~TrayIcon() {
    if (window)
        Remove();
    hook.Detach();
    if (icon)
        DestroyIcon(icon);
}

int TrayIcon::NotifyWithRetry(DWORD message, NOTIFYICONDATAW* iconData) {
    iconData->cbSize = NotifyDataSize();
    for (int attempt = 0; attempt < 10; attempt++) {
        SetLastError(0);
        if (Shell_NotifyIconW(message, iconData))
            return 1;
        // Only a shell that is too busy to answer is worth asking again.
        if (message == NIM_SETVERSION || GetLastError() != ERROR_TIMEOUT)
            return 0;
        Sleep(1000);
    }
    return 0;
}

int TrayIcon::Create(HWND ownerWindow, UINT iconId, UINT callbackMessage, const wchar_t* tip,
                     HINSTANCE moduleInstance) {
    if (window)
        return 0;
    instance = moduleInstance;
    this->iconId = iconId;
    HICON loaded = LoadSized(TaskbarDpi());
    int result = CreateWithIcon(ownerWindow, loaded, callbackMessage, tip, moduleInstance);
    if (!result && loaded && loaded != icon)
        DestroyIcon(loaded);
    return result;
}

int TrayIcon::CreateWithIcon(HWND ownerWindow, HICON iconHandle, UINT callbackMessage, const wchar_t* tip,
                             HINSTANCE moduleInstance) {
    if (window)
        return 0;
    window = ownerWindow;
    icon = iconHandle;
    instance = moduleInstance;
    ZeroMemory(&data, sizeof(data));
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = icon;
    // At most 127 characters: the field always ends with a NUL.
    lstrcpynW(data.szTip, tip ? tip : L"", TipChars);
    taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    // A restarted taskbar has forgotten every icon and broadcasts TaskbarCreated to top-level windows;
    // the watch sits on the top-level window (the parent, or the window itself).
    hook.Detach();
    HWND parent = GetParent(window);
    hook.Attach(parent ? parent : window, OnHookedMessage, this);
    return Add();
}

int TrayIcon::Add() {
    if (!NotifyWithRetry(NIM_ADD, &data))
        return 0;
    // Identifier 0 matches no icon, so this leaves ours in the classic callback form: lParam carries the
    // mouse message itself, which is what the owner's window procedure tests.
    NOTIFYICONDATAW version = {};
    version.hWnd = window;
    version.uID = 0;
    version.uVersion = NOTIFYICON_VERSION_4;
    NotifyWithRetry(NIM_SETVERSION, &version);
    added = 1;
    return 1;
}

int TrayIcon::Remove() {
    if (!window)
        return 0;
    int deleted = 0;
    if (added) {
        NOTIFYICONDATAW remove = {};
        remove.hWnd = window;
        remove.uID = 1;
        deleted = NotifyWithRetry(NIM_DELETE, &remove);
        if (deleted)
            added = 0;
    }
    // When the shell would not let go, the icon still counts as ours: the destructor tries again.
    if (deleted)
        window = nullptr;
    hook.Detach();
    if (icon)
        DestroyIcon(icon);
    icon = nullptr;
    iconId = 0;
    data.hIcon = nullptr;
    return deleted;
}

HICON TrayIcon::LoadSized(UINT dpi) {
    if (!iconId)
        return nullptr;
    int size = MonitorDpi::Metric(SM_CXSMICON, dpi);
    HICON loaded = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (loaded)
        iconSize = size;
    return loaded;
}

int TrayIcon::Refit(UINT dpi) {
    if (!iconId || !window || MonitorDpi::Metric(SM_CXSMICON, dpi) == iconSize)
        return 0;
    HICON loaded = LoadSized(dpi);
    if (!loaded)
        return 0;
    HICON previous = icon;
    icon = loaded;
    data.hIcon = loaded;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (added)
        NotifyWithRetry(NIM_MODIFY, &data);
    if (previous)
        DestroyIcon(previous);
    return 1;
}

int TrayIcon::OnHookedMessage(HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT*, void* userData) {
    TrayIcon* self = static_cast<TrayIcon*>(userData);
    if (message == self->taskbarCreatedMessage && self->taskbarCreatedMessage) {
        // A taskbar restarted for a new scale of its monitor wants the icon at that scale.
        self->Refit(TaskbarDpi());
        self->Add();
    }
    // The hidden owner lies on the primary monitor: its change of DPI is the notification area's.
    // Elsewhere the primary monitor is asked.
    if (message == WM_DPICHANGED) {
        POINT origin = {0, 0};
        int onPrimary =
            MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST) == MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
        self->Refit(onPrimary ? LOWORD(wParam) : TaskbarDpi());
    }
    // Never handled here: the window's own procedure sees every message, TaskbarCreated included.
    return 0;
}
