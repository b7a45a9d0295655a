#pragma once
// Paths past the classic limit of 259 characters. The file functions take them with the "\\?\" prefix;
// the shell's functions (icons, launching) do not, so for those a long path is shortened to the short
// (8.3) names of its folders where the file system keeps them, or else the file is named by its item ID
// list.

#include "base/WString.h"

#include <windows.h>

#include <shtypes.h>

// The path with the "\\?\" (or "\\?\UNC\") prefix when it is too long to be used as it is, else the
// path unchanged. 0 when a relative path cannot be made absolute.
int ExtendedPath(const wchar_t* path, WString& out);
// A path the shell can take: the path itself when it is short enough, else its short form when that
// is; 0 when there is none.
int ShellPath(const wchar_t* path, WString& out);
// The shell's absolute item ID list of the file or folder at path (with or without the "\\?\" prefix),
// however long the path and whether or not its volume keeps short names. *list is the caller's, freed
// with CoTaskMemFree. 1 on success.
int ShellIdList(const wchar_t* path, PIDLIST_ABSOLUTE* list);
