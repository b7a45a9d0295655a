#include "base/FontEnumeration.h"

#include "base/ScopedDc.h"

#include <wchar.h>

namespace {

struct Enumeration {
    FontCallback callback;
    void* userData;
    int result;
};

int CALLBACK OnFamily(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM parameter) {
    Enumeration* enumeration = reinterpret_cast<Enumeration*>(parameter);
    if (!enumeration->callback) {
        // Only asked whether the family exists: the first one found answers.
        enumeration->result = 1;
        return 0;
    }
    enumeration->result = enumeration->callback(font, metrics, fontType, enumeration->userData);
    return enumeration->result;
}

} // namespace

int EnumerateFonts(FontCallback callback, void* userData, const wchar_t* faceName, BYTE charSet, HDC dc) {
    LOGFONTW font = {};
    font.lfCharSet = charSet;
    font.lfPitchAndFamily = 0;
    if (faceName)
        lstrcpynW(font.lfFaceName, faceName, LF_FACESIZE);
    Enumeration enumeration = {callback, userData, 0};
    if (dc) {
        EnumFontFamiliesExW(dc, &font, (FONTENUMPROCW)OnFamily, (LPARAM)&enumeration, 0);
    } else {
        ScopedDc screen;
        EnumFontFamiliesExW(screen, &font, (FONTENUMPROCW)OnFamily, (LPARAM)&enumeration, 0);
    }
    return enumeration.result;
}
