#pragma once
// A crash report file written as narrow text through a buffer of its own: nothing here allocates, so a
// report can still be written when the heap is what broke.

#include "base/KernelHandle.h"

#include <windows.h>

class ReportFile {
public:
    ReportFile() = default;
    ~ReportFile() { Close(); }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Write access, shared for reading and writing, always a new file. 1 when the file is open.
    int Create(const wchar_t* path);
    int IsOpen() const { return file.Valid(); }
    HANDLE Handle() const { return file.Get(); }
    // printf-style text as the system's C runtime formats it (%I64X for 64-bit values).
    void Print(const char* format, ...) __attribute__((format(ms_printf, 2, 3)));
    void Write(const char* text, unsigned length);
    void Flush();
    void Close();

private:
    KernelHandle file;
    unsigned filled = 0;
    char buffer[4096];
};
