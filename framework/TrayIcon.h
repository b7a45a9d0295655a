#pragma once
// One icon in the notification area for a window. It adds itself again when the shell's taskbar
// restarts (the TaskbarCreated broadcast) and removes itself cleanly. An icon loaded from a resource has
// the small-icon size of the primary monitor's DPI, where the notification area lies, and is loaded again
// when that DPI changes, so that the taskbar never stretches it.

#include "framework/SubclassHook.h"

#include <windows.h>
#include <shellapi.h>

class TrayIcon {
public:
    static const unsigned TipChars = 128;

    TrayIcon() = default;
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Loads the icon resource at the small-icon size and adds it.
    int Create(HWND ownerWindow, UINT iconId, UINT callbackMessage, const wchar_t* tip, HINSTANCE moduleInstance);
    // Takes ownership of the icon.
    int CreateWithIcon(HWND ownerWindow, HICON iconHandle, UINT callbackMessage, const wchar_t* tip,
                       HINSTANCE moduleInstance);
    int Add();
    int Remove();

    int IsAdded() const { return added; }
    const NOTIFYICONDATAW& Data() const { return data; }
    UINT TaskbarCreatedMessage() const { return taskbarCreatedMessage; }

    // Shell_NotifyIconW, retried while the shell answers with a time-out (a busy Explorer).
    static int NotifyWithRetry(DWORD message, NOTIFYICONDATAW* iconData);

private:
    static int OnHookedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                               void* userData);
    // The icon resource at the small-icon size of those dots per inch; null when it cannot be loaded.
    HICON LoadSized(UINT dpi);
    // The icon again at those dots per inch when its size changes there; 1 when it was replaced.
    int Refit(UINT dpi);

    HWND window = nullptr;
    NOTIFYICONDATAW data = {};
    UINT taskbarCreatedMessage = 0;
    SubclassHook<HOOK_TRAY_ICON> hook;
    HICON icon = nullptr;
    HINSTANCE instance = nullptr;
    // The resource the icon was loaded from (0 for an icon given), and the size it was loaded at.
    UINT iconId = 0;
    int iconSize = 0;
    int added = 0;
};
