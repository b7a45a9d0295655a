#pragma once
// The 64-bit system's own files as a 32-bit program on 64-bit Windows names them. Such a process sees
// SysWOW64 where it names System32, and its environment gives it the 32-bit program folders. Where it
// must reach the 64-bit files (a program it starts, the icon it shows for one) the path itself is mapped
// for the one file-system call that needs it: System32 to the Sysnative alias, %ProgramFiles% and
// %CommonProgramFiles% to the 64-bit folders. File-system redirection is never turned off: every library
// loaded meanwhile (the shell's handlers among them) would be looked for among the 64-bit ones and fail.
// A 64-bit build, and a 32-bit one on 32-bit Windows, map nothing.

#include "base/WString.h"

// 1 in a 32-bit program under WOW64, the one kind of process whose paths are mapped.
int MapsNativePaths();
// The path with its System32 folder named through Sysnative; unchanged where nothing is mapped. Only for
// this process's own file-system calls and the programs it starts: a 64-bit process has no Sysnative.
int NativePath(const wchar_t* path, WString& out);
// Environment strings expanded as a 64-bit program expands them: ProgramFiles and CommonProgramFiles
// name the 64-bit folders. 0 when the text cannot be expanded.
int ExpandNative(const wchar_t* text, WString& out);
// The 64-bit Program Files folder, or its Common Files with common 1: ProgramW6432 (CommonProgramW6432),
// else the registry's 64-bit view, which Vista has before those variables.
int NativeProgramFolder(int common, WString& out);
// A program of the system folder by file name ("control.exe"), as the 64-bit system has it.
int NativeSystemProgram(const wchar_t* fileName, WString& out);
