#pragma once
// Checks on names that come from outside (archive entries, names in an update answer) before they are
// joined to a folder: a name that passes can only ever point at a file or folder below that folder.

// 1 when `name` is a relative path, with "\" or "/" between its parts, that stays inside the folder it is
// joined to and names the same file on every Windows file system. A trailing separator (a folder
// entry of an archive, "sub/") is accepted only with `allowFolder`.
int IsContainedName(const wchar_t* name, int allowFolder);
int IsContainedName(const wchar_t* name);

// 1 when `name` is a contained name without any separator: one file directly in the folder.
int IsPlainFileName(const wchar_t* name);
