#pragma once
// Where the program keeps its cache, and the environment the programs it starts see.

#include "base/WString.h"

// The cache file: beside the program in portable mode, else in the user's temporary folder.
int CacheFilePath(int portableMode, WString& path);
// A 32-bit process on 64-bit Windows sees the 32-bit program folders in its environment; the programs it
// starts are given the real ones, as Explorer gives them.
void UseNativeProgramFolders();
