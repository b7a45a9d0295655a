#include "app/MenuNode.h"

#include "app/IconBlob.h"
#include "app/IconCache.h"
#include "app/IconHandle.h"
#include "app/MenuOptions.h"
#include "app/StartMenuApp.h"
#include "app/ShellRun.h"
#include "app/TreeScan.h"
#include "base/FileSystem.h"
#include "framework/AppWindow.h"
#include "base/ComApartment.h"
#include "base/ComObject.h"
#include "base/CommonControls.h"
#include "framework/AboutDialog.h"
#include "sysinfo/Wow64RedirectionOff.h"
#include "framework/StringTable.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <stddef.h>
#include <map>
#include <utility>
#include <vector>
#include <new>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <wchar.h>

namespace {

struct ScanContext {
    MenuNode* node;
    unsigned sourceBit;
};

// Case folding of 'A'-'Z' only: the order must not depend on the user's locale, and names that differ
// in the case of other letters stay distinct.
int CompareNames(const wchar_t* a, const wchar_t* b) {
    for (;; a++, b++) {
        wchar_t ca = *a, cb = *b;
        if (ca >= L'A' && ca <= L'Z')
            ca = ca - L'A' + L'a';
        if (cb >= L'A' && cb <= L'Z')
            cb = cb - L'A' + L'a';
        if (ca != cb)
            return (int)ca - (int)cb;
        if (!ca)
            return 0;
    }
}

} // namespace

MenuNode::MenuNode(MenuNode* parentNode) : parent(parentNode) {
    name.Assign(L"");
    relativePath.Assign(L"");
}

MenuNode::~MenuNode() {
    menu.Destroy();
    // The list hands its elements to us only through Clear, which deletes each child (and so its subtree).
    children.Clear();
}

int MenuNode::ChildCount() const {
    int count = 0;
    for (MenuNode* child = FirstChild(); child; child = NextChild(child))
        count++;
    return count;
}

UINT MenuNode::CommandNameId(int type) {
    switch (type) {
        case CMD_ABOUT:
            return IDS_ABOUT;
        case CMD_ORGANIZE:
            return IDS_ORGANIZE;
        case CMD_SHUTDOWN:
            return IDS_SHUTDOWN;
        case CMD_RUN:
            return IDS_RUN;
        case CMD_CONTROL_PANEL:
            return IDS_CONTROL_PANEL;
        case CMD_ADMIN_CONSOLE:
            return IDS_ADMIN_CONSOLE;
        case CMD_EXIT:
            return IDS_EXIT;
        default:
            return 0;
    }
}

int MenuNode::SourceFolder(unsigned nodeFlags, WString& path) {
    wchar_t folder[MAX_PATH + 1] = L"";
    int resolved = 0;
    // All-users first: a node found in both Start Menu folders lives in the all-users one.
    if (nodeFlags & NODE_COMMON)
        resolved = GetFolderPath(CSIDL_COMMON_PROGRAMS, folder);
    else if (nodeFlags & NODE_USER)
        resolved = GetFolderPath(CSIDL_PROGRAMS, folder);
    else if (nodeFlags & NODE_CUSTOM_ROOT) {
        const WString& root = MenuOptions::Current().customRoot;
        if (!root.IsEmpty()) {
            path.Assign(root);
            path.EnsureTrailing(L'\\');
            return 1;
        }
    }
    if (!resolved || !folder[0]) {
        path.Assign(L"");
        return 0;
    }
    path.Assign(folder);
    path.EnsureTrailing(L'\\');
    return 1;
}

MenuNode* MenuNode::Append(unsigned nodeFlags) {
    MenuNode* node = new (std::nothrow) MenuNode(this);
    if (!node)
        return nullptr;
    node->flags = nodeFlags;
    children.PushBack(node);
    return node;
}

MenuNode* MenuNode::AddCommand(int type) {
    MenuNode* node = Append(NODE_COMMAND);
    if (!node)
        return nullptr;
    node->commandType = type;
    StringTable strings;
    node->name.Assign(strings.Load(CommandNameId(type)));
    return node;
}

MenuNode* MenuNode::AddSeparator() {
    return Append(NODE_SEPARATOR);
}

MenuNode* MenuNode::AddEmptyPlaceholder() {
    MenuNode* node = Append(NODE_EMPTY);
    if (!node)
        return nullptr;
    StringTable strings;
    node->name.Assign(strings.Load(IDS_EMPTY));
    return node;
}

