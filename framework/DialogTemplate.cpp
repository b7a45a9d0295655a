#include "framework/DialogTemplate.h"

#include "base/FontEnumeration.h"
#include "base/ScopedDc.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

namespace {

const WORD ExtendedSignature = 0xFFFF;
const DWORD ExtendedHeaderSize = 26;
const DWORD ExtendedStyleOffset = 12;
const DWORD ClassicHeaderSize = 18;

// Template fields need not be aligned for the reader; copying avoids misaligned access.
WORD ReadWord(const BYTE* bytes, DWORD offset) {
    WORD value;
    memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

DWORD ReadDword(const BYTE* bytes, DWORD offset) {
    DWORD value;
    memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

DWORD AlignDword(DWORD offset) {
    return (offset + 3) & ~(DWORD)3;
}

// Steps over a NUL-terminated UTF-16 string; 0 when it runs past the end.
int SkipString(const BYTE* bytes, DWORD size, DWORD* offset) {
    for (DWORD at = *offset; at + 2 <= size; at += 2) {
        if (ReadWord(bytes, at) == 0) {
            *offset = at + 2;
            return 1;
        }
    }
    return 0;
}

// The menu, class and title fields: 0xFFFF and a 16-bit ordinal, or a string.
int SkipNameOrOrdinal(const BYTE* bytes, DWORD size, DWORD* offset) {
    if (*offset + 2 > size)
        return 0;
    if (ReadWord(bytes, *offset) == 0xFFFF) {
        *offset += 4;
        return *offset <= size;
    }
    return SkipString(bytes, size, offset);
}

// The template's face name; 0 when it does not fit a LOGFONT face (no face the rewrite replaces is that long).
int CopyFace(const BYTE* bytes, const DialogTemplate::FontFields& fields, wchar_t (&face)[LF_FACESIZE]) {
    DWORD length = (fields.faceEnd - fields.face) / 2 - 1;
    if (length >= LF_FACESIZE)
        return 0;
    memcpy(face, bytes + fields.face, length * sizeof(wchar_t));
    face[length] = 0;
    return 1;
}

} // namespace

void DialogTemplate::Free() {
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
    block = nullptr;
    size = 0;
}

int DialogTemplate::FindFont(const void* bytes, DWORD size, FontFields* fields) {
    const BYTE* data = static_cast<const BYTE*>(bytes);
    if (!data || size < ClassicHeaderSize)
        return 0;
    const bool extended = ReadWord(data, 2) == ExtendedSignature;
    if (extended && size < ExtendedHeaderSize)
        return 0;
    const DWORD style = ReadDword(data, extended ? ExtendedStyleOffset : 0);
    if (!(style & DS_SETFONT))
        return 0;
    DWORD offset = extended ? ExtendedHeaderSize : ClassicHeaderSize;
    for (int field = 0; field < 3; field++) {
        if (!SkipNameOrOrdinal(data, size, &offset))
            return 0;
    }
    const DWORD pointSize = offset;
    // After the point size an extended template has the weight (16 bits), the italic flag and the
    // character set (8 bits each).
    offset += extended ? 6 : 2;
    const DWORD face = offset;
    if (offset > size || !SkipString(data, size, &offset))
        return 0;
    if (fields) {
        fields->pointSize = pointSize;
        fields->face = face;
        fields->faceEnd = offset;
    }
    return 1;
}

int DialogTemplate::IsOldDialogFace(const wchar_t* face) {
    return face && (!wcscmp(face, L"MS Sans Serif") || !wcscmp(face, L"MS Shell Dlg") || !wcscmp(face, L"System"));
}

int DialogTemplate::MessageFont(LOGFONTW* font) {
    NONCLIENTMETRICSW metrics = {};
    // The structure without iPaddedBorderWidth: systems before Vista reject the larger size, and every
    // system accepts this one.
    static_assert(offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth) == 500, "NONCLIENTMETRICSW layout");
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
        return 0;
    *font = metrics.lfMessageFont;
    return 1;
}

int DialogTemplate::ScreenPixelsPerInch() {
    ScopedDc screen;
    return screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
}

int DialogTemplate::IsFontInstalled(const wchar_t* face) {
    return EnumerateFonts(nullptr, nullptr, face, DEFAULT_CHARSET, nullptr) == 1;
}

int DialogTemplate::PickFont(const LOGFONTW& messageFont, int pixelsPerInch, int segoeRule, FontInstalled installed,
                             Font* chosen) {
    wchar_t messageFace[LF_FACESIZE];
    lstrcpynW(messageFace, messageFont.lfFaceName, LF_FACESIZE);
    const bool segoe = !wcscmp(messageFace, L"Segoe UI");
    if (!segoe && wcscmp(messageFace, L"MS Sans Serif") && wcscmp(messageFace, L"Tahoma"))
        return 0;
    const wchar_t* face = nullptr;
    int points = 8;
    if (segoeRule && segoe && installed(L"MS Shell Dlg 2")) {
        // Dialogs laid out for 8-point text overflow their controls in Segoe UI 9 pt.
        face = L"MS Shell Dlg 2";
    } else if (installed(messageFace)) {
        face = messageFace;
        // A positive height is the cell height rather than the character height: close enough, and
        // the negated value would make no size at all.
        int height = messageFont.lfHeight < 0 ? -messageFont.lfHeight : messageFont.lfHeight;
        points = pixelsPerInch > 0 ? MulDiv(height, 72, pixelsPerInch) : 0;
        if (points <= 0 || points > 0x7FFF)
            points = 8;
    } else {
        face = installed(L"MS Shell Dlg 2") ? L"MS Shell Dlg 2" : L"MS Shell Dlg";
    }
    lstrcpynW(chosen->face, face, LF_FACESIZE);
    chosen->pointSize = (WORD)points;
    return 1;
}

int DialogTemplate::Rewrite(const void* bytes, DWORD byteCount, int segoeRule) {
    Free();
    FontFields fields;
    wchar_t face[LF_FACESIZE];
    if (!FindFont(bytes, byteCount, &fields) || !CopyFace(static_cast<const BYTE*>(bytes), fields, face) ||
        !IsOldDialogFace(face))
        return 0;
    LOGFONTW messageFont;
    Font font;
    if (!MessageFont(&messageFont) || !PickFont(messageFont, ScreenPixelsPerInch(), segoeRule, IsFontInstalled, &font))
        return 0;
    return Replace(bytes, byteCount, font);
}

int DialogTemplate::Replace(const void* bytes, DWORD byteCount, const Font& font) {
    Free();
    FontFields fields;
    if (!FindFont(bytes, byteCount, &fields))
        return 0;
    const BYTE* source = static_cast<const BYTE*>(bytes);
    const DWORD newLength = (DWORD)wcsnlen(font.face, LF_FACESIZE);
    const DWORD oldFaceBytes = fields.faceEnd - fields.face;
    const DWORD newFaceBytes = (newLength + 1) * sizeof(wchar_t);
    // The face name changes length; the 4 extra bytes cover the alignment padding after it.
    const DWORD newSize = byteCount - oldFaceBytes + newFaceBytes + 4;
    BYTE* target = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, newSize));
    if (!target)
        return 0;
    memcpy(target, source, fields.face);
    memcpy(target + fields.face, font.face, newLength * sizeof(wchar_t));
    // The item templates start on 4-byte boundaries from the template start, and the dialog manager
    // reads them there: the rest moves from the boundary after the old name to the one after the new.
    const DWORD oldRest = AlignDword(fields.faceEnd);
    const DWORD newRest = AlignDword(fields.face + newFaceBytes);
    if (oldRest < byteCount)
        memcpy(target + newRest, source + oldRest, byteCount - oldRest);
    memcpy(target + fields.pointSize, &font.pointSize, sizeof(font.pointSize));
    block = target;
    size = newSize;
    return 1;
}
