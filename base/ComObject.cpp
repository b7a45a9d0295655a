#include "base/ComObject.h"

#include <ole2.h>

namespace {

const DWORD AnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

} // namespace

void* CreateComObject(REFCLSID classId, REFIID interfaceId, HRESULT* result, ComObjectStart start) {
    void* object = nullptr;
    if (start != COM_OBJECT_RUN) {
        HRESULT hr = CoCreateInstance(classId, nullptr, AnyServer, interfaceId, &object);
        if (result)
            *result = hr;
        return SUCCEEDED(hr) ? object : nullptr;
    }
    IUnknown* unknown = nullptr;
    HRESULT hr = CoCreateInstance(classId, nullptr, AnyServer, IID_IUnknown, (void**)&unknown);
    if (SUCCEEDED(hr) && unknown) {
        hr = OleRun(unknown);
        if (FAILED(unknown->QueryInterface(interfaceId, &object)))
            object = nullptr;
        unknown->Release();
    }
    if (result)
        *result = hr;
    return object;
}

void* CreateComObject(const wchar_t* progId, REFIID interfaceId, HRESULT* result, ComObjectStart start) {
    CLSID classId;
    HRESULT hr = CLSIDFromProgID(progId, &classId);
    if (FAILED(hr)) {
        if (result)
            *result = hr;
        return nullptr;
    }
    return CreateComObject(classId, interfaceId, result, start);
}
