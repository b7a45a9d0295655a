#include "framework/LinkAccessible.h"

#include "base/Library.h"

namespace {

// oleacc.dll is not imported (it is loaded only when a screen reader asks), and stays loaded once it
// was: the objects it made may outlive any one control.
struct Oleacc {
    Library library{L"oleacc.dll"};
    decltype(&CreateStdAccessibleObject) createStandard =
        library.Get<decltype(&CreateStdAccessibleObject)>("CreateStdAccessibleObject");
    decltype(&LresultFromObject) lresultFromObject = library.Get<decltype(&LresultFromObject)>("LresultFromObject");
};

Oleacc& Accessibility() {
    static Oleacc oleacc;
    return oleacc;
}

HRESULT CopyString(BSTR text, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = text ? SysAllocString(text) : nullptr;
    return *out || !text ? S_OK : E_OUTOFMEMORY;
}

} // namespace

LRESULT LinkAccessible::Answer(HWND control, WPARAM wParam, const wchar_t* caption, const wchar_t* url,
                               UINT activateMessage) {
    Oleacc& oleacc = Accessibility();
    if (!oleacc.createStandard || !oleacc.lresultFromObject)
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(oleacc.createStandard(control, OBJID_CLIENT, __uuidof(IAccessible), (void**)&standard)) || !standard)
        return 0;
    LinkAccessible* link = new LinkAccessible(control, standard, caption, url, activateMessage);
    LRESULT result = oleacc.lresultFromObject(__uuidof(IAccessible), wParam, link);
    link->Release();
    return result;
}

LinkAccessible::LinkAccessible(HWND control, IAccessible* standard, const wchar_t* caption, const wchar_t* url,
                               UINT activate)
    : control(control), standard(standard), caption(SysAllocString(caption ? caption : L"")),
      url(SysAllocString(url ? url : L"")), activateMessage(activate) {}

LinkAccessible::~LinkAccessible() {
    standard->Release();
    SysFreeString(caption);
    SysFreeString(url);
}

STDMETHODIMP LinkAccessible::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) LinkAccessible::AddRef() {
    return (ULONG)InterlockedIncrement(&references);
}

STDMETHODIMP_(ULONG) LinkAccessible::Release() {
    LONG left = InterlockedDecrement(&references);
    if (left == 0)
        delete this;
    return (ULONG)left;
}

STDMETHODIMP LinkAccessible::GetTypeInfoCount(UINT* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP LinkAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP LinkAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP LinkAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

STDMETHODIMP LinkAccessible::get_accParent(IDispatch** parent) {
    return standard->get_accParent(parent);
}

STDMETHODIMP LinkAccessible::get_accChildCount(long* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP LinkAccessible::get_accChild(VARIANT child, IDispatch** dispatch) {
    return standard->get_accChild(child, dispatch);
}

STDMETHODIMP LinkAccessible::get_accName(VARIANT child, BSTR* name) {
    return IsSelf(child) ? CopyString(caption, name) : standard->get_accName(child, name);
}

STDMETHODIMP LinkAccessible::get_accValue(VARIANT child, BSTR* value) {
    // A link's value is its address, as the browsers' links report it.
    return IsSelf(child) ? CopyString(url, value) : standard->get_accValue(child, value);
}

STDMETHODIMP LinkAccessible::get_accDescription(VARIANT child, BSTR* description) {
    return standard->get_accDescription(child, description);
}

STDMETHODIMP LinkAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!IsSelf(child))
        return standard->get_accRole(child, role);
    if (!role)
        return E_POINTER;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_LINK;
    return S_OK;
}

STDMETHODIMP LinkAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!IsSelf(child))
        return standard->get_accState(child, state);
    if (!state)
        return E_POINTER;
    long bits = STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE;
    if (GetFocus() == control)
        bits |= STATE_SYSTEM_FOCUSED;
    if (!IsWindowEnabled(control))
        bits = STATE_SYSTEM_UNAVAILABLE;
    if (!IsWindowVisible(control))
        bits |= STATE_SYSTEM_INVISIBLE;
    state->vt = VT_I4;
    state->lVal = bits;
    return S_OK;
}

STDMETHODIMP LinkAccessible::get_accHelp(VARIANT child, BSTR* help) {
    return standard->get_accHelp(child, help);
}

STDMETHODIMP LinkAccessible::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    return standard->get_accHelpTopic(file, child, topic);
}

STDMETHODIMP LinkAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    return standard->get_accKeyboardShortcut(child, shortcut);
}

STDMETHODIMP LinkAccessible::get_accFocus(VARIANT* child) {
    return standard->get_accFocus(child);
}

STDMETHODIMP LinkAccessible::get_accSelection(VARIANT* children) {
    return standard->get_accSelection(children);
}

STDMETHODIMP LinkAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (!IsSelf(child))
        return standard->get_accDefaultAction(child, action);
    // The system's own word for following a link.
    BSTR jump = SysAllocString(L"Jump");
    HRESULT result = CopyString(jump, action);
    SysFreeString(jump);
    return result;
}

STDMETHODIMP LinkAccessible::accSelect(long flags, VARIANT child) {
    return standard->accSelect(flags, child);
}

STDMETHODIMP LinkAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    return standard->accLocation(left, top, width, height, child);
}

STDMETHODIMP LinkAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    return standard->accNavigate(direction, start, end);
}

STDMETHODIMP LinkAccessible::accHitTest(long x, long y, VARIANT* child) {
    return standard->accHitTest(x, y, child);
}

STDMETHODIMP LinkAccessible::accDoDefaultAction(VARIANT child) {
    if (!IsSelf(child))
        return standard->accDoDefaultAction(child);
    // Posted, not sent: a screen reader calls from another process, and the link opens on its own thread.
    return PostMessageW(control, activateMessage, 0, 0) ? S_OK : E_FAIL;
}

STDMETHODIMP LinkAccessible::put_accName(VARIANT, BSTR) {
    return E_NOTIMPL;
}

STDMETHODIMP LinkAccessible::put_accValue(VARIANT, BSTR) {
    return E_NOTIMPL;
}
