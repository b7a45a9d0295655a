#include "app/tree/AppScan.h"

#include "app/shell/PackagedApps.h"
#include "app/tree/MenuNode.h"
#include "base/ComPtr.h"
#include "base/FileSystem.h"
#include "base/KernelHandle.h"

#include <objbase.h>
#include <propkey.h>
#include <propvarutil.h>
#include <shlobj.h>

#include <new>

struct AppScan::Shared {
    // The scan's and the thread's; the last one to let go frees it.
    LONG references = 1;
    SRWLOCK lock = SRWLOCK_INIT;
    KernelHandle ended;
    unsigned rootFlags = 0;
    int running = 0;
    int found = 0;
    std::vector<PackagedApp> apps;
    std::set<std::wstring> shortcutIds;
};

namespace {

// System.AppUserModel.ID.
const PROPERTYKEY AppUserModelId = {{0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

} // namespace

AppScan::~AppScan() {
    Release(shared);
}

void AppScan::Release(Shared* state) {
    if (state && InterlockedDecrement(&state->references) == 0)
        delete state;
}

int AppScan::Start(unsigned rootFlags) {
    if (!shared) {
        shared = new (std::nothrow) Shared;
        if (!shared)
            return 0;
        shared->ended.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    }
    AcquireSRWLockExclusive(&shared->lock);
    int start = !shared->running && shared->ended.Valid();
    if (start) {
        shared->running = 1;
        shared->rootFlags = rootFlags;
        ResetEvent(shared->ended.Get());
        InterlockedIncrement(&shared->references);
    }
    ReleaseSRWLockExclusive(&shared->lock);
    if (!start)
        return 1;
    KernelHandle thread(CreateThread(nullptr, 0, ThreadProc, shared, 0, nullptr));
    if (thread.Valid())
        return 1;
    AcquireSRWLockExclusive(&shared->lock);
    shared->running = 0;
    ReleaseSRWLockExclusive(&shared->lock);
    Release(shared);
    return 0;
}

int AppScan::Take(DWORD waitMs, std::vector<PackagedApp>& apps, std::set<std::wstring>& shortcutIds) {
    if (!shared)
        return 0;
    if (waitMs)
        WaitForSingleObject(shared->ended.Get(), waitMs);
    AcquireSRWLockExclusive(&shared->lock);
    int found = shared->found;
    if (found) {
        apps.swap(shared->apps);
        shortcutIds.swap(shared->shortcutIds);
        shared->found = 0;
    }
    ReleaseSRWLockExclusive(&shared->lock);
    return found;
}

DWORD WINAPI AppScan::ThreadProc(void* state) {
    Shared& shared = *static_cast<Shared*>(state);
    // The shell's folders are apartment-threaded objects: a single-threaded apartment of its own, whose
    // calls all stay on this thread.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::vector<PackagedApp> apps;
    std::set<std::wstring> ids;
    int read = 0;
    try {
        read = PackagedApps::Read(apps);
        // The shortcuts matter only against apps: without apps they are not read.
        int budget = MaxShortcuts;
        for (unsigned source = 0; read && !apps.empty() && source < 3; source++) {
            WString folder;
            if ((shared.rootFlags & MenuNode::SourceBits[source]) &&
                MenuNode::SourceFolder(MenuNode::SourceBits[source], folder))
                ReadShortcutIds(folder, ids, budget);
        }
    } catch (const std::bad_alloc&) {
        read = 0;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    AcquireSRWLockExclusive(&shared.lock);
    // A failed read leaves what the last one found: the apps are still there.
    if (read) {
        shared.apps.swap(apps);
        shared.shortcutIds.swap(ids);
        shared.found = 1;
    }
    shared.running = 0;
    SetEvent(shared.ended.Get());
    ReleaseSRWLockExclusive(&shared.lock);
    Release(&shared);
    return 0;
}

namespace {

struct ShortcutWalk {
    const wchar_t* folder;
    std::set<std::wstring>* ids;
    int* budget;
};

int OnShortcutFound(const WIN32_FIND_DATAW& found, void* context) {
    ShortcutWalk& walk = *static_cast<ShortcutWalk*>(context);
    if (*walk.budget <= 0)
        return 0;
    if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
        return 1;
    WString path(walk.folder);
    path.EnsureTrailing(L'\\');
    path.Append(found.cFileName);
    // Not through links to folders: a link back up would read the same shortcuts without end.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            AppScan::ReadShortcutIds(path, *walk.ids, *walk.budget);
        return 1;
    }
    size_t length = wcslen(found.cFileName);
    if (length < 4 || _wcsicmp(found.cFileName + length - 4, L".lnk") != 0)
        return 1;
    (*walk.budget)--;
    ComPtr<IPropertyStore> store;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(SHGetPropertyStoreFromParsingName(path, nullptr, GPS_DEFAULT, IID_IPropertyStore, store.OutVoid())) &&
        SUCCEEDED(store->GetValue(AppUserModelId, &value)) && value.vt == VT_LPWSTR && value.pwszVal && *value.pwszVal)
        walk.ids->insert(value.pwszVal);
    PropVariantClear(&value);
    return 1;
}

} // namespace

void AppScan::ReadShortcutIds(const wchar_t* folder, std::set<std::wstring>& ids, int& budget) {
    WString pattern(folder);
    pattern.EnsureTrailing(L'\\');
    pattern.Append(L"*");
    ShortcutWalk walk = {folder, &ids, &budget};
    FindFiles(pattern, OnShortcutFound, &walk);
}
