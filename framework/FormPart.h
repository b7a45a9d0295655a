#pragma once
// One piece of a multipart/form-data body: a text (in UTF-8) or a file mapped
// read-only, with the INTERNET_BUFFERSW record that links it to the next piece.

#include "base/FileObject.h"

#include <windows.h>
#include <wininet.h>

class FormPart {
public:
    FormPart();
    ~FormPart();
    FormPart(const FormPart&) = delete;
    FormPart& operator=(const FormPart&) = delete;

    int SetText(const wchar_t* text);
    int SetFile(const wchar_t* path);
    DWORD Length() const { return buffers.dwBufferLength; }
    const void* Data() const { return buffers.lpvBuffer; }

    INTERNET_BUFFERSW buffers;
    FormPart* next = nullptr;

private:
    char* text = nullptr;
    FileObject file;
};
