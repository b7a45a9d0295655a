#pragma once
// The shell's word that something changed in its Applications folder (an app installed or updated), posted
// to a window as a message, for a resident instance to read the apps again. Windows reports an app's
// removal there only sometimes: the reads at each menu cover it.

#include <windows.h>

class AppsFolderChanges {
public:
    AppsFolderChanges() = default;
    ~AppsFolderChanges() { Stop(); }
    AppsFolderChanges(const AppsFolderChanges&) = delete;
    AppsFolderChanges& operator=(const AppsFolderChanges&) = delete;

    // 0 where there is no such folder (Windows 7, Wine).
    int Start(HWND window, UINT message);
    void Stop();

private:
    ULONG registration = 0;
};
