#include "framework/SysLinkControl.h"

#include "base/CommonControls.h"
#include "framework/OpenAddress.h"

#include <commctrl.h>

namespace {

// Each SysLink window names its object, so that the one hook on the parent serves every link on it.
const wchar_t* const ControlProperty = L"_C_SysLink_Control";

} // namespace

int SysLinkControl::Create(HWND parent, int left, int top, int width, int height, const wchar_t* markup,
                           unsigned createOptions, SysLinkCallback linkCallback, void* linkUserData) {
    Destroy();
    options = createOptions;
    callback = linkCallback;
    userData = linkUserData;
    RECT area = {left, top, left + width, top + height};
    if (options & SYSLINK_DIALOG_UNITS)
        MapDialogRect(parent, &area);
    // Version 6 of the common controls registers the class as it loads; older ones have no SysLink, and
    // the window then cannot be created.
    CommonControls::Get().InitClasses(ICC_LINK_CLASS);
    DWORD style = WS_CHILD | WS_VISIBLE | ((options & SYSLINK_NO_TABSTOP) ? 0 : WS_TABSTOP);
    link = CreateWindowExW(0, L"SysLink", markup, style, area.left, area.top, area.right - area.left,
                           area.bottom - area.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!link)
        return 0;
    SetPropW(link, ControlProperty, this);
    SendMessageW(link, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), TRUE);
    // Another link on the same parent may already carry the hook; it serves this one too.
    if (!(options & SYSLINK_NO_PARENT_HOOK))
        hook.Attach(parent, HookProc, this);
    return 1;
}

void SysLinkControl::UseParentColours(int use) {
    // One item per link, numbered from 0; setting one past the last fails.
    for (int index = 0; link && index < 16; index++) {
        LITEM item = {};
        item.mask = LIF_ITEMINDEX | LIF_STATE;
        item.iLink = index;
        item.state = use ? LIS_DEFAULTCOLORS : 0;
        item.stateMask = LIS_DEFAULTCOLORS;
        if (!SendMessageW(link, LM_SETITEM, 0, (LPARAM)&item))
            break;
    }
}

void SysLinkControl::Destroy() {
    if (!link)
        return;
    HWND parent = hook.Window();
    hook.Detach();
    RemovePropW(link, ControlProperty);
    DestroyWindow(link);
    link = nullptr;
    // The links left on the parent would lose their clicks with this hook: one of them takes it over.
    if (parent)
        EnumChildWindows(parent, TakeOverHook, reinterpret_cast<LPARAM>(parent));
}

BOOL CALLBACK SysLinkControl::TakeOverHook(HWND child, LPARAM parameter) {
    SysLinkControl* other = static_cast<SysLinkControl*>(GetPropW(child, ControlProperty));
    if (!other || GetParent(child) != reinterpret_cast<HWND>(parameter) || (other->options & SYSLINK_NO_PARENT_HOOK))
        return TRUE;
    other->hook.Attach(reinterpret_cast<HWND>(parameter), HookProc, other);
    return FALSE;
}

void SysLinkControl::OnLink(LPARAM notification) const {
    const NMLINK* clicked = reinterpret_cast<const NMLINK*>(notification);
    if (clicked->item.szUrl[0])
        OpenAddress(clicked->item.szUrl);
    else if (callback)
        callback(clicked->item.iLink, clicked->item.szID, userData);
}

int SysLinkControl::HookProc(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT*, void*) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (message != WM_NOTIFY || !header || (header->code != NM_CLICK && header->code != NM_RETURN))
        return 0;
    const SysLinkControl* control = static_cast<const SysLinkControl*>(GetPropW(header->hwndFrom, ControlProperty));
    if (control && control->link == header->hwndFrom)
        control->OnLink(lParam);
    // The parent's own procedure still sees the notification.
    return 0;
}
