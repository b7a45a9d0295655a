#pragma once
// Paths past the classic limit of 259 characters. The file functions take them with the "\\?\" prefix;
// the shell's functions (icons, launching) do not, so for those a long path is shortened to the short
// (8.3) names of its folders where the file system keeps them.

#include "base/WString.h"

// The path with the "\\?\" (or "\\?\UNC\") prefix when it is too long to be used as it is, else the
// path unchanged. 0 when a relative path cannot be made absolute.
int ExtendedPath(const wchar_t* path, WString& out);
// A path the shell can take: the path itself when it is short enough, else its short form when that
// is; 0 when there is none.
int ShellPath(const wchar_t* path, WString& out);
