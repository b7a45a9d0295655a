#include "app/shell/AppActivation.h"

#include "base/ComPtr.h"

#include <objbase.h>
#include <shobjidl.h>

namespace {

// CLSID_ApplicationActivationManager and IID_IApplicationActivationManager (Windows 8 and later).
const CLSID ActivationManager = {0x45BA127D, 0x10A8, 0x46EA, {0x8A, 0xB7, 0x56, 0xEA, 0x90, 0x78, 0x94, 0x3C}};
const IID ActivationManagerInterface = {0x2E941141, 0x7F97, 0x4756, {0xBA, 0x1D, 0x9D, 0xEC, 0xDE, 0x89, 0x4A, 0x3D}};

// IApplicationActivationManager as shobjidl declares it for builds that require Windows 8, which this one
// does not: its methods in their order, each with the COM calling convention.
struct ActivationManagerCalls : public IUnknown {
    // ACTIVATEOPTIONS: AO_NONE.
    static const int NoOptions = 0;
    virtual HRESULT STDMETHODCALLTYPE ActivateApplication(LPCWSTR appUserModelId, LPCWSTR arguments, int options,
                                                          DWORD* processId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ActivateForFile(LPCWSTR appUserModelId, IShellItemArray* items, LPCWSTR verb,
                                                      DWORD* processId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ActivateForProtocol(LPCWSTR appUserModelId, IShellItemArray* items,
                                                          DWORD* processId) = 0;
};

} // namespace

int AppActivation::Activate(const wchar_t* id) {
    ComPtr<ActivationManagerCalls> manager;
    if (!id || !*id)
        return 0;
    // Out of process where the system offers it: the program may end right after the menu closes (once
    // mode), and the manager's own host keeps serving the app's activation meanwhile.
    if (FAILED(CoCreateInstance(ActivationManager, nullptr, CLSCTX_LOCAL_SERVER, ActivationManagerInterface,
                                manager.OutVoid())) &&
        FAILED(CoCreateInstance(ActivationManager, nullptr, CLSCTX_INPROC_SERVER, ActivationManagerInterface,
                                manager.OutVoid())))
        return 0;
    // The app takes the foreground, which the menu, the foreground window until now, hands on to it.
    CoAllowSetForegroundWindow(manager.Get(), nullptr);
    DWORD process = 0;
    return SUCCEEDED(manager->ActivateApplication(id, nullptr, ActivationManagerCalls::NoOptions, &process));
}
