#pragma once
// A file, folder, program or web address (or an item named by its item ID list) handed to the shell with a
// verb, as Explorer hands it: the one place the program calls ShellExecuteExW.

#include <windows.h>

#include <shellapi.h>
#include <shtypes.h>

struct ShellRequest {
    // Bits of flags.
    enum : ULONG {
        // The call returns once the launch is done, for a thread that ends or has no message loop right after.
        WAIT_FOR_LAUNCH = SEE_MASK_NOASYNC,
        // No message box of the shell's for a failure.
        NO_ERROR_UI = SEE_MASK_FLAG_NO_UI,
    };

    const wchar_t* verb = nullptr;
    const wchar_t* file = nullptr;
    const wchar_t* parameters = nullptr;
    const wchar_t* directory = nullptr;
    // Instead of a file: the item's own context menu carries out the verb.
    PCIDLIST_ABSOLUTE item = nullptr;
    int show = SW_SHOWNORMAL;
    ULONG flags = 0;

    // COM must be initialised on the calling thread. 1 when the shell reports success.
    int Send() const;
};
