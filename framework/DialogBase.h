#pragma once
// Base of the program's dialogs: runs a dialog from its resource, binds the dialog window to the object
// and hands the dialog's messages to virtual operations.

#include "framework/WindowBase.h"

#include <windows.h>

// DialogBase flags
enum : DWORD {
    DIALOG_MODELESS = 0x1,        // ending destroys the window instead of EndDialog
    DIALOG_SELF_DELETE = 0x2,     // the object deletes itself after ending
    DIALOG_SEGOE_UI_RULE = 0x4,   // on Segoe UI systems, old dialog faces become "MS Shell Dlg 2" 8 pt
    DIALOG_HIDE_FIRST_SHOW = 0x8, // the first show of the window is swallowed
};

class DialogBase : public WindowBase {
public:
    DialogBase() = default;
    ~DialogBase() override;

    // The value given to EndDialog, or -1 when the dialog cannot be created.
    INT_PTR DoModal(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags, HWND parent);
    INT_PTR DoModal(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags);
    // The same from a template held in memory (rewritten for the system's font as a resource is), for a
    // dialog that must work when the program's resources do not.
    INT_PTR DoModalIndirect(HINSTANCE moduleInstance, const DLGTEMPLATE* dialogTemplate, DWORD size, DWORD dialogFlags,
                            HWND parent);
    // A modeless dialog (DIALOG_MODELESS is added to the flags); null when it cannot be created.
    HWND Create(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags, HWND parent);
    // Ends the dialog unless CanEnd refuses; with DIALOG_SELF_DELETE the object is gone afterwards.
    void EndDialogWith(INT_PTR result);

    DWORD Flags() const { return flags; }

protected:
    // 1: the system sets the default focus; 2: the dialog set the focus itself; 0: end the dialog with -1.
    virtual int OnInitDialog();
    virtual int CanEnd(INT_PTR result);
    virtual int OnCommand(int id, WPARAM wParam, LPARAM lParam);
    virtual int OnClose();
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnDestroy();

    DWORD flags = 0;

private:
    void Prepare(HINSTANCE moduleInstance, DWORD dialogFlags);
    static INT_PTR CALLBACK SharedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
};
