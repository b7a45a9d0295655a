#pragma once
// Replaces a window's procedure by a callback. The hook record is found from the window through a
// property named after the hook's kind, so one window can carry one hook of each kind at the same time.

#include <windows.h>

// Hook kinds: four ASCII letters read as a big-endian number.
enum : DWORD {
    HOOK_UPDATE_CHECKER = 0x61757570, // "auup": the update checker's hook on the main window
    HOOK_HYPERLINK = 0x6C696E6B,      // "link": the hyperlink control
    HOOK_LABEL = 0x73746178,          // "stax": the label control
    HOOK_TRAY_ICON = 0x7368656C,      // "shel": the tray icon's watch for TaskbarCreated
    HOOK_DIVIDER = 0x64697669,        // "divi": the divider control and the problem-report dialog
    HOOK_SYSLINK = 0x7379736C,        // "sysl": the SysLink control, on the link's parent
    HOOK_HOTKEY = 0x686F746B,         // "hotk": the hotkey control painted in dark colours
};

// Returns 1 when it handled the message; the window procedure then answers *result, which starts at 0.
typedef int (*SubclassCallback)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result,
                                void* userData);

// The record and the attach and detach work all hook kinds share; use SubclassHook<kind> below.
class SubclassHookBase {
public:
    static const unsigned PropertyNameChars = 40;

    SubclassHookBase(const SubclassHookBase&) = delete;
    SubclassHookBase& operator=(const SubclassHookBase&) = delete;

    // 0 when the window already carries a hook of this kind, or this hook is attached elsewhere.
    int Attach(HWND target, SubclassCallback hookCallback, void* hookUserData);
    // Puts back the procedure replaced by Attach; hooks stacked on one window are detached in reverse order.
    int Detach();

    int IsAttached() const { return previousProc != nullptr; }
    HWND Window() const { return window; }
    WNDPROC PreviousProc() const { return previousProc; }
    DWORD Tag() const { return tag; }

    // "_C_SubClassing_Property_" and the tag in eight upper-case hexadecimal digits.
    static void PropertyName(DWORD tag, wchar_t (&name)[PropertyNameChars]);

protected:
    SubclassHookBase(DWORD kindTag, WNDPROC kindThunk) : tag(kindTag), thunk(kindThunk) {}
    ~SubclassHookBase() { Detach(); }

    // The body of each kind's window procedure.
    static LRESULT Dispatch(DWORD tag, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    const DWORD tag;
    const WNDPROC thunk;
    WNDPROC previousProc = nullptr;
    void* userData = nullptr;
    SubclassCallback callback = nullptr;
    HWND window = nullptr;
};

// A hook of one kind. Each kind has its own window procedure because the procedure can only learn the
// property to look up from which procedure it is.
template <DWORD KindTag> class SubclassHook : public SubclassHookBase {
public:
    SubclassHook() : SubclassHookBase(KindTag, &WindowProc) {}

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return Dispatch(KindTag, window, message, wParam, lParam);
    }
};
