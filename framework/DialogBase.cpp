#include "framework/DialogBase.h"

#include "base/CallbackGuard.h"

#include "base/CommonControls.h"
#include "framework/DialogTemplate.h"
#include "framework/MonitorDpi.h"
#include "framework/ResourceLang.h"

#include <commctrl.h>

namespace {

// Every class up to ICC_STANDARD_CLASSES: a version 5 comctl32 rejects the SysLink bit above them.
const DWORD CommonControlClasses = 0x7FFF;

DialogBase* BoundObject(HWND dialog) {
    return reinterpret_cast<DialogBase*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

} // namespace

DialogBase::~DialogBase() {
    if (window && IsWindow(window)) {
        // The window outlives this object for a moment (a modal dialog is destroyed by its loop later), so
        // it must no longer reach it; and ending must not delete the object a second time.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        flags &= ~DIALOG_SELF_DELETE;
        EndDialogWith(0);
    }
}

void DialogBase::Prepare(HINSTANCE moduleInstance, DWORD dialogFlags) {
    flags = dialogFlags;
    instance = moduleInstance;
    // Without this the system scales the dialog's drawing on high-DPI screens and blurs it.
    MonitorDpi::DeclareAware();
    CommonControls::Get().InitClasses(CommonControlClasses);
}

INT_PTR DialogBase::DoModal(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags, HWND parent) {
    Prepare(moduleInstance, dialogFlags);
    DWORD size = 0;
    const void* resource = LoadResourceLang(moduleInstance, RT_DIALOG, MAKEINTRESOURCEW(id), 0, &size);
    // The rewritten template lives on this frame, not in the object: with DIALOG_SELF_DELETE the object
    // is gone by the time the dialog box returns.
    DialogTemplate rewritten;
    if (resource && rewritten.Rewrite(resource, size, (dialogFlags & DIALOG_SEGOE_UI_RULE) != 0))
        return DialogBoxIndirectParamW(moduleInstance, rewritten.Template(), parent, SharedDialogProc, (LPARAM)this);
    return DialogBoxParamW(moduleInstance, MAKEINTRESOURCEW(id), parent, SharedDialogProc, (LPARAM)this);
}

INT_PTR DialogBase::DoModal(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags) {
    return DoModal(moduleInstance, id, dialogFlags, nullptr);
}

INT_PTR DialogBase::DoModalIndirect(HINSTANCE moduleInstance, const DLGTEMPLATE* dialogTemplate, DWORD size,
                                    DWORD dialogFlags, HWND parent) {
    Prepare(moduleInstance, dialogFlags);
    DialogTemplate rewritten;
    if (rewritten.Rewrite(dialogTemplate, size, (dialogFlags & DIALOG_SEGOE_UI_RULE) != 0))
        dialogTemplate = rewritten.Template();
    return DialogBoxIndirectParamW(moduleInstance, dialogTemplate, parent, SharedDialogProc, (LPARAM)this);
}

HWND DialogBase::Create(HINSTANCE moduleInstance, UINT id, DWORD dialogFlags, HWND parent) {
    Prepare(moduleInstance, dialogFlags | DIALOG_MODELESS);
    DWORD size = 0;
    const void* resource = LoadResourceLang(moduleInstance, RT_DIALOG, MAKEINTRESOURCEW(id), 0, &size);
    // The system reads the template only while it creates the dialog.
    DialogTemplate rewritten;
    if (resource && rewritten.Rewrite(resource, size, (dialogFlags & DIALOG_SEGOE_UI_RULE) != 0))
        return CreateDialogIndirectParamW(moduleInstance, rewritten.Template(), parent, SharedDialogProc, (LPARAM)this);
    return CreateDialogParamW(moduleInstance, MAKEINTRESOURCEW(id), parent, SharedDialogProc, (LPARAM)this);
}

void DialogBase::EndDialogWith(INT_PTR result) {
    if (!window || !CanEnd(result))
        return;
    HWND ending = window;
    if (flags & DIALOG_MODELESS)
        DestroyWindow(ending);
    else
        EndDialog(ending, result);
    window = nullptr;
    if (flags & DIALOG_SELF_DELETE) {
        // EndDialog only marks a modal dialog as ended; its loop destroys the window after this object
        // is gone, and those last messages must not reach it.
        if (IsWindow(ending))
            SetWindowLongPtrW(ending, GWLP_USERDATA, 0);
        delete this;
    }
}

int DialogBase::OnInitDialog() {
    return 1;
}

int DialogBase::CanEnd(INT_PTR) {
    return 1;
}

int DialogBase::OnCommand(int id, WPARAM, LPARAM) {
    if (id != IDCANCEL && id != IDCLOSE)
        return 0;
    EndDialogWith(0);
    return 1;
}

int DialogBase::OnClose() {
    EndDialogWith(0);
    return 1;
}

int DialogBase::OnDestroy() {
    return (int)DialogProc(WM_DESTROY, 0, 0);
}

INT_PTR DialogBase::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING) {
        WINDOWPOS* position = reinterpret_cast<WINDOWPOS*>(lParam);
        if ((flags & DIALOG_HIDE_FIRST_SHOW) && (position->flags & SWP_SHOWWINDOW)) {
            // The dialog stays hidden this once; whoever wants it seen shows it later.
            flags &= ~DIALOG_HIDE_FIRST_SHOW;
            position->flags &= ~SWP_SHOWWINDOW;
        }
        if (!(position->flags & SWP_NOSIZE)) {
            if (minWidth != -1 && position->cx < minWidth)
                position->cx = minWidth;
            if (minHeight != -1 && position->cy < minHeight)
                position->cy = minHeight;
        }
        return 1;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDCLOSE)) {
        EndDialogWith(0);
        return 1;
    }
    return 0;
}

INT_PTR CALLBACK DialogBase::SharedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // A fault in here leaves a crash report, also where the system calls the procedure back.
    CallbackGuard guard;
    if (message == WM_INITDIALOG) {
        DialogBase* self = reinterpret_cast<DialogBase*>(lParam);
        if (!self)
            return 0;
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        self->window = dialog;
        int result = self->OnInitDialog();
        if (result == 0) {
            self->EndDialogWith(-1);
            return 0;
        }
        return result == 1;
    }
    DialogBase* self = BoundObject(dialog);
    if (!self)
        return 0;
    switch (message) {
        case WM_DESTROY:
            return self->OnDestroy();
        case WM_CLOSE:
            return self->OnClose();
        case WM_COMMAND:
            return self->OnCommand(LOWORD(wParam), wParam, lParam);
        case WM_NCDESTROY: {
            INT_PTR result = self->DialogProc(message, wParam, lParam);
            // A window destroyed from outside (its owner went first) must not leave the object with a
            // dead handle, which a later EndDialogWith or the destructor would act on.
            SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
            if (self->window == dialog)
                self->window = nullptr;
            return result;
        }
        default:
            return self->DialogProc(message, wParam, lParam);
    }
}
