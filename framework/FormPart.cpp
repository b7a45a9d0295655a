#include "framework/FormPart.h"

#include "base/ReportHeap.h"

FormPart::FormPart() {
    ZeroMemory(&buffers, sizeof(buffers));
    buffers.dwStructSize = sizeof(buffers);
}

FormPart::~FormPart() {
    ReportHeap::Release(text);
}

int FormPart::SetText(const wchar_t* wide) {
    // UTF-8, which every part names in its header: in the ANSI code page a Greek description typed on a
    // Western system would arrive as question marks.
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return 0;
    char* converted = (char*)ReportHeap::Allocate((size_t)size);
    if (!converted)
        return 0;
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, converted, size, nullptr, nullptr);
    ReportHeap::Release(text);
    text = converted;
    buffers.lpvBuffer = text;
    buffers.dwBufferLength = (DWORD)size - 1;
    return 1;
}

int FormPart::SetFile(const wchar_t* path) {
    // Read/write sharing: the files sent are often still open in the program that writes them.
    if (!file.Open(path, FileObject::READ, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE))
        return 0;
    ULONGLONG size = file.Size();
    // A mapping of an empty file cannot be made (ERROR_FILE_INVALID); the part is simply empty. A body
    // length is a DWORD, so larger files cannot be sent.
    if (size > 0xFFFFFFFFull)
        return 0;
    void* view = size ? file.Map(0, 0, 0, 0, nullptr, 0) : nullptr;
    if (size && !view)
        return 0;
    buffers.lpvBuffer = view;
    buffers.dwBufferLength = (DWORD)size;
    return 1;
}
