#pragma once
// Writes a classic dialog template in memory, for dialogs that must not depend on the program's
// resources (the problem-report dialog after a crash). The object owns the bytes.

#include <windows.h>

// Predefined control classes of an item template
enum : WORD { DIALOG_CLASS_BUTTON = 0x80, DIALOG_CLASS_EDIT = 0x81, DIALOG_CLASS_STATIC = 0x82 };

class DialogTemplateBuilder {
public:
    DialogTemplateBuilder() = default;
    ~DialogTemplateBuilder() { Free(); }
    DialogTemplateBuilder(const DialogTemplateBuilder&) = delete;
    DialogTemplateBuilder& operator=(const DialogTemplateBuilder&) = delete;

    // Starts a template; with a face (DS_SETFONT is then added) the dialog uses that font. Positions and
    // sizes are in dialog units.
    int Begin(DWORD style, short x, short y, short width, short height, const wchar_t* title, WORD pointSize,
              const wchar_t* face);
    // Appends one control; text may be null.
    int AddItem(DWORD style, short x, short y, short width, short height, WORD id, WORD classId, const wchar_t* text);
    void Free();

    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(block); }
    DWORD Size() const { return size; }
    // Cleared by a failed allocation: nothing more is written, and the template is not to be used.
    int IsComplete() const { return block && !failed; }

private:
    int Write(const void* data, DWORD count);
    int WriteWord(WORD value) { return Write(&value, sizeof(value)); }
    int WriteText(const wchar_t* text);
    int AlignToDword();

    BYTE* block = nullptr;
    DWORD size = 0;
    DWORD capacity = 0;
    int failed = 0;
};
