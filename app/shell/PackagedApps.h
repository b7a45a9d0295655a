#pragma once
// The packaged apps of the shell's Applications folder (shell:AppsFolder, Windows 8 and later). The folder
// also lists desktop programs, by their Start Menu shortcuts, which the scan of the Programs folders has
// already: only packaged apps are taken.

#include "app/shell/PackagedApp.h"

#include <vector>

class PackagedApps {
public:
    // Past this many the rest are left out: no user has them, and the menu stays within its limits.
    static const size_t MaxApps = 2000;

    // Reads the folder on the calling thread, which has COM started. 0, and no apps, where there is no
    // such folder (Windows 7, Wine) or it cannot be read; it may take long on a busy system, so it never
    // runs on the user-interface thread.
    static int Read(std::vector<PackagedApp>& apps);
    // The shell's parsing path of an app's item in the Applications folder: this prefix and its ID.
    static constexpr const wchar_t* ItemPrefix = L"shell:AppsFolder\\";
    // 1 for such a path (a file's path never starts so).
    static int IsItemPath(const wchar_t* path);
    // An app's stamp from its package's full name (FNV-1a of its UTF-16 units).
    static unsigned StampOf(const wchar_t* fullName);
};
