#pragma once
// An owned reference to a COM interface, released once when the holder lets go of it.

#include <unknwn.h>

template <typename T> class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* adopted) : pointer(adopted) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : pointer(other.pointer) { other.pointer = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer = other.pointer;
            other.pointer = nullptr;
        }
        return *this;
    }

    T* Get() const { return pointer; }
    T* operator->() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }

    // Releases the present reference and hands out the slot for a call that fills it.
    T** Out() {
        Reset();
        return &pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

    // Takes over a reference the caller already holds.
    void Reset(T* adopted = nullptr) {
        T* old = pointer;
        pointer = adopted;
        if (old)
            old->Release();
    }
    // Holds a further reference to an object the caller keeps its own reference to.
    void Share(T* shared) {
        if (shared)
            shared->AddRef();
        Reset(shared);
    }
    T* Detach() {
        T* detached = pointer;
        pointer = nullptr;
        return detached;
    }

private:
    T* pointer = nullptr;
};
