#include "base/FileObject.h"

#include "base/WString.h"

#include <stdlib.h>

namespace {

struct ModeAccess {
    DWORD access;
    DWORD disposition;
};

const ModeAccess modeTable[] = {
    {GENERIC_READ, OPEN_EXISTING},
    {GENERIC_WRITE, CREATE_ALWAYS},
    {GENERIC_WRITE, OPEN_EXISTING},
    {GENERIC_WRITE, OPEN_ALWAYS},
    {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
    {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
};

const DWORD WritePiece = 0x100000;

} // namespace

FileObject::~FileObject() {
    Close();
    free(readBuffer);
}

int FileObject::Open(const wchar_t* path, Mode openMode, DWORD flagsAndAttributes, DWORD shareMode) {
    Close();
    readPos = readCount = 0;
    mode = openMode;
    if (openMode < 0 || openMode > 5 || !path)
        return 0;
    HANDLE file = CreateFileW(path, modeTable[openMode].access, shareMode, nullptr, modeTable[openMode].disposition,
                              flagsAndAttributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    handle.Reset(file);
    return 1;
}

int FileObject::Close() {
    int closed = 0;
    if (view) {
        UnmapViewOfFile(view);
        view = nullptr;
        closed = 1;
    }
    if (mapping.Valid()) {
        mapping.Reset();
        closed = 1;
    }
    if (handle.Valid()) {
        handle.Reset();
        closed = 1;
    }
    return closed;
}

int FileObject::ReadLine(WString& target, LineWidth width, wchar_t quote) {
    if (!readBuffer) {
        readBuffer = (unsigned char*)malloc(ReadBufferSize);
        if (!readBuffer)
            return 0;
    }
    target.Assign(L"");
    if (!handle.Valid())
        return 0;
    const unsigned unit = width == WIDE_LINES ? 2 : 1;
    bool quoted = false;
    for (;;) {
        if (readPos == 0) {
            DWORD read = 0;
            if (!ReadFile(handle.Get(), readBuffer, ReadBufferSize, &read, nullptr))
                return 0;
            // A two-byte read needs whole units; an odd trailing byte is dropped.
            readCount = width == WIDE_LINES ? (read & ~1u) : read;
            if (readCount == 0)
                return target.Length() > 0 ? 1 : 0;
        }
        wchar_t c = width == WIDE_LINES ? (wchar_t)(readBuffer[readPos] | (readBuffer[readPos + 1] << 8))
                                        : (wchar_t)readBuffer[readPos];
        readPos += unit;
        if (readPos >= readCount)
            readPos = 0;
        if (quote && c == quote) {
            quoted = !quoted;
            target.AppendChar(c);
        } else if (c == L'\n') {
            if (!quoted)
                return 1;
            target.AppendChar(c);
        } else if (c == L'\r') {
            if (quoted)
                target.AppendChar(c);
        } else {
            target.AppendChar(c);
        }
    }
}

int FileObject::Write(DWORD count, DWORD* written, const void* data) {
    if (!handle.Valid())
        return 0;
    DWORD done = 0;
    if (WriteFile(handle.Get(), data, count, &done, nullptr)) {
        if (written) {
            *written = done;
            return 1;
        }
        return done == count;
    }
    if (written || GetLastError() != ERROR_NO_SYSTEM_RESOURCES)
        return 0;
    // Large writes to network shares can exhaust kernel resources; smaller pieces go through.
    const unsigned char* p = (const unsigned char*)data;
    DWORD remaining = count;
    while (remaining > 0) {
        DWORD piece = remaining < WritePiece ? remaining : WritePiece;
        DWORD pieceWritten = 0;
        if (!WriteFile(handle.Get(), p, piece, &pieceWritten, nullptr) || pieceWritten != piece)
            return 0;
        p += piece;
        remaining -= pieceWritten;
    }
    return 1;
}

int FileObject::WriteUnicodeBom() {
    static const unsigned char bom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    return Write(2, &written, bom) && written == 2;
}

int FileObject::Flush() {
    return handle.Valid() && FlushFileBuffers(handle.Get());
}

ULONGLONG FileObject::Size() {
    if (!handle.Valid())
        return 0;
    DWORD high = 0;
    DWORD low = GetFileSize(handle.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    return ((ULONGLONG)high << 32) | low;
}

int FileObject::Seek(DWORD moveMethod, LONG distanceLow, LONG distanceHigh) {
    if (!handle.Valid())
        return 0;
    // Buffered bytes no longer belong to the new position.
    readPos = readCount = 0;
    SetLastError(NO_ERROR);
    DWORD result = SetFilePointer(handle.Get(), distanceLow, &distanceHigh, moveMethod);
    return !(result == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

int FileObject::Truncate() {
    return handle.Valid() && SetEndOfFile(handle.Get());
}

void* FileObject::Map(DWORD offsetLow, DWORD offsetHigh, DWORD sizeLow, DWORD sizeHigh, const wchar_t* mappingName,
                      DWORD namedAccess) {
    DWORD protection = mode == READ ? PAGE_READONLY : PAGE_READWRITE;
    DWORD access = mode == READ ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS;
    if (!mapping.Valid()) {
        if (mappingName) {
            mapping.Reset(OpenFileMappingW(namedAccess, FALSE, mappingName));
            access = namedAccess;
        } else if (handle.Valid()) {
            mapping.Reset(
                CreateFileMappingW(handle.Get(), nullptr, protection | SEC_COMMIT, sizeHigh, sizeLow, nullptr));
        }
    } else if (mappingName) {
        access = namedAccess;
    }
    if (view) {
        UnmapViewOfFile(view);
        view = nullptr;
    }
    if (mapping.Valid())
        view = MapViewOfFile(mapping.Get(), access, offsetHigh, offsetLow, sizeLow);
    if (!view) {
        Close();
        return nullptr;
    }
    return view;
}
