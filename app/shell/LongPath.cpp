#include "app/shell/LongPath.h"

#include "base/ComCounted.h"
#include "base/ComPtr.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <new>
#include <utility>

#include <wchar.h>

namespace {

// An item ID list the shell allocated, absolute or relative, freed when it goes.
class OwnedIdList {
public:
    OwnedIdList() = default;
    ~OwnedIdList() { CoTaskMemFree(list); }
    OwnedIdList(const OwnedIdList&) = delete;
    OwnedIdList& operator=(const OwnedIdList&) = delete;
    void Reset(ITEMIDLIST* adopted) {
        CoTaskMemFree(list);
        list = adopted;
    }
    ITEMIDLIST** Out() {
        Reset(nullptr);
        return &list;
    }
    ITEMIDLIST* Get() const { return list; }
    ITEMIDLIST* Detach() {
        ITEMIDLIST* kept = list;
        list = nullptr;
        return kept;
    }

private:
    ITEMIDLIST* list = nullptr;
};

// One file's find data for the shell's parsing (STR_FILE_SYS_BIND_DATA): the shell makes the item from it
// instead of looking the file up by a path that may be past the limit it can take.
class FindDataBinding final : public ComCounted<IFileSystemBindData> {
public:
    explicit FindDataBinding(const WIN32_FIND_DATAW& found)
        : ComCounted<IFileSystemBindData>(IID_IFileSystemBindData), data(found) {}

    STDMETHODIMP SetFindData(const WIN32_FIND_DATAW* found) override {
        if (!found)
            return E_POINTER;
        data = *found;
        return S_OK;
    }
    STDMETHODIMP GetFindData(WIN32_FIND_DATAW* found) override {
        if (!found)
            return E_POINTER;
        *found = data;
        return S_OK;
    }

private:
    ~FindDataBinding() override = default;

    WIN32_FIND_DATAW data;
};

// A bind context carrying the find data of the file at path; null when the file cannot be found.
IBindCtx* FindDataContext(const wchar_t* path) {
    WString usable;
    WIN32_FIND_DATAW found;
    if (!ExtendedPath(path, usable))
        return nullptr;
    HANDLE search = FindFirstFileW(usable, &found);
    if (search == INVALID_HANDLE_VALUE)
        return nullptr;
    FindClose(search);
    ComPtr<IBindCtx> context;
    if (FAILED(CreateBindCtx(0, context.Out())))
        return nullptr;
    // STGM_CREATE: the item is made from the data given, as for a file about to be created, without a
    // look at the disk.
    BIND_OPTS options = {sizeof(options), 0, STGM_CREATE, 0};
    ComPtr<IFileSystemBindData> binding(new (std::nothrow) FindDataBinding(found));
    if (!binding || FAILED(context->SetBindOptions(&options)) ||
        FAILED(context->RegisterObjectParam(const_cast<LPOLESTR>(STR_FILE_SYS_BIND_DATA), binding.Get())))
        return nullptr;
    return context.Detach();
}

} // namespace

int ExtendedPath(const wchar_t* path, WString& out) {
    size_t length = path ? wcslen(path) : 0;
    if (length < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0)
        return out.Assign(path ? path : L"");
    // The prefix turns off the parsing of "." and ".." and of relative paths, so the path is made
    // absolute first.
    WString full(32768);
    DWORD fullLength = GetFullPathNameW(path, (DWORD)full.Capacity(), full.Buffer(), nullptr);
    if (fullLength == 0 || fullLength >= full.Capacity())
        return 0;
    full.Recount();
    const wchar_t* text = full.Buffer();
    if (text[0] == L'\\' && text[1] == L'\\') {
        out.Assign(L"\\\\?\\UNC\\");
        out.Append(text + 2);
    } else {
        out.Assign(L"\\\\?\\");
        out.Append(text);
    }
    return 1;
}

int ShellPath(const wchar_t* path, WString& out) {
    if (!path)
        return 0;
    if (wcslen(path) < MAX_PATH)
        return out.Assign(path);
    WString extended;
    if (!ExtendedPath(path, extended))
        return 0;
    WString shortPath(32768);
    DWORD length = GetShortPathNameW(extended, shortPath.Buffer(), (DWORD)shortPath.Capacity());
    if (length == 0 || length >= shortPath.Capacity())
        return 0;
    shortPath.Recount();
    const wchar_t* text = shortPath.Buffer();
    if (wcsncmp(text, L"\\\\?\\UNC\\", 8) == 0) {
        out.Assign(L"\\\\");
        out.Append(text + 8);
    } else if (wcsncmp(text, L"\\\\?\\", 4) == 0) {
        out.Assign(text + 4);
    } else {
        out.Assign(text);
    }
    return out.Length() < MAX_PATH;
}

int ShellIdList(const wchar_t* path, PIDLIST_ABSOLUTE* list) {
    if (!list)
        return 0;
    *list = nullptr;
    if (!path || !*path)
        return 0;
    WString full;
    if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
        full.Assign(L"\\\\");
        full.Append(path + 8);
    } else {
        full.Assign(wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path);
    }
    while (full.Length() > 3 && full.GetAt(full.Length() - 1) == L'\\')
        full.Left(full.Length() - 1);
    if (full.Length() < MAX_PATH)
        return SUCCEEDED(SHParseDisplayName(full, nullptr, list, 0, nullptr)) && *list;

    // The deepest folder whose path the shell takes is parsed as it is; below it each name is parsed in the
    // folder above, with the item's own find data, so that no call is handed a path past the limit. Where
    // the volume keeps no short names (often so on data volumes since Windows 8, and always on ReFS) there
    // is no other way to the file.
    const wchar_t* text = full;
    int cut = MAX_PATH - 1;
    while (cut > 1 && text[cut] != L'\\')
        cut--;
    if (cut < 2)
        return 0;
    WString ancestor;
    // A drive's root keeps its backslash.
    ancestor.Assign(text, (unsigned)(text[cut - 1] == L':' ? cut + 1 : cut));
    OwnedIdList current;
    ComPtr<IShellFolder> desktop, folder;
    if (FAILED(SHParseDisplayName(ancestor, nullptr, current.Out(), 0, nullptr)) || !current.Get() ||
        FAILED(SHGetDesktopFolder(desktop.Out())) ||
        FAILED(desktop->BindToObject(current.Get(), nullptr, IID_IShellFolder, folder.OutVoid())))
        return 0;
    int start = cut + 1;
    while (text[start]) {
        int end = start;
        while (text[end] && text[end] != L'\\')
            end++;
        int last = !text[end];
        if (end > start) {
            WString name, upTo;
            name.Assign(text + start, (unsigned)(end - start));
            upTo.Assign(text, (unsigned)end);
            ComPtr<IBindCtx> context(FindDataContext(upTo));
            OwnedIdList child;
            ULONG eaten = 0;
            if (!context ||
                FAILED(folder->ParseDisplayName(nullptr, context.Get(), name.Buffer(), &eaten, child.Out(), nullptr)))
                return 0;
            current.Reset(ILCombine(current.Get(), child.Get()));
            if (!current.Get())
                return 0;
            if (!last) {
                ComPtr<IShellFolder> inner;
                if (FAILED(folder->BindToObject(child.Get(), nullptr, IID_IShellFolder, inner.OutVoid())))
                    return 0;
                folder = std::move(inner);
            }
        }
        start = last ? end : end + 1;
    }
    *list = current.Detach();
    return 1;
}
