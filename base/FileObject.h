#pragma once
// An open file in one of six fixed modes, with a buffered line reader, block writes that survive
// exhausted system resources, seeking and mapped views. Closed by the destructor.

#include "base/KernelHandle.h"

#include <windows.h>

class WString;

class FileObject {
public:
    enum Mode {
        READ = 0,
        WRITE_CREATE = 1,
        WRITE_EXISTING = 2,
        WRITE_ALWAYS = 3,
        READ_WRITE_ALWAYS = 4,
        READ_WRITE_EXISTING = 5
    };
    static const unsigned ReadBufferSize = 4096;

    FileObject() = default;
    ~FileObject();
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int Open(const wchar_t* path, Mode mode, DWORD flagsAndAttributes, DWORD shareMode);
    int Close();
    int IsOpen() const { return handle.Valid(); }
    // How ReadLine reads the file's bytes: one byte a character, or UTF-16 (two bytes a character).
    enum LineWidth : int { NARROW_LINES = 0, WIDE_LINES = 1 };
    int ReadLine(WString& target, LineWidth width, wchar_t quote);
    int Write(DWORD count, DWORD* written, const void* data);
    int WriteUnicodeBom();
    int Flush();
    ULONGLONG Size();
    int Seek(DWORD moveMethod, LONG distanceLow, LONG distanceHigh);
    int Truncate();
    void* Map(DWORD offsetLow, DWORD offsetHigh, DWORD sizeLow, DWORD sizeHigh, const wchar_t* mappingName,
              DWORD namedAccess);
    HANDLE Handle() const { return handle.Get(); }

private:
    KernelHandle handle;
    KernelHandle mapping;
    void* view = nullptr;
    int mode = 0;
    unsigned char* readBuffer = nullptr;
    unsigned readPos = 0;
    unsigned readCount = 0;
};
