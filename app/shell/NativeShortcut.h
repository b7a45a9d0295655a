#pragma once
// A shortcut as a 32-bit Veltrix on 64-bit Windows must take it when it leads into the 64-bit System32 or
// Program Files: the shell in this process would look for its program and its icon in SysWOW64 or in
// Program Files (x86). Both are mapped (sysinfo/NativePath) for the one call that needs each: the program
// is started by its mapped path, the icon read from its mapped file. Elsewhere (a 64-bit build, 32-bit
// Windows), and for shortcuts the mapping leaves as they are, Read finds nothing and the shell takes the
// shortcut itself.

#include "app/shell/ShellRun.h"
#include "base/WString.h"

#include <windows.h>

class NativeShortcut {
public:
    NativeShortcut() = default;
    NativeShortcut(const NativeShortcut&) = delete;
    NativeShortcut& operator=(const NativeShortcut&) = delete;

    // Reads the shortcut (.lnk) at path: 1 when its program or its icon is reached only through the mapping.
    int Read(const wchar_t* path);
    // 1 when Read found a program to start by its mapped path.
    int HasProgram() const { return !program.IsEmpty(); }
    // Starts that program with the shortcut's arguments, working folder, window state and run-as-administrator
    // setting. 1 when the shell reports success.
    int Open() const;
    // The small icon at the mapped icon location, the caller's to destroy; null when there is none.
    HICON SmallIcon() const;
    // The icon at the mapped icon location at size x size pixels, the caller's to destroy; null when there is
    // none.
    HICON IconAt(int size) const;

private:
    WString program;
    WString arguments;
    WString directory;
    int showCommand = SW_SHOWNORMAL;
    ShellElevation runAs = SHELL_AS_USER;
    WString iconFile;
    int iconIndex = 0;
};