int MenuNode::HasLaunchable() const {
    for (MenuNode* child = FirstChild(); child; child = NextChild(child)) {
        if (child->flags & NODE_FOLDER) {
            if (child->HasLaunchable())
                return 1;
        } else if (!(child->flags & (NODE_SEPARATOR | NODE_EMPTY))) {
            return 1;
        }
    }
    return 0;
}

// All-users entries are created first.
const unsigned MenuNode::SourceBits[3] = {NODE_COMMON, NODE_USER, NODE_CUSTOM_ROOT};

void MenuNode::Scan() {
    TreeScan scan;
    if (scan.Start(this))
        scan.Finish();
}

void MenuNode::ScanLevel(const WString* folders, const int* resolved) {
    for (int i = 0; i < 3; i++) {
        unsigned sourceBit = SourceBits[i];
        if (!(flags & sourceBit) || !resolved[i])
            continue;
        WString pattern(folders[i]);
        pattern.Append(relativePath);
        pattern.Append(L"*.*");
        // A pattern beyond the path limit names nothing this program could open or launch.
        if (pattern.Length() >= MAX_PATH)
            continue;
        ScanContext context = {this, sourceBit};
        FindFiles(pattern, OnFound, &context);
    }
    if ((flags & NODE_FOLDER) && children.IsEmpty())
        AddEmptyPlaceholder();
}

int MenuNode::OnFound(const WIN32_FIND_DATAW& found, void* context) {
    ScanContext* scan = static_cast<ScanContext*>(context);
    scan->node->AddFound(found, scan->sourceBit);
    return 1;
}

void MenuNode::AddFound(const WIN32_FIND_DATAW& found, unsigned sourceBit) {
    const wchar_t* fileName = found.cFileName;
    if (wcscmp(fileName, L".") == 0 || wcscmp(fileName, L"..") == 0)
        return;
    // Hidden entries (desktop.ini among them) are never listed; system or read-only alone do not hide.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
        return;
    bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    unsigned kind = isFolder ? NODE_FOLDER : NODE_ITEM;

    WString path(relativePath);
    path.Append(fileName);
    if (isFolder)
        path.AppendChar(L'\\');

    for (MenuNode* child = FirstChild(); child; child = NextChild(child)) {
        if ((child->flags & kind) && child->relativePath.CompareNoCase(path) == 0) {
            // The same folder or entry in another source: one node, found in both places.
            child->flags |= sourceBit;
            return;
        }
    }

    MenuNode* node = new (std::nothrow) MenuNode(this);
    if (!node)
        return;
    node->relativePath = path;
    if (isFolder) {
        node->name.Assign(fileName);
    } else {
        const wchar_t* extension = ExtensionPart(fileName);
        node->name.Assign(fileName, (unsigned)(extension - fileName));
    }
    node->flags = sourceBit | kind;
    // Not a digest: the sum of the two halves of the last-write time changes whenever the file is rewritten.
    node->hash = found.ftLastWriteTime.dwLowDateTime + found.ftLastWriteTime.dwHighDateTime;
    children.InsertSorted(node, CompareNodes, nullptr);
}

int MenuNode::CompareNodes(const SyncListItem* present, const SyncListItem* added, void*) {
    const MenuNode* e = static_cast<const MenuNode*>(present);
    const MenuNode* n = static_cast<const MenuNode*>(added);
    int order = MenuOptions::Current().folderOrder;
    bool eFolder = (e->flags & NODE_FOLDER) != 0;
    bool nFolder = (n->flags & NODE_FOLDER) != 0;
    if (order != 0 && eFolder != nFolder) {
        // Order 1 puts entries first (the folder is greater); any other value puts folders first.
        if (order == 1)
            return eFolder ? 1 : -1;
        return eFolder ? -1 : 1;
    }
    return CompareNames(e->name, n->name);
}

namespace {

// Cached icons are decoded for the menus' small-icon size at the standard DPI.
const int CacheIconSize = 16;

// Icons of the fixed entries and of folders.
const int FolderIcon = 111;

int CommandIcon(int type) {
    switch (type) {
        case CMD_ABOUT:
            return 115;
        case CMD_ORGANIZE:
            return 112;
        case CMD_SHUTDOWN:
            return 114;
        case CMD_RUN:
            return 113;
        case CMD_CONTROL_PANEL:
            return 110;
        case CMD_ADMIN_CONSOLE:
            return 116;
        case CMD_EXIT:
            return 120;
        default:
            return -1;
    }
}

} // namespace

