#pragma once
// The IUnknown of a small COM object of our own that the shell holds: its reference count, interlocked
// because the shell's threads take and drop references at any time (the object answers on every thread
// without marshalling), and the one interface it offers besides IUnknown. The object deletes itself with
// its last reference; it starts with one, the creator's.

#include <windows.h>

#include <objbase.h>

template <class Interface> class ComCounted : public Interface {
public:
    ComCounted(const ComCounted&) = delete;
    ComCounted& operator=(const ComCounted&) = delete;

    STDMETHODIMP QueryInterface(REFIID id, void** out) override {
        if (!out)
            return E_POINTER;
        if (id != IID_IUnknown && id != offered) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)InterlockedIncrement(&references); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&references);
        if (left == 0)
            delete this;
        return (ULONG)left;
    }
    // The references held now, read without changing them.
    LONG References() const { return InterlockedCompareExchange(const_cast<volatile LONG*>(&references), 0, 0); }

protected:
    // offered: the interface's id (IID_IUnknown for an object that offers no other).
    explicit ComCounted(REFIID offered) : offered(offered) {}
    virtual ~ComCounted() = default;

private:
    const IID offered;
    volatile LONG references = 1;
};
