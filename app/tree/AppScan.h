#pragma once
// Reads the packaged apps, and the AppUserModelIDs that the Start Menu's shortcuts carry, on a thread of
// its own, so that a slow or failing Applications folder delays no menu: a menu takes what the last read
// found, and what a read finds later comes with the next menu. A read whose shell calls never return is
// left to end by itself.

#include "app/shell/PackagedApp.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

class AppScan {
public:
    // Shortcuts past this many are not looked into: a loop of links or a runaway folder costs no more.
    static const int MaxShortcuts = 10000;

    AppScan() = default;
    ~AppScan();
    AppScan(const AppScan&) = delete;
    AppScan& operator=(const AppScan&) = delete;

    // Starts a read of the apps and of the shortcuts below the source folders of rootFlags, unless one runs.
    int Start(unsigned rootFlags);
    // 1 when a read has ended since the last Take (within waitMs): what it found replaces apps and ids.
    int Take(DWORD waitMs, std::vector<PackagedApp>& apps, std::set<std::wstring>& shortcutIds);

    // The AppUserModelIDs the shortcuts below folder carry, read from their property stores.
    static void ReadShortcutIds(const wchar_t* folder, std::set<std::wstring>& ids, int& budget);

private:
    struct Shared;
    static DWORD WINAPI ThreadProc(void* state);
    static void Release(Shared* state);

    Shared* shared = nullptr;
};