// The shell's display name and small icon of an entry, as its index in the system image list.
int MenuNode::ShellIcon(HIMAGELIST* listOut) {
    WString path;
    *listOut = nullptr;
    if (!SourceFolder(flags, path))
        return -1;
    path.Append(relativePath);
    SHFILEINFOW info = {};
    HIMAGELIST systemList = nullptr;
    {
        // A shortcut to a program in the 64-bit System32 must be resolved there, or the icon found is
        // a wrong or generic one, and it would be kept in the cache.
        Wow64RedirectionOff redirection;
        systemList = (HIMAGELIST)SHGetFileInfoW(path, 0, &info, sizeof(info),
                                                SHGFI_SYSICONINDEX | SHGFI_DISPLAYNAME | SHGFI_SMALLICON);
    }
    *listOut = systemList;
    if (info.szDisplayName[0])
        name.Assign(info.szDisplayName);
    return systemList ? info.iIcon : -1;
}

// Every icon a build puts into its menus is loaded or taken out of the system image list once.
struct MenuNode::BuildIcons {
    BuildIcons() = default;
    ~BuildIcons() {
        for (auto& icon : resources)
            DestroyIcon(icon.second);
        for (auto& icon : shell)
            DestroyIcon(icon.second);
        for (auto& bitmaps : decoded) {
            DeleteObject(bitmaps.second.first);
            DeleteObject(bitmaps.second.second);
        }
    }
    BuildIcons(const BuildIcons&) = delete;
    BuildIcons& operator=(const BuildIcons&) = delete;

    // Exactly the list's size, so that the best image of the resource is picked instead of a scaled one.
    HICON Resource(HINSTANCE module, int id, int width, int height) {
        auto known = resources.find(id);
        if (known != resources.end())
            return known->second;
        HICON icon =
            static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
        if (icon)
            resources[id] = icon;
        return icon;
    }

    HICON Shell(HIMAGELIST systemList, int index) {
        auto known = shell.find(index);
        if (known != shell.end())
            return known->second;
        HICON icon = CommonControls::Get().ImageListGetIcon(systemList, index, ILD_NORMAL);
        if (icon)
            shell[index] = icon;
        return icon;
    }

    // A stored icon turned into the colour and mask bitmaps an image list takes, once per build: menus of
    // shortcuts to the same programs then copy the same bitmaps instead of decoding the blob again.
    // Null bitmaps when the blob cannot be decoded at the list's size.
    const std::pair<HBITMAP, HBITMAP>& Decoded(const std::vector<unsigned char>& blob, int width, int height) {
        auto known = decoded.find(blob);
        if (known != decoded.end())
            return known->second;
        std::pair<HBITMAP, HBITMAP> bitmaps(nullptr, nullptr);
        int decodedWidth = 0, decodedHeight = 0;
        if (BlobToBitmaps(blob.data(), blob.size(), CacheIconSize, &bitmaps.first, &bitmaps.second, &decodedWidth,
                          &decodedHeight) &&
            (decodedWidth != width || decodedHeight != height)) {
            DeleteObject(bitmaps.first);
            DeleteObject(bitmaps.second);
            bitmaps = std::pair<HBITMAP, HBITMAP>(nullptr, nullptr);
        }
        return decoded.emplace(blob, bitmaps).first->second;
    }

    std::map<int, HICON> resources;
    std::map<int, HICON> shell;
    std::map<std::vector<unsigned char>, std::pair<HBITMAP, HBITMAP>> decoded;
};

// Items of one menu that show the same icon (every folder, shortcuts to one program) share one image
// of its list: the same image draws the same, and each one added costs a copy through GDI.
struct MenuNode::MenuImages {
    std::map<int, int> resources;
    std::map<int, int> shell;
    std::map<std::vector<unsigned char>, int> blobs;
};

struct MenuNode::ShellBlobs {
    std::map<int, std::vector<unsigned char>> bySystemImage;
};

int MenuNode::CachedImage(IconCache& cache, OwnerDrawMenu& target, BuildIcons& icons, MenuImages& images) {
    WString cachedName;
    std::vector<unsigned char> blob;
    if (!cache.LookupEntry(relativePath, flags, hash, cachedName, blob))
        return -1;
    // The stored name stands even when the icon cannot be decoded: the shell then gives the icon, and
    // its name only when it has one.
    name.Assign(cachedName);
    auto known = images.blobs.find(blob);
    int index = known != images.blobs.end() ? known->second : -1;
    // Stored pixels straight into the image list when they have its size: turning them into an icon
    // handle first costs several times as much.
    if (index < 0) {
        const std::pair<HBITMAP, HBITMAP>& bitmaps = icons.Decoded(blob, target.IconWidth(), target.IconHeight());
        if (bitmaps.first)
            index = CommonControls::Get().ImageListAdd(target.Images().Handle(), bitmaps.first, bitmaps.second);
    }
    if (index < 0) {
        IconHandle icon;
        if (icon.FromBlob(blob.data(), blob.size(), CacheIconSize, 1))
            index = target.Images().AddIcon(icon.Handle());
    }
    if (index < 0)
        return -1;
    if (known == images.blobs.end())
        images.blobs.emplace(std::move(blob), index);
    fromCache = 1;
    return index;
}

