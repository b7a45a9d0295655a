#pragma once
// Reads one folder level of the start-menu tree from every source folder of its node: entries and
// folders found in several sources become one node, the new nodes are sorted once and appended.
// Folders below the level are left for later reads. One reader serves one scan, on any of its threads.

#include "base/WString.h"

#include <windows.h>

#include <map>
#include <string>

class MenuNode;

class LevelReader {
public:
    // Nodes of one tree at most: past it a loop of links or a runaway folder adds nothing more, before
    // the menus meet the system's limit of 10,000 window-manager and GDI objects per process (each
    // folder's popup has an image list of two bitmaps and two memory DCs).
    static constexpr LONG MaxNodes = 60000;
    static constexpr LONG MaxFolders = 2000;

    LevelReader() = default;
    LevelReader(const LevelReader&) = delete;
    LevelReader& operator=(const LevelReader&) = delete;

    // Resolves the source folders of a root with these flags once for the whole scan.
    void Prepare(unsigned rootFlags);
    // Reads the children of folder (a folder node or the root, not read before); a folder that stays
    // empty gets its "Empty" placeholder.
    void Read(MenuNode& folder);
    int NodeCount() const { return (int)nodes; }

private:
    struct Level;
    static int OnFound(const WIN32_FIND_DATAW& found, void* context);
    // 1 when the folder at path is one of the folders the node's own path passes through in that source,
    // compared by volume and file index (a junction or symbolic link back to where it lies).
    int IsAncestor(const MenuNode& folder, int source, const WString& path) const;
    // The name Explorer shows for a folder with a desktop.ini that names one; 0 when it has none.
    int LocalizedName(const WString& folderPath, WString& name);
    // A string resource named like "@%SystemRoot%\system32\shell32.dll,-21761", loaded once per scan:
    // the same few names recur in every user's and the all-users folder.
    int LoadIndirect(const wchar_t* reference, WString& text);
    // 1 while the tree may grow by one more node (a folder when folder is 1).
    int TakeNode(int folder);

    WString folders[3];
    int resolved[3] = {0, 0, 0};
    SRWLOCK namesLock = SRWLOCK_INIT;
    std::map<std::wstring, std::wstring> names;
    volatile LONG nodes = 0;
    volatile LONG folderCount = 0;
};
