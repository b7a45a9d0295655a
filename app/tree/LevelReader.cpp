#include "app/tree/LevelReader.h"

#include "app/shell/LongPath.h"
#include "app/tree/MenuNode.h"
#include "app/tree/NameOrder.h"
#include "base/FileSystem.h"
#include "base/KernelHandle.h"
#include "base/Library.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>
#include <wchar.h>

namespace {

// The identity of a file or folder: its volume and its index there. A link names another path, never
// another identity.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};

int IdentityOf(const WString& path, FileIdentity& identity) {
    WString usable;
    if (!ExtendedPath(path, usable))
        return 0;
    // Opening follows the links on the way, so a link and the folder it names give the same identity.
    KernelHandle handle(CreateFileW(usable, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.Valid())
        return 0;
    BY_HANDLE_FILE_INFORMATION information = {};
    int ok = GetFileInformationByHandle(handle.Get(), &information) != 0;
    identity.volume = information.dwVolumeSerialNumber;
    identity.indexHigh = information.nFileIndexHigh;
    identity.indexLow = information.nFileIndexLow;
    return ok;
}

// Names are merged as the scan always merged them: ignoring the case of 'A'-'Z' only.
std::wstring MergeKey(const wchar_t* fileName, unsigned kind) {
    std::wstring key(1, kind == NODE_FOLDER ? L'/' : L'|');
    for (const wchar_t* p = fileName; *p; p++)
        key.push_back(*p >= L'A' && *p <= L'Z' ? (wchar_t)(*p - L'A' + L'a') : *p);
    return key;
}

typedef HRESULT(WINAPI* LoadIndirectStringFn)(const wchar_t*, wchar_t*, UINT, void**);

LoadIndirectStringFn LoadIndirectString() {
    // Looked up once for the process, when the first folder names its name by reference (most trees have
    // a few such folders, a custom root often none): shlwapi stays loaded with it.
    static Library shlwapi(L"shlwapi.dll");
    static LoadIndirectStringFn function = shlwapi.Get<LoadIndirectStringFn>("SHLoadIndirectString");
    return function;
}

} // namespace

// What one Read collects: the nodes made so far and where to find them by name.
struct LevelReader::Level {
    LevelReader* reader;
    MenuNode* folder;
    int source;
    WString base;
    std::unordered_map<std::wstring, MenuNode*> byName;
    std::vector<MenuNode*> added;
    // Folders that may carry a desktop.ini, with their full paths.
    std::vector<std::pair<MenuNode*, WString>> localized;
    int outOfMemory = 0;
};

void LevelReader::Prepare(unsigned rootFlags) {
    // Only the root's sources: a custom root needs neither Start Menu folder, and asking the shell for
    // them would load it before the first menu.
    for (int i = 0; i < 3; i++)
        resolved[i] =
            (rootFlags & MenuNode::SourceBits[i]) && MenuNode::SourceFolder(MenuNode::SourceBits[i], folders[i]);
    nodes = 0;
    folderCount = 0;
    names.clear();
}

int LevelReader::TakeNode(int folder) {
    if (InterlockedIncrement(&nodes) > MaxNodes)
        return 0;
    return !folder || InterlockedIncrement(&folderCount) <= MaxFolders;
}

void LevelReader::Read(MenuNode& folder) {
    Level level;
    level.reader = this;
    level.folder = &folder;
    try {
        for (int i = 0; i < 3 && !level.outOfMemory; i++) {
            if (!(folder.flags & MenuNode::SourceBits[i]) || !resolved[i])
                continue;
            level.source = i;
            level.base.Assign(folders[i]);
            level.base.Append(folder.relativePath);
            WString pattern(level.base);
            pattern.Append(L"*.*");
            // A folder deeper than the classic path limit is read through the long form of its path.
            // Read as the shell sees the entries when it names and opens them: through this process's own
            // view of the file system, redirection and all.
            WString usable;
            if (ExtendedPath(pattern, usable))
                FindFiles(usable, OnFound, &level);
        }
        for (auto& folderName : level.localized) {
            WString name;
            if (LocalizedName(folderName.second, name))
                folderName.first->name = name;
        }
        // Sorted once: inserting each node at its place walked the whole list, quadratic in a large folder.
        // Each name's sort key is made once; comparing the locale's way pair by pair cost seven times as
        // much in a folder of 10,000.
        std::vector<std::pair<std::string, MenuNode*>> keyed;
        keyed.reserve(level.added.size());
        for (MenuNode* node : level.added)
            keyed.emplace_back(NameOrder::Key(node->name), node);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
            int kinds = MenuNode::CompareKinds(*a.second, *b.second);
            return (kinds ? kinds : NameOrder::CompareKeyed(a.first, a.second->name, b.first, b.second->name)) < 0;
        });
        for (size_t i = 0; i < keyed.size(); i++)
            level.added[i] = keyed[i].second;
    } catch (const std::bad_alloc&) {
        level.outOfMemory = 1;
    }
    // Out of memory the level keeps what was found, unsorted: a short menu is better than an ended process.
    for (MenuNode* node : level.added)
        folder.AddChild(node);
    if ((folder.flags & NODE_FOLDER) && folder.children.IsEmpty())
        folder.AddEmptyPlaceholder();
}

