#pragma once
// Starting programs and opening documents, folders and web addresses through the shell, exactly as
// Explorer would. The shell shows its own messages for failures.

#include <windows.h>

#include <shtypes.h>

enum ShellElevation { SHELL_AS_USER = 0, SHELL_ELEVATED = 1 };

// SHELL_ELEVATED uses the verb "runas" whatever verb is given. 1 when the shell reports success, which is
// only once the launch is done: the process may end right after.
int ShellRun(const wchar_t* file, const wchar_t* parameters, const wchar_t* directory, int showCommand,
             ShellElevation elevation, const wchar_t* verb);
// The same for an item named by its absolute item ID list (see ShellIdList), where no path can name it.
int ShellRunItem(PCIDLIST_ABSOLUTE item, const wchar_t* parameters, int showCommand, const wchar_t* verb);
int ShellOpen(const wchar_t* text);
int OpenUrl(const wchar_t* address);
