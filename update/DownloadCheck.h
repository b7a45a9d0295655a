#pragma once
// What an update's files must be before anything of the program folder is replaced: the size and SHA-256
// the answer gave (signed, in a build with the publisher's key), names an update may write, this
// program's machine type, and for the program's own file the version the answer announced.

#include "base/WString.h"
#include "update/SwapJournal.h"
#include "update/UpdateAnswer.h"

#include <windows.h>

#include <vector>

class DownloadCheck {
public:
    // `programFolder` with a trailing backslash; `keyConfigured`: the build has the publisher's key, and
    // takes only a signed answer's files.
    DownloadCheck(const WString& programFolder, int keyConfigured)
        : programFolder(programFolder), keyConfigured(keyConfigured) {}

    // Every download, in the order of the answer's files.
    int Downloads(const UpdateAnswer& answer, const std::vector<WString>& downloads) const;
    // The "_new" files staged for the journal's targets: the program's own, when an archive carried it.
    int Staged(const UpdateAnswer& answer, const SwapJournal& journal) const;
    // 1 when the path is the running program's own file in the program folder.
    int IsOwnPath(const wchar_t* path) const;

private:
    // 1 when the entry replaces the running program's own file.
    int IsOwnFile(const UpdateFile& file) const;
    // 1 when the program file at the path carries the answer's version.
    static int HasVersion(const wchar_t* path, const UpdateAnswer& answer);
    // 1 when a file of that machine type (0: no program) may go into the program folder, as the program
    // itself or as another file.
    static int IsOwnMachine(WORD machine, int isProgram);

    const WString& programFolder;
    int keyConfigured;
};
