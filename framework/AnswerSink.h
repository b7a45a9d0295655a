#pragma once
// Where the body of an answer goes as its blocks arrive: a string with one character per byte (the
// caller decodes, and binary answers survive), a file, or a block on the C heap that the caller owns.

#include "base/FileObject.h"
#include "framework/HttpCallback.h"

#include <windows.h>

class WString;

class AnswerSink {
public:
    // One more than 64 KiB, as the answers have always been read.
    static const DWORD BlockSize = 65537;

    // Into `text` until OpenFile or UseMemory names another place.
    explicit AnswerSink(WString& text);
    AnswerSink(const AnswerSink&) = delete;
    AnswerSink& operator=(const AnswerSink&) = delete;

    // Creates the file (any that is there is replaced); 0 when it cannot.
    int OpenFile(const wchar_t* path);
    // Null leaves the answer where it goes.
    void UseMemory(HttpMemorySink* memory);
    int IntoText() const { return !file.IsOpen() && !memory; }
    int Store(const unsigned char* bytes, DWORD count);

private:
    int AppendText(const unsigned char* bytes, DWORD count);

    WString& text;
    FileObject file;
    HttpMemorySink* memory = nullptr;
};
