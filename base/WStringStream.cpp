#include "base/WStringStream.h"

#include "base/WString.h"

#include <new>
#include <stdlib.h>
#include <string.h>

namespace {

// Far beyond any document the program handles, and far from the 32-bit limits of the offsets.
const ULONG Limit = 0x40000000;

} // namespace

WStringStream* WStringStream::Create(const WString* text) {
    WStringStream* stream = new (std::nothrow) WStringStream();
    if (!stream || !text || !text->Buffer())
        return stream;
    static const wchar_t mark = 0xFEFF;
    ULONG bytes = (ULONG)text->Length() * sizeof(wchar_t);
    ULONG written = 0;
    if (FAILED(stream->Write(&mark, sizeof(mark), &written)) ||
        FAILED(stream->Write(text->Buffer(), bytes, &written))) {
        stream->Release();
        return nullptr;
    }
    stream->position = 0;
    return stream;
}

WStringStream* WStringStream::CreateFromBytes(const void* bytes, ULONG count) {
    WStringStream* stream = new (std::nothrow) WStringStream();
    ULONG written = 0;
    if (stream && count && FAILED(stream->Write(bytes, count, &written))) {
        stream->Release();
        return nullptr;
    }
    if (stream)
        stream->position = 0;
    return stream;
}

WStringStream::~WStringStream() {
    free(data);
}

int WStringStream::GetText(WString& out) const {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
        return out.Assign(reinterpret_cast<const wchar_t*>(data + 2), (size - 2) / sizeof(wchar_t));
    const char* bytes = reinterpret_cast<const char*>(data);
    int count = (int)size;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        bytes += 3;
        count -= 3;
    }
    if (count == 0)
        return out.Assign(L"");
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (length <= 0) {
        // Not UTF-8: a writer that used the machine's code page.
        codePage = CP_ACP;
        length = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
    }
    if (length <= 0 || !out.Reset((unsigned)length + 1))
        return 0;
    MultiByteToWideChar(codePage, 0, bytes, count, out.Buffer(), length);
    out.Buffer()[length] = 0;
    out.Recount();
    return 1;
}

int WStringStream::Grow(ULONG needed) {
    if (needed <= capacity)
        return 1;
    if (needed > Limit)
        return 0;
    ULONG grown = capacity < 4096 ? 4096 : capacity;
    while (grown < needed)
        grown = grown > Limit / 2 ? Limit : grown * 2;
    unsigned char* larger = static_cast<unsigned char*>(realloc(data, grown));
    if (!larger)
        return 0;
    memset(larger + capacity, 0, grown - capacity);
    data = larger;
    capacity = grown;
    return 1;
}

HRESULT STDMETHODCALLTYPE WStringStream::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
        *object = static_cast<IStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE WStringStream::AddRef() {
    return (ULONG)InterlockedIncrement(&references);
}

ULONG STDMETHODCALLTYPE WStringStream::Release() {
    LONG left = InterlockedDecrement(&references);
    if (left == 0)
        delete this;
    return (ULONG)left;
}

HRESULT STDMETHODCALLTYPE WStringStream::Read(void* buffer, ULONG count, ULONG* read) {
    ULONG available = position < size ? size - position : 0;
    ULONG taken = count < available ? count : available;
    if (taken)
        memcpy(buffer, data + position, taken);
    position += taken;
    if (read)
        *read = taken;
    return taken < count ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::Write(const void* buffer, ULONG count, ULONG* written) {
    if (written)
        *written = 0;
    if (count == 0)
        return S_OK;
    if (!buffer)
        return STG_E_INVALIDPOINTER;
    if (count > Limit - position || !Grow(position + count))
        return STG_E_MEDIUMFULL;
    memcpy(data + position, buffer, count);
    position += count;
    if (position > size)
        size = position;
    if (written)
        *written = count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
    if (origin > STREAM_SEEK_END)
        return STG_E_INVALIDFUNCTION;
    LONGLONG base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? position : size;
    LONGLONG target = base + move.QuadPart;
    if (target < 0 || target > (LONGLONG)Limit)
        return STG_E_INVALIDFUNCTION;
    position = (ULONG)target;
    if (newPosition)
        newPosition->QuadPart = position;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::SetSize(ULARGE_INTEGER newSize) {
    if (newSize.QuadPart > Limit || !Grow((ULONG)newSize.QuadPart))
        return STG_E_MEDIUMFULL;
    ULONG wanted = (ULONG)newSize.QuadPart;
    // Bytes cut off and then reached again by growing read as zeros.
    if (wanted < size)
        memset(data + wanted, 0, size - wanted);
    size = wanted;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                                ULARGE_INTEGER* written) {
    if (!target)
        return STG_E_INVALIDPOINTER;
    ULONG available = position < size ? size - position : 0;
    ULONG taken = count.QuadPart < available ? (ULONG)count.QuadPart : available;
    ULONG done = 0;
    HRESULT hr = taken ? target->Write(data + position, taken, &done) : S_OK;
    position += taken;
    if (read)
        read->QuadPart = taken;
    if (written)
        written->QuadPart = done;
    return hr;
}

HRESULT STDMETHODCALLTYPE WStringStream::Commit(DWORD) {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::Revert() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE WStringStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE WStringStream::Stat(STATSTG* stat, DWORD) {
    if (!stat)
        return STG_E_INVALIDPOINTER;
    memset(stat, 0, sizeof(*stat));
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = size;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WStringStream::Clone(IStream** clone) {
    if (!clone)
        return STG_E_INVALIDPOINTER;
    WStringStream* copy = CreateFromBytes(data, size);
    if (!copy) {
        *clone = nullptr;
        return E_OUTOFMEMORY;
    }
    copy->position = position;
    *clone = copy;
    return S_OK;
}