int LevelReader::OnFound(const WIN32_FIND_DATAW& found, void* context) {
    Level& level = *static_cast<Level*>(context);
    const wchar_t* fileName = found.cFileName;
    if (wcscmp(fileName, L".") == 0 || wcscmp(fileName, L"..") == 0)
        return 1;
    // Hidden entries (desktop.ini among them) are never listed; system or read-only alone do not hide.
    if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
        return 1;
    bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    unsigned kind = isFolder ? NODE_FOLDER : NODE_ITEM;
    unsigned sourceBit = MenuNode::SourceBits[level.source];
    MenuNode* node = nullptr;
    try {
        std::wstring key = MergeKey(fileName, kind);
        auto known = level.byName.find(key);
        if (known != level.byName.end()) {
            // The same folder or entry in another source: one node, found in both places.
            known->second->flags |= sourceBit;
            return 1;
        }
        WString path(level.base);
        path.Append(fileName);
        // A junction or symbolic link to a folder is read like a folder unless it leads back to one the
        // tree already passes through, which would repeat the tree below it without end.
        if (isFolder && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            level.reader->IsAncestor(*level.folder, level.source, path))
            return 1;
        if (!level.reader->TakeNode(isFolder))
            return 1;
        node = new (std::nothrow) MenuNode(level.folder);
        if (!node)
            return 1;
        node->relativePath.Assign(level.folder->relativePath);
        node->relativePath.Append(fileName);
        if (isFolder) {
            node->relativePath.AppendChar(L'\\');
            node->name.Assign(fileName);
            // Explorer reads a folder's desktop.ini only when the folder is read-only or a system folder.
            if (found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM))
                level.localized.emplace_back(node, path);
        } else {
            const wchar_t* extension = ExtensionPart(fileName);
            node->name.Assign(fileName, (unsigned)(extension - fileName));
        }
        node->flags = sourceBit | kind;
        // Not a digest: the sum of the two halves of the last-write time changes whenever the file is rewritten.
        node->hash = found.ftLastWriteTime.dwLowDateTime + found.ftLastWriteTime.dwHighDateTime;
        level.added.push_back(node);
        node = nullptr;
        level.byName.emplace(std::move(key), level.added.back());
    } catch (const std::bad_alloc&) {
        delete node;
        level.outOfMemory = 1;
        return 0;
    }
    return 1;
}

int LevelReader::IsAncestor(const MenuNode& folder, int source, const WString& path) const {
    FileIdentity target;
    // A link whose target cannot be opened leads nowhere worth reading.
    if (!IdentityOf(path, target))
        return 1;
    for (const MenuNode* ancestor = &folder; ancestor; ancestor = ancestor->parent) {
        WString ancestorPath(folders[source]);
        ancestorPath.Append(ancestor->relativePath);
        FileIdentity identity;
        if (IdentityOf(ancestorPath, identity) && identity == target)
            return 1;
    }
    return 0;
}

int LevelReader::LocalizedName(const WString& folderPath, WString& name) {
    WString ini(folderPath);
    ini.Append(L"\\desktop.ini");
    if (ini.Length() >= MAX_PATH)
        return 0;
    wchar_t value[MAX_PATH] = L"";
    if (!GetPrivateProfileStringW(L".ShellClassInfo", L"LocalizedResourceName", L"", value, MAX_PATH, ini) || !value[0])
        return 0;
    if (value[0] != L'@')
        return name.Assign(value);
    return LoadIndirect(value, name);
}

int LevelReader::LoadIndirect(const wchar_t* reference, WString& text) {
    // Made before the lock is taken: an allocation that fails must not leave it held.
    std::wstring key(reference);
    AcquireSRWLockShared(&namesLock);
    auto known = names.find(key);
    int found = known != names.end();
    if (found)
        text.Assign(known->second.c_str());
    ReleaseSRWLockShared(&namesLock);
    if (found)
        return !text.IsEmpty();
    wchar_t expanded[MAX_PATH] = L"";
    DWORD length = ExpandEnvironmentStringsW(reference, expanded, MAX_PATH);
    LoadIndirectStringFn load = LoadIndirectString();
    wchar_t loaded[MAX_PATH] = L"";
    if (!load || length == 0 || length > MAX_PATH || FAILED(load(expanded, loaded, MAX_PATH, nullptr)))
        loaded[0] = 0;
    std::wstring value(loaded);
    AcquireSRWLockExclusive(&namesLock);
    try {
        names[key] = value;
    } catch (const std::bad_alloc&) {
    }
    ReleaseSRWLockExclusive(&namesLock);
    return loaded[0] && text.Assign(loaded);
}
