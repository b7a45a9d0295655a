#include "base/Variant.h"

#include "base/ComError.h"

Variant::~Variant() {
    // A destructor cannot raise: an exception leaving it (during unwinding or not) ends the process.
    VariantClear(&value);
}

VARIANT* Variant::Out() {
    Clear();
    return &value;
}

void Variant::Clear() {
    HRESULT hr = VariantClear(&value);
    if (FAILED(hr))
        throw ComError(hr);
}

void Variant::ChangeType(VARTYPE type) {
    HRESULT hr = VariantChangeType(&value, &value, 0, type);
    if (FAILED(hr))
        throw ComError(hr);
}

void Variant::SetString(const wchar_t* text) {
    Clear();
    BSTR copy = SysAllocString(text ? text : L"");
    if (!copy)
        throw ComError(E_OUTOFMEMORY);
    value.vt = VT_BSTR;
    value.bstrVal = copy;
}

void Variant::SetBool(int flag) {
    Clear();
    value.vt = VT_BOOL;
    value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

void Variant::SetUnknown(IUnknown* object) {
    Clear();
    if (object)
        object->AddRef();
    value.vt = VT_UNKNOWN;
    value.punkVal = object;
}

void Variant::SetArray(SAFEARRAY* array, VARTYPE elementType) {
    Clear();
    value.vt = VT_ARRAY | elementType;
    value.parray = array;
}
