#include "base/Bstr.h"

#include "base/ComError.h"

Bstr::Bstr(const wchar_t* text) {
    value = SysAllocString(text ? text : L"");
    if (!value)
        throw ComError(E_OUTOFMEMORY);
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != &other) {
        SysFreeString(value);
        value = other.value;
        other.value = nullptr;
    }
    return *this;
}

BSTR Bstr::Detach() {
    BSTR detached = value;
    value = nullptr;
    return detached;
}

BSTR* Bstr::Out() {
    SysFreeString(value);
    value = nullptr;
    return &value;
}
