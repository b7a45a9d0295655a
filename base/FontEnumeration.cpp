#include "base/FontEnumeration.h"

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
    HDC screen = dc ? nullptr : GetDC(nullptr);
    Enumeration enumeration = {callback, userData, 0};
    EnumFontFamiliesExW(dc ? dc : screen, &font, (FONTENUMPROCW)OnFamily, (LPARAM)&enumeration, 0);
    if (screen)
        ReleaseDC(nullptr, screen);
    return enumeration.result;
}