int MenuNode::ResourceImage(int iconId, BuildIcons& icons, MenuImages& images) {
    if (iconId == -1)
        return -1;
    auto known = images.resources.find(iconId);
    if (known != images.resources.end())
        return known->second;
    ImageList& list = menu.Images();
    int index = list.AddIcon(icons.Resource(menu.Instance(), iconId, list.IconWidth(), list.IconHeight()));
    if (index >= 0)
        images.resources[iconId] = index;
    return index;
}

int MenuNode::ShellImage(HIMAGELIST systemList, int systemIndex, BuildIcons& icons, MenuImages& images) {
    if (!systemList || systemIndex < 0)
        return -1;
    auto known = images.shell.find(systemIndex);
    if (known != images.shell.end())
        return known->second;
    // The image list keeps its own copy of the icon.
    int index = menu.Images().AddIcon(icons.Shell(systemList, systemIndex));
    if (index >= 0)
        images.shell[systemIndex] = index;
    return index;
}

void MenuNode::BuildMenu(OwnerDrawMenu* parentMenu, HINSTANCE moduleInstance, HWND owner, IconCache* cache) {
    BuildIcons icons;
    if (!BuildPopup(moduleInstance, owner, cache, icons) || !parentMenu)
        return;
    HICON folder = icons.Resource(parentMenu->Instance(), FolderIcon, parentMenu->Images().IconWidth(),
                                  parentMenu->Images().IconHeight());
    parentMenu->AddItemWithImage(name, 0, 0, this, parentMenu->Images().AddIcon(folder), menu.Handle());
}

int MenuNode::BuildPopup(HINSTANCE moduleInstance, HWND owner, IconCache* cache, BuildIcons& icons) {
    if (!menu.Create(moduleInstance, owner))
        return 0;
    menu.SetStyle(OwnerDrawMenu::STYLE_TALL_ITEMS, OwnerDrawMenu::STYLE_TALL_ITEMS);
    MenuImages images;
    UINT counter = 1;
    for (MenuNode* child = FirstChild(); child; child = NextChild(child), counter++) {
        if (child->flags & NODE_FOLDER) {
            // A folder whose popup could not be made is left out.
            if ((MenuOptions::Current().showEmptyFolders == 1 || child->HasLaunchable()) &&
                child->BuildPopup(moduleInstance, owner, cache, icons))
                menu.AddItemWithImage(child->name, 0, 0, child, ResourceImage(FolderIcon, icons, images),
                                      child->menu.Handle());
        } else if (child->flags & NODE_EMPTY) {
            menu.AddItem(child->name, MF_DISABLED, counter, child, -1, nullptr, nullptr);
        } else if (child->flags & NODE_SEPARATOR) {
            menu.AddSeparator(child);
        } else if (child->flags & NODE_COMMAND) {
            menu.AddItemWithImage(child->name, 0, counter, child,
                                  ResourceImage(CommandIcon(child->commandType), icons, images), nullptr);
        } else {
            int image = cache ? child->CachedImage(*cache, menu, icons, images) : -1;
            if (image < 0) {
                HIMAGELIST systemList = nullptr;
                int systemIndex = child->ShellIcon(&systemList);
                image = ShellImage(systemList, systemIndex, icons, images);
                child->systemImage = image >= 0 ? systemIndex : -1;
            }
            menu.AddItemWithImage(child->name, 0, counter, child, image, nullptr);
        }
    }
    return 1;
}

int MenuNode::Launch() {
    if (flags & NODE_ITEM) {
        WString path;
        if (SourceFolder(flags, path)) {
            path.Append(relativePath);
            // The shell must resolve a shortcut's system paths as a 64-bit caller would, so WOW64
            // file-system redirection is off for this one call.
            Wow64RedirectionOff redirection;
            ShellRun(path, nullptr, nullptr, SW_SHOWDEFAULT, 0, L"open");
        }
        return 1;
    }
    if (flags & NODE_COMMAND)
        RunCommand(commandType);
    return 1;
}

