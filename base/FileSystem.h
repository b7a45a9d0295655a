#pragma once
// Folder locations (shell folders by CSIDL plus the program's own pseudo-folders) and small
// whole-file operations. Path buffers hold at least MAX_PATH characters.

#include <windows.h>

enum FolderId : int {
    FOLDER_PROFILES = 0x10000,
    FOLDER_USER_PROFILE = 0x10001,
    FOLDER_DEFAULT_USER_PROFILE = 0x10002,
    FOLDER_SYSTEM_TEMP = 0x10003,
    FOLDER_WINDOWS = 0x10004,
    FOLDER_TEMP = 0x10005,
    FOLDER_SYSTEM = 0x10006,
    FOLDER_CURRENT = 0x10007,
};

// Called for each entry FindFiles enumerates; returning 0 stops the enumeration.
typedef int (*FindFilesCallback)(const WIN32_FIND_DATAW& found, void* context);

int GetFolderPath(int folderId, wchar_t* buffer);
int FileExists(const wchar_t* path);
void AddBackslash(wchar_t* path);
int DeleteFileForce(const wchar_t* path);
int FindFiles(const wchar_t* pattern, FindFilesCallback callback, void* context);
