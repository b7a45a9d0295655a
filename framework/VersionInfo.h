#pragma once
// The program's file and folder, and its version resource: the FileVersion text and the
// "Name [major.minor]" title of the main window and the About dialog.

#include "base/WString.h"

#include <windows.h>

class VersionInfo {
public:
    VersionInfo() { title[0] = 0; }

    // Full file name of the module (null: the process's program).
    static int ModulePath(HMODULE module, WString& path);
    // The module's folder with its trailing backslash; empty when the path has no backslash.
    static int ModuleDirectory(HMODULE module, WString& directory);
    // Reads FileVersion (German block first, then English) and parses "major.minor"; fields that do not
    // parse keep the caller's values.
    static int FileVersionText(const wchar_t* file, unsigned* major, unsigned* minor, WString* text);
    // major * 256 + minor (each 1 when unreadable), and the FileVersion text.
    static unsigned short VersionNumber(HMODULE module, WString* text);
    // "%s [%u.%02u]" with the name and the module's version, in the buffer (MAX_PATH) or an internal one.
    const wchar_t* VersionTitle(const wchar_t* name, HMODULE module, wchar_t* buffer);
    // Any string of the version resource's string table.
    static int VersionString(WString& target, const wchar_t* valueName, const wchar_t* file);

private:
    wchar_t title[MAX_PATH];
};
