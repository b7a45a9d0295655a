#pragma once
// A dialog template rewritten in memory so that a dialog designed in the old "MS Sans Serif" face
// appears in the system's message font. The object owns the rewritten copy.

#include <windows.h>

class DialogTemplate {
public:
    // A face and point size for a template.
    struct Font {
        wchar_t face[LF_FACESIZE];
        WORD pointSize;
    };

    // Byte offsets of a template's font fields, from the template start.
    struct FontFields {
        DWORD pointSize;
        DWORD face;
        DWORD faceEnd; // just after the face name's NUL
    };

    typedef int (*FontInstalled)(const wchar_t* face);

    DialogTemplate() = default;
    ~DialogTemplate() { Free(); }
    DialogTemplate(const DialogTemplate&) = delete;
    DialogTemplate& operator=(const DialogTemplate&) = delete;

    // Rewrites a template in "MS Sans Serif", "MS Shell Dlg" or "System" for the system's message font;
    // segoeRule prefers "MS Shell Dlg 2" 8 pt on Segoe UI systems. 1 when this object now holds the new
    // template; 0 when the original is to be used as it is.
    int Rewrite(const void* bytes, DWORD size, int segoeRule);
    // Gives a template with a font (any face) the given face and point size.
    int Replace(const void* bytes, DWORD size, const Font& font);
    void Free();

    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(block); }
    DWORD Size() const { return size; }

    // 0 when the template has no font (no DS_SETFONT) or is cut short.
    static int FindFont(const void* bytes, DWORD size, FontFields* fields);
    // The faces a rewrite replaces.
    static int IsOldDialogFace(const wchar_t* face);
    // The face and size for the given message font at the screen's pixels per inch; 0 when the message
    // face is not one the rewrite moves to.
    static int PickFont(const LOGFONTW& messageFont, int pixelsPerInch, int segoeRule, FontInstalled installed,
                        Font* chosen);
    // The system's message font; 0 when it cannot be read.
    static int MessageFont(LOGFONTW* font);
    static int ScreenPixelsPerInch();
    static int IsFontInstalled(const wchar_t* face);

private:
    BYTE* block = nullptr;
    DWORD size = 0;
};
