#pragma once
// Where the program keeps its cache and its memory of what the user starts.

#include "base/WString.h"

// The cache file: beside the program in portable mode, else in the user's temporary folder.
int CacheFilePath(int portableMode, WString& path);
// The memory of use: beside the program in portable mode, else in the user's local application data
// (made when missing), where a disk cleaner leaves it.
int UsageFilePath(int portableMode, WString& path);
