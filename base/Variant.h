#pragma once
// An owned VARIANT, cleared when the holder lets go of it. A failing clear or type change, and a COM
// string that cannot be allocated, raise ComError (E_OUTOFMEMORY for the allocation).

#include <windows.h>
#include <oleauto.h>

class Variant {
public:
    Variant() { VariantInit(&value); }
    ~Variant();
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return value; }
    const VARIANT& Get() const { return value; }
    VARTYPE Type() const { return value.vt; }

    // Clears the present value and hands out the VARIANT for a call that fills it.
    VARIANT* Out();
    void Clear();
    void ChangeType(VARTYPE type);

    void SetString(const wchar_t* text);
    void SetBool(int flag);
    // Holds a reference of its own to the object.
    void SetUnknown(IUnknown* object);
    // Takes over the array; it is destroyed with the value.
    void SetArray(SAFEARRAY* array, VARTYPE elementType);

private:
    VARIANT value;
};
