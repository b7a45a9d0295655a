#pragma once
// The record of an update's file swap, kept in the program folder ("Update.journal") from before the
// first download until the new version has shown that it starts. Every change is written through to the
// disk and replaces the whole record at once, so that after a crash, a power cut or a logoff the next
// start finds exactly the step the swap had reached and can finish it or undo it.

#include "base/WString.h"

#include <windows.h>

#include <vector>

class SwapJournal {
public:
    static constexpr const wchar_t* FileName = L"Update.journal";
    // More is no journal this program wrote.
    static const unsigned MaxBytes = 64 * 1024;
    static const unsigned MaxTargets = 4096;

    enum State {
        // Downloading and unpacking to "_new" names, then copying each existing target to its "_old"
        // name: the program folder is untouched, and the attempt is thrown away.
        STAGE = 0,
        // Putting the "_new" files in place: every one is complete and verified, and it is finished.
        MOVE = 1,
        // All in place; the new version has not yet shown that it starts (see starts).
        DONE = 2,
        // Putting the "_old" files back and taking away what the update added.
        UNDO = 3,
        // The new version started: only the "_old" copies are left to delete.
        CONFIRMED = 4,
    };

    // A file of the program folder the update writes: relative name, and whether there was one before
    // (which then has an "_old" copy).
    struct Target {
        WString name;
        int existed = 0;
    };

    State state = STAGE;
    WString version;
    // Starts of the new version that did not confirm it.
    unsigned starts = 0;
    // The process that downloads and installs the update (0: none): while it runs, its swap is its own, and
    // a start of another instance leaves it alone.
    DWORD owner = 0;
    // How often a start handed the swap to a copy of the previous program; bounds a file that stays locked.
    unsigned handovers = 0;
    std::vector<Target> targets;
    // Downloads in the program folder (relative names), kept under their "_new" names while the attempt
    // runs: archives, which are unpacked and removed.
    std::vector<WString> downloads;
    // Folders the update made (relative), removed again by an undo when they are empty.
    std::vector<WString> folders;
    // An installer's download on the desktop, under a name of the updater's own (see IsInstallerDownload).
    WString installerDownload;

    // 1 when `folder` (with a trailing backslash) holds a journal that reads whole; every name in it must be
    // one an update may write, so a damaged or planted journal cannot reach outside the program folder.
    int Load(const wchar_t* folder);
    // Written through: to a temporary file, flushed, then moved over the journal.
    int Save(const wchar_t* folder) const;
    static int Remove(const wchar_t* folder);
    static int Exists(const wchar_t* folder);
    // 1 for the name the updater gives an installer while it downloads ("~veltrix-download-*.tmp").
    static int IsInstallerDownload(const wchar_t* path);

private:
    static void PathOf(const wchar_t* folder, WString& path);
    int ReadLine(const wchar_t* line);
};
