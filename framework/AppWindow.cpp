#include "framework/AppWindow.h"

#include "base/CallbackGuard.h"
#include "framework/MonitorDpi.h"

#include <ntsecapi.h>
#include <prsht.h>
#include <wchar.h>

namespace {

// A random GUID in the registry form, "{8-4-4-4-12}" hex digits. From the system's random bytes rather
// than CoCreateGuid: COM's libraries would be loaded for it before the first window, which in once mode
// needs none of them before its menu is on screen.
int RandomGuidText(wchar_t* text, size_t size) {
    GUID guid;
    if (!RtlGenRandom(&guid, sizeof(guid)))
        return 0;
    // Version 4 (random), variant 1, as CoCreateGuid's.
    guid.Data3 = (USHORT)((guid.Data3 & 0x0FFF) | 0x4000);
    guid.Data4[0] = (BYTE)((guid.Data4[0] & 0x3F) | 0x80);
    return swprintf(text, size, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)guid.Data1,
                    guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                    guid.Data4[5], guid.Data4[6], guid.Data4[7]) > 0;
}

} // namespace

const wchar_t* const AppWindow::Signature = L"Kavrin";
AppWindow* AppWindow::current = nullptr;

int AppWindow::Run(HINSTANCE moduleInstance, int showCommand, HWND parentWindow) {
    parent = parentWindow;
    instance = moduleInstance;
    current = this;

    // Each process names its class "Kavrin_{GUID}", so two instances never share a class.
    className.Assign(Signature);
    wchar_t guid[40];
    if (RandomGuidText(guid, 40)) {
        className.AppendChar(L'_');
        className.Append(guid);
    }

    // Without this the system scales the window's drawing on high-DPI screens and blurs the menus.
    MonitorDpi::DeclareAware();

    if (!InitApplication() || !InitAccelerators() || !InitInstance()) {
        // A failed start leaves no application behind for Current() to hand out.
        current = nullptr;
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    int exitCode = MessageLoop();
    current = nullptr;
    return exitCode;
}

int AppWindow::InitApplication() {
    return RegisterWindowClass(className, 0, 0, 0);
}

int AppWindow::InitAccelerators() {
    return 1;
}

int AppWindow::InitInstance() {
    return CreateMainWindow(className, Signature, nullptr);
}

int AppWindow::RegisterWindowClass(const wchar_t* name, UINT iconId, UINT smallIconId, UINT menuId) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = SharedWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = menuId ? MAKEINTRESOURCEW(menuId) : nullptr;
    windowClass.hIcon = iconId ? LoadIconW(instance, MAKEINTRESOURCEW(iconId)) : nullptr;
    windowClass.hIconSm = smallIconId ? LoadIconW(instance, MAKEINTRESOURCEW(smallIconId)) : nullptr;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

int AppWindow::LoadAccelTable(UINT resourceId) {
    accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));
    return accelerators != nullptr;
}

int AppWindow::CreateMainWindow(const wchar_t* classNameText, const wchar_t* title, HMENU menu) {
    HWND created = CreateWindowExW(0, classNameText, title, WS_OVERLAPPEDWINDOW, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                   parent, menu, instance, this);
    // WM_CREATE has stored the handle already; keep the returned one in any case.
    if (created)
        window = created;
    return created != nullptr;
}

LRESULT CALLBACK AppWindow::SharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A fault in here leaves a crash report, also where the system calls the procedure back.
    CallbackGuard guard;
    AppWindow* self = reinterpret_cast<AppWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_CREATE) {
        // Messages before WM_CREATE (WM_GETMINMAXINFO, WM_NCCREATE...) never reach the object.
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<AppWindow*>(create->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window = hwnd;
        return self->OnCreate();
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message the window gets: afterwards the handle is dead and may be reused by another
        // window, so neither the object nor the window may point at the other any more.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        if (self->window == hwnd)
            self->window = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_DESTROY:
            return self->OnDestroy();
        case WM_CLOSE:
            return self->OnClose();
        case WM_COMMAND:
            return self->OnCommand(LOWORD(wParam), wParam, lParam);
        default:
            return self->WindowProc(message, wParam, lParam);
    }
}

int AppWindow::ClampToMinimumSize(WINDOWPOS* position) const {
    if (!position || (position->flags & SWP_NOSIZE))
        return 0;
    if (minWidth != -1 && position->cx < minWidth)
        position->cx = minWidth;
    if (minHeight != -1 && position->cy < minHeight)
        position->cy = minHeight;
    return 1;
}

LRESULT AppWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING && ClampToMinimumSize(reinterpret_cast<WINDOWPOS*>(lParam)))
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT AppWindow::OnCreate() {
    return 0;
}

LRESULT AppWindow::OnCommand(WORD, WPARAM, LPARAM) {
    return 0;
}

LRESULT AppWindow::OnClose() {
    DestroyWindow(window);
    return 0;
}

LRESULT AppWindow::OnDestroy() {
    PostQuitMessage(0);
    return 0;
}

int AppWindow::MessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (propertySheet) {
            // A modeless sheet whose last page has closed is gone for good.
            if ((message.message == WM_NULL || message.message == WM_TIMER) &&
                !SendMessageW(propertySheet, PSM_GETCURRENTPAGEHWND, 0, 0)) {
                DestroyWindow(propertySheet);
                propertySheet = nullptr;
            }
            if (propertySheet && SendMessageW(propertySheet, PSM_ISDIALOGMESSAGE, 0, (LPARAM)&message))
                continue;
        }
        bool taken = false;
        for (HWND dialog : modelessDialogs) {
            if (dialog && IsDialogMessageW(dialog, &message)) {
                taken = true;
                break;
            }
        }
        if (taken)
            continue;
        if (accelerators && TranslateAcceleratorW(message.hwnd, accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}

void AppWindow::TrackModelessDialog(HWND dialog, DialogTracking tracking) {
    if (tracking == START_TRACKING) {
        for (HWND& slot : modelessDialogs) {
            if (!slot) {
                slot = dialog;
                return;
            }
        }
        // Grows by five slots, the new ones empty.
        size_t first = modelessDialogs.size();
        modelessDialogs.resize(first + 5, nullptr);
        modelessDialogs[first] = dialog;
        return;
    }
    for (HWND& slot : modelessDialogs) {
        if (slot == dialog)
            slot = nullptr;
    }
}

LRESULT AppWindow::Close() {
    return SendMessageW(window, WM_CLOSE, 0, 0);
}

BOOL AppWindow::PostClose() {
    return PostMessageW(window, WM_CLOSE, 0, 0);
}
