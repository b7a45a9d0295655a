#pragma once
// The names an update may give its files, and the names it derives from them.

#include "base/WString.h"

class UpdateNames {
public:
    // 1 for a name an update may write: contained, and none the program or Windows loads or reads
    // beside the program (libraries and what redirects their loading, settings, the cache, crash files).
    static int IsUpdatable(const wchar_t* name);
    // Both separators, any case: the form two names of one file are compared in.
    static void Normalized(const wchar_t* name, WString& out);
    // The path with "_new" (or another mark) put before its extension: Veltrix.exe -> Veltrix_new.exe.
    static void MarkedPath(const wchar_t* path, const wchar_t* mark, WString& out);
    // The file name an installer URL is saved under on the desktop.
    static void InstallerName(const wchar_t* url, WString& name);
    // 1 for a plain http:// or https:// address (see Url): the only kind the Help button opens.
    static int IsWebAddress(const wchar_t* url);
};
