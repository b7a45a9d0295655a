#include "framework/AnswerSink.h"

#include "base/WString.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

AnswerSink::AnswerSink(WString& target) : text(target) {}

int AnswerSink::OpenFile(const wchar_t* path) {
    return file.Open(path, FileObject::WRITE_CREATE, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                     FILE_SHARE_READ | FILE_SHARE_WRITE);
}

void AnswerSink::UseMemory(HttpMemorySink* sink) {
    memory = sink;
}

int AnswerSink::Store(const unsigned char* bytes, DWORD count) {
    if (file.IsOpen())
        return file.Write(count, nullptr, bytes);
    if (!memory)
        return AppendText(bytes, count);
    // The size is 64-bit; a 32-bit process can still only hold what fits in size_t.
    unsigned long long size = memory->size + count;
    unsigned char* grown = size <= SIZE_MAX ? (unsigned char*)realloc(memory->data, (size_t)size) : nullptr;
    if (!grown)
        return 0;
    memcpy(grown + memory->size, bytes, count);
    memory->data = grown;
    memory->size = size;
    return 1;
}

// Each byte becomes the character of the same value (no code page). Written straight into the buffer,
// which grows by half again, so long answers are not copied over and over; zero bytes are kept (the
// string's count includes them).
int AnswerSink::AppendText(const unsigned char* bytes, DWORD count) {
    unsigned used = text.Used() ? text.Used() : 1;
    unsigned need = used + count + 1;
    if (need < used)
        return 0;
    if (text.Capacity() < need) {
        unsigned grown = need + need / 2;
        if (grown < need || !text.Reserve(grown))
            return 0;
    }
    wchar_t* end = text.Buffer() + used - 1;
    for (DWORD i = 0; i < count; i++)
        end[i] = bytes[i];
    return text.SetUsed(used + count);
}
