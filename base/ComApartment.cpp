#include "base/ComApartment.h"

#include "base/Library.h"

#include <objbase.h>

int ComApartment::Init(Model model) {
    if (initialised)
        return 0;
    DWORD flags = (model != SINGLE_THREADED ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED) | COINIT_DISABLE_OLE1DDE;
    typedef HRESULT(WINAPI * CoInitializeExFn)(LPVOID, DWORD);
    Library ole(L"ole32.dll");
    CoInitializeExFn initialize = ole.Get<CoInitializeExFn>("CoInitializeEx");
    HRESULT hr = initialize ? initialize(nullptr, flags) : E_NOTIMPL;
    // A thread already in the other apartment model keeps it; that is no reason for the plain call.
    if (!initialize || (FAILED(hr) && hr != RPC_E_CHANGED_MODE))
        hr = CoInitialize(nullptr);
    if (FAILED(hr))
        return 0;
    initialised = 1;
    return 1;
}

void ComApartment::Uninit() {
    if (!initialised)
        return;
    CoUninitialize();
    initialised = 0;
}