namespace {

// The shell's Shell.Application object and its IShellDispatch interface.
const CLSID ShellApplication = {0x13709620, 0xC279, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const IID ShellDispatch = {0xD8F015C0, 0xC278, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The system's own Run and Shut Down dialogs, through the shell's automation object.
void RunShellDialog(bool shutdown) {
    ComApartment com;
    com.Init(0);
    IShellDispatch* shell = static_cast<IShellDispatch*>(CreateComObject(ShellApplication, ShellDispatch, nullptr, 0));
    if (!shell)
        return;
    if (shutdown)
        shell->ShutdownWindows();
    else
        shell->FileRun();
    shell->Release();
}

} // namespace

void MenuNode::RunCommand(int type) {
    switch (type) {
        case CMD_ABOUT: {
            if (StartMenuApp* app = dynamic_cast<StartMenuApp*>(AppWindow::Current())) {
                app->ShowAbout();
                break;
            }
            AboutDialog about(nullptr, nullptr);
            about.DoModal(GetModuleHandleW(nullptr), IDD_ABOUT, 0, nullptr);
            break;
        }
        case CMD_ORGANIZE: {
            // Both Programs folders, all-users first, even when the menu came from a custom root.
            WString folder;
            if (SourceFolder(NODE_COMMON, folder))
                ShellRun(folder, nullptr, nullptr, SW_SHOWDEFAULT, 0, L"open");
            if (SourceFolder(NODE_USER, folder))
                ShellRun(folder, nullptr, nullptr, SW_SHOWDEFAULT, 0, L"open");
            break;
        }
        case CMD_SHUTDOWN:
            RunShellDialog(true);
            break;
        case CMD_RUN:
            RunShellDialog(false);
            break;
        case CMD_CONTROL_PANEL: {
            // The native control.exe and cmd.exe, not the 32-bit copies in SysWOW64: a 32-bit Control
            // Panel lacks the 64-bit applets, and a 32-bit prompt sees a redirected system.
            Wow64RedirectionOff redirection;
            ShellRun(L"control", nullptr, nullptr, SW_SHOWDEFAULT, 0, L"open");
            break;
        }
        case CMD_ADMIN_CONSOLE: {
            Wow64RedirectionOff redirection;
            // The system asks for elevation; a refusal starts nothing and shows the shell's own message.
            ShellRun(L"cmd", nullptr, nullptr, SW_SHOWDEFAULT, 1, L"open");
            break;
        }
        case CMD_EXIT:
            if (AppWindow* app = AppWindow::Current())
                app->Close();
            break;
        default:
            break;
    }
}

void MenuNode::WriteCache(IconCache& cache) {
    ShellBlobs blobs;
    WriteRows(cache, blobs);
}

void MenuNode::WriteRows(IconCache& cache, ShellBlobs& blobs) {
    HMENU popup = menu.Handle();
    int count = popup ? GetMenuItemCount(popup) : 0;
    for (int position = 0; position < count; position++) {
        MENUITEMINFOW info = {};
        info.cbSize = offsetof(MENUITEMINFOW, hbmpItem);
        info.fMask = MIIM_DATA;
        if (!GetMenuItemInfoW(popup, position, TRUE, &info))
            continue;
        MenuItemData* record = MenuItemData::FromItemData(info.dwItemData);
        MenuNode* child = record ? record->node : nullptr;
        if (!child || child->parent != this)
            continue;
        if (child->flags & NODE_FOLDER) {
            child->WriteRows(cache, blobs);
            continue;
        }
        if (!(child->flags & NODE_ITEM) || child->fromCache || record->imageIndex < 0)
            continue;
        // Entries showing the same icon of the shell's list got the same image from the same icon
        // handle, so the blob taken out of the first one's image list stands for all of them: taking an
        // icon out of an image list is the slow part of the write.
        auto known = child->systemImage >= 0 ? blobs.bySystemImage.find(child->systemImage) : blobs.bySystemImage.end();
        if (known != blobs.bySystemImage.end()) {
            cache.WriteEntry(child->relativePath, child->flags, child->hash, child->name, known->second);
            continue;
        }
        IconHandle icon(menu.Images().GetIcon(record->imageIndex), 1);
        std::vector<unsigned char> blob;
        if (!icon.Handle() || !icon.ToBlob(blob))
            continue;
        cache.WriteEntry(child->relativePath, child->flags, child->hash, child->name, blob);
        if (child->systemImage >= 0)
            blobs.bySystemImage.emplace(child->systemImage, std::move(blob));
    }
}
