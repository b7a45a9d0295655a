#include "app/shell/PackagedApps.h"

#include "base/ComPtr.h"
#include "base/Library.h"

#include <objbase.h>
#include <propkey.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <new>

namespace {

// System.AppUserModel.ID (documented) and, from the same property set, the app's host environment (non-zero
// for a packaged app, zero for a desktop program) and its package's full name; the SDK headers of MinGW
// declare only the first.
const GUID AppUserModelProperties = {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}};
const PROPERTYKEY AppUserModelId = {AppUserModelProperties, 5};
const PROPERTYKEY HostEnvironment = {AppUserModelProperties, 14};
const PROPERTYKEY PackageInstallPath = {AppUserModelProperties, 15};
const PROPERTYKEY PackageFullName = {AppUserModelProperties, 21};
// FOLDERID_AppsFolder, new in Windows 8.
const GUID AppsFolder = {0x1E87508D, 0x89C2, 0x42F0, {0x8A, 0x7E, 0x64, 0x5A, 0x0F, 0x50, 0xCA, 0x58}};
// BHID_EnumItems.
const GUID EnumItems = {0x94F60519, 0x2850, 0x4924, {0xAA, 0x5A, 0xD1, 0x5E, 0x84, 0x86, 0x80, 0x39}};

int TakeString(PWSTR text, WString& into) {
    if (!text)
        return 0;
    into.Assign(text);
    CoTaskMemFree(text);
    return !into.IsEmpty();
}

// The app behind one item of the folder; 0 for a desktop program or an item without an ID or a name.
int ReadItem(IShellItem* item, PackagedApp& app) {
    ComPtr<IShellItem2> properties;
    ULONG host = 0;
    PWSTR text = nullptr;
    if (FAILED(item->QueryInterface(IID_IShellItem2, properties.OutVoid())) ||
        FAILED(properties->GetUInt32(HostEnvironment, &host)) || host == 0)
        return 0;
    if (FAILED(properties->GetString(AppUserModelId, &text)) || !TakeString(text, app.id))
        return 0;
    text = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_NORMALDISPLAY, &text)) || !TakeString(text, app.name))
        return 0;
    // Without a full name the stamp follows the ID: the row is then written again only when the name changes.
    text = nullptr;
    WString fullName;
    if (FAILED(properties->GetString(PackageFullName, &text)) || !TakeString(text, fullName))
        fullName.Assign(app.id);
    app.stamp = PackagedApps::StampOf(fullName);
    text = nullptr;
    if (FAILED(properties->GetString(PackageInstallPath, &text)) || !TakeString(text, app.folder))
        app.folder.Assign(L"");
    return 1;
}

} // namespace

int PackagedApps::Read(std::vector<PackagedApp>& apps) {
    apps.clear();
    // Windows 7 and later; the folder itself exists from Windows 8 on.
    typedef HRESULT(WINAPI * KnownFolderItem)(REFKNOWNFOLDERID, KNOWN_FOLDER_FLAG, HANDLE, REFIID, void**);
    Library shell(L"shell32.dll");
    KnownFolderItem knownFolderItem = shell.Get<KnownFolderItem>("SHGetKnownFolderItem");
    ComPtr<IShellItem> folder;
    ComPtr<IEnumShellItems> items;
    if (!knownFolderItem ||
        FAILED(knownFolderItem(AppsFolder, KF_FLAG_DEFAULT, nullptr, IID_IShellItem, folder.OutVoid())) ||
        FAILED(folder->BindToHandler(nullptr, EnumItems, IID_IEnumShellItems, items.OutVoid())))
        return 0;
    ComPtr<IShellItem> item;
    try {
        while (apps.size() < MaxApps && items->Next(1, item.Out(), nullptr) == S_OK) {
            PackagedApp app;
            if (ReadItem(item.Get(), app))
                apps.push_back(std::move(app));
        }
    } catch (const std::bad_alloc&) {
        apps.clear();
        return 0;
    }
    return 1;
}

unsigned PackagedApps::StampOf(const wchar_t* fullName) {
    unsigned hash = 2166136261u;
    for (; *fullName; fullName++)
        hash = (hash ^ (unsigned)*fullName) * 16777619u;
    return hash;
}

int PackagedApps::IsItemPath(const wchar_t* path) {
    return path && _wcsnicmp(path, ItemPrefix, wcslen(ItemPrefix)) == 0;
}
