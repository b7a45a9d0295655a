#pragma once
// An owned COM string (BSTR), freed with SysFreeString.

#include <windows.h>
#include <oleauto.h>

class Bstr {
public:
    Bstr() = default;
    // Copies the text; a failed allocation raises ComError with E_OUTOFMEMORY.
    explicit Bstr(const wchar_t* text);
    ~Bstr() { SysFreeString(value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value(other.value) { other.value = nullptr; }
    Bstr& operator=(Bstr&& other) noexcept;

    BSTR Get() const { return value; }
    operator BSTR() const { return value; }
    unsigned Length() const { return value ? SysStringLen(value) : 0; }
    BSTR Detach();
    // Frees the present string and hands out the slot for a call that returns a new one.
    BSTR* Out();

private:
    BSTR value = nullptr;
};
