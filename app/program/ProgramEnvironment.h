#pragma once
// Where the program keeps its cache.

#include "base/WString.h"

// The cache file: beside the program in portable mode, else in the user's temporary folder.
int CacheFilePath(int portableMode, WString& path);
