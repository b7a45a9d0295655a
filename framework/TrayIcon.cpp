#include "framework/TrayIcon.h"

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
    HICON loaded = (HICON)LoadImageW(moduleInstance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
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
    data.hIcon = nullptr;
    return deleted;
}

int TrayIcon::OnHookedMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT*, void* userData) {
    TrayIcon* self = static_cast<TrayIcon*>(userData);
    if (message == self->taskbarCreatedMessage && self->taskbarCreatedMessage)
        self->Add();
    // Never handled here: the window's own procedure sees every message, TaskbarCreated included.
    return 0;
}
