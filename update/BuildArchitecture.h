#pragma once
// Which of the program's two builds this is: its name in the update request and answer, and the machine
// type of its executable. The compiler's, not the system's: a 32-bit copy on 64-bit Windows is a 32-bit
// program, and stays one until the 64-bit product is installed in its place.

#include <windows.h>

#ifdef _WIN64
constexpr const wchar_t* BuildArchitecture = L"x64";
constexpr WORD BuildMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr const wchar_t* BuildArchitecture = L"x86";
constexpr WORD BuildMachine = IMAGE_FILE_MACHINE_I386;
#endif
