#include "framework/DialogTemplateBuilder.h"

#include <string.h>
#include <wchar.h>

void DialogTemplateBuilder::Free() {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    block = nullptr;
    size = capacity = 0;
    failed = 0;
}

int DialogTemplateBuilder::Write(const void* data, DWORD count) {
    if (failed)
        return 0;
    if (size + count > capacity) {
        DWORD grown = capacity ? capacity * 2 : 512;
        while (grown < size + count)
            grown *= 2;
        // Zero-filled: the alignment padding must read as zeros.
        void* moved = block ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, grown)
                            : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, grown);
        if (!moved) {
            failed = 1;
            return 0;
        }
        block = static_cast<BYTE*>(moved);
        capacity = grown;
    }
    memcpy(block + size, data, count);
    size += count;
    return 1;
}

int DialogTemplateBuilder::WriteText(const wchar_t* text) {
    if (!text)
        text = L"";
    return Write(text, (DWORD)(wcslen(text) + 1) * sizeof(wchar_t));
}

int DialogTemplateBuilder::AlignToDword() {
    static const BYTE zeros[4] = {};
    DWORD padding = (4 - (size & 3)) & 3;
    return padding ? Write(zeros, padding) : 1;
}

int DialogTemplateBuilder::Begin(DWORD style, short x, short y, short width, short height, const wchar_t* title,
                                 WORD pointSize, const wchar_t* face) {
    Free();
    DLGTEMPLATE header = {};
    header.style = face ? style | DS_SETFONT : style & ~(DWORD)DS_SETFONT;
    header.x = x;
    header.y = y;
    header.cx = width;
    header.cy = height;
    // The header is 18 bytes; sizeof would count the structure's padding.
    Write(&header, 18);
    WriteWord(0); // no menu
    WriteWord(0); // the dialog class
    WriteText(title);
    if (face) {
        WriteWord(pointSize);
        WriteText(face);
    }
    return IsComplete();
}

int DialogTemplateBuilder::AddItem(DWORD style, short x, short y, short width, short height, WORD id, WORD classId,
                                   const wchar_t* text) {
    if (!IsComplete())
        return 0;
    // Every item starts on a 4-byte boundary from the template's start.
    AlignToDword();
    DLGITEMTEMPLATE item = {};
    item.style = style | WS_CHILD;
    item.x = x;
    item.y = y;
    item.cx = width;
    item.cy = height;
    item.id = id;
    Write(&item, 18);
    WriteWord(0xFFFF);
    WriteWord(classId);
    WriteText(text);
    WriteWord(0); // no creation data
    if (!IsComplete())
        return 0;
    // The item count sits at offset 8 of the header.
    WORD count;
    memcpy(&count, block + 8, sizeof(count));
    count++;
    memcpy(block + 8, &count, sizeof(count));
    return 1;
}
