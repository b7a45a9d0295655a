#pragma once
// Unpacks a downloaded update archive (zip) into a folder: every entry, folders recreated, existing files
// replaced, nothing shown or printed. 1 on success; 0 on any failure, warning or doubtful entry.

#include <windows.h>

#include <string>
#include <vector>

// Both paths are wide, so folders whose names the ANSI code page cannot hold work too; neither is
// limited to MAX_PATH. The archive is checked as a whole before anything is written: an entry name that
// would leave the target folder (see IsContainedName), two entries Windows would take for one file or
// folder, an encrypted entry, an unsupported compression method, or more entries or bytes than an
// update has means nothing is extracted.
// With a stage mark, every file stays under its name with the mark put before its extension
// (UpdateNames::MarkedPath: "Veltrix.exe" as "Veltrix_new.exe") and replaces nothing; the folders it made
// are listed (relative, parents first) in `madeFolders` when one is given.
int ExtractArchive(const wchar_t* archivePath, const wchar_t* targetFolder, const wchar_t* stageMark = nullptr,
                   std::vector<std::wstring>* madeFolders = nullptr);

// The relative names (with backslashes) of the entries ExtractArchive would write, folder entries ending
// in a backslash, under the same checks: 0, and no names, for an archive it would refuse. Lets a caller
// judge the names and move aside what the archive is about to replace.
int ListArchive(const wchar_t* archivePath, std::vector<std::wstring>& files);

// The first bytes (at most `limit`) of the file the archive would write under the relative name `name`
// (either separator, any case), under the same checks: lets a caller look at a file before anything is
// unpacked. 0, and no bytes, for no such file or an archive ExtractArchive would refuse.
int ReadArchiveStart(const wchar_t* archivePath, const wchar_t* name, size_t limit, std::vector<BYTE>& bytes);
