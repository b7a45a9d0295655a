#pragma once
// A common-controls SysLink created on a dialog: a link with an address opens it, one with only an id
// goes to the owner's callback.

#include "framework/SubclassHook.h"

#include <windows.h>

// SysLinkControl options
enum : unsigned {
    SYSLINK_DIALOG_UNITS = 1, // the rectangle is in dialog units
    SYSLINK_NO_TABSTOP = 2,
    SYSLINK_NO_PARENT_HOOK = 4, // the owner answers the parent's WM_NOTIFY itself
};

typedef void (*SysLinkCallback)(int index, const wchar_t* id, void* userData);

class SysLinkControl {
public:
    SysLinkControl() = default;
    ~SysLinkControl() { Destroy(); }
    SysLinkControl(const SysLinkControl&) = delete;
    SysLinkControl& operator=(const SysLinkControl&) = delete;

    int Create(HWND parent, int left, int top, int width, int height, const wchar_t* markup, unsigned options,
               SysLinkCallback callback, void* userData);
    void Destroy();
    HWND Handle() const { return link; }
    // Its links drawn in the text colour the parent's WM_CTLCOLORSTATIC answers (the dark mode's), or in
    // the system's link colour again.
    void UseParentColours(int use);

private:
    static int HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result, void* userData);
    static BOOL CALLBACK TakeOverHook(HWND child, LPARAM parameter);
    void OnLink(LPARAM notification) const;

    unsigned options = 0;
    SysLinkCallback callback = nullptr;
    void* userData = nullptr;
    HWND link = nullptr;
    SubclassHook<HOOK_SYSLINK> hook;
};
