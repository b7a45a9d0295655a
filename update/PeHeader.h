#pragma once
// The machine type an executable was built for, read from its PE headers: what an update may put in
// place of the running program must be for the same machine, whatever else it claims.

#include <windows.h>

#include <stddef.h>

class PeHeader {
public:
    // The headers are looked for in this many bytes at the file's start; the program's own lie in the first
    // few hundred.
    static const DWORD HeaderBytes = 4096;

    // The machine field (IMAGE_FILE_MACHINE_I386, IMAGE_FILE_MACHINE_AMD64, ...) of the PE file at the path;
    // 0 for a file that cannot be read or is no PE file.
    static WORD ReadMachine(const wchar_t* path);
    // The same for the first bytes of a file held in memory.
    static WORD MachineOf(const BYTE* bytes, size_t size);
};
