#include "crash/ReportFile.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int ReportFile::Create(const wchar_t* path) {
    Close();
    if (!path || !*path)
        return 0;
    file.Reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen();
}

void ReportFile::Print(const char* format, ...) {
    char line[2048];
    va_list arguments;
    va_start(arguments, format);
    // The runtime's own formatter: it allocates nothing for these conversions. A line that does not fit
    // is kept cut rather than lost.
    int length = _vsnprintf(line, sizeof(line) - 1, format, arguments);
    va_end(arguments);
    if (length < 0 || length > (int)sizeof(line) - 1)
        length = (int)sizeof(line) - 1;
    Write(line, (unsigned)length);
}

void ReportFile::Write(const char* text, unsigned length) {
    while (length) {
        if (filled == sizeof(buffer))
            Flush();
        unsigned part = sizeof(buffer) - filled;
        if (part > length)
            part = length;
        memcpy(buffer + filled, text, part);
        filled += part;
        text += part;
        length -= part;
    }
}

void ReportFile::Flush() {
    if (IsOpen() && filled) {
        DWORD written = 0;
        WriteFile(file.Get(), buffer, filled, &written, nullptr);
    }
    filled = 0;
}

void ReportFile::Close() {
    if (!IsOpen())
        return;
    Flush();
    file.Reset();
}
