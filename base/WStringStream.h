#pragma once
// A COM stream held in memory that carries document text in and out: text put in is read from it as
// UTF-16 with a byte-order mark; bytes written to it are taken out as text by their byte-order mark
// (UTF-8 without one). Reference-counted like any COM object: it deletes itself on its last Release.

#include <objidl.h>

class WString;

class WStringStream : public IStream {
public:
    // An empty stream, or one holding the text; null when memory runs out. One reference for the caller.
    static WStringStream* Create(const WString* text);
    static WStringStream* CreateFromBytes(const void* data, ULONG size);

    // The content decoded as text; 1 when it could be decoded.
    int GetText(WString& out) const;
    const unsigned char* Data() const { return data; }
    ULONG Size() const { return size; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

private:
    WStringStream() = default;
    virtual ~WStringStream();
    WStringStream(const WStringStream&) = delete;
    WStringStream& operator=(const WStringStream&) = delete;
    int Grow(ULONG needed);

    LONG references = 1;
    unsigned char* data = nullptr;
    ULONG size = 0;
    ULONG capacity = 0;
    ULONG position = 0;
};
